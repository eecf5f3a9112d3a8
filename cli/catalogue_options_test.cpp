// The catalogue as the command line's input: the analysis period from the
// reference table, the rules listed (--regras) and the catalogue checked
// (--verifica-catalogo).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "cli/cli_options.h"
#include "cli/cli_test_support.h"
#include "os/file_system.h"
#include "os/held_file.h"
#include "testing/catalogue_fixture.h"
#include "testing/temp_dir.h"
#include "values/text.h"

namespace tarvelo {
namespace {

using clitest::RunCli;
using clitest::WriteRisksAndClaims;

// Next year's reference table gives next year's period: in the header, in
// the premiums' observation (each company its own window) and in the JSON;
// a window that cannot be read gives the fixed period and a warning, one
// of a second row its own; a window of one day is a period.
TEST(CliProgram, ThePeriodIsTheReferenceTables) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 3);
  const std::string args = "--catalogo '" + dir.Path() + "' --riscos '" + dir.File("r.dbf") + "' --sinistros '" +
                           dir.File("s.dbf") + "' --json '" + dir.File("r.json") + "'";
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"01295", "OUTRA", "0", "0", "0", "0", "20230101", "20231231"},
                                               {"05631", "EXEMPLO", "0", "0", "0", "0", "20230701", "20240630"}});
  auto outcome = RunCli(args, dir);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  EXPECT_NE(outcome.out.find("\nPeríodo de análise: 01/01/2023 a 30/06/2024\n"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("no período considerado: 01/07/2023 a 30/06/2024\n"), std::string::npos);
  auto json = nlohmann::json::parse(testing::ReadFile(dir.File("r.json")));
  EXPECT_EQ(json["period"]["text"], "01/01/2023 a 30/06/2024");
  EXPECT_EQ(json["period"]["end_year"], 2024);
  EXPECT_TRUE(json["period"]["warning"].is_null());

  // A second row whose window cannot be read is warned of as the
  // catalogue's fault: the period's warning names only the first.
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "EXEMPLO", "0", "0", "0", "0", "20230701", "20240631"},
                                               {"01295", "OUTRA", "0", "0", "0", "0", "20230701", "2024"}});
  outcome = RunCli(args, dir);
  EXPECT_EQ(outcome.status, 0);
  const std::string warning =
      "The analysis period could not be read from \"DadosQdp.DBF\" (row 1 has the window \"20230701\" to "
      "\"20240631\"): the report names the period 01/07/2022 a 30/06/2023.";
  const std::string second = "DadosQdp.DBF, linha 2: vigência \"20230701\" a \"2024\" ilegível";
  EXPECT_EQ(outcome.err, warning + "\nThe catalogue has a fault that may make the report misleading: " + second + "\n");
  EXPECT_NE(outcome.out.find("\nPeríodo de análise: 01/07/2022 a 30/06/2023\n"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("no período considerado: 01/07/2022 a 30/06/2023\n"), std::string::npos);
  json = nlohmann::json::parse(testing::ReadFile(dir.File("r.json")));
  EXPECT_EQ(json["period"]["warning"], warning);
  EXPECT_EQ(json["period"]["end_year"], 2023);
  // The JSON keeps every fault, the row the period's warning names too.
  EXPECT_EQ(json["catalogue"]["faults"],
            nlohmann::json::array({"DadosQdp.DBF, linha 1: vigência \"20230701\" a \"20240631\" ilegível", second}));

  // A window of one day, its start its end, is the period.
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "EXEMPLO", "0", "0", "0", "0", "20240229", "20240229"}});
  outcome = RunCli(args, dir);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  EXPECT_NE(outcome.out.find("\nPeríodo de análise: 29/02/2024 a 29/02/2024\n"), std::string::npos) << outcome.out;
  json = nlohmann::json::parse(testing::ReadFile(dir.File("r.json")));
  EXPECT_EQ(json["period"]["text"], "29/02/2024 a 29/02/2024");
  EXPECT_EQ(json["period"]["end_year"], 2024);
  EXPECT_TRUE(json["period"]["warning"].is_null());
}

