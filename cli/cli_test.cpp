#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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
#include "cli/cli_test_support.h"
#include "dbf/dbf_table.h"
#include "frontend/program_folders.h"
#include "ntx/ntx_index.h"
#include "os/file_system.h"
#include "os/held_file.h"
#include "os/path_testing.h"
#include "os/run_program.h"
#include "testing/catalogue_fixture.h"
#include "testing/csv_reader.h"
#include "testing/dbf_writer.h"
#include "testing/program_outcome.h"
#include "testing/shell_words.h"
#include "testing/temp_dir.h"
#include "values/cp1252_literal.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {
namespace {

using clitest::RunCli;
using clitest::WithoutTimes;
using clitest::WriteRisksAndClaims;
using testing::Outcome;
using testing::Refusal;

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

// A catalogue of one table with one field, and no company.
void WriteCatalogue(const testing::TempDir& dir) {
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"}});
  testing::WriteAnexos(dir.File("anexos.dbf"), {});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {});
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
  EXPECT_EQ(outcome.out.find("Início do processamento: "), 0u) << outcome.out;
  EXPECT_NE(outcome.out.find("Período de análise: 01/07/2022 a 30/06/2023\n\n"), std::string::npos);
  EXPECT_EQ(outcome.out.find("Fim do processamento"), std::string::npos);
  EXPECT_EQ(outcome.err, "DbfTable.InternalOpen: Open error \"" + missing + "\"\n" + os::NoSuchFileReason() + "\n");
}

// A catalogue file that another run reads (here: this process, with the
// lock the program takes to read) is read by this one too; one that a
// writer holds exclusively stops the run at it, with the reason.
TEST(CliProgram, RunsReadTogetherAndAWriterHoldingAFileStopsThem) {
  testing::TempDir dir;
  WriteCatalogue(dir);
  os::LockedFile reading = os::OpenLockedFile(dir.File("anexos.dbf"), os::FileAccess::kRead);
  ASSERT_TRUE(reading.file.IsOpen()) << reading.reason;
  const auto together = RunCli("--catalogo '" + dir.Path() + "'", dir);
  reading.file.Close();
  EXPECT_EQ(together.status, 0) << together.err;
  {
    const os::HeldFile held(dir.File("anexos.dbf"));
    ASSERT_TRUE(held.Holds());
    const auto outcome = RunCli("--catalogo '" + dir.Path() + "'", dir);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "DbfTable.InternalOpen: Open error \"" + dir.File("anexos.dbf") + "\"\n" +
                               std::string(kFileInUse) + "\nThe catalogue folder \"" + dir.Path() +
                               "\" is the one --catalogo names.\n");
  }
  EXPECT_EQ(RunCli("--catalogo '" + dir.Path() + "'", dir).status, 0);
}

#ifdef _WIN32
// A catalogue folder where the user cannot make files (here: one that is
// not there) has the index in "Tarvelo\\" of the user's local application
// data, made when missing; one where the user can keeps it.
TEST(CliProgram, IndexInTheUsersLocalApplicationDataWhenTheCatalogueFolderTakesNoFile) {
  testing::TempDir dir;
  const char* local = std::getenv("LOCALAPPDATA");
  ASSERT_NE(local, nullptr);
  const std::string own = std::string(local) + "\\Tarvelo\\";
  std::filesystem::remove(own);  // an empty folder of an earlier run
  const auto none = [](const char*) { return std::string(); };
  EXPECT_EQ(IndexFolder(dir.File("absent\\"), none).Path(), own);
  EXPECT_TRUE(std::filesystem::is_directory(own));
  EXPECT_EQ(IndexFolder(dir.Path(), none).Path(), dir.Path());
}

// A catalogue folder whose access list lets Everyone make and change files
// there, as a folder unpacked at the root of C: lets every user, has the
// index in the user's own folder, though the user may write there too; one
// only the user may write keeps it.
TEST(CliProgram, IndexNotInACatalogueFolderOthersMayWrite) {
  testing::TempDir dir;
  const char* local = std::getenv("LOCALAPPDATA");
  ASSERT_NE(local, nullptr);
  const auto none = [](const char*) { return std::string(); };
  ASSERT_TRUE(os::SetFolderAccessList(dir.Path(), true));
  EXPECT_EQ(IndexFolder(dir.Path(), none).Path(), std::string(local) + "\\Tarvelo\\");
  ASSERT_TRUE(os::SetFolderAccessList(dir.Path(), false));
  EXPECT_EQ(IndexFolder(dir.Path(), none).Path(), dir.Path());
}

