#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "cli/cli_options.h"
#include "cli/locale_environment.h"
#include "cli/run_path.h"
#include "dbf/dbf_table.h"
#include "os/file_system.h"
#include "testing/catalogue_fixture.h"
#include "testing/dbf_writer.h"
#include "testing/held_file.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"
#include "values/errors.h"
#include "values/text.h"

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

// A catalogue of one table with one field, and no company.
void WriteCatalogue(const testing::TempDir& dir) {
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"}});
  testing::WriteAnexos(dir.File("anexos.dbf"), {});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {});
}

#ifdef _WIN32
// The program started directly, args read as the shell would; the Brazilian
// settings come from the test's own environment (LC_ALL, set by the build),
// which Wine gives the programs that the test starts.
Outcome RunCli(const std::string& args, const testing::TempDir& dir) {
  Outcome outcome;
  outcome.status = testing::RunProgram(TARVELO_CLI_PATH, testing::ShellWords(args), dir.File("out"), dir.File("err"));
  outcome.out = testing::ReadFile(dir.File("out"));
  outcome.err = testing::ReadFile(dir.File("err"));
  return outcome;
}
#else
Outcome RunCli(const std::string& args, const testing::TempDir& dir) {
  const std::string command = "LANG=pt_BR.UTF-8 LC_ALL= '" TARVELO_CLI_PATH "' " + args + " >'" + dir.File("out") +
                              "' 2>'" + dir.File("err") + "'";
  Outcome outcome;
  const int raw = std::system(command.c_str());
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  outcome.out = testing::ReadFile(dir.File("out"));
  outcome.err = testing::ReadFile(dir.File("err"));
  return outcome;
}
#endif

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
  EXPECT_EQ(outcome.out.find("In\xC3\xAD"
                             "cio do processamento: "),
            0u)
      << outcome.out;
  EXPECT_NE(outcome.out.find("Per\xC3\xAD"
                             "odo de an\xC3\xA1lise: 01/07/2022 a 30/06/2023\n\n"),
            std::string::npos);
  EXPECT_EQ(outcome.out.find("Fim do processamento"), std::string::npos);
  EXPECT_EQ(outcome.err,
            "DbfTable.InternalOpen: Open error \"" + missing + "\"\n" + testing::NoSuchFileReason() + "\n");
}

// A catalogue file that another run holds (here: this process, with the
// lock the program takes): the second run stops at it with the reason.
TEST(CliProgram, AFileAnotherRunHoldsIsInUse) {
  testing::TempDir dir;
  WriteCatalogue(dir);
  const os::LockedFile held = os::OpenLockedFile(dir.File("anexos.dbf"), os::FileAccess::kRead);
  ASSERT_NE(held.file, os::kNoFile) << held.reason;
  const auto outcome = RunCli("--catalogo '" + dir.Path() + "'", dir);
  os::CloseFile(held.file);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err,
            "DbfTable.InternalOpen: Open error \"" + dir.File("anexos.dbf") + "\"\n" + std::string(kFileInUse) + "\n");
  EXPECT_EQ(RunCli("--catalogo '" + dir.Path() + "'", dir).status, 0);
}

