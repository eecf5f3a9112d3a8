// Writes random validation scenarios for tools/compare_builds, which runs
// two builds of tarvelo-cli over them and compares every output:
//
//   random_scenarios --seed S --count N --out DIR
//
// DIR/NNNN/ (NNNN from 0001) holds a catalogue folder, catalogo/
// (tabelas.dbf, anexos.dbf, DadosQdp.DBF), a risks file riscos.dbf, a
// claims file sinistros.dbf, and quirks.txt: the quirks the scenario was
// given, one tag a line ("claims-not-given" tells the script to leave out
// --sinistros). The same seed and count give the same files. Each quirk is
// drawn with a probability of its own, so that most runs complete with
// failures counted and some end with an error; at the end the program
// prints how many scenarios got each quirk.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "testing/catalogue_fixture.h"
#include "testing/dbf_writer.h"
#include "values/text.h"

namespace {

using tarvelo::testing::DbfFieldSpec;
using tarvelo::testing::DbfWriter;
using tarvelo::testing::DomainRow;
using tarvelo::testing::FieldRuleRow;
using tarvelo::testing::QdpRow;

// The random source: the same seed gives the same draws on every machine
// (only the engine's own output is used, never a library distribution).
class Random {
 public:
  explicit Random(uint64_t seed) : engine_(seed) {}
  /// A number from lo to hi, both included.
  int Int(int lo, int hi) { return lo + static_cast<int>(engine_() % static_cast<uint64_t>(hi - lo + 1)); }
  /// True with probability p.
  bool Chance(double p) { return static_cast<double>(engine_() >> 11) * 0x1.0p-53 < p; }
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Int(0, static_cast<int>(items.size()) - 1))];
  }

 private:
  std::mt19937_64 engine_;
};

// A field of a data table as the catalogue means it: its DBF layout and
// its rules.
struct ScenarioField {
  DbfFieldSpec layout;
  std::string depende;
  bool required = false, exact = false, date = false, coded = false, positive = false, sum = false;
  std::vector<std::pair<std::string, std::string>> codes;  // valor1, valor2
};

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

ScenarioField Field(DbfFieldSpec layout, std::string depende, bool required = false, bool exact = false,
                    bool date = false, bool positive = false, bool sum = false) {
  ScenarioField plan;
  plan.layout = std::move(layout);
  plan.depende = std::move(depende);
  plan.required = required;
  plan.exact = exact;
  plan.date = date;
  plan.positive = positive;
  plan.sum = sum;
  return plan;
}

// The catalogue's tipo of a DBF field as the reader maps it.
int TypeOf(const DbfFieldSpec& layout) {
  switch (layout.type) {
    case 'C':
      return 1;
    case 'N':
    case 'F':
      return layout.decimals > 0 ? 6 : layout.length <= 9 ? 3 : 25;
    case 'D':
      return 9;
    case 'L':
      return 5;
    default:
      return 0;
  }
}

const std::vector<std::string> kStates = {"AC", "AL", "BA", "DF", "GO", "MG", "PR", "RS", "SC", "SP"};
const std::vector<std::string> kCauses = {"GEA", "SEC", "CHU", "GRA", "MOR"};
const std::vector<std::string> kModalities = {"61", "62", "63", "64", "65"};

std::vector<ScenarioField> RisksPlan(Random& random) {
  std::vector<ScenarioField> plan;
  plan.push_back(Field({"COD_SEG", 'C', 5}, "", true, true));
  plan.push_back(Field({"APOLICE", 'C', random.Chance(0.5) ? 10 : 20}, "", true));
  plan.push_back(Field({"ITEM", 'C', 6}, "", true, random.Chance(0.7)));
  ScenarioField modality = Field({"COD_MOD", 'N', 2}, "", true);
  modality.coded = true;
  for (const auto& m : kModalities) modality.codes.emplace_back(m, "");
  plan.push_back(modality);
  ScenarioField culture = Field({"COD_CULT", 'C', 4}, "COD_MOD", true, true);
  culture.coded = true;
  for (const auto& m : kModalities)
    for (int c = 1; c <= 3; ++c) culture.codes.emplace_back(m.substr(1) + "0" + std::to_string(c), m);
  plan.push_back(culture);
  plan.push_back(Field({"INICIO_VIG", 'C', 8}, "", true, true, true));
  plan.push_back(Field({"FIM_VIG", 'C', 8}, "", random.Chance(0.5), true, true));
  ScenarioField state = Field({"UF", 'C', 2}, "", random.Chance(0.5));
  state.coded = true;
  for (const auto& s : kStates) state.codes.emplace_back(s, "");
  plan.push_back(state);
  plan.push_back(Field({"IS", 'N', 14, 2}, "", false, false, false, true, true));
  plan.push_back(Field({"PREMIO", 'N', 14, 2}, "", true, false, false, true, true));
  return plan;
}