// --regras lists each field's rules in order, its codes with the value
// each depends on (as many to a line as fit in 80 columns), a check only
// where the run makes it; saved in code page 1252, and as JSON. A run over
// the same catalogue counts what the listing says it counts.
TEST(CliProgram, RulesListsWhatTheCatalogueRequires) {
  testing::TempDir dir;
  // tabela, campo, depende, tipo, tamanho, dominio, nulo, data, zeros, ordem, zerosesq
  testing::WriteTabelas(dir.File("tabelas.dbf"),
                        {{"RISCOS", "COD_SEG", "", "1", "5", "0", "0", "0", "0", "1", "1"},
                         {"RISCOS", "SEXO", "", "1", "1", "1", "0", "0", "0", "2"},
                         {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "0", "1", "1", "3"},
                         // A date without its zeros, zeros without a date: no date is checked.
                         {"RISCOS", "FIM_VIG", "", "1", "8", "0", "1", "1", "0", "4"},
                         {"RISCOS", "EMISSAO", "", "9", "0", "0", "1", "0", "1", "5"},
                         {"RISCOS", "PREMIO", "", "6", "0", "0", "0", "0", "0", "6"},
                         {"RISCOS", "IRRIGADO", "", "5", "0", "0", "1", "0", "0", "7"},
                         {"RISCOS", "COD_MOD", "", "3", "0", "1", "1", "0", "0", "8"},
                         {"RISCOS", "CULTURA", "COD_MOD", "1", "4", "1", "0", "0", "0", "9", "1"},
                         {"RISCOS", "LOCAL", "", "1", "8", "1", "0", "0", "0", "10"},
                         // A blank "nulo" is no rule: the run counts no empty value.
                         {"RISCOS", "OBS", "", "1", "20", "0", "", "0", "0", "11"},
                         {"SINISTROS", "COD_SEG", "", "1", "5", "0", "0", "0", "0", "1"}});
  std::vector<testing::DomainRow> codes = {{"RISCOS", "SEXO", "F", ""},         {"RISCOS", "SEXO", "M", ""},
                                           {"RISCOS", "CULTURA", "0401", "61"}, {"RISCOS", "CULTURA", "0401", "62"},
                                           {"RISCOS", "CULTURA", "0402", "61"}, {"RISCOS", "CULTURA", "0403", "61"},
                                           {"RISCOS", "CULTURA", "0403", "62"}};
  // LOCAL's first line is full at 80 columns only without the comma that
  // a next code needs; its second ends at column 80 with its last code.
  for (const char* code : {"AAAAAAA1", "AAAAAAA2", "AAAAAAA3", "AAAAAAA4", "AAAAAAA5", "AAAAAAA6", "BBBBB", "CCCCCCC1",
                           "CCCCCCC2", "CCCCCCC3", "CCCCCCC4", "CCCCCCC5", "CCCCCCC6", "ZZZZZ"})
    codes.push_back({"RISCOS", "LOCAL", code, ""});
  testing::WriteAnexos(dir.File("anexos.dbf"), codes);
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "EXEMPLO", "0", "0", "0", "0", "20220701", "20230630"}});
  auto outcome = RunCli("--regras --catalogo '" + dir.Path() + "' --exporta '" + dir.File("regras.txt") + "' --json '" +
                            dir.File("regras.json") + "'",
                        dir);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  const std::string rule(80, '=');
  EXPECT_EQ(outcome.out,
            "Regras do catálogo: " + dir.Path() +
                "\n"
                "Ramo: RURAL\n"
                "\n" +
                rule +
                "\n"
                "\n"
                "Tabela: RISCOS\n"
                "\n"
                "COD_SEG     texto(5)      obrigatório; exatamente 5 caracteres\n"
                "SEXO        texto(1)      obrigatório; um dos códigos\n"
                "      Códigos: F, M\n"
                "INICIO_VIG  texto(8)      obrigatório; data AAAAMMDD ou zeros\n"
                "FIM_VIG     texto(8)      pode ficar vazio\n"
                "EMISSAO     data          pode ficar vazio\n"
                "PREMIO      número        obrigatório\n"
                "IRRIGADO    lógico        pode ficar vazio\n"
                "COD_MOD     inteiro       pode ficar vazio; um dos códigos\n"
                "      Códigos: nenhum (todo valor preenchido é contado)\n"
                "CULTURA     texto(4)      obrigatório; exatamente 4 caracteres; códigos conforme COD_MOD\n"
                "      Códigos: 0401 (COD_MOD = 61), 0401 (COD_MOD = 62), 0402 (COD_MOD = 61),\n"
                "        0403 (COD_MOD = 61), 0403 (COD_MOD = 62)\n"
                "LOCAL       texto(8)      obrigatório; um dos códigos\n"
                "      Códigos: AAAAAAA1, AAAAAAA2, AAAAAAA3, AAAAAAA4, AAAAAAA5, AAAAAAA6,\n"
                "        BBBBB, CCCCCCC1, CCCCCCC2, CCCCCCC3, CCCCCCC4, CCCCCCC5, CCCCCCC6, ZZZZZ\n"
                "OBS         texto(20)     pode ficar vazio\n"
                "\n" +
                rule +
                "\n"
                "\n"
                "Tabela: SINISTROS\n"
                "\n"
                "COD_SEG     texto(5)      obrigatório\n"
                "\n" +
                rule + "\n");
  EXPECT_NE(testing::ReadFile(dir.File("regras.txt"))
                .find("obrigat\xf3rio; exatamente 4 caracteres; c\xf3"
                      "digos conforme COD_MOD\r\n"),
            std::string::npos);
  // The JSON says the same; depends_on is null where the field depends on none.
  using nlohmann::json;
  const auto field = [](const char* name, const char* type, int size, bool required, bool exact, bool date, bool coded,
                        json dependsOn, json codes) {
    return json{{"field", name},           {"type", type},  {"size", size},      {"required", required},
                {"exact_length", exact},   {"date", date},  {"positive", false}, {"coded", coded},
                {"depends_on", dependsOn}, {"codes", codes}};
  };
  json local = json::array();
  for (size_t i = 7; i < codes.size(); ++i) local.push_back({{"code", codes[i].valor1}});
  const json expected = {
      {"schema", 1},
      {"catalogue", dir.Path()},
      {"line_of_business", "RURAL"},
      {"tables",
       {{{"table", "RISCOS"},
         {"fields",
          {field("COD_SEG", "texto", 5, true, true, false, false, nullptr, json::array()),
           field("SEXO", "texto", 1, true, false, false, true, nullptr, {{{"code", "F"}}, {{"code", "M"}}}),
           field("INICIO_VIG", "texto", 8, true, false, true, false, nullptr, json::array()),
           field("FIM_VIG", "texto", 8, false, false, false, false, nullptr, json::array()),
           field("EMISSAO", "data", 0, false, false, false, false, nullptr, json::array()),
           field("PREMIO", "número", 0, true, false, false, false, nullptr, json::array()),
           field("IRRIGADO", "lógico", 0, false, false, false, false, nullptr, json::array()),
           field("COD_MOD", "inteiro", 0, false, false, false, true, nullptr, json::array()),
           field("CULTURA", "texto", 4, true, true, false, true, "COD_MOD",
                 {{{"code", "0401"}, {"when", "61"}},
                  {{"code", "0401"}, {"when", "62"}},
                  {{"code", "0402"}, {"when", "61"}},
                  {{"code", "0403"}, {"when", "61"}},
                  {{"code", "0403"}, {"when", "62"}}}),
           field("LOCAL", "texto", 8, true, false, false, true, nullptr, local),
           field("OBS", "texto", 20, false, false, false, false, nullptr, json::array())}}},
        {{"table", "SINISTROS"},
         {"fields", {field("COD_SEG", "texto", 5, true, false, false, false, nullptr, json::array())}}}}}};
  EXPECT_EQ(json::parse(testing::ReadFile(dir.File("regras.json"))), expected);

  // One record that breaks each rule listed, and those not listed.
  testing::DbfWriter risks({{"COD_SEG", 'C', 5},
                            {"SEXO", 'C', 1},
                            {"INICIO_VIG", 'C', 8},
                            {"FIM_VIG", 'C', 8},
                            {"EMISSAO", 'D', 8},
                            {"PREMIO", 'N', 14, 2},
                            {"IRRIGADO", 'L', 1},
                            {"COD_MOD", 'N', 2},
                            {"CULTURA", 'C', 4},
                            {"LOCAL", 'C', 8},
                            {"OBS", 'C', 20}});
  risks.AddRecord({"05631", "", "20231399", "20231399", "", "", "", "61", "0401", "ZZZZZ", ""});
  risks.WriteTo(dir.File("r.dbf"));
  outcome = RunCli("--catalogo '" + dir.Path() + "' --riscos '" + dir.File("r.dbf") + "'", dir);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  const auto counts = [](const std::string& name, const char* counted) {
    return "RISCOS              " + PadRight(name, 20) + counted + "\n";
  };
  const char* none = "0         0,00%     0         0,00%     ";
  EXPECT_NE(
      outcome.out.find(counts("COD_SEG", none) + counts("SEXO", "1         100,00%   1         100,00%   ") +
                       counts("INICIO_VIG", "0         0,00%     1         100,00%   ") + counts("FIM_VIG", none) +
                       counts("EMISSAO", none) + counts("PREMIO", "1         100,00%   0         0,00%     ") +
                       counts("IRRIGADO", none) + counts("COD_MOD", "0         0,00%     1         100,00%   ") +
                       counts("CULTURA", none) + counts("LOCAL", none) + counts("OBS", none)),
      std::string::npos)
      << outcome.out;

  // A folder without a catalogue is an error.
  EXPECT_EQ(RunCli("--regras --catalogo '" + dir.File("none") + "'", dir).status, 1);
  // Its outputs are checked as a run's: a catalogue table is never written,
  // two options naming one file are a usage error.
  const std::string table = testing::ReadFile(dir.File("tabelas.dbf"));
  outcome = RunCli("--regras --catalogo '" + dir.Path() + "' --exporta '" + dir.File("tabelas.dbf") + "'", dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("the validation reads that file"), std::string::npos) << outcome.err;
  EXPECT_EQ(testing::ReadFile(dir.File("tabelas.dbf")), table);
  outcome = RunCli("--regras --catalogo '" + dir.Path() + "' --exporta '" + dir.File("r.txt") + "' --json '" +
                       dir.File("r.txt") + "'",
                   dir);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.err.rfind("tarvelo-cli: --exporta and --json name one file\n", 0), 0u) << outcome.err;
}

