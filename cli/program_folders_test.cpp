#include "frontend/program_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_test_support.h"
#include "os/file_system.h"
#include "testing/dbf_writer.h"
#include "testing/program_outcome.h"
#include "testing/temp_dir.h"

namespace tarvelo {
namespace {

namespace fs = std::filesystem;

using clitest::WithoutTimes;
using testing::Outcome;
using testing::RunShell;

const std::string kSamples =
    "--riscos '" TARVELO_SAMPLES_DIR "/riscos.dbf' --sinistros '" TARVELO_SAMPLES_DIR "/sinistros.dbf'";
const char* const kCatalogue[] = {"tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"};

// The program installed under root as a package puts it: usr/bin/tarvelo-cli
// and the catalogue in the data folder found from there, whose path it
// returns.
std::string Install(const testing::TempDir& root) {
  fs::create_directories(root.File("usr/bin"));
  const std::string installed = (fs::path(root.File("usr/bin")) / TARVELO_INSTALLED_DATA).lexically_normal().string();
  fs::create_directories(installed);
  for (const char* name : kCatalogue)
    fs::copy_file(std::string(TARVELO_CATALOGUE_DIR "/") + name, installed + "/" + name);
  fs::copy_file(TARVELO_CLI_PATH, root.File("usr/bin/tarvelo-cli"));
  return installed;
}

// The program in bin/ finds the catalogue beside it, else in the installed
// place beside bin/; TARVELO_CATALOGO names another folder, and the option
// wins over the variable. A run's open error names the folder it used, and
// where that folder came from.
TEST(ProgramFolders, CatalogueFromTheOptionTheVariableTheProgramsFolderOrTheInstalledOne) {
  testing::TempDir root, io;
  const std::string installed = Install(root);
  const std::string program = root.File("usr/bin/tarvelo-cli");
  const auto run = [](const std::string& environment = "") {
    return "env -u TARVELO_CATALOGO LANG=pt_BR.UTF-8 LC_ALL= " + environment + " '";
  };

  const Outcome built = RunShell(run() + TARVELO_CLI_PATH "' --catalogo '" TARVELO_CATALOGUE_DIR "' " + kSamples, io);
  ASSERT_EQ(built.status, 0) << built.err;
  const Outcome fromShare = RunShell(run() + program + "' " + kSamples, io);
  EXPECT_EQ(fromShare.status, 0) << fromShare.err;
  EXPECT_EQ(WithoutTimes(fromShare.out), WithoutTimes(built.out));
  EXPECT_NE(fromShare.out.find("sinistros sem apólices"), std::string::npos);

  const auto openError = [](const std::string& file, const std::string& origin) {
    return "DbfTable.InternalOpen: Open error \"" + file + "\"\nNo such file or directory\nThe catalogue folder \"" +
           file.substr(0, file.rfind('/') + 1) + "\" " + origin + "\n";
  };
  const std::string neither = ", as neither --catalogo nor TARVELO_CATALOGO names one.";
  const std::string named = run("TARVELO_CATALOGO='" + root.File("named") + "'");
  EXPECT_EQ(RunShell(named + program + "' " + kSamples, io).err,
            openError(root.File("named/tabelas.dbf"), "is the one TARVELO_CATALOGO names."));
  const std::string given = "' --catalogo '" + root.File("given") + "'";
  EXPECT_EQ(RunShell(named + program + given + " " + kSamples, io).err,
            openError(root.File("given/tabelas.dbf"), "is the one --catalogo names."));
  // The same after the errors of --regras and --verifica-catalogo.
  for (const char* mode : {" --regras", " --verifica-catalogo"}) {
    const Outcome outcome = RunShell(named + program + given + mode, io);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err,
              openError(root.File(std::string(mode) == " --regras" ? "given/tabelas.dbf" : "given/anexos.dbf"),
                        "is the one --catalogo names."));
  }
  // The installed catalogue, a table of it missing.
  fs::rename(installed + "/anexos.dbf", root.File("anexos.dbf"));
  EXPECT_EQ(RunShell(run() + program + "' " + kSamples, io).err,
            openError((fs::path(installed) / "anexos.dbf").string(), "is the installed one" + neither));
  fs::rename(root.File("anexos.dbf"), installed + "/anexos.dbf");
  // A catalogue beside the program comes before the installed one.
  fs::copy_file(std::string(TARVELO_CATALOGUE_DIR "/tabelas.dbf"), root.File("usr/bin/tabelas.dbf"));
  EXPECT_EQ(RunShell(run() + program + "' " + kSamples, io).err,
            openError(root.File("usr/bin/anexos.dbf"), "is the program's own folder" + neither));
}

// No output replaces the program: installed, its own files beside it and
// every file of its data and documentation folders, there or not; run from
// any folder, its own files by name; and any program or library anywhere,
// known by its first bytes.
TEST(ProgramFolders, NoOutputReplacesTheProgramOrItsInstalledFiles) {
  testing::TempDir root, io;
  const std::string installed = Install(root);
  testing::WriteFile(installed + "/Tarvelo.html", "help");
  const std::string doc = root.File("usr/share/doc/tarvelo-cli");
  fs::create_directories(doc);
  testing::WriteFile(doc + "/copyright", "licence");
  const std::string program = root.File("usr/bin/tarvelo-cli");
  const std::string run = "env -u TARVELO_CATALOGO LANG=pt_BR.UTF-8 LC_ALL= '" + program + "' " + kSamples;
  const auto refused = [&](const std::string& path) {
    return testing::Refusal(path, "that file is one of the program's own");
  };

  Outcome outcome =
      RunShell(run + " --html '" + installed + "/Tarvelo.html' --exporta '" + doc + "/copyright' --json '" +
                   root.File("usr/bin/tarvelo") + "' --detalhes '" + doc + "/novo.csv'",
               io);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  // Checked in the order report, listing, JSON, page.
  EXPECT_EQ(outcome.err, refused(doc + "/copyright") + refused(doc + "/novo.csv") +
                             refused(root.File("usr/bin/tarvelo")) + refused(installed + "/Tarvelo.html"));
  EXPECT_EQ(testing::ReadFile(installed + "/Tarvelo.html"), "help");
  EXPECT_FALSE(fs::exists(root.File("usr/bin/tarvelo")));

  // Unpacked anywhere: its own files beside it by name; a copy of a
  // program elsewhere by its bytes, a file that merely begins with "MZ" too.
  fs::copy_file(TARVELO_CLI_PATH, io.File("ferramenta"));
  testing::WriteFile(io.File("antigo.txt"), std::string("MZ\x90\0", 4));
  outcome = RunShell(run + " --catalogo '" + installed + "' --html '" + root.File("usr/bin/LEIAME.txt") +
                         "' --exporta '" + io.File("ferramenta") + "' --json '" + io.File("antigo.txt") +
                         "' --detalhes '" + root.File("usr/bin/relatorio.csv") + "'",
                     io);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, testing::Refusal(io.File("ferramenta"), "that file is a program or a library") +
                             testing::Refusal(io.File("antigo.txt"), "that file is a program or a library") +
                             refused(root.File("usr/bin/LEIAME.txt")));
  EXPECT_FALSE(fs::exists(root.File("usr/bin/LEIAME.txt")));
}