// TARVELO_CATALOGO naming a folder in any language, whatever the code
// page: accents, Cyrillic, Chinese. The run uses the catalogue there.
TEST(CliProgram, CatalogueFolderOfTheEnvironmentInAnyLanguage) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 3);
  const std::vector<std::string> files{"--riscos", dir.File("r.dbf"), "--sinistros", dir.File("s.dbf")};
  for (const std::string name : {"Catálogo 2023", "Каталог", "目录 2023"}) {
    const std::string folder = dir.File(name);
    std::filesystem::create_directory(testing::FileSystemPath(folder));
    for (const char* table : {"tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"})
      std::filesystem::copy_file(testing::FileSystemPath(dir.File(table)),
                                 testing::FileSystemPath(folder + "\\" + table));
    const testing::Outcome outcome =
        testing::RunProgramIn(TARVELO_CLI_PATH, files, dir, {"TARVELO_CATALOGO=" + folder});
    EXPECT_EQ(outcome.status, 0) << name;
    EXPECT_EQ(outcome.err, "") << name;
    EXPECT_NE(outcome.out.find("sinistros sem apólices"), std::string::npos) << name << "\n" << outcome.out;
  }
}
#endif

TEST(CliProgram, ExportWritesCodePage1252WithCrLf) {
  testing::TempDir dir;
  WriteCatalogue(dir);
  auto outcome = RunCli("--catalogo '" + dir.Path() + "' --exporta '" + dir.File("report.txt") + "'", dir);
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const std::string saved = testing::ReadFile(dir.File("report.txt"));
  EXPECT_EQ(saved.find("Início do processamento: "_cp1252), 0u);
  EXPECT_NE(saved.find("Arquivo de riscos vazio ou não selecionado.\r\n"_cp1252), std::string::npos);
  EXPECT_EQ(saved.substr(saved.size() - 82), std::string(80, '=') + "\r\n");
  // The terminal gets the same lines in UTF-8 with LF only.
  EXPECT_NE(outcome.out.find("Arquivo de riscos vazio ou não selecionado.\n"), std::string::npos);
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
  EXPECT_NE(outcome.out.find("0 sinistros sem apólices"), std::string::npos);
  // A name that does not exist: the message names it the same way, and
  // says why.
  outcome = RunCli("--catalogo '" + dir.Path() + "' --riscos '" + dir.File("\xe4\xb8\xad.dbf") + "'", dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err,
            "DbfTable.InternalOpen: Open error \"" + dir.File("?.dbf") + "\"\n" + os::NoSuchFileReason() + "\n");
}