// --regras and --verifica-catalogo refuse every option of a run, given
// before or after them, with --catalogo or without, with any value (an
// empty one too), as a usage error: nothing is listed, checked or written. --regras saves its listing
// (--exporta, --json); --verifica-catalogo saves nothing.
TEST(CliProgram, TheCatalogueToolsRefuseEveryOptionOfARun) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 1);
  const std::string rulesOnly = "--regras takes only --catalogo, --exporta and --json";
  const std::string checkOnly = "--verifica-catalogo takes only --catalogo";
  const struct {
    const char* tool;
    std::string option;
    const std::string& error;
  } cases[] = {
      {"--regras", "--riscos '" + dir.File("r.dbf") + "'", rulesOnly},
      {"--regras", "--riscos=", rulesOnly},
      {"--regras", "--sinistros '" + dir.File("s.dbf") + "'", rulesOnly},
      {"--regras", "--sinistros=", rulesOnly},
      {"--regras", "--detalhes '" + dir.File("out.csv") + "'", rulesOnly},
      {"--regras", "--html '" + dir.File("out.html") + "'", rulesOnly},
      {"--regras", "--estrito", rulesOnly},
      {"--regras", "--verifica-catalogo", checkOnly},
      {"--verifica-catalogo", "--riscos '" + dir.File("r.dbf") + "'", checkOnly},
      {"--verifica-catalogo", "--riscos=", checkOnly},
      {"--verifica-catalogo", "--sinistros '" + dir.File("s.dbf") + "'", checkOnly},
      {"--verifica-catalogo", "--exporta '" + dir.File("out.txt") + "'", checkOnly},
      {"--verifica-catalogo", "--detalhes '" + dir.File("out.csv") + "'", checkOnly},
      {"--verifica-catalogo", "--json '" + dir.File("out.json") + "'", checkOnly},
      {"--verifica-catalogo", "--html '" + dir.File("out.html") + "'", checkOnly},
      {"--verifica-catalogo", "--estrito", checkOnly},
  };
  const std::string catalogue = " --catalogo '" + dir.Path() + "' ";
  for (const auto& c : cases) {
    for (const std::string& args : {c.tool + catalogue + c.option, c.option + " " + c.tool}) {
      const auto outcome = RunCli(args, dir);
      EXPECT_EQ(outcome.status, 2) << args;
      EXPECT_EQ(outcome.out, "") << args;
      EXPECT_EQ(outcome.err, "tarvelo-cli: " + c.error + "\n" + CliUsage()) << args;
    }
  }
  for (const char* output : {"out.txt", "out.csv", "out.json", "out.html"})
    EXPECT_FALSE(testing::FileExists(dir.File(output))) << output;
}

