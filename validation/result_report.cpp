#include "validation/result_report.h"

#include "validation/report_format.h"
#include "validation/structure_check.h"
#include "values/text.h"
#include "values/variant_operators.h"

namespace tarvelo {
namespace {

double Share(const Variant& count, int32_t recordCount, const RegionalSettings& settings) {
  return ToDouble(Divide(Multiply(Variant::Byte(100), count, settings), Variant::Integer(recordCount), settings),
                  settings);
}

std::string ShareText(double share, const RegionalSettings& settings) { return FormatNumber(share, 2, settings) + "%"; }

}  // namespace

std::string FieldTableHeader() {
  return PadRight("Tabela", 20) + PadRight("Campo", 20) + PadRight("ErroNulo", 10) + PadRight("%", 10) +
         PadRight("ErroDom", 10) + PadRight("%", 10);
}

bool WriteResultSection(ResultLog& log, const Catalogue& catalogue, const std::vector<FieldCounts>& rowCounts,
                        const ResultSectionInput& input, const RegionalSettings& settings,
                        std::vector<FieldResult>* fields) {
  log.Append(RuleLine());
  log.Replace(2, "Empresa: " + input.companyCode + " - " + input.companyName);
  // A name's control characters would break the line or reach a terminal.
  log.Append("Arquivo: " + EscapeControlCharacters(input.filePath));
  log.Append("Total de Registros: " + std::to_string(input.recordCount));
  log.Append("");
  log.Append(FieldTableHeader());
  if (input.recordCount < 1) {
    log.Append("");
    log.Append("Arquivo sem registros.....");
    log.Append("");
    return false;
  }
  const auto [first, last] = RowsOfTable(catalogue, input.tableNumber);
  for (size_t row = first; row < last; ++row) {
    const FieldCounts& counts = rowCounts[row];
    const Variant nullCount = Variant::Integer(static_cast<int32_t>(counts.nulls));
    const Variant domainCount = Variant::Integer(static_cast<int32_t>(counts.invalid));
    const std::string field = Trim(catalogue.FieldRows()[row].name);
    const double nullShare = Share(nullCount, input.recordCount, settings);
    const double domainShare = Share(domainCount, input.recordCount, settings);
    log.Append(PadRight(input.tableName, 20) + PadRight(field, 20) + PadRight(ToText(nullCount, settings), 10) +
               PadRight(ShareText(nullShare, settings), 10) + PadRight(ToText(domainCount, settings), 10) +
               PadRight(ShareText(domainShare, settings), 10));
    if (fields) {
      fields->push_back({field, static_cast<int64_t>(ToDouble(nullCount, settings)), nullShare,
                         static_cast<int64_t>(ToDouble(domainCount, settings)), domainShare});
    }
  }
  log.Append(RuleLine());
  log.Append("");
  return true;
}

}  // namespace tarvelo