#ifndef _WIN32
// Not on Windows, which has no such signals: Ctrl+C and Ctrl+Break reach a
// program through its console, and Wine's GenerateConsoleCtrlEvent does
// not deliver them to another process.
//
// SIGINT, SIGTERM or SIGHUP while the index exists: the process ends by
// that signal and the index file goes with it. No file of the outputs is
// left behind, not even after SIGKILL (the index then stays, for the next
// run to replace).
TEST(CliProgram, SignalsRemoveTheIndexFile) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 300000);
  const std::string index = dir.File("apolice.ntx");
  const std::string risks = testing::ReadFile(dir.File("r.dbf"));
  const std::string claims = testing::ReadFile(dir.File("s.dbf"));
  const std::string outputs = dir.File("outputs");
  std::filesystem::create_directory(outputs);
  // The run is stopped as soon as its index is seen, and the signal sent
  // only while the stopped run still has it; a run that got past its index
  // first (the machine busy) is let finish and tried again.
  const auto startRun = [&] {
    const pid_t child = fork();
    if (child == 0) {
      std::freopen("/dev/null", "w", stdout);
      execl(TARVELO_CLI_PATH, TARVELO_CLI_PATH, "--catalogo", dir.Path().c_str(), "--riscos", dir.File("r.dbf").c_str(),
            "--sinistros", dir.File("s.dbf").c_str(), "--detalhes", (outputs + "/d.csv").c_str(), "--json",
            (outputs + "/r.json").c_str(), "--exporta", (outputs + "/r.txt").c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    return child;
  };
  const auto stoppedWithItsIndex = [&](pid_t child) {
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
      if (std::filesystem::exists(index)) {
        kill(child, SIGSTOP);
        if (waitpid(child, &status, WUNTRACED) != child || !WIFSTOPPED(status)) return false;
        if (std::filesystem::exists(index)) return true;
        kill(child, SIGCONT);
        waitpid(child, &status, 0);
        return false;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
  };
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    pid_t child = -1;
    for (int attempt = 0; attempt < 20 && child < 0; ++attempt) {
      const pid_t started = startRun();
      ASSERT_GE(started, 0);
      if (stoppedWithItsIndex(started)) {
        child = started;
      } else {
        for (const auto& entry : std::filesystem::directory_iterator(outputs)) std::filesystem::remove(entry.path());
      }
    }
    ASSERT_GE(child, 0) << "no run was caught with its index";
    kill(child, signal);
    kill(child, SIGCONT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    if (signal != SIGKILL) {
      EXPECT_FALSE(std::filesystem::exists(index)) << signal;
    }
    EXPECT_TRUE(std::filesystem::is_empty(outputs)) << signal;
  }
  EXPECT_EQ(testing::ReadFile(dir.File("r.dbf")), risks);
  EXPECT_EQ(testing::ReadFile(dir.File("s.dbf")), claims);
}

// Not on Windows, whose tests start one program at a time (the same
// choice of the index's name is tested there in claims_without_policy_test).
//
// Runs of one user at once in one index folder, as a batch server starts
// them, all complete with the same report and leave no index behind, the
// name "apolice.ntx" held meanwhile as a run building there would hold it.
TEST(CliProgram, RunsAtOnceInOneIndexFolderAllComplete) {
  testing::TempDir dir, io;
  WriteRisksAndClaims(dir, 20000);
  const std::string args =
      "--catalogo '" + dir.Path() + "' --riscos '" + dir.File("r.dbf") + "' --sinistros '" + dir.File("s.dbf") + "'";
  const Outcome alone = RunCli(args, io);
  ASSERT_EQ(alone.status, 0) << alone.err;
  ASSERT_NE(alone.out.find("0 sinistros sem apólices"), std::string::npos) << alone.out;
  const std::string index = dir.File("apolice.ntx");
  testing::WriteFile(index, "another run's");
  const os::HeldFile held(index);
  ASSERT_TRUE(held.Holds());
  constexpr int kRuns = 6;
  std::string line;
  for (int i = 0; i < kRuns; ++i) {
    const std::string n = std::to_string(i);
    line += "(LANG=pt_BR.UTF-8 LC_ALL= '" TARVELO_CLI_PATH "' " + args + " >'" + io.File("out" + n) + "' 2>'" +
            io.File("err" + n) + "'; echo $? >'" + io.File("status" + n) + "') & ";
  }
  ASSERT_EQ(std::system((line + "wait").c_str()), 0);
  for (int i = 0; i < kRuns; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_EQ(testing::ReadFile(io.File("status" + n)), "0\n") << testing::ReadFile(io.File("err" + n));
    EXPECT_EQ(testing::ReadFile(io.File("err" + n)), "");
    EXPECT_EQ(WithoutTimes(testing::ReadFile(io.File("out" + n))), WithoutTimes(alone.out));
  }
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    if (entry.path().extension() == ".ntx") left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"apolice.ntx"});
  EXPECT_EQ(testing::ReadFile(index), "another run's");
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
  // A company that "DadosQdp.DBF" lacks: the report as it is, a warning,
  // and a problem in the data.
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"01295", "OUTRA", "20", "20", "0", "0", "20220701", "20230630"}});
  auto outcome = RunCli(both + " --estrito --json '" + dir.File("r.json") + "'", dir);
  EXPECT_EQ(outcome.status, 3);
  EXPECT_EQ(outcome.err,
            "Company \"05631\" not found in \"DadosQdp.DBF\": the report compares the files with reference totals "
            "of 0.\n");
  EXPECT_NE(outcome.out.find("\nEmpresa: 05631 - \n"), std::string::npos) << outcome.out;
  const auto json = nlohmann::json::parse(testing::ReadFile(dir.File("r.json")));
  EXPECT_EQ(json["company"]["code"], "05631");
  EXPECT_FALSE(json["company"]["found"].get<bool>());
  EXPECT_TRUE(json["data_problems"].get<bool>());
  declare("20");
  outcome = RunCli(both + " --estrito", dir);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(RunCli(catalogue + " --estrito", dir).status, 3);  // the claims file is missing
  declare("25");                                               // the file's premiums 20% under the declared total
  EXPECT_EQ(RunCli(both, dir).status, 0);
  EXPECT_EQ(RunCli(both + " --estrito", dir).status, 3);
#ifndef _WIN32
  // So does an output that cannot be written.
  outcome = RunCli(both + " --estrito --exporta /dev/full", dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "Cannot write file \"/dev/full\". No space left on device.\n");
#endif
  // An error that ends the run after the risks' problems were counted wins
  // over the data, and the results hold that error as standard error
  // shows it.
  outcome = RunCli(
      catalogue + " --sinistros '" + dir.File("absent.dbf") + "' --estrito --json '" + dir.File("e.json") + "'", dir);
  EXPECT_EQ(outcome.status, 1);
  const auto failed = nlohmann::json::parse(testing::ReadFile(dir.File("e.json")));
  EXPECT_FALSE(failed["completed"].get<bool>());
  ASSERT_TRUE(failed["error"].is_string()) << failed.dump();
  EXPECT_EQ(failed["error"].get<std::string>() + "\n", outcome.err);

  const auto version = RunCli("--version", dir);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("tarvelo-cli ", 0), 0u);
}