// --verifica-catalogo lists each fault with its file, row and field: exit 3;
// a clean catalogue exits 0, one that cannot be read 1.
TEST(CliProgram, CatalogueCheckListsItsFaults) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 1);
  const std::string check = "--verifica-catalogo --catalogo '" + dir.Path() + "'";
  auto outcome = RunCli(check, dir);
  EXPECT_EQ(outcome.status, 0) << outcome.out;
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "COD_MOD", "", "3", "0", "1", "1", "0", "0", "1"},
                                                  {"RISCOS", "CULTURA", "MODAL", "1", "4", "0", "1", "0", "0", "2"},
                                                  {"RISCOS", "CULTURA", "", "1", "4", "0", "1", "0", "0", "3"},
                                                  {"RISCOS", "UF", "", "1", "0", "0", "1", "0", "0", "6"},
                                                  {"RISCOS", "OBS", "", "12", "0", "0", "1", "0", "0", "4"}});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "EXEMPLO", "1", "1", "1", "1", "20220701", "20230630"},
                                               {"05631", "OUTRA", "", "1", "1", "1", "20220701", "2023"}});
  outcome = RunCli(check, dir);
  EXPECT_EQ(outcome.status, 3);
  EXPECT_EQ(outcome.out,
            "tabelas.dbf, linha 1, campo COD_MOD: campo codificado sem nenhum código admissível em anexos.dbf\n"
            "tabelas.dbf, linha 2, campo CULTURA: depende do campo MODAL, que a tabela RISCOS não tem\n"
            "tabelas.dbf, linha 3, campo CULTURA: campo repetido na tabela RISCOS (também na linha 2)\n"
            "tabelas.dbf, linha 4, campo UF: tamanho 0 que nenhum campo texto pode ter\n"
            "tabelas.dbf, linha 4, campo UF: posição 6 onde a tabela RISCOS espera 5\n"
            "tabelas.dbf, linha 5, campo OBS: tipo 12 que nenhum campo DBF tem\n"
            "DadosQdp.DBF, linha 2: código de empresa 05631 repetido (também na linha 1)\n"
            "DadosQdp.DBF, linha 2: vigência \"20220701\" a \"2023\" ilegível\n"
            "DadosQdp.DBF, linha 2: total PR_RURAL ilegível\n"
            "9 problema(s) encontrado(s) no catálogo " +
                dir.Path() + "\n");
  // A run over such a catalogue warns of each fault, and its JSON names the
  // catalogue it used.
  outcome = RunCli("--catalogo '" + dir.Path() + "' --json '" + dir.File("r.json") + "'", dir);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_NE(outcome.err.find("The catalogue has a fault that may make the report misleading: tabelas.dbf, linha 5, "
                             "campo OBS: tipo 12 que nenhum campo DBF tem\n"),
            std::string::npos)
      << outcome.err;
  const auto json = nlohmann::json::parse(testing::ReadFile(dir.File("r.json")));
  const auto& catalogue = json["catalogue"];
  EXPECT_EQ(catalogue["folder"].get<std::string>() + os::kFolderSeparator, dir.Path());
  EXPECT_EQ(catalogue["files"][0]["file"], "tabelas.dbf");
  EXPECT_EQ(catalogue["files"][0]["records"], 5);
  EXPECT_EQ(catalogue["files"][2]["records"], 2);
  EXPECT_TRUE(catalogue["files"][1]["modified"].is_string());
  EXPECT_EQ(catalogue["faults"].size(), 9u);
  EXPECT_EQ(json["period"]["text"], "01/07/2022 a 30/06/2023");
  std::remove(dir.File("anexos.dbf").c_str());
  outcome = RunCli(check, dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("anexos.dbf"), std::string::npos) << outcome.err;
}