// With a catalogue folder the user cannot write, the index goes into
// "tarvelo/" of XDG_RUNTIME_DIR, else "tarvelo-<user>/" of TMPDIR, each
// made private to the user; an entry there that is not such a folder is
// never used. Run as an ordinary user (nobody when the test runs as root,
// who may write anywhere).
TEST(ProgramFolders, IndexInAFolderOfTheUsersOwnWhenTheCatalogueFolderIsReadOnly) {
  testing::TempDir dir, io;
  const bool root = geteuid() == 0;
  const passwd* nobody = getpwnam("nobody");
  ASSERT_TRUE(!root || nobody);
  const uid_t user = root ? nobody->pw_uid : geteuid();
  const gid_t group = root ? nobody->pw_gid : getegid();
  const std::string catalogue = dir.File("catalogue/");
  fs::create_directories(catalogue);
  for (const char* name : kCatalogue) fs::copy_file(std::string(TARVELO_CATALOGUE_DIR "/") + name, catalogue + name);
  // All the user reads is in the test's folder, wherever the build is.
  const std::string program = dir.File("tarvelo-cli");
  fs::copy_file(TARVELO_CLI_PATH, program);
  for (const char* name : {"riscos.dbf", "sinistros.dbf"})
    fs::copy_file(std::string(TARVELO_SAMPLES_DIR "/") + name, dir.File(name));
  const std::string samples =
      "--riscos '" + dir.File("riscos.dbf") + "' --sinistros '" + dir.File("sinistros.dbf") + "'";
  for (const std::string made : {"runtime", "tmp"}) {
    ASSERT_EQ(mkdir(dir.File(made).c_str(), 0700), 0);
    ASSERT_EQ(chown(dir.File(made).c_str(), user, group), 0);
  }
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(catalogue.c_str(), 0555), 0);
  const std::string as =
      root ? "setpriv --reuid=" + std::to_string(user) + " --regid=" + std::to_string(group) + " --clear-groups " : "";
  // Without the sanitizers' suppression file, which lies in the build's
  // folder that user may not read (the program has nothing to suppress).
  const auto runWith = [&](const std::string& environment) {
    return RunShell("env -u XDG_RUNTIME_DIR -u TMPDIR -u LSAN_OPTIONS LANG=pt_BR.UTF-8 LC_ALL= " + environment + " " +
                        as + "'" + program + "' --catalogo '" + catalogue + "' " + samples,
                    io);
  };
  const auto expectPrivate = [&](const std::string& folder) {
    struct stat info {};
    ASSERT_EQ(lstat(folder.c_str(), &info), 0) << folder;
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, user);
    EXPECT_TRUE(fs::is_empty(folder)) << "the index was left behind";
  };

  // Another user's run reads the catalogue meanwhile (here: this process,
  // with the lock a run takes to read): it keeps no one out.
  os::LockedFile reading = os::OpenLockedFile(catalogue + "tabelas.dbf", os::FileAccess::kRead);
  ASSERT_TRUE(reading.file.IsOpen()) << reading.reason;
  Outcome outcome = runWith("XDG_RUNTIME_DIR='" + dir.File("runtime") + "' TMPDIR='" + dir.File("tmp") + "'");
  reading.file.Close();
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("sinistros sem apólices"), std::string::npos);
  expectPrivate(dir.File("runtime/tarvelo"));
  EXPECT_TRUE(fs::is_empty(dir.File("tmp")));
  // An output over the index in that folder is refused before the run.
  const std::string index = dir.File("runtime/tarvelo/apolice.ntx");
  outcome =
      RunShell("env -u TMPDIR -u LSAN_OPTIONS LANG=pt_BR.UTF-8 LC_ALL= XDG_RUNTIME_DIR='" + dir.File("runtime") + "' " +
                   as + "'" + program + "' --catalogo '" + catalogue + "' " + samples + " --exporta '" + index + "'",
               io);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err,
            "Cannot export the report to \"" + index + "\": the validation writes its index to that file.\n");
  EXPECT_FALSE(fs::exists(index));
  if (root) {
    // The folder there belonging to another user, the run goes on in
    // TMPDIR's.
    ASSERT_EQ(chown(dir.File("runtime/tarvelo").c_str(), 0, 0), 0);
    outcome = runWith("XDG_RUNTIME_DIR='" + dir.File("runtime") + "' TMPDIR='" + dir.File("tmp") + "'");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("sinistros sem apólices"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(dir.File("tmp/tarvelo-" + std::to_string(user))));
    fs::remove(dir.File("tmp/tarvelo-" + std::to_string(user)));
    ASSERT_EQ(chown(dir.File("runtime/tarvelo").c_str(), user, group), 0);
  }

  const std::string inTemporary = dir.File("tmp/tarvelo-" + std::to_string(user));
  outcome = runWith("TMPDIR='" + dir.File("tmp") + "'");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  expectPrivate(inTemporary);

  // A relative XDG_RUNTIME_DIR is not taken, even where it leads to a
  // folder of the user's.
  ASSERT_EQ(mkdir(dir.File("runtime/relative").c_str(), 0700), 0);
  ASSERT_EQ(chown(dir.File("runtime/relative").c_str(), user, group), 0);
  outcome = RunShell("cd '" + dir.File("runtime") + "' && env -u TMPDIR -u LSAN_OPTIONS LANG=pt_BR.UTF-8 LC_ALL= " +
                         "XDG_RUNTIME_DIR=relative TMPDIR='" + dir.File("tmp") + "' " + as + "'" + program +
                         "' --catalogo '" + catalogue + "' " + samples,
                     io);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(fs::is_empty(dir.File("runtime/relative")));
  fs::remove(dir.File("runtime/relative"));

  // A symbolic link where the folder goes, even to a private folder of the
  // user, is not used, nor a folder others may enter: the run makes a
  // folder of its own beside it, and removes it at its end.
  fs::remove(inTemporary);
  fs::create_directory_symlink(dir.File("runtime/tarvelo"), inTemporary);
  outcome = runWith("TMPDIR='" + dir.File("tmp") + "'");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("sinistros sem apólices"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(dir.File("runtime/tarvelo")));
  const std::vector<fs::path> onlyTheLink{inTemporary};
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(dir.File("tmp")), {}), onlyTheLink);
  fs::remove(inTemporary);
  ASSERT_EQ(chmod(dir.File("runtime/tarvelo").c_str(), 0750), 0);
  outcome = runWith("XDG_RUNTIME_DIR='" + dir.File("runtime") + "' TMPDIR='" + dir.File("tmp") + "'");
  EXPECT_EQ(outcome.status, 0) << outcome.err;  // the next folder is taken
  expectPrivate(inTemporary);
  ASSERT_EQ(chmod(catalogue.c_str(), 0755), 0);
  // A folder the user can write keeps the index, as before.
  EXPECT_EQ(IndexFolder(io.Path(), [](const char*) { return std::string(); }).Path(), io.Path());
}

