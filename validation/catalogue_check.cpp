#include "validation/catalogue_check.h"

#include <algorithm>
#include <map>
#include <set>

#include "dbf/dbf_table.h"
#include "os/file_system.h"
#include "os/process.h"
#include "validation/analysis_period.h"
#include "validation/rules_listing.h"
#include "values/cp1252_literal.h"
#include "values/errors.h"
#include "values/field_type.h"
#include "values/text.h"

namespace tarvelo {
namespace {

// The trimmed text of a cell, empty for a null one.
std::string TextOf(DbfTable& table, const char* name, const RegionalSettings& settings) {
  const Variant value = table.FieldValue(name);
  return value.IsNull() ? std::string() : Trim(ToText(value, settings));
}

// The integer of a cell; nullopt for a null cell or one that is no number.
std::optional<int64_t> IntegerOf(DbfTable& table, const char* name, const RegionalSettings& settings) {
  const Variant value = table.FieldValue(name);
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

void CheckReferenceTable(DbfTable& qdp, const RegionalSettings& settings, std::vector<CatalogueFault>& faults) {
  std::map<std::string, int64_t> firstRow;
  for (qdp.First(); !qdp.AtEnd(); qdp.Next()) {
    const int64_t row = qdp.RecordNumber();
    const std::string code = TextOf(qdp, "cod_seg", settings);
    const auto fault = [&](std::string problem) { faults.push_back({"DadosQdp.DBF", row, "", std::move(problem)}); };
    const auto [first, added] = firstRow.emplace(code, row);
    if (!added)
      fault("código de empresa "_cp1252 + code + " repetido (também na linha "_cp1252 + std::to_string(first->second) +
            ")");
    const std::string start = TextOf(qdp, "inivig", settings), end = TextOf(qdp, "fimvig", settings);
    if (!WindowText(start, end)) {
      fault("vigência \""_cp1252 + start + "\" a \"" + end + "\" ilegível"_cp1252);
      faults.back().unreadableWindow = true;
    }
    for (const char* total : {"PR_RURAL", "SIN_RURAL", "PR_ANIMAL", "SIN_ANIMAL"}) {
      const Variant value = qdp.FieldValue(total);
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

// The names of the catalogue's tables, in the order their faults are listed.
constexpr const char* kCatalogueTables[] = {"tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"};

void AddShortTableFault(const DbfTable& table, const std::string& file, std::vector<CatalogueFault>& faults) {
  if (auto fault = ShortTableFault(table, file)) faults.push_back(std::move(*fault));
}

}  // namespace

std::optional<CatalogueFault> ShortTableFault(const DbfTable& table, const std::string& file) {
  const int64_t declared = table.DeclaredRecordCount();
  const int64_t missing = declared - table.PhysicalRecordCount();
  if (missing <= 0) return std::nullopt;
  return CatalogueFault{file, 0, "",
                        "arquivo cortado: faltam " + std::to_string(missing) + " dos " + std::to_string(declared) +
                            " registros que o cabeçalho declara"_cp1252};
}

std::vector<CatalogueFault> ShortCatalogueTables(const std::string& folder, const RegionalSettings& settings) {
  std::vector<CatalogueFault> faults;
  for (const char* name : kCatalogueTables) {
    try {
      DbfTable table("", settings);
      table.SetDBFFileName(folder + name);
      table.Open();
      AddShortTableFault(table, name, faults);
    } catch (const TarveloError&) {
    }
  }
  return faults;
}

std::vector<CatalogueFault> CheckCatalogue(const std::string& folder, const RegionalSettings& settings) {
  std::vector<CatalogueFault> faults;
  DbfTable anexos("tbAnexos", settings);
  anexos.SetDBFFileName(folder + "anexos.dbf");
  anexos.Open();
  std::set<std::pair<std::string, std::string>> coded;
  for (; !anexos.AtEnd(); anexos.Next()) {
    if (TextOf(anexos, "ramo", settings) != "RURAL") continue;
    coded.emplace(TextOf(anexos, "tabela", settings), TextOf(anexos, "campo", settings));
  }
  DbfTable tabelas("tbTabelas", settings);
  tabelas.SetDBFFileName(folder + "tabelas.dbf");
  tabelas.Open();
  AddShortTableFault(tabelas, "tabelas.dbf", faults);
  std::vector<FieldRow> rows;
  for (; !tabelas.AtEnd(); tabelas.Next()) {
    if (TextOf(tabelas, "ramo", settings) != "RURAL") continue;
    rows.push_back({tabelas.RecordNumber(), TextOf(tabelas, "tabela", settings), TextOf(tabelas, "campo", settings),
                    TextOf(tabelas, "depende", settings), IntegerOf(tabelas, "tipo", settings),
                    IntegerOf(tabelas, "tamanho", settings), IntegerOf(tabelas, "dominio", settings),
                    IntegerOf(tabelas, "ordem", settings)});
  }
  CheckFields(rows, coded, faults);
  std::stable_sort(faults.begin(), faults.end(),
                   [](const CatalogueFault& a, const CatalogueFault& b) { return a.row < b.row; });
  AddShortTableFault(anexos, "anexos.dbf", faults);
  DbfTable qdp("tbDadosQdp", settings);
  qdp.SetDBFFileName(folder + "DadosQdp.DBF");
  qdp.Open();
  AddShortTableFault(qdp, "DadosQdp.DBF", faults);
  CheckReferenceTable(qdp, settings, faults);
  return faults;
}

std::vector<CatalogueFileFacts> CatalogueFiles(const std::string& folder, const RegionalSettings& settings) {
  std::vector<CatalogueFileFacts> files;
  for (const char* name : kCatalogueTables) {
    CatalogueFileFacts& one = files.emplace_back();
    one.file = name;
    int64_t size = 0;
    int64_t modified = 0;
    if (os::SizeAndModifiedAt(folder + name, size, modified)) {
      const std::tm local = os::LocalTime(static_cast<std::time_t>(modified));
      one.modified = CivilDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                   local.tm_hour,        local.tm_min,     local.tm_sec};
    }
    try {
      DbfTable table("", settings);
      table.SetDBFFileName(folder + name);
      table.Open();
      one.records = table.PhysicalRecordCount();
    } catch (const TarveloError&) {
    }
  }
  return files;
}

std::string FaultLine(const CatalogueFault& fault) {
  return fault.file + (fault.row == 0 ? "" : ", linha " + std::to_string(fault.row)) +
         (fault.field.empty() ? "" : ", campo " + fault.field) + ": " + fault.problem;
}

}  // namespace tarvelo