// A data file cut short (its header declares more records than it holds)
// is read as far as it goes, as before: the same report as a whole file of
// those records, and a warning on standard error, in the JSON and on the
// page; --estrito takes it for a problem in the data.
TEST(CliProgram, ADataFileCutShortIsCountedAsBeforeAndToldOf) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 10);
  // The totals of ten risks and six claims, as declared.
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "EXEMPLO", "10", "6", "0", "0", "20220701", "20230630"}});
  const std::string claims = testing::ReadFile(dir.File("s.dbf"));
  const int headerLength = static_cast<unsigned char>(claims[8]) | static_cast<unsigned char>(claims[9]) << 8;
  const int recordLength = static_cast<unsigned char>(claims[10]) | static_cast<unsigned char>(claims[11]) << 8;
  // Six records of ten, whole: the header says 6.
  std::string six = claims.substr(0, static_cast<size_t>(headerLength + 6 * recordLength)) + "\x1A";
  six[4] = 6;
  // The same cut inside the seventh record: the header still says 10.
  const std::string cut = claims.substr(0, static_cast<size_t>(headerLength + 6 * recordLength + recordLength / 2));
  const std::string args = "--catalogo '" + dir.Path() + "' --riscos '" + dir.File("r.dbf") + "' --sinistros '" +
                           dir.File("s.dbf") + "' --estrito --json '" + dir.File("r.json") + "' --html '" +
                           dir.File("r.html") + "'";
  testing::WriteFile(dir.File("s.dbf"), six);
  const Outcome whole = RunCli(args, dir);
  EXPECT_EQ(whole.status, 0) << whole.err;
  EXPECT_EQ(whole.err, "");
  const auto wholeJson = nlohmann::json::parse(testing::ReadFile(dir.File("r.json")));
  EXPECT_FALSE(wholeJson["files"][1].contains("declared_records")) << wholeJson.dump();
  EXPECT_EQ(testing::ReadFile(dir.File("r.html")).find("cortado"), std::string::npos);

  testing::WriteFile(dir.File("s.dbf"), cut);
  const Outcome shortened = RunCli(args, dir);
  EXPECT_EQ(shortened.status, 3);
  EXPECT_EQ(WithoutTimes(shortened.out), WithoutTimes(whole.out));
  EXPECT_NE(shortened.out.find("num total de 6 sinistros"), std::string::npos) << shortened.out;
  EXPECT_EQ(shortened.err, "The file \"" + dir.File("s.dbf") +
                               "\" is cut short: its header declares 10 records, it holds 6 (4 missing); the report "
                               "counts those it holds.\n");
  const auto json = nlohmann::json::parse(testing::ReadFile(dir.File("r.json")));
  const auto& file = json["files"][1];
  EXPECT_EQ(file["records"], 6);
  EXPECT_EQ(file["declared_records"], 10);
  EXPECT_EQ(file["missing_records"], 4);
  EXPECT_FALSE(json["files"][0].contains("declared_records"));
  EXPECT_TRUE(json["data_problems"].get<bool>());
  EXPECT_NE(testing::ReadFile(dir.File("r.html"))
                .find("<p class=\"obs\">O arquivo " + dir.File("s.dbf") +
                      " está cortado: o cabeçalho declara 10 registros e ele traz 6 (faltam 4); só os registros "
                      "que ele traz foram verificados.</p>"),
            std::string::npos);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARVELO_SANITIZED_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define TARVELO_SANITIZED_MEMORY 1
#endif
#endif

// The sample files run in 64 MiB of address space (ulimit -v 65536).
TEST(CliProgram, TheSampleRunsUnderATightMemoryLimit) {
#if defined(_WIN32)
  GTEST_SKIP() << "no limit of address space on Windows (ulimit, fork)";
#elif defined(TARVELO_SANITIZED_MEMORY)
  GTEST_SKIP() << "a sanitizer's own memory does not fit the limit";
#else
  testing::TempDir dir;
  const std::string out = dir.File("out");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{64 << 20, 64 << 20};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    if (std::freopen(out.c_str(), "w", stdout) == nullptr) _exit(125);
    execl(TARVELO_CLI_PATH, TARVELO_CLI_PATH, "--catalogo", TARVELO_CATALOGUE_DIR, "--riscos",
          TARVELO_SAMPLES_DIR "/riscos.dbf", "--sinistros", TARVELO_SAMPLES_DIR "/sinistros.dbf",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string report = testing::ReadFile(out);
  EXPECT_NE(report.find(" sinistros sem apólices "), std::string::npos) << report;
  EXPECT_NE(report.find("Fim do processamento: "), std::string::npos);
#endif
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
  const auto rows = testing::ReadCsv(std::string_view(listing).substr(3), ';');  // after the byte-order mark
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
  EXPECT_NE(outcome.out.find(std::to_string(claims["without_policy"].get<int>()) + " sinistros sem apólices " +
                             "no período, num total de " + std::to_string(claims["claims"].get<int>()) +
                             " sinistros (" + Percent(claims["percent"]) + "%)."),
            std::string::npos);
}

}  // namespace
}  // namespace tarvelo