std::vector<ScenarioField> ClaimsPlan(Random& random) {
  std::vector<ScenarioField> plan;
  plan.push_back(Field({"COD_SEG", 'C', 5}, "", true, true));
  plan.push_back(Field({"APOLICE", 'C', random.Chance(0.5) ? 10 : 20}, "", true));
  plan.push_back(Field({"ITEM", 'C', 6}, "", true, random.Chance(0.7)));
  ScenarioField modality = Field({"COD_MOD", 'N', 2}, "", true);
  modality.coded = true;
  for (const auto& m : kModalities) modality.codes.emplace_back(m, "");
  plan.push_back(modality);
  plan.push_back(Field({"D_OCORR", 'C', 8}, "", random.Chance(0.5), true, true));
  plan.push_back(Field({"D_AVISO", 'C', 8}, "", true, true, true));
  ScenarioField state = Field({"UF", 'C', 2}, "", true);
  state.coded = true;
  for (const auto& s : kStates) state.codes.emplace_back(s, "");
  plan.push_back(state);
  ScenarioField cause = Field({"CAUSA", 'C', 3}, "", false);
  cause.coded = true;
  for (const auto& c : kCauses) cause.codes.emplace_back(c, "");
  plan.push_back(cause);
  plan.push_back(Field({"INDENIZ", 'N', 14, 2}, "", true, false, false, true, true));
  return plan;
}

// A field the catalogue does not usually have: a date, logical or large
// integer column, so that the types the reader maps get their turn.
ScenarioField ExtraField(Random& random) {
  switch (random.Int(0, 3)) {
    case 0: {
      const bool required = random.Chance(0.5);
      return Field({"DT_EMISSAO", 'D', 8}, "", required, false, random.Chance(0.3));
    }
    case 1:
      return Field({"ATIVO", 'L', 1}, "", random.Chance(0.5));
    case 2:
      return Field({"QTD_ANIM", 'N', 12}, "", random.Chance(0.5));
    default:
      return Field({"OBS", 'C', 30}, "", false);
  }
}

// The tally of quirks over all scenarios, printed at the end.
std::map<std::string, int> tally;

struct Scenario {
  Random& random;
  /// Whether the catalogue's rows get quirks of their own (half of the
  /// scenarios): with them in every scenario, hardly any file would pass
  /// its structure check.
  bool noisyCatalogue = false;
  /// Whether a numeric field may be left blank, which ends the run at the
  /// first such record (a coded integer, an amount summed for the totals).
  bool blankNumbers = false;
  std::set<std::string> quirks;
  void Note(const std::string& quirk) { quirks.insert(quirk); }
  bool Maybe(double p, const std::string& quirk) {
    if (!random.Chance(p)) return false;
    Note(quirk);
    return true;
  }
  /// Maybe, in a scenario whose catalogue rows get quirks.
  bool Odd(double p, const std::string& quirk) { return noisyCatalogue && Maybe(p, quirk); }
};

// One table of the data files, as the catalogue names it and as its file
// is laid out.
struct DataTable {
  std::string name;  // code page 1252
  std::vector<ScenarioField> plan;
};

const std::vector<std::string> kFlagColumns = {"TIPO",     "TAMANHO", "DOMINIO", "NULO",     "DATA",
                                               "POSITIVO", "ZEROS",   "ORDEM",   "ZEROSESQ", "SOMA"};

