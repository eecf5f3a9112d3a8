#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "validation/html_page_rows.h"
#include "validation/run_results.h"
#include "values/date_time.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The rules of one field as the catalogue gives them ("tabelas.dbf" and
/// "anexos.dbf"), for the page to say why values fail. Texts code page 1252.
struct FieldRules {
  std::string field;
  int type = 0;              // FieldTypeCode
  int size = 0;              // the width of a text field, 0 for other types
  bool required = false;     // nulo 0: an empty value is counted
  bool exactLength = false;  // zerosesq 1: the value must be size characters long
  bool date = false;         // data 1 and zeros 1: a date, or zeros over the whole width
  bool positive = false;     // positivo 1 (no check reads it)
  bool domain = false;       // dominio 1: one of codes
  std::string dependsOn;     // the field whose value qualifies the codes; empty when none
  /// The codes allowed, each with the value of dependsOn it is allowed for
  /// (blank when the field depends on none).
  std::vector<std::pair<std::string, std::string>> codes;
};

/// The rules of the fields of one catalogue table, in field order.
struct TableRules {
  std::string table;
  std::vector<FieldRules> fields;
};

/// What the page shows besides the run's results.
struct PageFacts {
  std::vector<TableRules> rules;
  /// The text of the error that ended the run (code page 1252, as ErrorText
  /// gives it: message, then reason and place on lines of their own), or
  /// nullopt.
  std::optional<std::string> error;
};

/// The most codes the rules section lists for one field, and for all.
inline constexpr size_t kCodesShown = 200;
inline constexpr size_t kCodesShownInAll = 2000;

/// The run as one HTML page (UTF-8, self-contained: style, charts and
/// script inside, a Content-Security-Policy that lets nothing be fetched):
/// the verdict with links to the sections, the fields of each file, the
/// totals against the QDP, the claims without a policy, the failing records
/// (rows as kept by HtmlPageRows), the rules of each field; for a run that
/// an error ended, the error first and what was checked before it. Texts
/// in Portuguese, numbers in the settings' format; every value from a file,
/// the catalogue or a path escaped (html::Text). Raises std::bad_alloc
/// only.
std::string HtmlPage(const RunResults& results, const HtmlPageRows& rows, const PageFacts& facts,
                     const RegionalSettings& settings);

}  // namespace tarvelo