// Not on Windows: the outputs' cases that follow are POSIX ones (a child
// made with fork() and exec, /dev/full and FIFOs, the sticky folders' rule
// for links, modes and owners, the file size limit and SIGPIPE). Replacing
// a file, refusing the files the run reads, and the exit statuses are
// checked on Windows by the tests above and by windows_matches_linux.
#ifndef _WIN32
namespace tarvelo {
namespace {

// Where tarvelo-cli's standard output goes in RunCliWith.
enum class StandardOutput {
  kFile,        // the file "out" of the folder, as RunCli does
  kPipe,        // a pipe the test reads to its end
  kClosedPipe,  // a pipe whose reading end is closed already
  kClosed,      // no standard output at all
  kFull,        // /dev/full
};

// Runs tarvelo-cli with args and the Brazilian settings, standard error
// into the file "err" of dir, SIGPIPE and SIGXFSZ as a shell leaves them and
// at most fileSizeLimit bytes in any file it writes. status is the exit
// status, or 128 and the number of the signal that ended it.
Outcome RunCliWith(const std::vector<std::string>& args, const testing::TempDir& dir,
                   StandardOutput out = StandardOutput::kFile, rlim_t fileSizeLimit = RLIM_INFINITY,
                   bool errorClosed = false) {
  std::vector<std::string> words{TARVELO_CLI_PATH};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment{"LANG=pt_BR.UTF-8"};
  for (char** variable = environ; *variable; ++variable) {
    const std::string text = *variable;
    if (text.rfind("LANG=", 0) != 0 && text.rfind("LC_", 0) != 0) environment.push_back(text);
  }
  std::vector<char*> envp;
  for (std::string& text : environment) envp.push_back(text.data());
  envp.push_back(nullptr);
  const std::string outFile = dir.File("out");
  const std::string errFile = dir.File("err");

  int pipeEnds[2] = {-1, -1};
  const bool piped = out == StandardOutput::kPipe || out == StandardOutput::kClosedPipe;
  if (piped) {
    EXPECT_EQ(::pipe(pipeEnds), 0);
  }
  if (out == StandardOutput::kClosedPipe) ::close(pipeEnds[0]);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    if (out == StandardOutput::kFile) ::dup2(::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    if (out == StandardOutput::kFull) ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO);
    if (piped) ::dup2(pipeEnds[1], STDOUT_FILENO);
    if (out == StandardOutput::kClosed) ::close(STDOUT_FILENO);
    if (errorClosed) ::close(STDERR_FILENO);
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGXFSZ, SIG_DFL);
    const rlimit limit{fileSizeLimit, fileSizeLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::execve(TARVELO_CLI_PATH, argv.data(), envp.data());
    ::_exit(127);
  }
  Outcome outcome;
  if (piped) {
    ::close(pipeEnds[1]);
    if (out == StandardOutput::kPipe) {
      char piece[4096];
      for (ssize_t got; (got = ::read(pipeEnds[0], piece, sizeof piece)) > 0;) outcome.out.append(piece, got);
      ::close(pipeEnds[0]);
    }
  }
  int raw = 0;
  EXPECT_EQ(::waitpid(child, &raw, 0), child);
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  if (out == StandardOutput::kFile) outcome.out = testing::ReadFile(outFile);
  outcome.err = testing::ReadFile(errFile);
  return outcome;
}

// The catalogue and data files of WriteRisksAndClaims, with the arguments
// that name them.
std::vector<std::string> RunOf(const testing::TempDir& dir) {
  return {"--catalogo", dir.Path(), "--riscos", dir.File("r.dbf"), "--sinistros", dir.File("s.dbf")};
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST(CliOutputs, FilesTheValidationNeedsAreRefusedHoweverNamed) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 3);
  // Not named anywhere: a table under another name, an index, a file named
  // as a memo file.
  std::filesystem::copy_file(dir.File("s.dbf"), dir.File("copy.txt"));
  {
    DbfTable table("tbRiscos", RegionalSettings::Brazilian());
    table.SetDBFFileName(dir.File("r.dbf"));
    table.Open();
    NtxIndex index(table, "apolice");
    index.SetKeyExpresion("apolice+item");
    index.SetNTXFileName(dir.File("index.bin"));
    index.SetCreateNow(true);
  }
  testing::WriteFile(dir.File("notes.Dbt"), "notes");
  std::map<std::string, std::string> before;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    before[entry.path().string()] = testing::ReadFile(entry.path().string());

  // The risks file as spelt on a file system that ignores case, the
  // catalogue's index (not there between runs) and a table not named.
  auto outcome = RunCliWith(With(RunOf(dir), {"--exporta", dir.File("R.DBF"), "--json", dir.File("apolice.ntx"),
                                              "--detalhes", dir.File("copy.txt")}),
                            dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, Refusal(dir.File("R.DBF"), "the validation reads that file") +
                             Refusal(dir.File("copy.txt"), "that file holds a DBF table") +
                             Refusal(dir.File("apolice.ntx"), "the validation writes its index to that file"));
  // A catalogue file in another case, an index and a name of a memo file.
  outcome = RunCliWith(With(RunOf(dir), {"--exporta", dir.File("TabeLas.dbf"), "--detalhes", dir.File("index.bin"),
                                         "--json", dir.File("notes.Dbt")}),
                       dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, Refusal(dir.File("TabeLas.dbf"), "the validation reads that file") +
                             Refusal(dir.File("index.bin"), "that file holds an NTX index") +
                             Refusal(dir.File("notes.Dbt"), "that file has the extension of a table or an index"));
  for (const auto& [path, bytes] : before) EXPECT_EQ(testing::ReadFile(path), bytes) << path;
  EXPECT_FALSE(std::filesystem::exists(dir.File("R.DBF")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("apolice.ntx")));
}

