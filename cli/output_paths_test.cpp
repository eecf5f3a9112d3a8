// Outputs that the save could not make or replace, or that name a file the
// validation needs however the system spells it, refused before the run:
// tarvelo-cli itself, over the sample files.
#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "os/held_file.h"
#include "testing/dbf_writer.h"
#include "testing/program_outcome.h"
#include "testing/temp_dir.h"
#include "values/errors.h"
#ifdef _WIN32
#include "os/path_testing.h"
#include "os/run_program.h"
#endif

namespace tarvelo {
namespace {

namespace fs = std::filesystem;

using testing::Outcome;
using testing::Refusal;

// The catalogue and the sample data files, copied into dir.
void CopySamples(const std::string& dir) {
  for (const char* name : {"tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"})
    fs::copy_file(std::string(TARVELO_CATALOGUE_DIR "/") + name, testing::FileSystemPath(dir + name));
  for (const char* name : {"riscos.dbf", "sinistros.dbf"})
    fs::copy_file(std::string(TARVELO_SAMPLES_DIR "/") + name, testing::FileSystemPath(dir + name));
}

// The arguments of a run over the files of CopySamples in dir.
std::vector<std::string> RunIn(const std::string& dir, const std::vector<std::string>& more) {
  std::vector<std::string> args{"--catalogo",       dir,           "--riscos",
                                dir + "riscos.dbf", "--sinistros", dir + "sinistros.dbf"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

#ifndef _WIN32
// Runs tarvelo-cli with args (no quote in them) as user (through setpriv
// when it is another), its output into files of io.
Outcome RunAs(const passwd* user, const std::string& program, const std::vector<std::string>& args,
              const testing::TempDir& io) {
  std::string line = "LANG=pt_BR.UTF-8 LC_ALL= ";
  if (user) {
    line += "setpriv --reuid=" + std::to_string(user->pw_uid) + " --regid=" + std::to_string(user->pw_gid) +
            " --clear-groups ";
  }
  line += "'" + program + "'";
  for (const std::string& arg : args) line += " '" + arg + "'";
  return testing::RunShell(line, io);
}

// A report the user may not write, in a folder the user may write (where a
// new file could take its name): refused before the run, left as it was.
// Run as an ordinary user (nobody when the test runs as root, who may write
// any file).
TEST(OutputPaths, AFileTheUserMayNotWriteIsRefusedBeforeTheRun) {
  testing::TempDir dir, io;
  const passwd* user = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
  ASSERT_TRUE(::geteuid() != 0 || user);
  CopySamples(dir.Path());
  const std::string program = dir.File("tarvelo-cli");
  fs::copy_file(TARVELO_CLI_PATH, program);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  const std::string report = dir.File("relatorio.txt");
  testing::WriteFile(report, "earlier");
  ASSERT_EQ(::chmod(report.c_str(), 0444), 0);

  Outcome outcome = RunAs(user, program, RunIn(dir.Path(), {"--exporta", report}), io);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, Refusal(report, "that file is read-only"));
  EXPECT_EQ(testing::ReadFile(report), "earlier");
  struct stat info {};
  ASSERT_EQ(::stat(report.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0444u);

  // Once the user may write it, it is replaced.
  ASSERT_EQ(::chmod(report.c_str(), 0666), 0);
  outcome = RunAs(user, program, RunIn(dir.Path(), {"--exporta", report}), io);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(testing::ReadFile(report), "earlier");
}
#else
// Runs tarvelo-cli with args in the current folder, its output into files
// of io.
Outcome RunCli(const std::vector<std::string>& args, const testing::TempDir& io) {
  return testing::RunProgramIn(TARVELO_CLI_PATH, args, io);
}

// The test's current folder for its lifetime.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) : earlier_(fs::current_path()) {
    fs::current_path(testing::FileSystemPath(folder));
  }
  ~InFolder() { fs::current_path(earlier_); }

 private:
  fs::path earlier_;
};

// The index and a memo file as Windows names them: relative, with "." and
// "..", a trailing dot or space, another case, a folder's short name, a
// drive-relative name; and two outputs spelt apart that are one file.
TEST(OutputPaths, OneFileHoweverWindowsSpellsIt) {
  testing::TempDir io, top;
  const std::string dir = top.File("Catálogo de riscos\\");
  fs::create_directory(testing::FileSystemPath(dir));
  CopySamples(dir);
  testing::WriteFile(dir + "dados.dbt", "memo");
  testing::WriteFile(dir + "notas.DBT", "memo");
  const InFolder here(dir);

  auto outcome = RunCli(RunIn(dir, {"--detalhes", "dados.dbt.", "--json", "notas.dbt "}), io);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, Refusal("dados.dbt.", "that file has the extension of a table or an index") +
                             Refusal("notas.dbt ", "that file has the extension of a table or an index"));
  EXPECT_EQ(testing::ReadFile(dir + "dados.dbt"), "memo");
  // The fourth: in the current folder of the catalogue's drive.
  std::vector<std::string> indexes{"apolice.ntx", ".\\APOLICE.NTX", "saida\\..\\apolice.ntx.",
                                   dir.substr(0, 2) + "apolice.ntx"};
  const std::string shortFolder = os::ShortPathOf(dir);
  if (!shortFolder.empty()) indexes.push_back(shortFolder + "apolice.ntx");
  for (const std::string& index : indexes) {
    outcome = RunCli(RunIn(dir, {"--exporta", index}), io);
    EXPECT_EQ(outcome.status, 1) << index;
    EXPECT_EQ(outcome.err, Refusal(index, "the validation writes its index to that file"));
    // A report there would be taken for the index, which the next run
    // removes.
    EXPECT_FALSE(fs::remove(testing::FileSystemPath(dir + "apolice.ntx"))) << index;
  }