// A flag cell: mostly what the plan says, now and then blank, 2, 2.5 or
// text (the last two only where the column can hold them).
std::string FlagCell(Scenario& s, bool value, bool decimalColumn, bool textColumn) {
  if (s.Odd(0.01, "flag-blank")) return "";
  if (s.Odd(0.005, "flag-2")) return "2";
  if (decimalColumn && s.Odd(0.01, "flag-2.5")) return "2.5";
  if (textColumn && s.Odd(0.004, "flag-text")) return "x";
  return value ? "1" : "0";
}

struct CatalogueLayout {
  int tabelaWidth = 20, campoWidth = 10, valor1Width = 8;
  std::set<std::string> textColumns;     // numeric columns stored as characters
  std::set<std::string> decimalColumns;  // numeric columns with one decimal
  std::string missingColumn;             // of tabelas.dbf
};

void WriteTabelas(const std::string& path, const CatalogueLayout& layout,
                  const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& deleted) {
  std::vector<DbfFieldSpec> fields = {
      {"RAMO", 'C', 10}, {"TABELA", 'C', layout.tabelaWidth}, {"CAMPO", 'C', layout.campoWidth}, {"DEPENDE", 'C', 10}};
  const std::map<std::string, int> widths = {{"TIPO", 2}, {"TAMANHO", 4}, {"ORDEM", 3}};
  for (const auto& column : kFlagColumns) {
    const int width = widths.count(column) ? widths.at(column) : 1;
    if (layout.textColumns.count(column))
      fields.push_back({column, 'C', std::max(width, 3)});
    else if (layout.decimalColumns.count(column))
      fields.push_back({column, 'N', width + 2, 1});
    else
      fields.push_back({column, 'N', width});
  }
  std::vector<size_t> keep;
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].name != layout.missingColumn) keep.push_back(i);
  std::vector<DbfFieldSpec> kept;
  for (size_t i : keep) kept.push_back(fields[i]);
  DbfWriter writer(kept);
  for (size_t r = 0; r < rows.size(); ++r) {
    std::vector<std::string> values;
    for (size_t i : keep) values.push_back(rows[r][i]);
    writer.AddRecord(values, deleted[r]);
  }
  writer.WriteTo(path);
}

std::string RamoOf(Scenario& s) {
  if (s.Odd(0.02, "ramo-blanks")) return " RURAL ";
  if (s.Odd(0.01, "ramo-mixed-case")) return "Rural";
  return "RURAL";
}