// A link in a folder that everyone may write and that keeps its entries
// to their owners (/tmp), owned by neither the caller nor the folder's
// owner: the kernel's rule for shared folders would not follow it.
TEST(CliOutputs, ALinkToAnOutputIsFollowedOnlyWhereTheKernelWould) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 3);
  const std::string shared = dir.File("shared");
  ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  const std::string victim = dir.File("victim");
  testing::WriteFile(victim, "precious");
  const std::string planted = shared + "/out.json";
  ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
  const uid_t other = ::geteuid() + 4242;
  if (::lchown(planted.c_str(), other, other) != 0) GTEST_SKIP() << "only root can give a link to another user";

  auto outcome = RunCliWith(With(RunOf(dir), {"--json", planted}), dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "Cannot create file \"" + planted +
                             "\". It is a symbolic link of another user in a folder that everyone may write; it is "
                             "not followed.\n");
  EXPECT_EQ(testing::ReadFile(victim), "precious");

  // The folder's owner's link, and a link in a folder not shared, are
  // followed: the file they lead to is replaced, the link stays.
  ASSERT_EQ(::chown(shared.c_str(), other, other), 0);
  outcome = RunCliWith(With(RunOf(dir), {"--json", planted}), dir);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(testing::ReadFile(victim).rfind("{", 0), 0u);
  EXPECT_TRUE(std::filesystem::is_symlink(planted));
  ASSERT_EQ(::chown(shared.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
  testing::WriteFile(victim, "precious");
  outcome = RunCliWith(With(RunOf(dir), {"--json", planted}), dir);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(testing::ReadFile(victim).rfind("{", 0), 0u);
}

// In a shared folder a pipe or a file of another user is neither written
// to nor replaced, each refused before the run, as is each of two such
// links to one file; a pipe of one's own that no program reads is refused
// at once instead of holding the run in its open.
TEST(CliOutputs, AnotherUsersPipeOrFileInASharedFolderIsLeftAlone) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 3);
  const std::string shared = dir.File("shared");
  ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  const uid_t other = ::geteuid() + 4242;
  const std::string fifo = shared + "/r.html";
  const std::string file = shared + "/r.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  testing::WriteFile(file, "precious");
  ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
  if (::chown(fifo.c_str(), other, other) != 0 || ::chown(file.c_str(), other, other) != 0)
    GTEST_SKIP() << "only root can give a file to another user";
  const std::string victim = dir.File("victim");
  testing::WriteFile(victim, "precious");
  const std::string first = shared + "/a.txt";
  const std::string second = shared + "/b.csv";
  for (const std::string& link : {first, second}) {
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    ASSERT_EQ(::lchown(link.c_str(), other, other), 0);
  }
  const auto left = [](const std::string& path, const std::string& why) {
    return "Cannot create file \"" + path + "\". " + why + ".\n";
  };
  const std::string others =
      "It is a file of another user in a folder that everyone may write; it is neither "
      "replaced nor written to";
  const std::string link =
      "It is a symbolic link of another user in a folder that everyone may write; it is not "
      "followed";

  auto outcome =
      RunCliWith(With(RunOf(dir), {"--html", fifo, "--json", file, "--exporta", first, "--detalhes", second}), dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  // Checked and made in the order report, listing, JSON, page.
  EXPECT_EQ(outcome.err, left(first, link) + left(second, link) + left(file, others) + left(fifo, others));
  EXPECT_EQ(testing::ReadFile(file), "precious");
  EXPECT_EQ(testing::ReadFile(victim), "precious");

  const std::string own = dir.File("own.fifo");
  ASSERT_EQ(::mkfifo(own.c_str(), 0600), 0);
  outcome = RunCliWith(With(RunOf(dir), {"--exporta", own}), dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, left(own, "It is a pipe that no program reads"));
}

// A device node in dir (as /dev has them) when the caller may make one
// there, else the one in /dev.
std::string DeviceNode(const testing::TempDir& dir, const char* name, unsigned minor) {
  const std::string node = dir.File(name);
  if (::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0) {
    const int fd = ::open(node.c_str(), O_WRONLY);
    if (fd >= 0) {
      ::close(fd);
      return node;
    }
    ::unlink(node.c_str());
  }
  return std::string("/dev/") + name;
}