// --verifica-catalogo on a size 0 of each type (a fault of text only, as a
// size of another type is), a dependency on a field only another table
// has, coded fields whose codes belong to another line of business or
// another table; a window of one day is valid.
TEST(CliProgram, CatalogueCheckKnowsEachTypeAndWhoseFieldsAndCodes) {
  testing::TempDir dir;
  // tabela, campo, depende, tipo, tamanho, dominio, nulo, data, zeros, ordem
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "TEXTO", "", "1", "0", "0", "1", "0", "0", "1"},
                                                  {"RISCOS", "INTEIRO", "", "3", "0", "0", "1", "0", "0", "2"},
                                                  {"RISCOS", "GRANDE", "", "25", "0", "0", "1", "0", "0", "3"},
                                                  {"RISCOS", "NUMERO", "", "6", "0", "0", "1", "0", "0", "4"},
                                                  {"RISCOS", "DATA", "", "9", "0", "0", "1", "0", "0", "5"},
                                                  {"RISCOS", "LOGICO", "", "5", "0", "0", "1", "0", "0", "6"},
                                                  {"RISCOS", "MEMO", "", "16", "0", "0", "1", "0", "0", "7"},
                                                  {"RISCOS", "LETRA", "", "1", "1", "0", "1", "0", "0", "8"},
                                                  {"RISCOS", "VALOR", "", "6", "14", "0", "1", "0", "0", "9"},
                                                  {"RISCOS", "CULTURA", "D_AVISO", "1", "4", "0", "1", "0", "0", "10"},
                                                  {"RISCOS", "COD_MOD", "", "3", "0", "1", "1", "0", "0", "11"},
                                                  {"RISCOS", "UF", "COD_MOD", "1", "2", "1", "1", "0", "0", "12"},
                                                  {"SINISTROS", "D_AVISO", "", "1", "8", "0", "1", "0", "0", "1"},
                                                  {"SINISTROS", "UF", "", "1", "2", "1", "1", "0", "0", "2"}});
  testing::DomainRow animal{"RISCOS", "COD_MOD", "64", ""};
  animal.ramo = "ANIMAL";
  testing::WriteAnexos(dir.File("anexos.dbf"), {animal, {"RISCOS", "UF", "SP", "61"}});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "EXEMPLO", "0", "0", "0", "0", "20230630", "20230630"}});
  const auto outcome = RunCli("--verifica-catalogo --catalogo '" + dir.Path() + "'", dir);
  EXPECT_EQ(outcome.status, 3);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.out,
            "tabelas.dbf, linha 1, campo TEXTO: tamanho 0 que nenhum campo texto pode ter\n"
            "tabelas.dbf, linha 9, campo VALOR: tamanho 14 num campo do tipo número (deve ser 0)\n"
            "tabelas.dbf, linha 10, campo CULTURA: depende do campo D_AVISO, que a tabela RISCOS não tem\n"
            "tabelas.dbf, linha 11, campo COD_MOD: campo codificado sem nenhum código admissível em anexos.dbf\n"
            "tabelas.dbf, linha 14, campo UF: campo codificado sem nenhum código admissível em anexos.dbf\n"
            "5 problema(s) encontrado(s) no catálogo " +
                dir.Path() + "\n");
}