// The index goes beside the catalogue only in a folder of the user that no
// one else may write: a catalogue in a folder open to all has it in the
// user's private folder, made only with mode 0600 and removed at the end.
TEST(ProgramFolders, NoIndexInACatalogueFolderOthersMayWrite) {
  testing::TempDir dir, io;
  const std::string catalogue = dir.File("catalogue/");
  fs::create_directories(catalogue);
  for (const char* name : kCatalogue) fs::copy_file(std::string(TARVELO_CATALOGUE_DIR "/") + name, catalogue + name);
  ASSERT_EQ(mkdir(dir.File("tmp").c_str(), 0700), 0);
  ASSERT_EQ(chmod(catalogue.c_str(), 0777), 0);
  const Outcome outcome =
      RunShell("env -u XDG_RUNTIME_DIR TMPDIR='" + dir.File("tmp") +
                   "' LANG=pt_BR.UTF-8 LC_ALL= '" TARVELO_CLI_PATH "' --catalogo '" + catalogue + "' " + kSamples,
               io);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("sinistros sem apólices"), std::string::npos);
  const std::string own = dir.File("tmp/tarvelo-" + std::to_string(geteuid()));
  EXPECT_TRUE(fs::is_directory(own));
  EXPECT_TRUE(fs::is_empty(own));
  EXPECT_FALSE(fs::exists(catalogue + "apolice.ntx"));
  const auto lookup = [&](const char* name) { return std::string(name) == "TMPDIR" ? dir.File("tmp") : ""; };
  EXPECT_EQ(IndexFolder(catalogue, lookup).Path(), own + "/");
  ASSERT_EQ(chmod(catalogue.c_str(), 0755), 0);
  EXPECT_EQ(IndexFolder(catalogue, lookup).Path(), catalogue);
}

