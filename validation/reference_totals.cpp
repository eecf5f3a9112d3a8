#include "validation/reference_totals.h"

#include <cmath>

#include "dbf/field_decoders.h"
#include "validation/analysis_period.h"
#include "validation/line_of_business.h"
#include "validation/report_format.h"
#include "values/cp1252_literal.h"
#include "values/errors.h"
#include "values/text.h"
#include "values/variant_operators.h"

namespace tarvelo {

TotalsAccumulator::TotalsAccumulator(DbfTable& data, int32_t tableNumber, const ReferenceTotals& reference,
                                     const RegionalSettings& settings)
    : data_(data),
      risks_(tableNumber == kRisksTable),
      windowStart_(Variant::String(reference.inivig)),
      windowEnd_(Variant::String(reference.fimvig)),
      settings_(settings),
      date_(data.FindField(risks_ ? "INICIO_VIG" : "D_AVISO")),
      amount_(data.FindField(AmountField())),
      modality_(data.FindField("COD_MOD")) {}

bool TotalsAccumulator::Select(const char* record, bool& animal, Variant& amount, const char*& field) const {
  // A missing field raises its error when a record first needs it.
  const auto resolve = [&](const DbfField* found, const char* name) -> const DbfField& {
    field = name;
    return found != nullptr ? *found : data_.FieldByName(name);
  };
  const DbfField& date = resolve(date_, risks_ ? "INICIO_VIG" : "D_AVISO");
  if (date.DataType() == ftString) {
    // Text against text compares bytes, a prefix sorting first; a
    // character field is never null.
    const std::string_view text = date.CharacterText(record);
    if (text < windowStart_.TextPayload() || text > windowEnd_.TextPayload()) return false;
  } else {
    if (date.IsNull(record)) return false;
    const Variant dateValue = date.AsVariant(record);
    if (Compare(dateValue, CompareOp::Less, windowStart_, settings_)) return false;
    if (Compare(dateValue, CompareOp::Greater, windowEnd_, settings_)) return false;
  }
  const DbfField& modality = resolve(modality_, "COD_MOD");
  if (modality.DataType() == ftInteger) {
    // The value is the integer its bytes decode to, Null when they do not:
    // only 64 is the animal line.
    animal = DecodeIntegerField(modality.RawBytes(record)) == 64;
  } else {
    animal = IsAnimalModality(modality.AsVariant(record), settings_);
  }
  amount = resolve(amount_, AmountField()).AsVariant(record);
  return true;
}

void TotalsAccumulator::Add(RunTotals& totals, bool animal, const Variant& amount) const {
  double& total = risks_ ? (animal ? totals.animalPremiums : totals.ruralPremiums)
                         : (animal ? totals.animalClaims : totals.ruralClaims);
  // A real amount adds as the Variant sum would, when that gives a number.
  if (amount.Type() == VariantType::Double) {
    const double sum = total + amount.RealPayload();
    if (std::isfinite(sum)) {
      total = sum;
      return;
    }
  }
  total = ToDouble(tarvelo::Add(Variant::Double(total), amount, settings_), settings_);
}

bool IsAnimalModality(const Variant& value, const RegionalSettings& settings) {
  switch (ClassOf(value.Type())) {
    case VariantClass::Integer:
    case VariantClass::LargeInteger:
    case VariantClass::Real:
    case VariantClass::Currency:
      return Compare(value, CompareOp::Equal, Variant::Byte(64), settings);
    case VariantClass::Text: {
      // Only a text that is a number can equal 64; any other text is the
      // rural line rather than a conversion error.
      try {
        return ToDouble(value, settings) == 64;
      } catch (const VariantError&) {
        return false;
      }
    }
    default:
      return false;
  }
}

std::optional<double> TotalsDifference(double reference, double fileTotal) {
  if (reference == 0) return std::nullopt;
  const long double difference =
      (static_cast<long double>(fileTotal) - reference) / static_cast<long double>(reference) * 100.0L;
  return static_cast<double>(difference);
}

std::string TotalsRow(const std::string& label, double reference, double fileTotal, const RegionalSettings& settings) {
  std::string row = PadRight(label, 15);
  row += PadRight(FormatNumber(reference, 0, settings), 25);
  row += PadRight(FormatNumber(fileTotal, 0, settings), 25);
  const auto difference = TotalsDifference(reference, fileTotal);
  row += difference ? FormatNumber(*difference, 2, settings) : "div por zero";
  return row;
}

namespace {

const char* const kPremiumsPeriodLine =
    "O item Total informado de Prêmios considera somente as apólices com início de "
    "vigência no período considerado: "_cp1252;

const char* const kTotalsHeader =
    "Modalidade     Valor QDP                Valor Arquivo            Diferença (%)"_cp1252;

void AppendAll(ResultLog& log, std::initializer_list<const char*> lines) {
  for (const char* line : lines) log.Append(line);
}

}  // namespace

void WriteTotalsSection(ResultLog& log, int32_t tableNumber, const ReferenceTotals& reference, const RunTotals& totals,
                        const RegionalSettings& settings, std::vector<TotalsResult>* rows, const std::string& period) {
  const bool premiums = tableNumber == kRisksTable;
  const auto row = [&](const char* label, double referenceTotal, double fileTotal) {
    log.Append(TotalsRow(label, referenceTotal, fileTotal, settings));
    if (rows) rows->push_back({label, referenceTotal, fileTotal, TotalsDifference(referenceTotal, fileTotal)});
  };
  log.Append(RuleLine());
  log.Append("");
  log.Append(premiums ? "Teste de Prêmios Emitidos:"_cp1252 : "Teste de Sinistros Pagos:");
  log.Append(kTotalsHeader);
  log.Append("");
  if (premiums) {
    row("Rural", reference.pr_rural, totals.ruralPremiums);
    row("Animal", reference.pr_animal, totals.animalPremiums);
    log.Append("");
    log.Append(RuleLine());
    const std::string window =
        WindowText(reference.inivig, reference.fimvig).value_or(period.empty() ? std::string(kAnalysisPeriod) : period);
    const std::string periodLine = kPremiumsPeriodLine + window;
    AppendAll(log,
              {"", "Observações:"_cp1252, periodLine.c_str(),
               "A companhia deverá apresentar justificativas para as difereças em relação ao "_cp1252,
               "QDP, em anexo a este relatório, quando:"_cp1252, "1 - A diferença, em módulo, for maior que 10%"_cp1252,
               "2 - Existir valor no arquivo, mas não no QDP"_cp1252,
               "3 - Não existir valor no arquivo, mas existir no QDP"_cp1252, ""});
  } else {
    row("Rural", reference.sin_rural, totals.ruralClaims);
    row("Animal", reference.sin_animal, totals.animalClaims);
    log.Append(RuleLine());
    AppendAll(log, {"", "Críticas no arquivo de Sinistros"_cp1252, "Observações:"_cp1252,
                    "A companhia deverá apresentar justificativas para as difereças em relação ao QDP,"_cp1252,
                    "em anexo a este relatório, quando:"_cp1252, "1 - A diferença, em módulo, for maior que 10%"_cp1252,
                    "2 - Existir valor no arquivo, mas não no QDP"_cp1252,
                    "3 - Não existir valor no arquivo, mas existir no QDP"_cp1252,
                    "As justificativas devem ser baseadas em valores, não apenas em caráter subjetivo."_cp1252, ""});
  }
}

}  // namespace tarvelo