// The rows of tabelas.dbf for the tables, with their quirks.
void WriteCatalogue(Scenario& s, const std::string& folder, std::vector<DataTable>& tables) {
  Random& random = s.random;
  CatalogueLayout layout;
  if (s.Maybe(0.1, "table-name-long")) {
    layout.tabelaWidth = 30;
    tables[random.Int(0, 1)].name += "_DO_RAMO_RURAL_LONGO";
  }
  if (s.Maybe(0.08, "campo-column-wide")) layout.campoWidth = 12;
  if (s.Maybe(0.08, "valor1-column-wide")) layout.valor1Width = 10;
  if (s.Maybe(0.06, "numeric-column-as-text")) {
    const std::string column = random.Pick(kFlagColumns);
    layout.textColumns.insert(column);
    s.Note("numeric-column-as-text-" + column);
  }
  if (s.Maybe(0.08, "flag-column-decimal")) layout.decimalColumns.insert(random.Pick(kFlagColumns));
  if (s.Maybe(0.03, "tabelas-column-missing")) {
    const std::vector<std::string> all = {"RAMO", "TABELA", "CAMPO",    "DEPENDE", "TIPO",  "TAMANHO",  "DOMINIO",
                                          "NULO", "DATA",   "POSITIVO", "ZEROS",   "ORDEM", "ZEROSESQ", "SOMA"};
    layout.missingColumn = random.Pick(all);
  }

  std::vector<std::vector<std::string>> rows;
  std::vector<bool> deleted;
  std::vector<DomainRow> domain;
  const bool otherLineFirst = s.Maybe(0.2, "other-line-rows");
  const auto otherLine = [&] {
    rows.push_back({"AUTO", "VEICULOS", "PLACA", "", "1", "7", "0", "0", "0", "0", "0", "1", "1", "0"});
    deleted.push_back(false);
    domain.push_back({"VEICULOS", "PLACA", "ABC1234", "", "AUTO"});
  };
  if (otherLineFirst && random.Chance(0.5)) otherLine();
  // The rows of each table; one of the first table's rows may come after
  // the second's (R, S, R).
  std::vector<std::vector<std::string>> tableRows[2];
  for (size_t t = 0; t < 2; ++t) {
    DataTable& table = tables[t];
    const std::string& name = table.name;
    std::vector<int> positions;
    for (size_t i = 0; i < table.plan.size(); ++i) positions.push_back(static_cast<int>(i) + 1);
    if (s.Odd(0.03, "ordem-gap")) {
      const size_t from = static_cast<size_t>(random.Int(0, static_cast<int>(positions.size()) - 1));
      for (size_t i = from; i < positions.size(); ++i) ++positions[i];
    }
    if (s.Odd(0.03, "ordem-duplicate")) {
      const size_t at = static_cast<size_t>(random.Int(1, static_cast<int>(positions.size()) - 1));
      positions[at] = positions[at - 1];
    }
    if (s.Odd(0.02, "ordem-zero")) positions[static_cast<size_t>(random.Int(0, 2))] = 0;
    if (s.Odd(0.02, "ordem-negative")) positions[static_cast<size_t>(random.Int(0, 2))] = -1;
    for (size_t i = 0; i < table.plan.size(); ++i) {
      const ScenarioField& f = table.plan[i];
      std::string campo = f.layout.name;
      if (s.Odd(0.01, "campo-lower-case")) campo = LowerAscii(campo);
      if (s.Odd(0.01, "campo-unknown")) campo = "CAMPO_X";
      // Cut at 10 characters, a longer name is that of the field.
      if (layout.campoWidth > 10 && campo.size() == 10 && random.Chance(0.7)) {
        campo += "_X";
        s.Note("campo-longer-than-10");
      }
      std::string depende = f.depende;
      if (f.coded && s.Odd(0.01, "depende-missing-field")) depende = "NAO_EXISTE";
      if (f.coded && s.Odd(0.01, "depende-other-table")) depende = t == 0 ? "D_AVISO" : "INICIO_VIG";
      const auto flag = [&](const char* column, bool value) {
        return FlagCell(s, value, layout.decimalColumns.count(column) > 0, layout.textColumns.count(column) > 0);
      };
      const int type = TypeOf(f.layout);
      std::string tipo = std::to_string(type);
      std::string tamanho = std::to_string(type == 1 ? f.layout.length : 0);
      if (s.Odd(0.01, "tipo-wrong")) tipo = "2";
      if (s.Odd(0.01, "tamanho-wrong")) tamanho = std::to_string(f.layout.length + 1);
      if (s.Odd(0.005, "tipo-blank")) tipo = "";
      if (layout.textColumns.count("TAMANHO") && s.Odd(0.1, "tamanho-text")) tamanho = "abc";
      if (layout.textColumns.count("TIPO") && s.Odd(0.1, "tipo-text")) tipo = "t";
      std::string ordem = std::to_string(positions[i]);
      if (s.Odd(0.005, "ordem-blank")) ordem = "";
      if (layout.textColumns.count("ORDEM") && s.Odd(0.05, "ordem-text")) ordem = "o";
      std::vector<std::string> row = {RamoOf(s),
                                      name,
                                      campo,
                                      depende,
                                      tipo,
                                      tamanho,
                                      flag("DOMINIO", f.coded),
                                      flag("NULO", !f.required),
                                      flag("DATA", f.date),
                                      flag("POSITIVO", f.positive),
                                      flag("ZEROS", f.date),
                                      ordem,
                                      flag("ZEROSESQ", f.exact),
                                      flag("SOMA", f.sum)};
      tableRows[t].push_back(row);
      if (s.Odd(0.01, "field-duplicated")) tableRows[t].push_back(row);
    }
    for (const ScenarioField& f : table.plan) {
      for (const auto& [v1, v2] : f.codes) {
        std::string valor1 = v1, tabela = name, campo = f.layout.name;
        if (s.Odd(0.003, "valor1-lower-case")) valor1 = LowerAscii(valor1);
        if (layout.valor1Width > 8 && random.Chance(0.05)) {
          valor1 += "_LONGO";
          s.Note("valor1-longer-than-8");
        }
        if (s.Odd(0.002, "anexos-table-case")) tabela = LowerAscii(tabela);
        if (s.Odd(0.002, "anexos-unknown-table")) tabela = "TABELA_X";
        if (s.Odd(0.002, "anexos-unknown-field")) campo = "CAMPO_X";
        domain.push_back({tabela, campo, valor1, v2, random.Chance(0.01) ? " RURAL " : "RURAL"});
      }
    }
    if (s.Maybe(0.05, "valor2-qualifier-on-plain-field")) domain.push_back({name, "UF", "XX", "9"});
  }
  if (s.Maybe(0.06, "table-rows-not-contiguous")) {
    const size_t at = static_cast<size_t>(random.Int(0, static_cast<int>(tableRows[0].size()) - 1));
    tableRows[1].push_back(tableRows[0][at]);
    tableRows[0].erase(tableRows[0].begin() + static_cast<long>(at));
  }
  for (auto& table : tableRows)
    for (auto& row : table) {
      rows.push_back(row);
      deleted.push_back(s.Odd(0.01, "tabelas-deleted-row"));
    }
  if (otherLineFirst) otherLine();
  if (s.Maybe(0.02, "third-table")) {
    rows.push_back({"RURAL", "ANIMAIS", "COD_SEG", "", "1", "5", "0", "0", "0", "0", "0", "1", "1", "0"});
    deleted.push_back(false);
  }
  if (!s.Maybe(0.01, "tabelas-missing")) WriteTabelas(folder + "tabelas.dbf", layout, rows, deleted);
  if (!s.Maybe(0.015, "anexos-missing")) {
    DbfWriter writer({{"RAMO", 'C', 10},
                      {"TABELA", 'C', layout.tabelaWidth},
                      {"CAMPO", 'C', layout.campoWidth},
                      {"VALOR1", 'C', layout.valor1Width},
                      {"VALOR2", 'C', 2}});
    for (const auto& r : domain)
      writer.AddRecord({r.ramo, r.tabela, r.campo, r.valor1, r.valor2}, s.Odd(0.003, "anexos-deleted-row"));
    writer.WriteTo(folder + "anexos.dbf");
  }
}