// The errors of the reference table, as of any catalogue table, are
// followed by where the catalogue folder came from: one that a writer
// holds, one that lacks a column the run reads.
TEST(CliProgram, ReferenceTableErrorsSayWhereTheCatalogueCameFrom) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 1);
  const std::string args = "--catalogo '" + dir.Path() + "' --riscos '" + dir.File("r.dbf") + "'";
  const std::string origin = "The catalogue folder \"" + dir.Path() + "\" is the one --catalogo names.\n";
  {
    const os::HeldFile held(dir.File("DadosQdp.DBF"));
    ASSERT_TRUE(held.Holds());
    const auto outcome = RunCli(args, dir);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "DbfTable.InternalOpen: Open error \"" + dir.File("DadosQdp.DBF") + "\"\n" +
                               std::string(kFileInUse) + "\n" + origin);
  }
  testing::DbfWriter qdp({{"COD_SEG", 'C', 5}, {"INIVIG", 'C', 8}, {"FIMVIG", 'C', 8}});
  qdp.AddRecord({"05631", "20220701", "20230630"});
  qdp.WriteTo(dir.File("DadosQdp.DBF"));
  const auto outcome = RunCli(args, dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "tbDadosQdp: Field 'empresa' not found.\n" + origin);
}

// A catalogue table cut short (its header declares more rows than it
// holds) is a fault, named with its file and the rows missing:
// --verifica-catalogo lists it and exits 3, --regras says its listing
// lacks rules, a run warns of it and its JSON lists it.
TEST(CliProgram, ACatalogueTableCutShortIsAFault) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 1);
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "EXEMPLO", "1", "1", "0", "0", "20220701", "20230630"},
                                               {"01295", "OUTRA", "0", "0", "0", "0", "20220701", "20230630"}});
  testing::WriteAnexos(dir.File("anexos.dbf"), {{"RISCOS", "COD_MOD", "61", ""}, {"RISCOS", "COD_MOD", "62", ""}});
  // Cut inside a record: tabelas.dbf keeps 7 of its 12 rows, anexos.dbf and
  // DadosQdp.DBF 1 of their 2.
  const auto cut = [&](const char* name, int kept) {
    const std::string bytes = testing::ReadFile(dir.File(name));
    const int headerLength = static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
    const int recordLength = static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8;
    testing::WriteFile(dir.File(name), bytes.substr(0, static_cast<size_t>(headerLength + kept * recordLength + 3)));
  };
  cut("tabelas.dbf", 7);
  cut("anexos.dbf", 1);
  cut("DadosQdp.DBF", 1);
  const std::string tabelas = "tabelas.dbf: arquivo cortado: faltam 5 dos 12 registros que o cabeçalho declara";
  const std::string anexos = "anexos.dbf: arquivo cortado: faltam 1 dos 2 registros que o cabeçalho declara";
  const std::string qdp = "DadosQdp.DBF: arquivo cortado: faltam 1 dos 2 registros que o cabeçalho declara";
  auto outcome = RunCli("--verifica-catalogo --catalogo '" + dir.Path() + "'", dir);
  EXPECT_EQ(outcome.status, 3);
  EXPECT_EQ(outcome.out,
            tabelas + "\n" + anexos + "\n" + qdp + "\n3 problema(s) encontrado(s) no catálogo " + dir.Path() + "\n");
  EXPECT_EQ(outcome.err, "");

  outcome = RunCli("--regras --catalogo '" + dir.Path() + "'", dir);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  const std::string leftOut = "The catalogue has a fault that leaves rules out of this listing: ";
  EXPECT_EQ(outcome.err, leftOut + tabelas + "\n" + leftOut + anexos + "\n" + leftOut + qdp + "\n");

  outcome = RunCli("--catalogo '" + dir.Path() + "' --riscos '" + dir.File("r.dbf") + "' --sinistros '" +
                       dir.File("s.dbf") + "' --json '" + dir.File("r.json") + "'",
                   dir);
  EXPECT_EQ(outcome.status, 0);
  const std::string misleading = "The catalogue has a fault that may make the report misleading: ";
  EXPECT_EQ(outcome.err, misleading + tabelas + "\n" + misleading + anexos + "\n" + misleading + qdp + "\n");
  const auto json = nlohmann::json::parse(testing::ReadFile(dir.File("r.json")));
  EXPECT_EQ(json["catalogue"]["faults"], nlohmann::json::array({tabelas, anexos, qdp}));
  EXPECT_EQ(json["catalogue"]["files"][0]["records"], 7);
}

}  // namespace
}  // namespace tarvelo