// A catalogue that others than the user and the administrators may change
// (its folder open to all without the sticky bit, a table others may
// write) is warned of, by a run and by --verifica-catalogo, naming what
// they may change.
TEST(ProgramFolders, ACatalogueOthersMayChangeIsWarnedOf) {
  testing::TempDir dir, io;
  const std::string catalogue = dir.File("catalogue/");
  fs::create_directories(catalogue);
  for (const char* name : kCatalogue) fs::copy_file(std::string(TARVELO_CATALOGUE_DIR "/") + name, catalogue + name);
  ASSERT_EQ(mkdir(dir.File("tmp").c_str(), 0700), 0);
  const auto run = [&](const std::string& args) {
    return RunShell("env -u XDG_RUNTIME_DIR TMPDIR='" + dir.File("tmp") +
                        "' LANG=pt_BR.UTF-8 LC_ALL= '" TARVELO_CLI_PATH "' --catalogo '" + catalogue + "' " + args,
                    io);
  };
  const auto warning = [](const std::string& named) {
    return "Other users may change the catalogue the validation follows: " + named +
           " may be written by others than you and the system's administrators.\n";
  };
  ASSERT_EQ(chmod(catalogue.c_str(), 0755), 0);
  Outcome outcome = run(kSamples);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");

  ASSERT_EQ(chmod(catalogue.c_str(), 0777), 0);
  outcome = run(kSamples);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, warning("\"" + catalogue + "\""));
  EXPECT_NE(outcome.out.find("sinistros sem apólices"), std::string::npos);
  outcome = run("--verifica-catalogo");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, warning("\"" + catalogue + "\""));

  // The sticky bit keeps others from replacing the tables; one they may
  // write is named.
  ASSERT_EQ(chmod(catalogue.c_str(), 01777), 0);
  ASSERT_EQ(chmod((catalogue + "anexos.dbf").c_str(), 0666), 0);
  outcome = run(kSamples);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, warning("\"" + catalogue + "anexos.dbf\""));
  ASSERT_EQ(chmod(catalogue.c_str(), 0755), 0);
  EXPECT_EQ(run(kSamples).err, warning("\"" + catalogue + "anexos.dbf\""));
  ASSERT_EQ(chmod((catalogue + "anexos.dbf").c_str(), 0644), 0);
  EXPECT_EQ(run(kSamples).err, "");
}

}  // namespace
}  // namespace tarvelo