TEST(CliProgram, ExportWritesCodePage1252WithCrLf) {
  testing::TempDir dir;
  WriteCatalogue(dir);
  auto outcome = RunCli("--catalogo '" + dir.Path() + "' --exporta '" + dir.File("report.txt") + "'", dir);
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const std::string saved = testing::ReadFile(dir.File("report.txt"));
  EXPECT_EQ(saved.find("In\xED"
                       "cio do processamento: "),
            0u);
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

TEST(RunPathFromUtf8, GivesTheBytesAsTheyAre) {
  for (const std::string typed : {"", " r.dbf ", "/d/s\xc3\xa9rie \xe4\xb8\xad.dbf", "latin1-\xe9.dbf"})
    EXPECT_EQ(RunPathFromUtf8(typed), typed);
}

// A catalogue of risks (COD_SEG, APOLICE, ITEM, COD_MOD, INICIO_VIG, PREMIO)
// and claims (the same with D_AVISO and INDENIZ), and the two files, of
// records records each, every claim on a policy item of the risks.
void WriteRisksAndClaims(const testing::TempDir& dir, int records) {
  std::vector<testing::FieldRuleRow> rows;
  for (const char* table : {"RISCOS", "SINISTROS"}) {
    const bool risks = table[0] == 'R';
    rows.push_back({table, "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"});
    rows.push_back({table, "APOLICE", "", "1", "10", "0", "1", "0", "0", "2"});
    rows.push_back({table, "ITEM", "", "1", "4", "0", "1", "0", "0", "3"});
    rows.push_back({table, "COD_MOD", "", "3", "0", "0", "1", "0", "0", "4"});
    rows.push_back({table, risks ? "INICIO_VIG" : "D_AVISO", "", "1", "8", "0", "1", "0", "0", "5"});
    rows.push_back({table, risks ? "PREMIO" : "INDENIZ", "", "6", "0", "0", "1", "0", "0", "6"});
  }
  testing::WriteTabelas(dir.File("tabelas.dbf"), rows);
  testing::WriteAnexos(dir.File("anexos.dbf"), {});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {});
  for (const char* name : {"r.dbf", "s.dbf"}) {
    const bool risks = name[0] == 'r';
    testing::DbfStreamWriter writer(dir.File(name), {{"COD_SEG", 'C', 5},
                                                     {"APOLICE", 'C', 10},
                                                     {"ITEM", 'C', 4},
                                                     {"COD_MOD", 'N', 2},
                                                     {risks ? "INICIO_VIG" : "D_AVISO", 'C', 8},
                                                     {risks ? "PREMIO" : "INDENIZ", 'N', 14, 2}});
    for (int i = 0; i < records; ++i)
      writer.AddRecord({"05631", std::to_string(int64_t{i} * 7919 % records), "0001", "61", "20230101", "1.00"});
    writer.Finish();
  }
}

TEST(CliProgram, ExportOverAFileTheRunReadsIsRefusedBeforeTheRun) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 3);
  const std::string risks = testing::ReadFile(dir.File("r.dbf"));
  const std::string target = dir.Path() + "./r.dbf";
  const std::string args = "--catalogo '" + dir.Path() + "' --riscos '" + dir.File("r.dbf") + "'";
  auto outcome = RunCli(args + " --exporta '" + target + "'", dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "Cannot export the report to \"" + target + "\": the validation reads that file.\n");
  EXPECT_EQ(testing::ReadFile(dir.File("r.dbf")), risks);
  outcome = RunCli("--catalogo '" + dir.Path() + "' --exporta '" + dir.File("tabelas.dbf") + "'", dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
}

TEST(CliProgram, NamesOutsideTheCodePageOpenAndShowQuestionMarks) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 3);
  const std::string risks = dir.File("riscos \xd1\x88.dbf");
  std::filesystem::rename(testing::FileSystemPath(dir.File("r.dbf")), testing::FileSystemPath(risks));
  auto outcome =
      RunCli("--catalogo '" + dir.Path() + "' --riscos '" + risks + "' --sinistros '" + dir.File("s.dbf") + "'", dir);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("Arquivo: " + dir.Path() + "riscos ?.dbf\n"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("0 sinistros sem ap\xC3\xB3lices"), std::string::npos);
  // A name that does not exist: the message names it the same way, and
  // says why.
  outcome = RunCli("--catalogo '" + dir.Path() + "' --riscos '" + dir.File("\xe4\xb8\xad.dbf") + "'", dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err,
            "DbfTable.InternalOpen: Open error \"" + dir.File("?.dbf") + "\"\n" + testing::NoSuchFileReason() + "\n");
}

