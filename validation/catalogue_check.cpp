#include "validation/catalogue_check.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "validation/analysis_period.h"
#include "validation/rules_listing.h"
#include "values/cp1252_literal.h"
#include "values/errors.h"
#include "values/field_type.h"
#include "values/text.h"

namespace tarvelo {
namespace {

// The trimmed text of a cell, empty for a null one.
std::string TextOf(const CatalogueTable& table, size_t row, const char* name, const RegionalSettings& settings) {
  const Variant value = table.Value(row, name);
  return value.IsNull() ? std::string() : Trim(ToText(value, settings));
}

// The integer of a cell; nullopt for a null cell or one that is no number.
std::optional<int64_t> IntegerOf(const CatalogueTable& table, size_t row, const char* name,
                                 const RegionalSettings& settings) {
  const Variant value = table.Value(row, name);
  if (value.IsNull()) return std::nullopt;
  try {
    return ToInteger(value, settings);
  } catch (const TarveloError&) {
    return std::nullopt;
  }
}

struct FieldRow {
  int64_t row;
  std::string table, field, dependsOn;
  std::optional<int64_t> type, size, coded, position;
};

// The size a field of the type can have: any from 1 for text, 0 for the
// others; false for a type no DBF field has.
bool TypeAndSizeFit(int64_t type, int64_t size, std::string& problem) {
  switch (type) {
    case ftString:
      if (size >= 1 && size <= 65535) return true;
      problem = "tamanho " + std::to_string(size) + " que nenhum campo texto pode ter";
      return false;
    case ftInteger:
    case ftLargeint:
    case ftFloat:
    case ftDate:
    case ftBoolean:
    case ftMemo:
      if (size == 0) return true;
      problem = "tamanho " + std::to_string(size) + " num campo do tipo " + FieldTypeName(static_cast<int>(type)) +
                " (deve ser 0)";
      return false;
    default:
      problem = "tipo " + std::to_string(type) + " que nenhum campo DBF tem";
      return false;
  }
}

void CheckFields(const std::vector<FieldRow>& rows, const std::set<std::pair<std::string, std::string>>& coded,
                 std::vector<CatalogueFault>& faults) {
  const auto fault = [&](const FieldRow& row, std::string problem) {
    faults.push_back({"tabelas.dbf", row.row, row.field, std::move(problem)});
  };
  std::map<std::pair<std::string, std::string>, int64_t> firstRow;
  std::map<std::string, std::vector<const FieldRow*>> byTable;
  for (const FieldRow& row : rows) byTable[row.table].push_back(&row);
  for (const FieldRow& row : rows) {
    const auto [first, added] = firstRow.emplace(std::make_pair(row.table, row.field), row.row);
    if (!added)
      fault(row, "campo repetido na tabela " + row.table + " (também na linha "_cp1252 + std::to_string(first->second) +
                     ")");
    std::string problem;
    if (!row.type || !row.size)
      fault(row, "tipo ou tamanho ilegível"_cp1252);
    else if (!TypeAndSizeFit(*row.type, *row.size, problem))
      fault(row, problem);
    if (!row.dependsOn.empty() && !firstRow.count({row.table, row.dependsOn}) &&
        std::none_of(rows.begin(), rows.end(),
                     [&](const FieldRow& other) { return other.table == row.table && other.field == row.dependsOn; }))
      fault(row, "depende do campo " + row.dependsOn + ", que a tabela " + row.table + " não tem"_cp1252);
    if (row.coded == 1 && !coded.count({row.table, row.field}))
      fault(row, "campo codificado sem nenhum código admissível em anexos.dbf"_cp1252);
  }
  // Positions 1, 2, 3... in each table, in the order of their values.
  for (auto& [table, fields] : byTable) {
    std::stable_sort(fields.begin(), fields.end(),
                     [](const FieldRow* a, const FieldRow* b) { return a->position < b->position; });
    int64_t expected = 1;
    for (const FieldRow* row : fields) {
      if (row->position != expected)
        fault(*row, "posição "_cp1252 + (row->position ? std::to_string(*row->position) : "ilegível"_cp1252) +
                        " onde a tabela " + table + " espera " + std::to_string(expected));
      ++expected;
    }
  }
}

void CheckReferenceTable(const CatalogueTable& qdp, const RegionalSettings& settings,
                         std::vector<CatalogueFault>& faults) {
  std::map<std::string, int64_t> firstRow;
  for (size_t at = 0; at < qdp.Rows(); ++at) {
    const int64_t row = static_cast<int64_t>(at) + 1;
    const std::string code = TextOf(qdp, at, "cod_seg", settings);
    const auto fault = [&](std::string problem) { faults.push_back({"DadosQdp.DBF", row, "", std::move(problem)}); };
    const auto [first, added] = firstRow.emplace(code, row);
    if (!added)
      fault("código de empresa "_cp1252 + code + " repetido (também na linha "_cp1252 + std::to_string(first->second) +
            ")");
    const std::string start = TextOf(qdp, at, "inivig", settings), end = TextOf(qdp, at, "fimvig", settings);
    if (!WindowText(start, end)) {
      fault("vigência \""_cp1252 + start + "\" a \"" + end + "\" ilegível"_cp1252);
      faults.back().unreadableWindow = true;
    }
    for (const char* total : {"PR_RURAL", "SIN_RURAL", "PR_ANIMAL", "SIN_ANIMAL"}) {
      const Variant value = qdp.Value(at, total);
      bool number = !value.IsNull();
      if (number) {
        try {
          ToDouble(value, settings);
        } catch (const TarveloError&) {
          number = false;
        }
      }
      if (!number) fault(std::string("total ") + total + " ilegível"_cp1252);
    }
  }
}

void AddShortTableFault(const CatalogueTable& table, std::vector<CatalogueFault>& faults) {
  if (auto fault = ShortTableFault(table)) faults.push_back(std::move(*fault));
}

}  // namespace

std::optional<CatalogueFault> ShortTableFault(const CatalogueTable& table) {
  const int64_t declared = table.DeclaredRecords();
  const int64_t missing = declared - static_cast<int64_t>(table.Rows());
  if (!table.Read() || missing <= 0) return std::nullopt;
  return CatalogueFault{table.File(), 0, "",
                        "arquivo cortado: faltam " + std::to_string(missing) + " dos " + std::to_string(declared) +
                            " registros que o cabeçalho declara"_cp1252};
}

std::vector<CatalogueFault> ShortCatalogueTables(const Catalogue& catalogue) {
  std::vector<CatalogueFault> faults;
  for (const CatalogueTable& table :
       {std::cref(catalogue.Fields()), std::cref(catalogue.Codes()), std::cref(catalogue.Reference())})
    AddShortTableFault(table, faults);
  return faults;
}

std::vector<CatalogueFault> CheckCatalogue(const Catalogue& catalogue, const RegionalSettings& settings) {
  std::vector<CatalogueFault> faults;
  const CatalogueTable& anexos = catalogue.Codes();
  anexos.Raise();
  std::set<std::pair<std::string, std::string>> coded;
  for (size_t row = 0; row < anexos.Rows(); ++row) {
    if (TextOf(anexos, row, "ramo", settings) != kLineOfBusiness) continue;
    coded.emplace(TextOf(anexos, row, "tabela", settings), TextOf(anexos, row, "campo", settings));
  }
  const CatalogueTable& tabelas = catalogue.Fields();
  tabelas.Raise();
  AddShortTableFault(tabelas, faults);
  std::vector<FieldRow> rows;
  for (size_t at = 0; at < tabelas.Rows(); ++at) {
    if (TextOf(tabelas, at, "ramo", settings) != kLineOfBusiness) continue;
    rows.push_back({static_cast<int64_t>(at) + 1, TextOf(tabelas, at, "tabela", settings),
                    TextOf(tabelas, at, "campo", settings), TextOf(tabelas, at, "depende", settings),
                    IntegerOf(tabelas, at, "tipo", settings), IntegerOf(tabelas, at, "tamanho", settings),
                    IntegerOf(tabelas, at, "dominio", settings), IntegerOf(tabelas, at, "ordem", settings)});
  }
  CheckFields(rows, coded, faults);
  std::stable_sort(faults.begin(), faults.end(),
                   [](const CatalogueFault& a, const CatalogueFault& b) { return a.row < b.row; });
  AddShortTableFault(anexos, faults);
  const CatalogueTable& qdp = catalogue.Reference();
  qdp.Raise();
  AddShortTableFault(qdp, faults);
  CheckReferenceTable(qdp, settings, faults);
  return faults;
}

std::string FaultLine(const CatalogueFault& fault) {
  return fault.file + (fault.row == 0 ? "" : ", linha " + std::to_string(fault.row)) +
         (fault.field.empty() ? "" : ", campo " + fault.field) + ": " + fault.problem;
}

}  // namespace tarvelo
