#include "validation/html_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "os/file_system.h"
#include "testing/run_fixture.h"
#include "validation/catalogue_rules.h"
#include "validation/html_writer.h"
#include "validation/report_format.h"
#include "validation/results_json.h"
#include "values/cp1252_literal.h"

namespace tarvelo {
namespace {

using testing::DbfWriter;
using testing::RunTest;

size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Values a file, the catalogue or a path could hold, meant to become markup.
const std::string kScript = "</td><script>document.title='x'</script>";
const std::string kImage = "\"><img src=x onerror=alert(1)>";

TEST(HtmlWriterTest, HostileValuesComeOutAsText) {
  // Control bytes show as their pictures, the code page's bytes as UTF-8,
  // a byte string that is no UTF-8 as the code page reads it.
  EXPECT_EQ(html::Text(std::string_view("a\0\x01\x1b\x1f\x7f"
                                        "b",
                                        7))
                .Bytes(),
            "a\u2400\u2401\u241b\u241f\u2421b");
  EXPECT_EQ(html::Text("\xE9\xC3\x28\x81\xA0").Bytes(), "é\u00C3(\u27E881\u27E9\u27E8A0\u27E9");
  EXPECT_EQ(html::Element("td", {{"title", kImage}}, html::Text(kScript)).Bytes(),
            "<td title=\"&quot;&gt;&lt;img src=x onerror=alert(1)&gt;\">&lt;/td&gt;&lt;script&gt;document.title=&#39;"
            "x&#39;&lt;/script&gt;</td>");

  // The same values everywhere the page shows one.
  RunResults results;
  results.completed = true;
  results.companyCode = kScript;
  results.companyName = kImage;
  results.files.push_back({kImage, kScript, 1, 2, true, false, {{kScript, 1, 50, 0, 0}}, {{kImage, 1, 2, 100}}});
  results.claims = ClaimsResult{1, 2, 50};
  HtmlPageRows rows;
  rows.BeginFile(kImage, kScript);
  rows.Row({1, kScript, DetailRule::Domain, kScript + "\x1b[2J" + kImage, {}, {}, {}});
  rows.Row({2, "APOLICE+ITEM", DetailRule::NoPolicy, {}, kScript, kImage, {}});
  PageFacts facts;
  facts.rules = {{kScript, {{kScript, 1, 5, true, false, false, false, true, kImage, {{kScript, kImage}}}}}};
  facts.error = kScript + "\n" + kImage;
  const std::string page = HtmlPage(results, rows, facts, RegionalSettings::Brazilian());
  EXPECT_LT(page.find("<section id=\"erro\">"), page.find("<section id=\"resultado\">"));  // the error first
  EXPECT_EQ(CountOf(page, "<script"), 1u);                                                 // the page's own
  EXPECT_EQ(CountOf(page, "<img"), 0u);
  EXPECT_EQ(CountOf(page, "\x1b"), 0u);
  EXPECT_GE(CountOf(page, "&lt;/td&gt;&lt;script&gt;"), 9u);
  EXPECT_GE(CountOf(page, "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;"), 7u);
}

// An error before the company is known: the page names no empty company.
TEST(HtmlPageTest, AnErrorBeforeTheCompanyNamesNone) {
  PageFacts facts;
  facts.error = "O arquivo de riscos não pôde ser aberto."_cp1252;
  const std::string page = HtmlPage(RunResults{}, HtmlPageRows{}, facts, RegionalSettings::Brazilian());
  EXPECT_NE(page.find("<title>Validação dos arquivos</title>"), std::string::npos);
  EXPECT_NE(page.find("<dt>Empresa</dt><dd>não identificada</dd>"), std::string::npos);
}

TEST(HtmlPageRowsTest, KeepsAThousandRowsAListCountsTheRestAndStaysSmall) {
  HtmlPageRows rows;
  rows.BeginFile("r.dbf", "RISCOS");
  const std::string longValue(254, '\x81');  // each byte shown as eight, "⟨81⟩"
  for (int i = 1; i <= 1500; ++i) rows.Row({i, "A", DetailRule::Empty, longValue, {}, {}, {}});
  rows.BeginFile("s.dbf", "SINISTROS");
  for (int i = 1; i <= 1200; ++i) rows.Row({i, "APOLICE+ITEM", DetailRule::NoPolicy, {}, longValue, longValue, {}});
  for (const char* field : {"B", "C", "D", "E"})
    for (int i = 1; i <= 1100; ++i) rows.Row({i, field, DetailRule::Domain, longValue, {}, {}, {}});
  rows.BeginFile("r.dbf", "RISCOS");  // joins the first file's lists
  rows.Row({1501, "A", DetailRule::Date, "x", {}, {}, {}});

  ASSERT_EQ(rows.Files().size(), 2u);
  const FileFailures& risks = rows.Files()[0];
  ASSERT_EQ(risks.fields.size(), 1u);
  EXPECT_EQ(risks.fields[0].rows.size(), 1000u);
  EXPECT_EQ(risks.fields[0].more, 501);
  EXPECT_EQ(risks.fields[0].rows[0].value, longValue.substr(0, HtmlPageRows::kValueBytes));
  EXPECT_EQ(risks.fields[0].rows[0].valueLength, 254u);
  const FileFailures& claims = rows.Files()[1];
  EXPECT_EQ(claims.claims.size(), 1000u);
  EXPECT_EQ(claims.moreClaims, 200);
  // 2,000 rows kept above; the last 2,000 of the cap in all go to B and C.
  ASSERT_EQ(claims.fields.size(), 4u);
  EXPECT_EQ(claims.fields[1].rows.size(), 1000u);
  EXPECT_EQ(claims.fields[1].more, 100);
  EXPECT_EQ(claims.fields[2].rows.size(), 0u);
  EXPECT_EQ(claims.fields[2].more, 1100);
  EXPECT_EQ(rows.RowsKept(), HtmlPageRows::kRowsInAll);

  RunResults results;
  results.completed = true;
  results.claims = ClaimsResult{1200, 5000, 24};
  const std::string page = HtmlPage(results, rows, PageFacts{}, RegionalSettings::Brazilian());
  EXPECT_NE(page.find("e mais 501 registros com falha neste campo"), std::string::npos);
  EXPECT_NE(page.find("e mais 1.100 registros"), std::string::npos);
  EXPECT_NE(page.find("e mais 200 sinistros sem apólice"), std::string::npos);
  EXPECT_LT(page.size(), 5'000'000u);
  // The same page grown by the most fields a file can have, in the tables
  // of the results and of the rules, each with the most codes the page lists.
  PageFacts manyRules;
  FieldRules wide{std::string(10, '\x81'), 1, 254, true, true, false, false, true, std::string(10, '\x81'), {}};
  wide.codes.assign(kCodesShown + 1, {std::string(8, '\x81'), std::string(2, '\x81')});
  manyRules.rules.push_back({"RISCOS", std::vector<FieldRules>(255, wide)});
  manyRules.rules.push_back({"SINISTROS", std::vector<FieldRules>(255, wide)});
  FileResult file{std::string(254, '\x81'), std::string(20, '\x81'), 1, 1, true, false, {}, {}};
  file.fields.assign(255, {std::string(10, '\x81'), 1, 1, 1, 1});
  results.files.assign(2, file);
  EXPECT_LT(HtmlPage(results, rows, manyRules, RegionalSettings::Brazilian()).size(), 5'000'000u);
}

struct Cell {
  std::string exact;  // data-v; empty where the cell has none
  std::string shown;
};

// The n number cells of the row headed name, from `from` on; from moves past
// them.
std::vector<Cell> CellsOfRow(const std::string& page, size_t& from, const std::string& name, int n) {
  std::vector<Cell> cells;
  from = page.find("<th scope=\"row\">" + name + "</th>", from);
  if (from == std::string::npos) {
    ADD_FAILURE() << "no row " << name;
    from = 0;
    return cells;
  }
  for (int i = 0; i < n; ++i) {
    from = page.find("<td class=\"n\"", from);
    const size_t open = page.find('>', from), close = page.find("</td>", from);
    const std::string tag = page.substr(from, open - from);
    const size_t v = tag.find("data-v=\"");
    cells.push_back({v == std::string::npos ? "" : tag.substr(v + 8, tag.find('"', v + 8) - v - 8),
                     page.substr(open + 1, close - open - 1)});
    from = close;
  }
  return cells;
}

// A number as the Brazilian settings show it, read back.
double Shown(std::string text) {
  std::string plain;
  for (const char c : text)
    if (c == ',')
      plain += '.';
    else if (c != '.' && c != '%')
      plain += c;
  return std::stod(plain);
}

// Both the exact and the shown number of a cell against the JSON's.
void ExpectCell(const Cell& cell, const nlohmann::json& value) {
  EXPECT_EQ(std::stod(cell.exact), value.get<double>()) << cell.shown;
  EXPECT_NEAR(Shown(cell.shown), value.get<double>(), 0.005) << cell.shown;
}

// A run with every kind of failure, one that needs escaping among them:
// the page's tables say what the JSON says, and the page is valid HTML.
TEST_F(RunTest, HtmlPageNumbersAreThoseOfTheJson) {
  risksRules[1].nulo = "0";                        // APOLICE: empty counted
  risksRules[2].zerosesq = "1";                    // ITEM: exactly 4 characters
  risksRules[3].dominio = "1";                     // COD_MOD: 61 or 62
  risksRules[4].data = risksRules[4].zeros = "1";  // INICIO_VIG: a date
  domain = {{"RISCOS", "COD_MOD", "61", ""}, {"RISCOS", "COD_MOD", "62", ""}};
  DbfWriter risks = RisksWriter();
  for (int i = 0; i < 40; ++i)
    risks.AddRecord({"05631", i % 7 == 0 ? "" : "P" + std::to_string(i), i % 5 == 0 ? "1" : "0001",
                     i % 3 == 0 ? "63" : "61", i % 4 == 0 ? "2023<13>" : "20230115", "12345.67"});
  setup.risk = Write(risks, "riscos.dbf");
  DbfWriter claims = ClaimsWriter();
  for (int i = 0; i < 30; ++i)
    claims.AddRecord(
        {"05631", i % 6 == 0 ? "X" + std::to_string(i) : "P" + std::to_string(i), "0001", "61", "20230115", "10.00"});
  setup.claim = Write(claims, "sinistros.dbf");
  WriteCatalogue();
  HtmlPageRows rows;
  setup.details = &rows;
  ValidationRun run = setup.NewRun();
  run.Execute();
  const nlohmann::json json = nlohmann::json::parse(ResultsJson(run.Results(), std::nullopt));
  const std::string page = HtmlPage(run.Results(), rows, PageFacts{}, setup.settings);

  ASSERT_EQ(json["files"].size(), 2u);
  size_t totals = page.find("id=\"totais\"");
  for (size_t f = 0; f < 2; ++f) {
    const auto& file = json["files"][f];
    size_t at = page.find("id=\"campos-" + std::to_string(f + 1) + "\"");
    for (const auto& field : file["fields"]) {
      const std::vector<Cell> cells = CellsOfRow(page, at, field["field"], 4);
      ASSERT_EQ(cells.size(), 4u);
      ExpectCell(cells[0], field["empty"]);
      ExpectCell(cells[1], field["empty_percent"]);
      ExpectCell(cells[2], field["invalid"]);
      ExpectCell(cells[3], field["invalid_percent"]);
      const int failures = field["empty"].get<int>() + field["invalid"].get<int>();
      const std::string heading = file["table"].get<std::string>() + " · " + field["field"].get<std::string>() + ": " +
                                  std::to_string(failures) + (failures == 1 ? " falha<" : " falhas<");
      EXPECT_EQ(page.find(heading) != std::string::npos, failures > 0) << heading;
    }
    for (const auto& row : file["totals"]) {
      const std::vector<Cell> cells = CellsOfRow(page, totals, row["line"], 3);
      ASSERT_EQ(cells.size(), 3u);
      ExpectCell(cells[0], row["reference"]);
      ExpectCell(cells[1], row["file_total"]);
      if (row["difference_percent"].is_null())
        EXPECT_EQ(cells[2].shown, "div por zero");
      else
        ExpectCell(cells[2], row["difference_percent"]);
    }
  }
  const auto& misses = json["claims_without_policy"];
  char share[32];
  std::snprintf(share, sizeof share, "%.2f", misses["percent"].get<double>());
  std::replace(share, share + sizeof share, '.', ',');
  EXPECT_NE(page.find(std::to_string(misses["without_policy"].get<int>()) +
                      " sinistros sem apólice no período, num total de " + std::to_string(misses["claims"].get<int>()) +
                      " sinistros (" + share + "%)."),
            std::string::npos);
  EXPECT_EQ(CountOf(page, "2023&lt;13&gt;"), 10u);  // the bad dates, listed
  // The catalogue the run used, as the JSON names it.
  EXPECT_NE(page.find("<dd>" + json["catalogue"]["folder"].get<std::string>() + os::kFolderSeparator +
                      "<ul><li>tabelas.dbf: " + std::to_string(json["catalogue"]["files"][0]["records"].get<int>()) +
                      " registros, "),
            std::string::npos);

#ifndef _WIN32  // Debian's validator, where it is installed
  std::ofstream(dir.File("pagina.html"), std::ios::binary) << page;
  if (std::system("command -v tidy >/dev/null") != 0) GTEST_SKIP() << "tidy is not installed (apt-get install tidy)";
  EXPECT_EQ(std::system(("tidy -e -q '" + dir.File("pagina.html") + "' > '" + dir.File("tidy.txt") + "' 2>&1").c_str()),
            0)
      << testing::ReadFile(dir.File("tidy.txt"));
#endif
}

// The page as a reader sees it: tags dropped (charts, style and script
// whole), a cell ended by " | ", a row, caption, paragraph, heading, list
// item or fact by a line break; entities left as written.
std::string Visible(const std::string& page) {
  std::string out;
  size_t at = 0;
  while (at < page.size()) {
    if (page[at] != '<') {
      out += page[at++];
      continue;
    }
    const size_t end = page.find('>', at);
    if (end == std::string::npos) break;
    const std::string tag = page.substr(at + 1, end - at - 1);
    const std::string name = tag.substr(0, tag.find(' '));
    at = end + 1;
    if (name == "svg" || name == "style" || name == "script") {
      at = page.find("</" + name + ">", at);
      if (at == std::string::npos) break;
      at += name.size() + 3;
    } else if (name == "/td" || name == "/th")
      out += " | ";
    else if (name == "/tr" || name == "/caption" || name == "/p" || name == "/h2" || name == "/h3" || name == "/li" ||
             name == "/dt" || name == "/dd")
      out += '\n';
  }
  return out;
}

// One small run per row, each over files written for it: the verdict's
// sentence and what it says of each of its five checks (a: aprovado, r:
// requer atenção, n: não verificado), texts the page shows in that order,
// and texts it must not show.
TEST_F(RunTest, HtmlPageSaysWhatEachRunFound) {
  const auto record = [](const std::string& policy, const std::string& item, const std::string& modality,
                         const std::string& amount, const std::string& company = "05631") {
    return std::vector<std::string>{company, policy, item, modality, "20230115", amount};
  };
  using Records = std::vector<std::vector<std::string>>;
  const auto writeFiles = [&](const Records& risks, const Records& claims) {
    DbfWriter riskFile = RisksWriter(), claimFile = ClaimsWriter();
    for (const auto& values : risks) riskFile.AddRecord(values);
    for (const auto& values : claims) claimFile.AddRecord(values);
    setup.risk = Write(riskFile, "riscos.dbf");
    setup.claim = Write(claimFile, "sinistros.dbf");
  };
  // Every claim with its policy, every total that of the QDP.
  const auto plain = [&] {
    writeFiles({record("P1", "0001", "61", "500"), record("P2", "0001", "61", "500")},
               {record("P1", "0001", "61", "100"), record("P2", "0001", "61", "100")});
  };
  // Values that fail each rule, on a field whose codes depend on another.
  const auto failingValues = [&] {
    risksRules[2].zerosesq = "1";  // ITEM: 4 characters
    risksRules[3].dominio = "1";   // COD_MOD: a code allowed for the ITEM
    risksRules[3].depende = "ITEM";
    risksRules[4].data = risksRules[4].zeros = "1";  // INICIO_VIG: a date
    claimsRules[3].dominio = "1";                    // COD_MOD: a code
    // Code 61 for ITEM "0001" (its key keeps two characters of the ITEM).
    domain = {{"RISCOS", "COD_MOD", "61", "0001"}, {"SINISTROS", "COD_MOD", "61", ""}};
    std::vector<std::string> badDate = record("P3", "", "61", "0");
    badDate[4] = "2023<13>";
    writeFiles({record("P1", "0001", "61", "500"), record("P2", "1", "61", "500"), badDate},
               {record("P1", "0001", "62", "100"), record("P1", "0001", "61", "100")});
  };
  const std::vector<std::string> failingValuesNotes = {
      "RISCOS · ITEM: 2 falhas\n",
      "2 | 1    | tamanho diferente de 4 caracteres | ",
      "RISCOS · COD_MOD: 2 falhas\n",
      "2 | 61 | não é um código permitido para o valor do campo ITEM: 1 | ",
      "3 | 61 | não é um código permitido para o valor do campo ITEM: vazio | ",
      "RISCOS · INICIO_VIG: 1 falha\n",
      "3 | 2023&lt;13&gt; | data inválida | ",
      "SINISTROS · COD_MOD: 1 falha\n",
      "1 | 62 | não é um código do catálogo | "};
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* marks;
    const char* verdict;
    std::vector<std::string> shows, hides = {};
    // Changes the rules the page is given after the run.
    std::function<void(std::vector<TableRules>&)> respell = nullptr;
  };
  const char* const kProblems = "Os dados requerem atenção nos pontos marcados abaixo.";
  const char* const kNoProblem = "Nenhum problema encontrado nos dados.";
  const std::vector<Case> cases = {
      {"nothing wrong", plain, "aaaaa", kNoProblem, {"Nenhum registro com falha."}, {"requer atenção", "acima"}},
      {"totals 10% off each way",
       [&] {
         writeFiles({record("P1", "0001", "61", "450"), record("P2", "0001", "61", "450")},
                    {record("P1", "0001", "61", "110"), record("P2", "0001", "61", "110")});
       },
       "aaaaa",
       kNoProblem,
       {"Rural | 1.000,00 | 900,00 | -10,00% |  | dentro da faixa de 10%. | ",
        "Rural | 200,00 | 220,00 | 10,00% |  | dentro da faixa de 10%. | "},
       {"acima de 10%"}},
      {"totals a little more than 10% off",
       [&] {
         writeFiles({record("P1", "0001", "61", "500"), record("P2", "0001", "61", "500")},
                    {record("P1", "0001", "61", "110.5"), record("P2", "0001", "61", "110.5")});
       },
       "aaara",
       kProblems,
       {"Rural | 200,00 | 221,00 | 10,50% |  | diferença acima de 10%. | "}},
      {"a company not in the QDP, with no totals",
       [&] { writeFiles({record("P1", "0001", "61", "0", "09999")}, {record("P1", "0001", "61", "0", "09999")}); },
       "aaara",
       kProblems,
       {"Empresa\n09999 (não encontrada no QDP)\n",
        "A empresa não está no QDP (DadosQdp.DBF): os totais dos arquivos são comparados com 0.\n"}},
      {"one claim without a policy",
       [&] {
         writeFiles({record("P1", "0001", "61", "500"), record("P2", "0001", "61", "500")},
                    {record("P1", "0001", "61", "100"), record("X9", "0001", "61", "100")});
       },
       "aaaar",
       kProblems,
       {"1 sinistros sem apólice no período, num total de 2 sinistros (50,00%).\n", "2 | X9         | 0001 | \n"},
       {"e mais"}},
      {"no claims file",
       [&] {
         plain();
         setup.claim.clear();
       },
       "raaan",
       kProblems,
       {"Arquivo de sinistros vazio ou não selecionado.", "A busca de sinistros sem apólice não foi feita."}},
      {"no risks file",
       [&] {
         plain();
         setup.risk.clear();
       },
       "raaan",
       kProblems,
       {"Arquivo de riscos vazio ou não selecionado."}},
      {"a risks file cut short",
       [&] {
         plain();
         std::string bytes = testing::ReadFile(setup.risk);
         bytes[4] = 3;  // the header's record count
         testing::WriteFile(setup.risk, bytes);
       },
       "raaaa",
       kProblems,
       {"está cortado: o cabeçalho declara 3 registros e ele traz 2 (faltam 1)"}},
      {"no catalogue",
       [&] {
         plain();
         setup.folder = dir.File("sem-catalogo") + os::kFolderSeparator;
       },
       "nnnnn",
       "A validação foi interrompida por um erro; veja abaixo o que foi verificado antes dele.",
       {"Os totais não foram comparados.", "As regras do catálogo não foram incluídas nesta página."}},
      {"another company",
       [&] {
         writeFiles({record("P1", "0001", "61", "500"), record("P2", "0001", "61", "500", "01111")},
                    {record("P1", "0001", "61", "100"), record("P2", "0001", "61", "100")});
       },
       "aaraa",
       kProblems,
       {"2 | 01111 | de outra empresa | "}},
      {"a reference line without values and values without a reference line",
       [&] {
         qdp[0].pr_animal = "100";
         writeFiles(
             {record("P1", "0001", "61", "500"), record("P2", "0001", "61", "500")},
             {record("P1", "0001", "61", "100"), record("P2", "0001", "61", "100"), record("P2", "0001", "64", "10")});
       },
       "aaara",
       kProblems,
       {"Animal | 100,00 | 0,00 | -100,00% |  | QDP sem valor. diferença acima de 10%. | ",
        "Animal | 0,00 | 10,00 | div por zero |  | valor sem QDP.  | "}},
      {"failing values",
       failingValues,
       "araaa",
       kProblems,
       [&] {
         std::vector<std::string> shows = failingValuesNotes;
         shows.push_back(
             "COD_MOD | inteiro |  | Pode ficar vazio.\nDeve ser um dos códigos que o catálogo permite para o valor do "
             "campo ITEM.\n | ");
         shows.push_back("COD_MOD | inteiro |  | Pode ficar vazio.\nDeve ser um dos códigos do catálogo.\n | 61\n | ");
         return shows;
       }(),
       {"tamanho diferente do exigido", "(…"}},
      // The checks find a field only by its catalogue name exactly; the page
      // finds its rules in any letter case.
      {"rules spelt in other letters",
       failingValues,
       "araaa",
       kProblems,
       failingValuesNotes,
       {"tamanho diferente do exigido"},
       [](std::vector<TableRules>& tables) {
         for (TableRules& table : tables)
           for (FieldRules& field : table.fields)
             for (char& c : field.field) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
       }},
      {"long values and control bytes",
       [&] {
         std::vector<testing::DbfFieldSpec> fields = RisksWriter().Fields();
         fields.push_back({"OBS", 'C', 64});
         fields.push_back({"OBS2", 'C', 65});
         // Every filled value of either fails: no code is allowed.
         risksRules.push_back({"RISCOS", "OBS", "", "1", "64", "1", "1", "0", "0", "7"});
         risksRules.push_back({"RISCOS", "OBS2", "", "1", "65", "1", "1", "0", "0", "8"});
         std::string controls = "&lt;";
         for (char c = 1; c < 0x20; ++c) controls += c;
         controls += '\x7f';
         controls.resize(64, 'x');
         std::vector<std::string> values = record("P1", "0001", "61", "1000");
         values.push_back(controls);
         values.push_back(std::string(65, 'y'));
         DbfWriter riskFile(fields), claimFile = ClaimsWriter();
         riskFile.AddRecord(values);
         claimFile.AddRecord(record("P1", "0001", "61", "200"));
         setup.risk = Write(riskFile, "riscos.dbf");
         setup.claim = Write(claimFile, "sinistros.dbf");
       },
       "araaa",
       kProblems,
       {"1 | &amp;lt;␁␂␃␄␅␆␇␈␉␊␋␌␍␎␏␐␑␒␓␔␕␖␗␘␙␚␛␜␝␞␟␡" + std::string(28, 'x') + " | não é um código do catálogo | ",
        "1 | " + std::string(64, 'y') + " (… 65 bytes) | não é um código do catálogo | "},
       {"64 bytes"}},
      {"more failures than the page lists",
       [&] {
         risksRules[2].zerosesq = "1";  // ITEM: 4 characters
         DbfWriter riskFile = RisksWriter(), claimFile = ClaimsWriter();
         for (int i = 1; i <= 1001; ++i) {
           riskFile.AddRecord(record(i <= 1000 ? "" : "P", "1", "61", "1"));
           claimFile.AddRecord(record("X", "0001", "61", "0.2"));
         }
         setup.risk = Write(riskFile, "riscos.dbf");
         setup.claim = Write(claimFile, "sinistros.dbf");
       },
       "araar",
       kProblems,
       {"1.001 sinistros sem apólice no período, num total de 1.001 sinistros (100,00%).\n",
        "1.000 | X          | 0001 | \ne mais 1 sinistros sem apólice; a listagem de detalhes (--detalhes) traz "
        "todos.\n",
        "RISCOS · APOLICE: 1.000 falhas\n", "1.000 |            | vazio | \nRISCOS · ITEM: 1.001 falhas\n",
        "1.000 | 1    | tamanho diferente de 4 caracteres | \ne mais 1 registros com falha neste campo; a listagem de "
        "detalhes (--detalhes) traz todos.\n"},
       {"e mais 0"}},
  };