#ifndef _WIN32
// Not on Windows, which has no such signals: Ctrl+C and Ctrl+Break reach a
// program through its console, and Wine's GenerateConsoleCtrlEvent does
// not deliver them to another process.
//
// SIGINT, SIGTERM or SIGHUP while the index exists: the process ends by
// that signal and the index file goes with it.
TEST(CliProgram, SignalsRemoveTheIndexFile) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 300000);
  const std::string index = dir.File("apolice.ntx");
  const std::string risks = testing::ReadFile(dir.File("r.dbf"));
  const std::string claims = testing::ReadFile(dir.File("s.dbf"));
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::freopen("/dev/null", "w", stdout);
      execl(TARVELO_CLI_PATH, TARVELO_CLI_PATH, "--catalogo", dir.Path().c_str(), "--riscos", dir.File("r.dbf").c_str(),
            "--sinistros", dir.File("s.dbf").c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    bool seen = false;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!seen && std::chrono::steady_clock::now() < deadline && waitpid(child, &status, WNOHANG) == 0) {
      seen = std::filesystem::exists(index);
      if (!seen) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(seen) << "the run ended before its index was seen";
    kill(child, signal);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_FALSE(std::filesystem::exists(index)) << signal;
  }
  EXPECT_EQ(testing::ReadFile(dir.File("r.dbf")), risks);
  EXPECT_EQ(testing::ReadFile(dir.File("s.dbf")), claims);
}
#endif

}  // namespace
}  // namespace tarvelo

namespace tarvelo {
namespace {

TEST(CliProgram, StrictExitStatusFollowsTheDataProblems) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 20);
  const auto declare = [&](const std::string& premiums) {
    testing::WriteQdp(dir.File("DadosQdp.DBF"),
                      {{"05631", "EXEMPLO", premiums, "20", "0", "0", "20220701", "20230630"}});
  };
  const std::string catalogue = "--catalogo '" + dir.Path() + "' --riscos '" + dir.File("r.dbf") + "'";
  const std::string both = catalogue + " --sinistros '" + dir.File("s.dbf") + "'";
  declare("20");
  EXPECT_EQ(RunCli(both + " --estrito", dir).status, 0);
  EXPECT_EQ(RunCli(catalogue + " --estrito", dir).status, 3);  // the claims file is missing
  declare("25");                                               // the file's premiums 20% under the declared total
  EXPECT_EQ(RunCli(both, dir).status, 0);
  EXPECT_EQ(RunCli(both + " --estrito", dir).status, 3);
  // An error that ends the run wins over the data.
  EXPECT_EQ(RunCli(catalogue + " --sinistros '" + dir.File("absent.dbf") + "' --estrito", dir).status, 1);

  const auto version = RunCli("--version", dir);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("tarvelo-cli ", 0), 0u);
}

// The value of a report line's columns after a prefix, split at blanks.
std::vector<std::string> Columns(const std::string& line) {
  std::vector<std::string> columns;
  std::istringstream in(line);
  for (std::string column; in >> column;) columns.push_back(column);
  return columns;
}

std::string Percent(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f", value);
  std::string text = buffer;
  std::replace(text.begin(), text.end(), '.', ',');
  return text;
}

// The rows of a detail listing written with ";" between unquoted cells.
std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text.substr(3));  // after the byte-order mark
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> cells(1);
    for (char c : line) {
      if (c == ';') {
        cells.emplace_back();
      } else {
        cells.back().push_back(c);
      }
    }
    rows.push_back(cells);
  }
  return rows;
}