const char* kCompany = "05631";

void WriteQdp(Scenario& s, const std::string& folder) {
  if (s.Maybe(0.015, "qdp-missing")) return;
  Random& random = s.random;
  std::vector<QdpRow> rows;
  const int count = s.Maybe(0.04, "qdp-no-rows") ? 0 : s.Maybe(0.2, "qdp-one-row") ? 1 : random.Int(2, 5);
  const bool companyThere = !s.Maybe(0.05, "qdp-company-absent");
  for (int i = 0; i < count; ++i) {
    QdpRow row;
    row.cod_seg = (i == count - 1 && companyThere) ? kCompany : "0" + std::to_string(1000 + random.Int(0, 8999));
    row.empresa = i == count - 1 ? tarvelo::Utf8ToCp1252("SEGURADORA EXEMPLO S.A.") : "OUTRA";
    for (std::string* total : {&row.pr_rural, &row.sin_rural, &row.pr_animal, &row.sin_animal})
      *total = s.Maybe(0.03, "qdp-blank-total") ? "" : std::to_string(random.Int(0, 5000000)) + ".00";
    row.inivig = "20220701";
    row.fimvig = "20230630";
    if (s.Maybe(0.04, "qdp-one-day-window")) row.fimvig = row.inivig;
    if (s.Maybe(0.03, "qdp-unreadable-window"))
      row.fimvig = random.Pick(std::vector<std::string>{"2023063", "abc", "20210101", "20230231", ""});
    if (s.Maybe(0.01, "qdp-duplicate-company") && !rows.empty()) row.cod_seg = rows.back().cod_seg;
    rows.push_back(row);
  }
  if (s.Maybe(0.02, "qdp-column-missing")) {
    DbfWriter writer({{"COD_SEG", 'C', 5}, {"EMPRESA", 'C', 40}, {"PR_RURAL", 'N', 16, 2}, {"INIVIG", 'C', 8}});
    for (const auto& r : rows) writer.AddRecord({r.cod_seg, r.empresa, r.pr_rural, r.inivig});
    writer.WriteTo(folder + "DadosQdp.DBF");
    return;
  }
  tarvelo::testing::WriteQdp(folder + "DadosQdp.DBF", rows);
}

