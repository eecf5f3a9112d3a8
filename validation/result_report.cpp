#include "validation/result_report.h"

#include "validation/report_format.h"
#include "validation/structure_check.h"
#include "values/text.h"

namespace tarvelo {
namespace {

std::string Share(const Variant& count, int32_t recordCount, const RegionalSettings& settings) {
  const Variant share = Divide(Multiply(Variant::Byte(100), count, settings), Variant::Integer(recordCount), settings);
  return FormatNumber(ToDouble(share, settings), 2, settings) + "%";
}

}  // namespace

std::string FieldTableHeader() {
  return PadRight("Tabela", 20) + PadRight("Campo", 20) + PadRight("ErroNulo", 10) + PadRight("%", 10) +
         PadRight("ErroDom", 10) + PadRight("%", 10);
}

bool WriteResultSection(ResultLog& log, MemTable& structure, const ResultSectionInput& input,
                        const RegionalSettings& settings) {
  GoToFirstRowOfTable(structure, input.tableNumber, settings);
  log.Append(RuleLine());
  log.Replace(2, "Empresa: " + input.companyCode + " - " + input.companyName);
  log.Append("Arquivo: " + input.filePath);
  log.Append("Total de Registros: " + std::to_string(input.recordCount));
  log.Append("");
  log.Append(FieldTableHeader());
  if (input.recordCount < 1) {
    log.Append("");
    log.Append("Arquivo sem registros.....");
    log.Append("");
    return false;
  }
  for (; OnRowOfTable(structure, input.tableNumber, settings); structure.Next()) {
    const Variant nullCount = structure.FieldValue("erroNulo");
    const Variant domainCount = structure.FieldValue("erroDom");
    log.Append(PadRight(input.tableName, 20) + PadRight(Trim(ToText(structure.FieldValue("campo"), settings)), 20) +
               PadRight(ToText(nullCount, settings), 10) + PadRight(Share(nullCount, input.recordCount, settings), 10) +
               PadRight(ToText(domainCount, settings), 10) +
               PadRight(Share(domainCount, input.recordCount, settings), 10));
  }
  log.Append(RuleLine());
  log.Append("");
  return true;
}

}  // namespace tarvelo