TEST(CliProgram, JsonAndDetailListingAgreeWithTheSampleReport) {
  testing::TempDir dir;
  for (const char* name : {"tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"})
    std::filesystem::copy_file(std::string(TARVELO_CATALOGUE_DIR "/") + name, dir.File(name));
  const auto outcome =
      RunCli("--catalogo '" + dir.Path() + "' --riscos '" TARVELO_SAMPLES_DIR "/riscos.dbf' --sinistros '" +
                 TARVELO_SAMPLES_DIR "/sinistros.dbf' --json '" + dir.File("r.json") + "' --estrito --detalhes '" +
                 dir.File("d.csv") + "'",
             dir);
  EXPECT_EQ(outcome.status, 3);
  const auto json = nlohmann::json::parse(testing::ReadFile(dir.File("r.json")));
  EXPECT_TRUE(json["completed"].get<bool>());
  EXPECT_TRUE(json["data_problems"].get<bool>());
  EXPECT_TRUE(json["error"].is_null());

  // Each field row, count and difference of the report, and no other.
  std::istringstream report(outcome.out);
  std::vector<std::string> lines;
  for (std::string line; std::getline(report, line);) lines.push_back(line);
  size_t compared = 0;
  for (const auto& file : json["files"]) {
    const std::string path = file["path"];
    auto at = std::find(lines.begin(), lines.end(), "Arquivo: " + path);
    ASSERT_NE(at, lines.end()) << path;
    EXPECT_EQ(*++at, "Total de Registros: " + std::to_string(file["records"].get<int>()));
    at += 3;
    for (const auto& field : file["fields"]) {
      const auto columns = Columns(*at++);
      ASSERT_EQ(columns.size(), 6u);
      EXPECT_EQ(columns[0], file["table"]);
      EXPECT_EQ(columns[1], field["field"]);
      EXPECT_EQ(columns[2], std::to_string(field["empty"].get<int>()));
      EXPECT_EQ(columns[3], Percent(field["empty_percent"]) + "%");
      EXPECT_EQ(columns[4], std::to_string(field["invalid"].get<int>()));
      EXPECT_EQ(columns[5], Percent(field["invalid_percent"]) + "%");
      ++compared;
    }
    EXPECT_EQ(Columns(*at)[0], std::string(80, '='));
    for (const auto& row : file["totals"]) {
      at = std::find_if(at, lines.end(), [&](const std::string& line) { return line.rfind(row["line"], 0) == 0; });
      ASSERT_NE(at, lines.end());
      EXPECT_EQ(Columns(*at).back(), row["difference_percent"].is_null() ? "zero" : Percent(row["difference_percent"]));
    }
  }
  EXPECT_EQ(compared, 19u);

  // The listing: one row per counted failure, at the record of the file
  // (deleted records counted) that holds the value shown.
  const std::string listing = testing::ReadFile(dir.File("d.csv"));
  ASSERT_EQ(listing.rfind("\xEF\xBB\xBF"
                          "arquivo;tabela;registro;apolice;item;campo;regra;valor\r\n",
                          0),
            0u);
  std::map<std::string, int> counted;  // "path field empty|invalid" and "path sem apolice"
  std::map<std::string, std::unique_ptr<DbfTable>> tables;
  const auto rows = CsvRows(listing);
  for (const auto& row : std::vector(rows.begin() + 1, rows.end())) {
    ASSERT_EQ(row.size(), 8u);
    const bool noPolicy = row[6] == "sem apolice";
    ++counted[row[0] + " " + (noPolicy ? "sem apolice" : row[5] + (row[6] == "vazio" ? " empty" : " invalid"))];
    auto& table = tables[row[0]];
    if (!table) {
      table = std::make_unique<DbfTable>("tbDados", RegionalSettings::Brazilian());
      table->SetDBFFileName(row[0]);
      table->Open();
    }
    table->First();
    for (int64_t n = 1; n < std::stoll(row[2]); ++n) table->Next();
    ASSERT_EQ(table->RecordNumber(), std::stoll(row[2]));
    EXPECT_NE(table->CurrentRecord()[0], '*') << row[2];
    EXPECT_EQ(Trim(table->FieldByName("apolice").CharacterText()), row[3]);
    if (!noPolicy) {
      EXPECT_EQ(Trim(table->FieldByName(row[5]).CharacterText()), row[7]);
    }
  }
  for (const auto& file : json["files"]) {
    for (const auto& field : file["fields"]) {
      const std::string key = file["path"].get<std::string>() + " " + field["field"].get<std::string>();
      EXPECT_EQ(counted[key + " empty"], field["empty"].get<int>()) << key;
      EXPECT_EQ(counted[key + " invalid"], field["invalid"].get<int>()) << key;
    }
  }
  const auto& claims = json["claims_without_policy"];
  EXPECT_EQ(counted[TARVELO_SAMPLES_DIR "/sinistros.dbf sem apolice"], claims["without_policy"].get<int>());
  EXPECT_NE(outcome.out.find(std::to_string(claims["without_policy"].get<int>()) + " sinistros sem ap\xC3\xB3lices " +
                             "no per\xC3\xAD"
                             "odo, num total de " +
                             std::to_string(claims["claims"].get<int>()) + " sinistros (" + Percent(claims["percent"]) +
                             "%)."),
            std::string::npos);
}

}  // namespace
}  // namespace tarvelo