bool IsCharacterDevice(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

TEST(CliOutputs, DevicesAndPipesAreWrittenInPlaceAndEachOutputOnItsOwn) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 3);
  const std::string null = DeviceNode(dir, "null", 3);
  const std::string full = DeviceNode(dir, "full", 7);
  const std::string stdoutLink = dir.File("stdout");
  ASSERT_EQ(::symlink("/dev/stdout", stdoutLink.c_str()), 0);

  // The listing fails on the full device; the report goes through the
  // pipe of standard output after the log, and the results are saved.
  auto outcome =
      RunCliWith(With(RunOf(dir), {"--detalhes", full, "--exporta", stdoutLink, "--json", dir.File("r.json")}), dir,
                 StandardOutput::kPipe);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "Cannot write file \"" + full + "\". No space left on device.\n");
  const size_t report = outcome.out.find("Início do processamento: "_cp1252);
  ASSERT_NE(report, std::string::npos) << outcome.out;
  EXPECT_EQ(outcome.out.find("Início do processamento: "), 0u);
  EXPECT_EQ(outcome.out.substr(outcome.out.size() - 82), std::string(80, '=') + "\r\n");
  EXPECT_TRUE(nlohmann::json::parse(testing::ReadFile(dir.File("r.json")))["completed"].get<bool>());

  // Standard output sent to a file: the export follows the printed report.
  outcome = RunCliWith(With(RunOf(dir), {"--exporta", stdoutLink}), dir, StandardOutput::kFile);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out.find("Início do processamento: "), 0u);
  const size_t exported = outcome.out.find("Início do processamento: "_cp1252);
  EXPECT_NE(exported, std::string::npos);
  EXPECT_GT(exported, 0u);
  EXPECT_EQ(outcome.out.substr(outcome.out.size() - 82), std::string(80, '=') + "\r\n");

  outcome = RunCliWith(With(RunOf(dir), {"--json", null, "--exporta", dir.File("r.txt")}), dir);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(testing::ReadFile(dir.File("r.txt")).rfind("Início"_cp1252, 0), 0u);
  EXPECT_TRUE(IsCharacterDevice(null));
  EXPECT_TRUE(IsCharacterDevice(full));
  EXPECT_TRUE(std::filesystem::is_symlink(stdoutLink));
}

// A device or a pipe named as a data file or found as a catalogue table is
// refused for what it is, never read as a damaged table.
TEST(CliProgram, DevicesAndPipesAreNoTables) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 3);
  const std::string fifo = dir.File("fifo.dbf");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto refused = [](const std::string& path) {
    return "DbfTable.InternalOpen: Open error \"" + path + "\"\nNot a regular file\n";
  };
  auto outcome = RunCliWith({"--catalogo", dir.Path(), "--riscos", "/dev/zero"}, dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, refused("/dev/zero"));
  outcome = RunCliWith({"--catalogo", dir.Path(), "--sinistros", fifo}, dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, refused(fifo));
  std::filesystem::remove(dir.File("anexos.dbf"));
  ASSERT_EQ(::mkfifo(dir.File("anexos.dbf").c_str(), 0600), 0);
  outcome = RunCliWith({"--catalogo", dir.Path(), "--riscos", dir.File("r.dbf")}, dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, refused(dir.File("anexos.dbf")) + "The catalogue folder \"" + dir.Path() +
                             "\" is the one --catalogo names.\n");
}

TEST(CliOutputs, OutputsAreMadeBeforeTheRunAndTwoOnOneFileAreAUsageError) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 3);
  // Every output that cannot be made is named, and the run does not start.
  auto outcome =
      RunCliWith(With(RunOf(dir), {"--json", dir.File("gone/r.json"), "--exporta", dir.File("missing/r.txt")}), dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "Cannot create file \"" + dir.File("missing/r.txt") +
                             "\". No such file or directory.\nCannot create file \"" + dir.File("gone/r.json") +
                             "\". No such file or directory.\n");

  ASSERT_EQ(::symlink("r.txt", dir.File("link.txt").c_str()), 0);
  for (const auto& [first, second] :
       {std::pair{"--detalhes", dir.File("x.csv")}, std::pair{"--exporta", dir.File("link.txt")}}) {
    const std::string other = first == std::string("--detalhes") ? dir.Path() + "./x.csv" : dir.File("r.txt");
    outcome = RunCliWith(With(RunOf(dir), {first, second, "--json", other}), dir);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.rfind(std::string("tarvelo-cli: ") + first + " and --json name one file\nUsage: ", 0), 0u)
        << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(other));
  }

  // The page is one output more: checked with the others, then saved whole.
  outcome = RunCliWith(With(RunOf(dir), {"--exporta", dir.File("p.html"), "--html", dir.Path() + "./p.html"}), dir);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.err.rfind("tarvelo-cli: --exporta and --html name one file\nUsage: ", 0), 0u) << outcome.err;
  outcome = RunCliWith(With(RunOf(dir), {"--html", dir.File("p.html")}), dir);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(testing::ReadFile(dir.File("p.html")).rfind("<!DOCTYPE html>", 0), 0u);
}

