#pragma once

namespace tarvelo {

/// The files a run can save besides the report it shows. Another kind is
/// one more value here and one more case in RunSession's saving.
enum class OutputKind {
  /// The report as text: its lines in code page 1252, CR LF (SaveReport).
  kReport,
  /// The detail listing (DetailListing), streamed during the run.
  kListing,
  /// What the report says, for machines (ResultsJson).
  kJson,
  /// The run as one HTML page (HtmlPage), from the rows kept during the
  /// run (KeepPageRows).
  kHtml,
};

}  // namespace tarvelo