  // Two outputs on one file, spelt apart: a usage error, nothing written.
  fs::create_directory(testing::FileSystemPath(dir + "saida"));
  for (const auto& [first, second] :
       {std::pair<std::string, std::string>{"saida\\a.txt", "saida\\a.txt."},
        std::pair<std::string, std::string>{"saida\\..\\saida\\A.TXT", dir + "saida/a.txt"}}) {
    outcome = RunCli(RunIn(dir, {"--exporta", first, "--json", second}), io);
    EXPECT_EQ(outcome.status, 2) << first << " " << second;
    EXPECT_EQ(outcome.err.rfind("tarvelo-cli: --exporta and --json name one file\n", 0), 0u) << outcome.err;
  }
  EXPECT_TRUE(fs::is_empty(testing::FileSystemPath(dir + "saida")));
  if (shortFolder.empty()) GTEST_SKIP() << "this system gives the folder no short name";
}

// A read-only file, a file another program holds, devices of the system,
// and a name of the null device.
TEST(OutputPaths, WhatWindowsCannotReplaceIsRefusedBeforeTheRun) {
  testing::TempDir dir, io;
  CopySamples(dir.Path());
  const InFolder here(dir.Path());
  testing::WriteFile(dir.File("marcado.txt"), "earlier");
  fs::permissions(testing::FileSystemPath(dir.File("marcado.txt")), fs::perms::owner_write, fs::perm_options::remove);
  testing::WriteFile(dir.File("aberto.csv"), "earlier");

  Outcome outcome;
  {
    const os::HeldFile held(dir.File("aberto.csv"));
    ASSERT_TRUE(held.Holds());
    outcome = RunCli(
        RunIn(dir.Path(), {"--exporta", "marcado.txt", "--detalhes", dir.File("aberto.csv"), "--json", "LPT1.txt"}),
        io);
  }
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, Refusal("marcado.txt", "that file is read-only") + "Cannot create file \"" +
                             dir.File("aberto.csv") + "\". " + kFileInUse + ".\n" +
                             Refusal("LPT1.txt", "that name is the device LPT1, not a file"));
  EXPECT_EQ(testing::ReadFile(dir.File("marcado.txt")), "earlier");
  EXPECT_EQ(testing::ReadFile(dir.File("aberto.csv")), "earlier");
  outcome = RunCli(RunIn(dir.Path(), {"--exporta", "prn", "--json", "saida\\Com1 .json"}), io);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, Refusal("prn", "that name is the device PRN, not a file") +
                             Refusal("saida\\Com1 .json", "that name is the device COM1, not a file"));
  // The superscript digits name the ports too, said as typed.
  outcome = RunCli(RunIn(dir.Path(), {"--detalhes", "lpt³", "--json", "COM¹.json"}), io);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, Refusal("lpt³", "that name is the device LPT³, not a file") +
                             Refusal("COM¹.json", "that name is the device COM¹, not a file"));

  // The null device takes the output and keeps nothing: the run goes on,
  // and says so.
  outcome = RunCli(RunIn(dir.Path(), {"--json", "nul.txt"}), io);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err,
            "\"nul.txt\" names the null device NUL: what is written there is discarded, no file is made.\n");
  EXPECT_NE(outcome.out.find("sinistros sem apólices"), std::string::npos);
  // "NUL" alone is how one asks for that.
  outcome = RunCli(RunIn(dir.Path(), {"--json", "NUL"}), io);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
}