std::string Digits(Random& random, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += static_cast<char>('0' + random.Int(0, 9));
  return text;
}

std::string DateIn(Random& random, int fromYear, int toYear) {
  const int year = random.Int(fromYear, toYear);
  const int month = random.Int(1, 12);
  const int day = random.Int(1, 28);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
  return text;
}

// A value of a field: valid mostly, now and then empty or invalid by the
// field's rules.
std::string ValueOf(Scenario& s, const ScenarioField& f, const std::string& modality, const std::string& policy,
                    const std::string& item) {
  Random& random = s.random;
  const std::string& name = f.layout.name;
  // A blank code would be a second company: that has a quirk of its own.
  if (name == "COD_SEG") return kCompany;
  if (random.Chance(0.03) && (f.layout.type != 'N' || s.blankNumbers)) {
    s.Note(f.layout.type == 'N' ? "number-blank" : "value-empty");
    return "";
  }
  const bool bad = random.Chance(0.04);
  if (bad) s.Note("value-invalid");
  if (name == "APOLICE") return bad ? "" : policy;
  if (name == "ITEM") return bad ? "12" : item;
  if (name == "COD_MOD") return bad ? random.Pick(std::vector<std::string>{"0", "99", "-1"}) : modality;
  if (name == "COD_CULT") {
    if (bad) return random.Pick(std::vector<std::string>{"9901", "0a01", "101", modality.substr(1) + "09"});
    return modality.substr(1) + "0" + std::to_string(random.Int(1, 3));
  }
  if (f.date) {
    if (bad)
      return random.Pick(
          std::vector<std::string>{"20230231", "2023-1-1", "19000101", "20991231", "0000000", "2023010", "ABCDEFGH"});
    if (random.Chance(0.03)) {
      s.Note("date-zeros");
      return "00000000";
    }
    return DateIn(random, 2022, 2023);
  }
  if (name == "UF" || name == "CAUSA") {
    const std::vector<std::string>& codes = name == "UF" ? kStates : kCauses;
    if (bad) {
      const int kind = random.Int(0, 2);
      if (kind == 0) s.Note("code-lower-case");
      if (kind == 2) s.Note("code-full-width");
      return kind == 0   ? LowerAscii(random.Pick(codes))
             : kind == 1 ? "ZZ"
                         : std::string("\xEF\xBC\xA1");  // a full-width A, as UTF-8 bytes
    }
    return random.Pick(codes);
  }
  switch (f.layout.type) {
    case 'N':
      if (f.layout.decimals > 0) return (bad ? "-" : "") + std::to_string(random.Int(0, 99999)) + ".50";
      return std::to_string(random.Int(0, 999));
    case 'D':
      return bad ? "20231340" : DateIn(random, 2020, 2024);
    case 'L':
      return bad ? "?" : random.Chance(0.5) ? "T" : "F";
    default:
      return bad ? std::string(f.layout.length + 2, 'X') : "texto";
  }
}

