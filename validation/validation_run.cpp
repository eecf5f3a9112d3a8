#include "validation/validation_run.h"

#include <limits>

#include "validation/report_format.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {
namespace {

const char* const kPeriodLine = "Per\xEDodo de an\xE1lise: 01/07/2022 a 30/06/2023";

void Increment(int32_t& count) {
  if (count == std::numeric_limits<int32_t>::max()) throw IntegerOverflowError();
  ++count;
}

}  // namespace

ValidationRun::ValidationRun(RunHost& host)
    : host_(host), settings_(host.Settings()), log_(host.Log()), tbDados_("tbDados", settings_) {
  tbDados_.SetDeleted(true);
}

ValidationRun::~ValidationRun() = default;

void ValidationRun::CloseTables() { tbDados_.Close(); }

std::string ValidationRun::NowText() const { return FormatDateTime(host_.Now(), settings_); }

void ValidationRun::WriteHeader() {
  log_.Clear();
  log_.Append("In\xED" "cio do processamento: " + NowText());
  log_.Append(kPeriodLine);
  log_.Append("");
}

void ValidationRun::Execute() {
  // A run that an error ended may have left tables open; start from closed.
  CloseTables();
  state_ = RunState{};
  WriteHeader();

  TreatDataFile(1, "RISCOS");
  TreatDataFile(2, "SINISTROS");

  host_.SetProgress(75);
  WriteEmptyFileBlocks();
  host_.SetProgress(90);
  WriteClosingLines();
}

void ValidationRun::TreatDataFile(int32_t tableNumber, const std::string& tableName) {
  state_.tableNumber = tableNumber;
  state_.tableName = tableName;
  const std::string path = tableNumber == 1 ? host_.RiskPath() : host_.ClaimPath();
  if (Trim(path).empty()) return;

  tbDados_.SetDBFFileName(path);
  state_.recordCount = 0;
  state_.recordsOk = false;
  tbDados_.Open();

  state_.structureOk = true;
  state_.recordsOk = true;
  host_.SetProgress(tableNumber == 1 ? 25 : 50);
  ReadRecords();
  (tableNumber == 1 ? state_.riskCount : state_.claimCount) = state_.recordCount;
  tbDados_.Close();
}

void ValidationRun::ReadRecords() {
  for (; !tbDados_.AtEnd(); tbDados_.Next()) {
    Increment(state_.recordCount);
    for (int i = 0; i < tbDados_.FieldCount(); ++i) tbDados_.FieldAt(i).AsVariant();
  }
}

void ValidationRun::WriteEmptyFileBlocks() {
  if (state_.riskCount == 0) {
    log_.Append(RuleLine());
    log_.Append("");
    log_.Append("Arquivo de riscos vazio ou n\xE3o selecionado.");
    log_.Append("");
  }
  if (state_.claimCount == 0) {
    log_.Append(RuleLine());
    log_.Append("");
    log_.Append("Arquivo de sinistros vazio ou n\xE3o selecionado.");
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
