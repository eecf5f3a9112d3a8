#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "cli/cli_options.h"
#include "cli/locale_environment.h"
#include "tools/dbf_writer.h"
#include "tools/temp_dir.h"
#include "validation/catalogue_fixture.h"

namespace tarvelo {
namespace {

TEST(CliOptions, ParsesBothFormsAndRejectsMistakes) {
  std::string error;
  auto options = ParseCliOptions({"--riscos", "a b.dbf", "--sinistros=s.dbf", "--catalogo", "/cat"}, error);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->riskPath, "a b.dbf");
  EXPECT_EQ(options->claimPath, "s.dbf");
  EXPECT_EQ(options->catalogueFolder.value(), "/cat");
  EXPECT_FALSE(options->exportPath);

  EXPECT_FALSE(ParseCliOptions({"--riscos"}, error));
  EXPECT_EQ(error, "missing value for --riscos");
  EXPECT_FALSE(ParseCliOptions({"--bogus", "x"}, error));
  EXPECT_EQ(error, "unknown option: --bogus");
  EXPECT_FALSE(ParseCliOptions({"--exporta", "a", "--exporta", "b"}, error));
  EXPECT_EQ(error, "option given twice: --exporta");
  // An explicitly empty box is allowed, as in the window.
  options = ParseCliOptions({"--riscos="}, error);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->riskPath, "");
}

TEST(LocaleEnvironment, PrecedenceAndFallback) {
  EXPECT_EQ(IcuLocaleName("pt_BR.UTF-8"), "pt_BR");
  EXPECT_EQ(IcuLocaleName("de_DE@euro"), "de_DE");
  EXPECT_EQ(IcuLocaleName("C.UTF-8"), "en_US");
  EXPECT_EQ(IcuLocaleName("POSIX"), "en_US");
  EXPECT_EQ(IcuLocaleName(""), "en_US");

  std::map<std::string, std::string> env{{"LANG", "pt_BR.UTF-8"}};
  auto lookup = [&](const char* name) { return env.count(name) ? env[name] : std::string(); };
  auto settings = SettingsFromEnvironment(lookup);
  EXPECT_EQ(settings.decimalSeparator, ',');
  EXPECT_EQ(settings.thousandSeparator, '.');
  EXPECT_EQ(settings.shortDateFormat, "dd/MM/y");
  EXPECT_EQ(settings.longTimeFormat, "HH:mm:ss");

  env["LC_NUMERIC"] = "en_US.UTF-8";  // numbers from LC_NUMERIC, dates still from LANG
  settings = SettingsFromEnvironment(lookup);
  EXPECT_EQ(settings.decimalSeparator, '.');
  EXPECT_EQ(settings.shortDateFormat, "dd/MM/y");

  env["LC_ALL"] = "C";  // LC_ALL wins over everything
  settings = SettingsFromEnvironment(lookup);
  EXPECT_EQ(settings.decimalSeparator, '.');
  EXPECT_EQ(settings.shortDateFormat, "M/d/y");
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// A catalogue of one table with one field, and no company.
void WriteCatalogue(const testing::TempDir& dir) {
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"}});
  testing::WriteAnexos(dir.File("anexos.dbf"), {});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {});
}

Outcome RunCli(const std::string& args, const testing::TempDir& dir) {
  const std::string command = "LANG=pt_BR.UTF-8 LC_ALL= '" TARVELO_CLI_PATH "' " + args + " >'" + dir.File("out") +
                              "' 2>'" + dir.File("err") + "'";
  Outcome outcome;
  const int raw = std::system(command.c_str());
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  outcome.out = ReadAll(dir.File("out"));
  outcome.err = ReadAll(dir.File("err"));
  return outcome;
}

TEST(CliProgram, UsageErrorsExitTwoAndHelpExitsZero) {
  testing::TempDir dir;
  auto outcome = RunCli("--nope", dir);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_NE(outcome.err.find("Usage: tarvelo-cli"), std::string::npos);
  outcome = RunCli("--help", dir);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out.rfind("Usage: tarvelo-cli", 0), 0u);
}

TEST(CliProgram, MissingFileExitsOneWithLinesSoFarAndMessage) {
  testing::TempDir dir;
  WriteCatalogue(dir);
  const std::string missing = dir.File("absent.dbf");
  auto outcome = RunCli("--catalogo '" + dir.Path() + "' --riscos '" + missing + "'", dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out.find("In\xC3\xAD" "cio do processamento: "), 0u) << outcome.out;
  EXPECT_NE(outcome.out.find("Per\xC3\xAD" "odo de an\xC3\xA1lise: 01/07/2022 a 30/06/2023\n\n"), std::string::npos);
  EXPECT_EQ(outcome.out.find("Fim do processamento"), std::string::npos);
  EXPECT_EQ(outcome.err, "DbfTable.InternalOpen: Open error \"" + missing + "\"\nNo such file or directory\n");
}

TEST(CliProgram, ExportWritesCodePage1252WithCrLf) {
  testing::TempDir dir;
  WriteCatalogue(dir);
  auto outcome = RunCli("--catalogo '" + dir.Path() + "' --exporta '" + dir.File("report.txt") + "'", dir);
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const std::string saved = ReadAll(dir.File("report.txt"));
  EXPECT_EQ(saved.find("In\xED" "cio do processamento: "), 0u);
  EXPECT_NE(saved.find("Arquivo de riscos vazio ou n\xE3o selecionado.\r\n"), std::string::npos);
  EXPECT_EQ(saved.substr(saved.size() - 82), std::string(80, '=') + "\r\n");
  // The terminal gets the same lines in UTF-8 with LF only.
  EXPECT_NE(outcome.out.find("Arquivo de riscos vazio ou n\xC3\xA3o selecionado.\n"), std::string::npos);
  EXPECT_EQ(outcome.out.find('\r'), std::string::npos);
}

TEST(CliProgram, ErrorInsideARecordNamesFileRecordAndField) {
  testing::TempDir dir;
  // COD_MOD as a number with the domain rule: a blank value cannot become
  // an integer and ends the run.
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "COD_SEG", "", "3", "0", "0", "1", "0", "0", "1"},
                                                  {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "1", "0", "0", "2"},
                                                  {"RISCOS", "COD_MOD", "", "3", "0", "1", "1", "0", "0", "3"},
                                                  {"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "4"}});
  testing::WriteAnexos(dir.File("anexos.dbf"), {{"RISCOS", "COD_MOD", "61", ""}});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {});
  testing::DbfWriter risks({{"COD_SEG", 'N', 5}, {"INICIO_VIG", 'C', 8}, {"COD_MOD", 'N', 2}, {"PREMIO", 'N', 10, 2}});
  risks.AddRecord({"5631", "20230101", "61", "10.00"});
  risks.AddRecord({"5631", "20230101", "61", "10.00"}, true);
  risks.AddRecord({"5631", "20230101", "61", "10.00"});
  risks.AddRecord({"5631", "20230101", "", "10.00"});
  risks.WriteTo(dir.File("r.dbf"));
  auto outcome = RunCli("--catalogo '" + dir.Path() + "' --riscos '" + dir.File("r.dbf") + "'", dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "Could not convert variant of type (Null) into type (Integer)\nArquivo: " + dir.File("r.dbf") +
                             ", registro 4, campo COD_MOD\n");
}

}  // namespace
}  // namespace tarvelo
