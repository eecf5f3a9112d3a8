#include "validation/reference_totals.h"

#include <cmath>

#include "validation/report_format.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {

TotalsAccumulator::TotalsAccumulator(DbfTable& data, int32_t tableNumber, const ReferenceTotals& reference,
                                     const RegionalSettings& settings)
    : data_(data),
      risks_(tableNumber == 1),
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
  animal = IsAnimalModality(resolve(modality_, "COD_MOD").AsVariant(record), settings_);
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

std::string TotalsRow(const std::string& label, double reference, double fileTotal,
                      const RegionalSettings& settings) {
  std::string row = PadRight(label, 15);
  row += PadRight(FormatNumber(reference, 0, settings), 25);
  row += PadRight(FormatNumber(fileTotal, 0, settings), 25);
  if (reference == 0) {
    row += "div por zero";
  } else {
    const long double difference =
        (static_cast<long double>(fileTotal) - reference) / static_cast<long double>(reference) * 100.0L;
    row += FormatNumber(static_cast<double>(difference), 2, settings);
  }
  return row;
}

namespace {

const char* const kTotalsHeader =
    "Modalidade     Valor QDP                Valor Arquivo            Diferen\xE7" "a (%)";

void AppendAll(ResultLog& log, std::initializer_list<const char*> lines) {
  for (const char* line : lines) log.Append(line);
}

}  // namespace

void WriteTotalsSection(ResultLog& log, int32_t tableNumber, const ReferenceTotals& reference,
                        const RunTotals& totals, const RegionalSettings& settings) {
  const bool premiums = tableNumber == 1;
  log.Append(RuleLine());
  log.Append("");
  log.Append(premiums ? "Teste de Pr\xEAmios Emitidos:" : "Teste de Sinistros Pagos:");
  log.Append(kTotalsHeader);
  log.Append("");
  if (premiums) {
    log.Append(TotalsRow("Rural", reference.pr_rural, totals.ruralPremiums, settings));
    log.Append(TotalsRow("Animal", reference.pr_animal, totals.animalPremiums, settings));
    log.Append("");
    log.Append(RuleLine());
    AppendAll(log, {"",
                    "Observa\xE7\xF5" "es:",
                    "O item Total informado de Pr\xEAmios considera somente as ap\xF3lices com in\xED" "cio de "
                    "vig\xEAncia no per\xED" "odo considerado: 01/07/2022 a 30/06/2023",
                    "A companhia dever\xE1 apresentar justificativas para as difere\xE7" "as em rela\xE7\xE3o ao ",
                    "QDP, em anexo a este relat\xF3rio, quando:",
                    "1 - A diferen\xE7" "a, em m\xF3" "dulo, for maior que 10%",
                    "2 - Existir valor no arquivo, mas n\xE3o no QDP",
                    "3 - N\xE3o existir valor no arquivo, mas existir no QDP",
                    ""});
  } else {
    log.Append(TotalsRow("Rural", reference.sin_rural, totals.ruralClaims, settings));
    log.Append(TotalsRow("Animal", reference.sin_animal, totals.animalClaims, settings));
    log.Append(RuleLine());
    AppendAll(log, {"",
                    "Cr\xEDticas no arquivo de Sinistros",
                    "Observa\xE7\xF5" "es:",
                    "A companhia dever\xE1 apresentar justificativas para as difere\xE7" "as em rela\xE7\xE3o ao QDP,",
                    "em anexo a este relat\xF3rio, quando:",
                    "1 - A diferen\xE7" "a, em m\xF3" "dulo, for maior que 10%",
                    "2 - Existir valor no arquivo, mas n\xE3o no QDP",
                    "3 - N\xE3o existir valor no arquivo, mas existir no QDP",
                    "As justificativas devem ser baseadas em valores, n\xE3o apenas em car\xE1ter subjetivo.",
                    ""});
  }
}

}  // namespace tarvelo
