#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "dbf/dbf_table.h"
#include "validation/catalogue.h"
#include "validation/claims_without_policy.h"
#include "validation/detail_listing.h"
#include "validation/record_checks.h"
#include "validation/reference_totals.h"
#include "validation/result_log.h"
#include "validation/run_inputs.h"
#include "validation/run_observer.h"
#include "validation/run_results.h"

namespace tarvelo {

/// The state of one validation run; every member starts at its default at
/// the beginning of each run.
struct RunState {
  std::string companyCode;
  std::string companyName;
  int32_t riskCount = 0;
  int32_t claimCount = 0;
  std::string tableName;
  int32_t tableNumber = 0;
  int32_t recordCount = 0;
  bool structureOk = false;
  bool recordsOk = false;
};

/// The command "Criticar": validates the risks and claims files named by its
/// inputs against the catalogue in their catalogue folder and writes the
/// report into its own log. Owns the table objects; each execution opens
/// and closes them.
class ValidationRun {
 public:
  /// inputs: what the run reads from outside. observer: told of the
  /// report's lines and the progress, and asked whether to stop; nullptr
  /// for none. details: where the run streams its detail listing (one row
  /// per counted failure and per claim without a policy item), or nullptr
  /// for none. The observer and the listing must outlive the run object.
  explicit ValidationRun(RunInputs inputs, RunObserver* observer = nullptr, DetailSink* details = nullptr);
  ~ValidationRun();
  ValidationRun(const ValidationRun&) = delete;
  ValidationRun& operator=(const ValidationRun&) = delete;

  /// Runs the whole validation. Problems in the data become report lines;
  /// a failure of the program's own operations (a file that cannot be
  /// opened or is not a DBF table, a missing field, a value a rule cannot
  /// convert) ends the run by raising its error, with the lines written so
  /// far kept in the log and without the closing lines. Memory that runs
  /// out ends it with OutOfMemoryError naming the step ("Out of memory
  /// while checking the records") and, on its location line, the file the
  /// step was reading. The tables an error left open stay open until the
  /// next execution (the same run again) or until the object goes.
  void Execute();

  /// The report of the last execution: its lines in code page 1252 (empty
  /// before any).
  const ResultLog& Report() const { return log_; }
  /// The inputs the run was made with.
  const RunInputs& Inputs() const { return inputs_; }
  /// State of the last run (for the front ends and tests).
  const RunState& State() const { return state_; }
  /// Totals summed by the last run.
  const RunTotals& Totals() const { return totals_; }
  /// What the last run's report says, for machines; a run that an error
  /// ended leaves what it had gathered, with completed false.
  const RunResults& Results() const { return results_; }
  /// The company's reference row found by the last run.
  const ReferenceTotals& Reference() const { return reference_; }
  /// The catalogue the last run read; nullptr before any.
  const Catalogue* UsedCatalogue() const { return catalogue_.get(); }

 private:
  /// Deletes the index of the claims test, when there is one, removing its
  /// file; raises the error of writing its last pages.
  void DropIndexes();
  /// The steps of Execute.
  void ExecuteSteps();
  /// Notes the step the run is at and the file it reads (empty for none),
  /// for an error that gives no more.
  void EnterStep(const char* step, std::string path = std::string());
  void CloseTables();
  void TreatDataFile();
  void LookUpCompany();
  /// Calls read, which reads the catalogue: an error it raises is noted
  /// in the results as the catalogue's (RunResults::catalogueFailed) and
  /// raised.
  void ReadCatalogue(const std::function<void()>& read);
  void CheckRecords(const std::string& path);
  void CountClaimsWithoutPolicy();
  void WriteEmptyFileBlocks();
  /// The table of the claims file treated last, as the results name it.
  std::string ClaimsTableName() const;
  void WriteClosingLines();
  std::string NowText() const;
  /// Asks the observer whether the run is to stop.
  std::function<bool()> StopCheck() const;
  /// The folder of the temporary index (RunInputs::indexFolder).
  os::Folder OpenIndexFolder() const;

  const RunInputs inputs_;
  RunObserver& observer_;
  DetailSink* const details_;
  const RegionalSettings& settings_;
  ResultLog log_;
  DbfTable tbDados_;
  DbfTable tbRiscos_;
  DbfTable tbSinistros_;
  std::unique_ptr<Catalogue> catalogue_;
  /// The empty and invalid counts of the catalogue's expected fields
  /// (Catalogue::FieldRows), summed over the files.
  std::vector<FieldCounts> rowCounts_;
  /// Where the look-up of the company in the reference table goes on from.
  size_t referenceRow_ = 0;
  /// The index of the claims test over tbRiscos_, from its build to its
  /// removal.
  std::unique_ptr<NtxIndex> policyIndex_;
  RunState state_;
  RunResults results_;
  ReferenceTotals reference_;
  RunTotals totals_;
  int currentYear_ = 0;
  const char* step_ = "";
  std::string stepPath_;
};

}  // namespace tarvelo
