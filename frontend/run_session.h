#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "frontend/output_kind.h"
#include "validation/detail_listing.h"
#include "validation/html_page.h"
#include "validation/html_page_rows.h"
#include "validation/report_export.h"
#include "validation/result_log.h"
#include "validation/run_inputs.h"
#include "validation/run_observer.h"
#include "validation/run_results.h"
#include "validation/validation_run.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// Told each message of a session for the user, in code page 1252: the
/// text of an error (ErrorText) or a warning.
using SessionMessages = std::function<void(const std::string& text)>;

/// The inputs of a run that a front end starts: the paths and the folder as
/// the file system names them, the settings, the machine's cores, the local
/// clock (LocalNow), and the index in IndexFolder of the catalogue folder
/// and the process's environment (program_folders.h).
RunInputs FrontEndRunInputs(std::string riskPath, std::string claimPath, std::string catalogueFolder,
                            RegionalSettings settings);

/// What every front end does around one validation run, in this order: the
/// outputs asked are checked (CheckOutputs) and made (MakeOutputs) before
/// the run, so that an output the run must not overwrite, or a folder that
/// takes no file, is found at once; the run (Run); then each output is saved
/// on its own, whatever became of the others (SaveOutputs), the listing
/// keeping the rows of a run that an error ended; last the outcome becomes
/// an exit status (ExitStatus) or a window's message (EndMessage), and the
/// warning (Warning). A window's export saves a copy of an output through
/// the same code (Export).
class RunSession {
 public:
  explicit RunSession(RunInputs inputs);
  ~RunSession();
  RunSession(const RunSession&) = delete;
  RunSession& operator=(const RunSession&) = delete;

  /// The sentence that says where the catalogue folder came from
  /// (CatalogueOriginText), put after the error of a run that reading the
  /// catalogue ended (CatalogueErrorNote); none by default.
  void SetCatalogueOrigin(std::string text) { catalogueOrigin_ = std::move(text); }
  /// Asks for an output of kind at path (the file system's name), saved
  /// after the run. Outputs are checked, made and saved in the order asked;
  /// the run streams into the first listing.
  void AskOutput(OutputKind kind, std::string path);
  /// Keeps, from the next run on, the rows the HTML page lists (an HTML
  /// output asked keeps them too), so that Export can save the page.
  void KeepPageRows() { keepPageRows_ = true; }
  /// The first two outputs asked that name one file (SameOutputFile), in
  /// the order asked; nullopt when each names its own.
  std::optional<std::pair<OutputKind, OutputKind>> OutputsNamingOneFile() const;

  /// CheckExportPath of path against the run's data files, moreDataFiles
  /// (checked first), the catalogue and the index folder: returns the
  /// warning of an output kept nowhere (the null device) or empty; raises
  /// the refusal.
  std::string CheckOutput(const std::string& path, const std::vector<std::string>& moreDataFiles = {}) const;
  /// CheckOutput of every output asked: says each warning and each
  /// refusal; false when one was refused.
  bool CheckOutputs(const SessionMessages& say) const;
  /// Makes every output asked, each on its own: says the error of each that
  /// cannot be made (that output is then left out); false when one could
  /// not be made.
  bool MakeOutputs(const SessionMessages& say);

  /// Runs the validation, observer (may be null) told of its lines and
  /// progress and asked whether to stop. An exception of the standard
  /// library's kind that ends it is kept (Ended, EndText); any other goes
  /// through.
  void Run(RunObserver* observer = nullptr);
  /// Saves each output made, each on its own, in the order asked: says the
  /// error of each that fails (memory that runs out: "Out of memory while
  /// saving the outputs"); false when one failed.
  bool SaveOutputs(const SessionMessages& say = {});
  /// Saves a copy of the output of kind to target (the file system's
  /// name) through a ReplacingFile: the report, the JSON and the page
  /// written from the last run, the listing copied from the file the run streamed into,
  /// or one without rows when the run had none. Raises the save's error.
  void Export(OutputKind kind, const std::string& target) const;

  /// The report of the run; empty before it.
  const ResultLog& Report() const;
  /// What the run's report says; empty before it.
  const RunResults& Results() const;
  /// The facts of the last run that the page shows beside its results:
  /// its start, each data file's size and date, the catalogue's rules and
  /// the error that ended it.
  const PageFacts& Facts() const { return facts_; }
  /// The inputs the session runs with.
  const RunInputs& Inputs() const { return inputs_; }
  /// Whether an exception ended the run.
  bool Ended() const { return static_cast<bool>(ended_); }
  /// The text for what ended the run (RunEndText): nullopt when it
  /// completed or was stopped on request.
  std::optional<std::string> EndText() const;
  /// The catalogue's origin (SetCatalogueOrigin) when an error of reading
  /// the catalogue ended the run (RunResults::catalogueFailed), for the
  /// line after EndText; empty otherwise.
  std::string CatalogueErrorNote() const;
  /// What a window shows at the run's end, after SaveOutputs: EndText when
  /// an exception ended the run, followed by CatalogueErrorNote on a line
  /// of its own when there is one, else the first error of the saves, else
  /// nullopt.
  std::optional<std::string> EndMessage() const;
  /// The exit status of a command line: 1 when an exception ended the run
  /// or outputFailed (the report could not be printed, an output not
  /// saved); else, with strict, 3 when the report shows a problem in the
  /// data (HasDataProblems); else 0.
  int ExitStatus(bool strict, bool outputFailed) const;
  /// The warnings after the run, one a line: CatalogueChangeWarning of
  /// the catalogue folder as the run found it, the period's
  /// (RunResults::periodWarning), one per catalogue fault but the one the
  /// period's warning names, ShortFilesWarning, then
  /// CompanyNotFoundWarning; empty for none.
  std::string Warning() const;

 private:
  /// One output asked, and once made its file (the report's, the JSON's)
  /// or its listing.
  struct Output {
    OutputKind kind;
    std::string path;
    std::unique_ptr<ReplacingFile> file;
    std::unique_ptr<DetailListing> listing;
  };

  /// Writes the output of kind (not the listing) into file and commits it.
  void WriteOutput(OutputKind kind, ReplacingFile& file) const;
  /// The listing made for the run, or nullptr.
  const Output* Listing() const;
  /// Fills facts_ after a run.
  void GatherFacts();

  /// Passes the rows of a run to two sinks.
  class DetailTee : public DetailSink {
   public:
    DetailTee(DetailSink& first, DetailSink& second) : first_(first), second_(second) {}
    void BeginFile(const std::string& path, const std::string& table) override {
      first_.BeginFile(path, table);
      second_.BeginFile(path, table);
    }
    void Row(const DetailRow& row) override {
      first_.Row(row);
      second_.Row(row);
    }

   private:
    DetailSink& first_;
    DetailSink& second_;
  };

  const RunInputs inputs_;
  std::vector<Output> outputs_;
  std::unique_ptr<ValidationRun> run_;
  std::exception_ptr ended_;
  std::optional<std::string> firstSaveError_;
  bool keepPageRows_ = false;
  /// The rows of the last run that kept them (KeepPageRows); empty else.
  HtmlPageRows pageRows_;
  std::unique_ptr<DetailTee> tee_;
  PageFacts facts_;
  std::string catalogueOrigin_;
  /// CatalogueChangeWarning as the last run found it.
  std::string catalogueChange_;
};

}  // namespace tarvelo