  static const char* const kChecks[] = {"Estrutura dos arquivos", "Valores vazios e inválidos",
                                        "Uma só empresa nos arquivos", "Prêmios e sinistros comparados com o QDP",
                                        "Sinistros sem apólice"};
  for (const Case& one : cases) {
    SCOPED_TRACE(one.name);
    SetUp();
    domain.clear();
    qdp = {{"05631", "SEGURADORA EXEMPLO S.A.", "1000", "200", "0", "0", "20220701", "20230630"}};
    risksRules[1].nulo = "0";  // APOLICE: an empty value is counted
    one.arrange();
    WriteCatalogue();
    HtmlPageRows rows;
    setup.details = &rows;
    ValidationRun run = setup.NewRun();
    PageFacts facts;
    try {
      run.Execute();
    } catch (const TarveloError& error) {
      facts.error = ErrorText(error);
    }
    if (run.UsedCatalogue()) facts.rules = CatalogueRules(*run.UsedCatalogue());
    if (one.respell) one.respell(facts.rules);
    const std::string page = HtmlPage(run.Results(), rows, facts, setup.settings);
    const std::string seen = Visible(page);

    std::string verdict = std::string("Resultado\n") + one.verdict + "\n";
    std::string classes;
    for (int i = 0; i < 5; ++i) {
      const char mark = one.marks[i];
      verdict += std::string(kChecks[i]) + ": " +
                 (mark == 'a'   ? "aprovado"
                  : mark == 'r' ? "requer atenção"
                                : "não verificado") +
                 "\n";
      classes += std::string("<li class=\"") + (mark == 'a' ? "ok" : mark == 'r' ? "atencao" : "") + "\">";
    }
    EXPECT_NE(seen.find(verdict), std::string::npos) << seen.substr(seen.find("Resultado"), 400);
    std::string shown = page.substr(page.find("<ul class=\"verificacoes\">"));
    shown = shown.substr(0, shown.find("</ul>"));
    std::string shownClasses;
    for (size_t at = shown.find("<li"); at != std::string::npos; at = shown.find("<li", at + 1))
      shownClasses += shown.substr(at, shown.find('>', at) + 1 - at);
    EXPECT_EQ(shownClasses, classes) << "the marks' colours";
    size_t from = 0;
    for (const std::string& text : one.shows) {
      const size_t at = seen.find(text, from);
      EXPECT_NE(at, std::string::npos) << text;
      if (at != std::string::npos) from = at + text.size();
    }
    for (const std::string& text : one.hides) EXPECT_EQ(seen.find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace tarvelo