// The data file's layout: the plan's, or one changed in one way.
std::vector<DbfFieldSpec> LayoutOf(Scenario& s, const std::vector<ScenarioField>& plan, const std::string& tag) {
  Random& random = s.random;
  std::vector<DbfFieldSpec> fields;
  for (const ScenarioField& f : plan) fields.push_back(f.layout);
  if (!s.Maybe(0.15, "layout-differs")) return fields;
  const size_t at = static_cast<size_t>(random.Int(1, static_cast<int>(fields.size()) - 1));
  switch (random.Int(0, 5)) {
    case 0:
      s.Note(tag + "-layout-type");
      fields[at].type = fields[at].type == 'C' ? 'N' : 'C';
      fields[at].decimals = 0;
      break;
    case 1:
      s.Note(tag + "-layout-size");
      fields[at].length += 1;
      break;
    case 2:
      s.Note(tag + "-layout-name");
      fields[at].name = fields[at].name.substr(0, 7) + "_X";
      break;
    case 3:
      s.Note(tag + "-layout-order");
      std::swap(fields[at], fields[at - 1]);
      break;
    case 4:
      s.Note(tag + "-layout-extra-field");
      fields.push_back({"EXTRA", 'C', 4});
      break;
    default:
      s.Note(tag + "-layout-missing-field");
      fields.erase(fields.begin() + static_cast<long>(at));
      break;
  }
  return fields;
}

// The record of values under the file's layout: each value of the plan
// goes to the field of its name, whatever its place.
std::vector<std::string> Arrange(const std::vector<DbfFieldSpec>& layout, const std::vector<ScenarioField>& plan,
                                 const std::vector<std::string>& values) {
  std::vector<std::string> record;
  for (const DbfFieldSpec& field : layout) {
    std::string value;
    for (size_t i = 0; i < plan.size(); ++i)
      if (plan[i].layout.name == field.name) value = values[i];
    record.push_back(value);
  }
  return record;
}

// The bytes of a record with a numeric field's digits left-aligned, which
// ends the run when the field is coded.
std::string LeftAligned(const DbfWriter& writer, const std::vector<std::string>& record, const std::string& name) {
  std::string bytes = writer.EncodeRecord(record);
  size_t offset = 1;
  for (size_t i = 0; i < writer.Fields().size(); ++i) {
    const DbfFieldSpec& f = writer.Fields()[i];
    if (f.name == name && f.type == 'N') {
      std::string digits = tarvelo::Trim(bytes.substr(offset, static_cast<size_t>(f.length)));
      digits.resize(static_cast<size_t>(f.length), ' ');
      bytes.replace(offset, static_cast<size_t>(f.length), digits);
    }
    offset += static_cast<size_t>(f.length);
  }
  return bytes;
}

struct Policy {
  std::string policy, item, modality;
};

std::vector<Policy> WriteRisks(Scenario& s, const std::string& path, const std::vector<ScenarioField>& plan) {
  Random& random = s.random;
  const std::vector<DbfFieldSpec> layout = LayoutOf(s, plan, "risks");
  DbfWriter writer(layout);
  std::vector<Policy> policies;
  const int count = s.Maybe(0.04, "risks-zero-records") ? 0 : random.Int(10, 200);
  const bool secondCompany = s.Maybe(0.05, "risks-second-company");
  const bool leftAligned = s.Maybe(0.02, "risks-left-aligned-code");
  for (int r = 0; r < count; ++r) {
    const Policy policy{"10" + Digits(random, 8), std::string(4, '0') + std::to_string(random.Int(10, 99)),
                        random.Pick(kModalities)};
    policies.push_back(policy);
    std::vector<std::string> values;
    for (const ScenarioField& f : plan) values.push_back(ValueOf(s, f, policy.modality, policy.policy, policy.item));
    if (secondCompany && r == count / 2) values[0] = "01111";
    const std::vector<std::string> record = Arrange(layout, plan, values);
    if (leftAligned && r == count - 1)
      writer.AddRawRecord(LeftAligned(writer, record, "COD_MOD"));
    else
      writer.AddRecord(record, s.Maybe(0.01, "risks-deleted-record"));
  }
  writer.WriteTo(path);
  return policies;
}