// The replacement keeps the file's mode and group; its owner is the user
// who writes it, never the user who owned the file before.
TEST(CliOutputs, ReplacingKeepsModeAndGroupAndTakesNamesOfUpTo255Bytes) {
  testing::TempDir dir;
  // A new output has the mode of any new file: 0666 less the umask.
  const mode_t umaskBefore = ::umask(022);
  WriteRisksAndClaims(dir, 3);
  const std::string report = dir.File("r.txt");
  testing::WriteFile(report, "earlier");
  ASSERT_EQ(::chmod(report.c_str(), 0600), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(report.c_str(), 4242, 4243), 0);
  }
  const std::string json = dir.File(std::string(250, 'j') + ".json");
  const std::string listing = dir.File(std::string(251, 'd') + ".csv");
  testing::WriteFile(listing, "earlier");
  auto outcome = RunCliWith(With(RunOf(dir), {"--exporta", report, "--json", json, "--detalhes", listing}), dir);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(testing::ReadFile(report).rfind("Início"_cp1252, 0), 0u);
  EXPECT_EQ(testing::ReadFile(json).rfind("{", 0), 0u);
  EXPECT_EQ(testing::ReadFile(listing).rfind("\xEF\xBB\xBF", 0), 0u);
  struct stat info {};
  ASSERT_EQ(::stat(report.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(info.st_gid, 4243u);
  }
  ASSERT_EQ(::stat(json.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  ::umask(umaskBefore);
  // No file of the program's own is left beside them.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    ++files;
  }
  EXPECT_EQ(files, 10u);  // the catalogue, the data files, out, err and the three outputs
}

TEST(CliOutputs, DetailListingGuardsEveryValueASpreadsheetCouldTakeForAFormula) {
  testing::TempDir dir;
  // OBS must hold 40 characters: every value below is listed.
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
                                                  {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "1", "0", "0", "2"},
                                                  {"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "3"},
                                                  {"RISCOS", "OBS", "", "1", "40", "0", "1", "0", "0", "4", "1"}});
  testing::WriteAnexos(dir.File("anexos.dbf"), {});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {});
  const std::vector<std::pair<std::string, std::string>> values{
      {"+1+cmd|' /C calc'!A0", "\"'+1+cmd|' /C calc'!A0\""},
      {"-1+HYPERLINK(\"x\")", "\"'-1+HYPERLINK(\"\"x\"\")\""},
      {"=1", "\"'=1\""},
      {"@SUM(A1)", "\"'@SUM(A1)\""},
      {"\tx", "\"'\tx\""},
      {"-", "\"'-\""},
      {"+1e5", "\"'+1e5\""},
      {"-12", "-12"},
      {"+3,5", "+3,5"},
      {"-0.25", "-0.25"},
  };
  testing::DbfWriter risks({{"COD_SEG", 'C', 5}, {"INICIO_VIG", 'C', 8}, {"PREMIO", 'N', 10, 2}, {"OBS", 'C', 40}});
  for (const auto& [value, cell] : values) risks.AddRecord({"05631", "20230101", "1.00", value});
  risks.WriteTo(dir.File("r.dbf"));
  const auto outcome =
      RunCliWith({"--catalogo", dir.Path(), "--riscos", dir.File("r.dbf"), "--detalhes", dir.File("d.csv")}, dir);
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  const std::string text = testing::ReadFile(dir.File("d.csv"));
  std::istringstream listing(text);
  std::string line;
  std::getline(listing, line);  // the header
  for (size_t i = 0; i < values.size(); ++i) {
    ASSERT_TRUE(std::getline(listing, line)) << text << outcome.out;
    EXPECT_EQ(line,
              dir.File("r.dbf") + ";RISCOS;" + std::to_string(i + 1) + ";;;OBS;tamanho;" + values[i].second + "\r");
  }
}

TEST(CliOutputs, AFailedStandardOutputEndsWithOneAfterTheFilesAreSaved) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 3);
  for (const auto& [out, reason] : {std::pair{StandardOutput::kFull, "No space left on device"},
                                    std::pair{StandardOutput::kClosed, "Bad file descriptor"},
                                    std::pair{StandardOutput::kClosedPipe, "Broken pipe"}}) {
    std::filesystem::remove(dir.File("r.json"));
    const auto outcome = RunCliWith(With(RunOf(dir), {"--json", dir.File("r.json")}), dir, out);
    EXPECT_EQ(outcome.status, 1) << reason;
    EXPECT_EQ(outcome.err, std::string("Cannot write to standard output. ") + reason + ".\n");
    ASSERT_TRUE(std::filesystem::exists(dir.File("r.json"))) << reason;
    EXPECT_TRUE(nlohmann::json::parse(testing::ReadFile(dir.File("r.json")))["completed"].get<bool>());
  }
  EXPECT_EQ(RunCliWith({"--version"}, dir, StandardOutput::kFull).status, 1);

  // With standard error closed, the error of a missing catalogue goes
  // nowhere, and no output file takes its place.
  const std::vector<std::string> args = {"--catalogo", dir.File("none"),   "--riscos",  dir.File("r.dbf"),
                                         "--json",     dir.File("c.json"), "--exporta", dir.File("c.txt")};
  const auto outcome = RunCliWith(args, dir, StandardOutput::kFile, RLIM_INFINITY, true);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "");
  const auto json = nlohmann::json::parse(testing::ReadFile(dir.File("c.json")));
  EXPECT_FALSE(json["completed"].get<bool>());
  EXPECT_EQ(testing::ReadFile(dir.File("c.txt")).find("tabelas.dbf"), std::string::npos);
}

TEST(CliOutputs, TheFileSizeLimitEndsTheRunWithItsReasonAndRemovesTheIndex) {
  testing::TempDir dir;
  WriteRisksAndClaims(dir, 5000);
  // The index of 5,000 keys is larger than 64 KiB; the log and the data
  // files are smaller or only read.
  const auto outcome = RunCliWith(RunOf(dir), dir, StandardOutput::kFile, 64 << 10);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "NtxIndex.WritePage: Write error \"" + dir.File("apolice.ntx") + "\"\nFile too large\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("apolice.ntx")));
}

}  // namespace
}  // namespace tarvelo
#endif