// A name in the current folder of another drive ("C:relatorio.txt" while
// the current folder is on Z:) is saved there, its replacement made beside
// it, not in the current folder (a move between two drives fails).
TEST(OutputPaths, ADriveRelativeNameIsSavedInThatDrivesCurrentFolder) {
  testing::TempDir dir, io;
  CopySamples(dir.Path());
  const std::string elsewhere = "Z:\\dev\\shm\\";
  if (dir.Path().rfind("C:", 0) != 0 || !fs::is_directory(elsewhere))
    GTEST_SKIP() << "no drive C: beside a current folder on another device";
  const fs::path current = elsewhere + "tarvelo-" + std::to_string(fs::hash_value(dir.Path()));
  fs::create_directory(current);
  {
    const InFolder here(current.string());
    ASSERT_TRUE(os::SetCurrentFolderOfDrive(dir.Path()));
    const Outcome outcome = RunCli(RunIn(dir.Path(), {"--json", "C:resultado.json"}), io);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
  }
  EXPECT_EQ(testing::ReadFile(dir.File("resultado.json")).rfind("{", 0), 0u);
  EXPECT_TRUE(fs::is_empty(current));
  fs::remove_all(current);
}

// In a folder the program was unpacked into, its own files are never an
// output, however Windows spells them, there or not; nor is a program or
// library anywhere, known by its first bytes.
TEST(OutputPaths, TheProgramsOwnFilesAreNeverAnOutput) {
  testing::TempDir top, io, other;
  const std::string dir = top.File("Tarvelo\\");
  fs::create_directory(testing::FileSystemPath(dir));
  CopySamples(dir);
  fs::copy_file(testing::FileSystemPath(TARVELO_CLI_PATH), testing::FileSystemPath(dir + "tarvelo-cli.exe"));
  fs::copy_file(testing::FileSystemPath(TARVELO_CLI_PATH), testing::FileSystemPath(other.File("copia.bin")));
  testing::WriteFile(dir + "LEIAME.txt", "leia");
  const InFolder here(dir);
  const auto own = [](const std::string& path) { return Refusal(path, "that file is one of the program's own"); };
  const Outcome outcome =
      testing::RunProgramIn(dir + "tarvelo-cli.exe",
                            RunIn(dir, {"--exporta", "TARVELO.EXE", "--detalhes", "leiame.txt", "--json",
                                        other.File("copia.bin"), "--html", "Tarvelo.html."}),
                            io);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, own("TARVELO.EXE") + own("leiame.txt") +
                             Refusal(other.File("copia.bin"), "that file is a program or a library") +
                             own("Tarvelo.html."));
  EXPECT_EQ(testing::ReadFile(dir + "LEIAME.txt"), "leia");
  EXPECT_FALSE(fs::exists(testing::FileSystemPath(dir + "tarvelo.exe")));
  EXPECT_FALSE(fs::exists(testing::FileSystemPath(dir + "Tarvelo.html")));
}
#endif

}  // namespace
}  // namespace tarvelo