void WriteClaims(Scenario& s, const std::string& path, const std::vector<ScenarioField>& plan,
                 const std::vector<Policy>& policies) {
  Random& random = s.random;
  const std::vector<DbfFieldSpec> layout = LayoutOf(s, plan, "claims");
  DbfWriter writer(layout);
  const int count = s.Maybe(0.05, "claims-zero-records") ? 0 : random.Int(5, 100);
  const bool secondCompany = s.Maybe(0.03, "claims-second-company");
  for (int r = 0; r < count; ++r) {
    Policy policy{"10" + Digits(random, 8), "000001", random.Pick(kModalities)};
    if (!policies.empty() && random.Chance(0.8))
      policy = policies[static_cast<size_t>(random.Int(0, static_cast<int>(policies.size()) - 1))];
    else
      s.Note("claim-without-policy");
    std::vector<std::string> values;
    for (const ScenarioField& f : plan) values.push_back(ValueOf(s, f, policy.modality, policy.policy, policy.item));
    if (secondCompany && r == count / 2) values[0] = "01111";
    writer.AddRecord(Arrange(layout, plan, values), s.Maybe(0.01, "claims-deleted-record"));
  }
  writer.WriteTo(path);
}

void WriteScenario(Random& random, const std::string& dir) {
  Scenario s{random, false, false, {}};
  s.noisyCatalogue = s.Maybe(0.5, "catalogue-rows-with-quirks");
  s.blankNumbers = random.Chance(0.05);
  const std::string folder = dir + "/catalogo/";
  std::filesystem::create_directories(folder);
  // Names in code page 1252; their case and accents change the order the
  // tables are walked in (by the locale's collation).
  std::vector<std::string> risksNames = {"RISCOS", "RISCOS", "RISCOS", "Riscos", "riscos", "RÍSCOS"};
  std::vector<std::string> claimsNames = {"SINISTROS", "SINISTROS", "SINISTROS", "Sinistros",
                                          "SINISTRÓS", "AVISOS",    "ÁVISOS"};
  std::vector<DataTable> tables = {{tarvelo::Utf8ToCp1252(random.Pick(risksNames)), RisksPlan(random)},
                                   {tarvelo::Utf8ToCp1252(random.Pick(claimsNames)), ClaimsPlan(random)}};
  if (tables[0].name != "RISCOS") s.Note("risks-name-case-or-accent");
  if (tables[1].name != "SINISTROS") s.Note("claims-name-case-or-accent");
  for (auto& table : tables)
    if (s.Maybe(0.08, "extra-field")) table.plan.push_back(ExtraField(random));
  WriteCatalogue(s, folder, tables);
  WriteQdp(s, folder);
  const std::vector<Policy> policies = WriteRisks(s, dir + "/riscos.dbf", tables[0].plan);
  if (s.Maybe(0.03, "claims-not-given")) {
  } else if (!s.Maybe(0.03, "claims-file-missing")) {
    WriteClaims(s, dir + "/sinistros.dbf", tables[1].plan, policies);
  }
  std::string text;
  for (const auto& quirk : s.quirks) {
    text += quirk + "\n";
    ++tally[quirk];
  }
  tarvelo::testing::WriteFile(dir + "/quirks.txt", text);
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t seed = 1;
  int count = 0;
  std::string out;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--seed")
      seed = std::stoull(argv[i + 1]);
    else if (name == "--count")
      count = std::stoi(argv[i + 1]);
    else if (name == "--out")
      out = argv[i + 1];
  }
  if (out.empty() || count <= 0 || argc % 2 == 0) {
    std::cerr << "usage: random_scenarios --seed S --count N --out DIR\n";
    return 2;
  }
  for (int n = 1; n <= count; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d", n);
    // Each scenario draws from a seed of its own, so that one scenario can
    // be made again alone from the seed and its number.
    Random one(seed * 1000003u + static_cast<uint64_t>(n));
    WriteScenario(one, out + "/" + name);
  }
  std::cout << "Quirks over " << count << " scenarios (seed " << seed << "):\n";
  for (const auto& [quirk, times] : tally) std::cout << "  " << quirk << ": " << times << "\n";
  return 0;
}
