#include "validation/validation_run.h"

#include <memory>
#include <new>
#include <utility>

#include "ntx/ntx_index.h"
#include "validation/analysis_period.h"
#include "validation/catalogue_check.h"
#include "validation/record_checks.h"
#include "validation/record_loop.h"
#include "validation/report_format.h"
#include "validation/result_report.h"
#include "validation/structure_check.h"
#include "values/cp1252_literal.h"
#include "values/errors.h"
#include "values/text.h"
#include "values/variant_operators.h"

namespace tarvelo {
namespace {

// The observer of a run that has none: it shows nothing and never stops it.
RunObserver& NoObserver() {
  static RunObserver none;
  return none;
}

}  // namespace

ValidationRun::ValidationRun(RunInputs inputs, RunObserver* observer, DetailSink* details)
    : inputs_(std::move(inputs)),
      observer_(observer ? *observer : NoObserver()),
      details_(details),
      settings_(inputs_.settings),
      tbDados_("tbDados", settings_),
      tbRiscos_("tbRiscos", settings_),
      tbSinistros_("tbSinistros", settings_) {
  for (DbfTable* table : {&tbDados_, &tbRiscos_, &tbSinistros_}) table->SetDeleted(true);
  if (observer) log_.SetListener(observer);
}

ValidationRun::~ValidationRun() = default;

void ValidationRun::DropIndexes() {
  // The index goes with its file, whether its last pages are written or
  // not.
  const std::unique_ptr<NtxIndex> index = std::move(policyIndex_);
  if (index) index->CloseFile();
}

void ValidationRun::CloseTables() {
  DropIndexes();
  for (DbfTable* table : {&tbDados_, &tbRiscos_, &tbSinistros_}) table->Close();
}

std::function<bool()> ValidationRun::StopCheck() const {
  return [&observer = observer_] { return observer.StopRequested(); };
}

os::Folder ValidationRun::OpenIndexFolder() const {
  return inputs_.indexFolder ? inputs_.indexFolder() : os::OpenFolder(inputs_.catalogueFolder);
}

std::string ValidationRun::NowText() const { return FormatDateTime(inputs_.now(), settings_); }

void ValidationRun::EnterStep(const char* step, std::string path) {
  step_ = step;
  stepPath_ = std::move(path);
}

void ValidationRun::Execute() {
  EnterStep("starting the run");
  try {
    ExecuteSteps();
  } catch (const std::bad_alloc&) {
    // The step tells the user what needed the memory.
    OutOfMemoryError error(step_);
    if (!stepPath_.empty()) error.SetWhere(FileLocation(PathText(stepPath_)));
    throw error;
  }
}

void ValidationRun::ExecuteSteps() {
  // A run that an error ended may have left tables open; start from closed.
  CloseTables();
  state_ = RunState{};
  results_ = RunResults{};
  reference_ = ReferenceTotals{};
  totals_ = RunTotals{};
  // One reading of the clock gives both the year the dates are checked
  // against and the start the report shows (and the page, which keeps the
  // run's first reading).
  const CivilDateTime started = inputs_.now();
  currentYear_ = started.year;
  results_.started = started;
  const std::string& folder = inputs_.catalogueFolder;

  log_.Clear();
  log_.Append("Início do processamento: "_cp1252 + FormatDateTime(started, settings_));
  // The catalogue's three tables, read once for everything the run takes
  // from them; what cannot be read is raised where the run first needs it.
  EnterStep("loading the catalogue");
  catalogue_ = std::make_unique<Catalogue>(folder, settings_);
  rowCounts_.assign(catalogue_->FieldRows().size(), FieldCounts{});
  referenceRow_ = 0;
  // The period is the reference table's; one that cannot be read leaves the
  // fixed period and a warning, never a failure.
  const AnalysisPeriod& period = catalogue_->Period();
  results_.period = period.text;
  results_.periodEndYear = period.endYear;
  results_.periodWarning = period.warning;
  results_.periodUnreadableRow = period.unreadableRow;
  log_.Append("Período de análise: "_cp1252 + period.text);
  // What the run used, and the catalogue's faults that may make its counts
  // misleading; a catalogue that cannot be read ends the run below.
  results_.catalogueFolder = folder;
  results_.catalogueFiles = catalogue_->FileFacts();
  try {
    results_.catalogueFaults = CheckCatalogue(*catalogue_, settings_);
  } catch (const TarveloError&) {
  }
  log_.Append("");

  ReadCatalogue([&] { catalogue_->RaiseRulesError(); });
  EnterStep("opening the reference totals", folder + "DadosQdp.DBF");
  ReadCatalogue([&] { catalogue_->Reference().Raise(); });

  for (const CatalogueTableName& table : catalogue_->TableOrder()) {
    state_.tableName = table.name;
    state_.tableNumber = table.number;
    TreatDataFile();
  }

  observer_.Progress(75);
  // The claims without a policy item are counted when the last file
  // treated passed its structure check with the records of one company,
  // and both files had records.
  const bool lastFilePassed =
      !results_.files.empty() && results_.files.back().structureOk && !results_.files.back().secondCompany;
  if (lastFilePassed && state_.riskCount != 0 && state_.claimCount != 0) {
    try {
      CountClaimsWithoutPolicy();
    } catch (...) {
      // The error that ended the run is the one to report: a failure to
      // flush an index about to be removed is not.
      try {
        DropIndexes();
      } catch (const TarveloError&) {
      }
      throw;
    }
  }
  EnterStep("writing the report");
  WriteEmptyFileBlocks();
  observer_.Progress(90);
  WriteClosingLines();
  results_.completed = true;
}

void ValidationRun::TreatDataFile() {
  const std::string& path = state_.tableNumber == kRisksTable ? inputs_.riskPath : inputs_.claimPath;
  if (Trim(path).empty()) return;

  EnterStep("opening the data file", path);
  tbDados_.SetDBFFileName(path);
  state_.recordCount = 0;
  state_.recordsOk = false;
  FileResult& result = results_.files.emplace_back();
  result.path = path;
  result.table = Trim(state_.tableName);
  result.tableNumber = state_.tableNumber;
  FileSizeAndDate(path, result.size, result.modified);
  tbDados_.Open();
  // A file cut short is read as far as it goes; the results tell of it.
  result.declaredRecords = tbDados_.DeclaredRecordCount();
  result.recordsInFile = tbDados_.PhysicalRecordCount();
  if (details_) details_->BeginFile(path, state_.tableName);
  if (state_.companyCode.empty()) LookUpCompany();
  results_.companyCode = state_.companyCode;
  results_.companyName = state_.companyName;

  EnterStep("checking the structure", path);
  state_.structureOk = CheckStructure(*catalogue_, tbDados_, state_.tableNumber, settings_);
  result.structureOk = state_.structureOk;
  if (!state_.structureOk) log_.Append("Erro: estrutura incorreta na tabela " + state_.tableName);

  if (state_.structureOk) {
    state_.recordsOk = true;
    observer_.Progress(state_.tableNumber == kRisksTable ? 25 : 50);
    EnterStep("checking the records", path);
    CheckRecords(path);
    EnterStep("writing the report", path);
    (state_.tableNumber == kRisksTable ? state_.riskCount : state_.claimCount) = state_.recordCount;
    result.recordCount = state_.recordCount;
    result.secondCompany = !state_.recordsOk;
    if (state_.recordsOk) {
      const ResultSectionInput section{state_.tableNumber, state_.tableName, state_.companyCode,
                                       state_.companyName, PathText(path),   state_.recordCount};
      if (WriteResultSection(log_, *catalogue_, rowCounts_, section, settings_, &result.fields))
        WriteTotalsSection(log_, state_.tableNumber, reference_, totals_, settings_, &result.totals, results_.period);
    }
  }
  tbDados_.Close();
}

void ValidationRun::LookUpCompany() {
  try {
    state_.companyCode = ToText(tbDados_.FieldValue("cod_seg"), settings_);
  } catch (const TarveloError&) {
    // A file without records, without "cod_seg" or with a null first code
    // has no code to give; the next file tries.
    state_.companyCode.clear();
    return;
  }
  // Errors of the reference table itself end the run like any catalogue
  // error.
  bool found = false;
  ReadCatalogue([&] {
    const CatalogueTable& qdp = catalogue_->Reference();
    for (; referenceRow_ < qdp.Rows(); ++referenceRow_) {
      const size_t row = referenceRow_;
      if (ToText(qdp.Value(row, "cod_seg"), settings_) != state_.companyCode) continue;
      reference_.companyName = state_.companyName = ToText(qdp.Value(row, "empresa"), settings_);
      reference_.pr_rural = qdp.Number(row, "pr_rural");
      reference_.sin_rural = qdp.Number(row, "sin_rural");
      reference_.pr_animal = qdp.Number(row, "pr_animal");
      reference_.sin_animal = qdp.Number(row, "sin_animal");
      reference_.inivig = Trim(ToText(qdp.Value(row, "inivig"), settings_));
      reference_.fimvig = Trim(ToText(qdp.Value(row, "fimvig"), settings_));
      found = true;
      return;
    }
  });
  results_.companyNotFound = !found;
}

void ValidationRun::ReadCatalogue(const std::function<void()>& read) {
  try {
    read();
  } catch (const TarveloError&) {
    results_.catalogueFailed = true;
    throw;
  }
}

void ValidationRun::CheckRecords(const std::string& path) {
  RecordChecker checker(tbDados_, *catalogue_, state_.tableNumber, state_.companyCode, currentYear_, settings_);
  const TotalsAccumulator totals(tbDados_, state_.tableNumber, reference_, settings_);
  std::vector<FieldCounts> counts(static_cast<size_t>(checker.FieldCount()));
  RecordLoop loop(tbDados_, checker, totals, PathText(path), inputs_.threads, details_);
  loop.SetStopCheck(StopCheck());
  if (!loop.Run(state_.recordCount, totals_, counts)) {
    log_.Append("Erro: mais de uma empresa encontrada no arquivo da tabela " + state_.tableName);
    state_.recordsOk = false;
  }
  checker.AddCounts(counts, rowCounts_);
}

void ValidationRun::CountClaimsWithoutPolicy() {
  EnterStep("building the index \"apolice\"", inputs_.riskPath);
  tbRiscos_.SetDBFFileName(inputs_.riskPath);
  tbSinistros_.SetDBFFileName(inputs_.claimPath);
  tbRiscos_.Open();
  tbSinistros_.Open();

  // The index file is the run's own: it goes with the index, whether the
  // run completes or an error ends it (Execute).
  auto folder = std::make_shared<const os::Folder>(OpenIndexFolder());
  policyIndex_ = BuildPolicyIndex(tbRiscos_, folder->Path() + "apolice.ntx", inputs_.threads, StopCheck(), folder);

  // A claim is found when its policy and item, joined, begin a visible
  // risks record's key.
  EnterStep("searching the index \"apolice\"", inputs_.claimPath);
  DetailSink* details = details_;
  if (details) details->BeginFile(inputs_.claimPath, ClaimsTableName());
  ClaimsSearch search;
  search.stopRequested = StopCheck();
  const int64_t misses = CountClaimsWithoutPolicyItem(*policyIndex_, tbSinistros_, settings_, details, search).misses;

  log_.Append(RuleLine());
  log_.Append("");
  log_.Append(ClaimsWithoutPolicySentence(misses, state_.claimCount, settings_));
  log_.Append("");
  results_.claims = ClaimsResult{misses, state_.claimCount, ClaimsShare(misses, state_.claimCount)};

  // Deleting the index removes its file, while the name still leads to
  // it: a file another run made since is left alone.
  DropIndexes();
  tbRiscos_.Close();
  tbSinistros_.Close();
}

std::string ValidationRun::ClaimsTableName() const {
  for (auto file = results_.files.rbegin(); file != results_.files.rend(); ++file)
    if (file->tableNumber != kRisksTable) return file->table;
  return std::string();
}

void ValidationRun::WriteEmptyFileBlocks() {
  const std::pair<int32_t, const char*> files[] = {
      {state_.riskCount, "Arquivo de riscos vazio ou não selecionado."_cp1252},
      {state_.claimCount, "Arquivo de sinistros vazio ou não selecionado."_cp1252}};
  results_.riskFileMissing = state_.riskCount == 0;
  results_.claimFileMissing = state_.claimCount == 0;
  for (const auto& [count, line] : files) {
    if (count != 0) continue;
    log_.Append(RuleLine());
    log_.Append("");
    log_.Append(line);
    log_.Append("");
  }
}

void ValidationRun::WriteClosingLines() {
  log_.Append("");
  log_.Append(RuleLine());
  log_.Append("");
  log_.Append("Fim do processamento: " + NowText());
  log_.Append("");
  log_.Append(RuleLine());
}

}  // namespace tarvelo
