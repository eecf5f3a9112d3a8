#include "os/folder.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "os/file_system.h"
#ifdef _WIN32
#include "os/path_testing.h"
#endif
#include "os/temporary_file.h"
#include "testing/temp_dir.h"

namespace tarvelo::os {
namespace {

bool Exists(const std::string& path) { return std::filesystem::exists(std::filesystem::u8path(path)); }

// The private folder of the index: made for the user when missing, opened
// as it is when there; the index made in it is the run's and goes with its
// TemporaryFile, the folder staying. A file of that name is no folder.
TEST(Folder, APrivateFolderIsMadeOnceAndKeepsTheIndexWhileTheRunHoldsIt) {
  testing::TempDir dir;
  const std::string index = dir.File("tarvelo") + kFolderSeparator + "apolice.ntx";
  std::string reason;
  {
    const Folder made = OpenPrivateFolder(dir.Path(), "tarvelo", reason);
    ASSERT_TRUE(made.IsOpen()) << reason;
    EXPECT_EQ(made.Path(), dir.File("tarvelo") + kFolderSeparator);
    EXPECT_TRUE(IsFolder(dir.File("tarvelo")));
    LockedFile file = made.CreateLockedFile("apolice.ntx");
    ASSERT_TRUE(file.file.IsOpen()) << file.reason;
    const TemporaryFile own(made, "apolice.ntx", file.file.Handle());
    file.file.Close();
    EXPECT_TRUE(Exists(index));
  }
  EXPECT_FALSE(Exists(index));
  EXPECT_TRUE(IsFolder(dir.File("tarvelo")));
  EXPECT_TRUE(OpenPrivateFolder(dir.Path(), "tarvelo", reason).IsOpen()) << reason;

  std::ofstream(std::filesystem::u8path(dir.File("plain"))) << "a file";
  EXPECT_FALSE(OpenPrivateFolder(dir.Path(), "plain", reason).IsOpen());
  EXPECT_EQ(reason, "Not a folder");
}

// A folder of the user's own, that no one else may write, keeps files;
// one that is not there is no folder, and says why.
TEST(Folder, TheUsersOwnFolderIsOpenAndAMissingOneIsNot) {
  testing::TempDir dir;
  const Folder own = OpenOwnFolder(dir.Path());
  EXPECT_TRUE(own.IsOpen());
  EXPECT_EQ(own.Error(), 0);
  EXPECT_TRUE(own.CreateLockedFile("apolice.ntx").file.IsOpen());
  EXPECT_TRUE(Exists(dir.File("apolice.ntx")));

  const Folder missing = OpenOwnFolder(dir.File("missing"));
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_TRUE(IsNoSuchFile(missing.Error()));
  const LockedFile none = missing.CreateLockedFile("apolice.ntx");
  EXPECT_FALSE(none.file.IsOpen());
  EXPECT_EQ(none.reason, SystemReason(missing.Error()));
  EXPECT_TRUE(OpenFolder(dir.Path()).IsOpen());
  EXPECT_TRUE(IsNoSuchFile(OpenFolder(dir.File("missing")).Error()));
}

// Whether others than the user and the administrators may change a
// catalogue's folder or tables: what they may write or own; nothing at a
// name is nothing to change.
TEST(Folder, OthersMayChangeWhatTheyMayWriteOrOwn) {
  testing::TempDir dir;
  const std::string file = dir.File("tabelas.dbf");
  std::ofstream(std::filesystem::u8path(file)) << "a table";
  EXPECT_FALSE(OthersMayChange(dir.Path()));
  EXPECT_FALSE(OthersMayChange(file));
  EXPECT_FALSE(OthersMayChange(dir.File("missing")));
#ifdef _WIN32
  ASSERT_TRUE(SetFolderAccessList(dir.Path(), true));
  EXPECT_TRUE(OthersMayChange(dir.Path()));
  ASSERT_TRUE(SetFolderAccessList(dir.Path(), false));
  EXPECT_FALSE(OthersMayChange(dir.Path()));
#else
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  EXPECT_TRUE(OthersMayChange(dir.Path()));
  // The sticky bit keeps them from removing or renaming the user's files.
  ASSERT_EQ(::chmod(dir.Path().c_str(), 01777), 0);
  EXPECT_FALSE(OthersMayChange(dir.Path()));
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0700), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0646), 0);
  EXPECT_TRUE(OthersMayChange(file));
  // The user's own group may write it.
  ASSERT_EQ(::chmod(file.c_str(), 0664), 0);
  ASSERT_EQ(::chown(file.c_str(), static_cast<uid_t>(-1), ::getegid()), 0);
  EXPECT_FALSE(OthersMayChange(file));
  if (::geteuid() == 0) {
    // Another group, then another user than the user and root.
    ASSERT_EQ(::chown(file.c_str(), 0, 65534), 0);
    EXPECT_TRUE(OthersMayChange(file));
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    EXPECT_FALSE(OthersMayChange(file));
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    EXPECT_TRUE(OthersMayChange(file));
  }
#endif
}

#ifndef _WIN32
// Not on Windows: symbolic links, owners and modes made the POSIX way.
//
// A folder is checked open, as it is at that moment: a link or a folder
// that is not the user's alone is not used. Once open, the files made and
// removed in it go into that folder whatever its path leads to since (a
// link put in its place, as a race would), only the user's; a folder made
// for the run goes when it is let go, or on a signal's cleanup.
TEST(Folder, FilesGoIntoTheFolderHeldOpenWhateverItsPathLeadsTo) {
  namespace fs = std::filesystem;
  testing::TempDir dir;
  const auto mode = [](const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0u;
  };
  std::string reason;
  {
    const Folder own = OpenPrivateFolder(dir.Path(), "own", reason);
    ASSERT_TRUE(own.IsOpen()) << reason;
    EXPECT_EQ(own.Path(), dir.File("own/"));
    EXPECT_EQ(mode(dir.File("own")), 0700u);
    fs::rename(dir.File("own"), dir.File("moved"));
    fs::create_directory(dir.File("others"));
    fs::permissions(dir.File("others"), fs::perms::all);
    fs::create_directory_symlink(dir.File("others"), dir.File("own"));
    LockedFile made = own.CreateLockedFile("apolice.ntx");
    ASSERT_TRUE(made.file.IsOpen()) << made.reason;
    EXPECT_TRUE(fs::is_empty(dir.File("others")));
    EXPECT_EQ(mode(dir.File("moved/apolice.ntx")), 0600u);
    TemporaryFile file(own, "apolice.ntx", made.file.Handle());
    made.file.Close();
    RemoveTemporaryFiles();
    EXPECT_TRUE(fs::is_empty(dir.File("moved")));
  }

  EXPECT_FALSE(OpenPrivateFolder(dir.Path(), "own", reason).IsOpen());  // the link to others
  EXPECT_EQ(reason, "Not a folder");
  fs::remove(dir.File("own"));
  fs::create_directory_symlink(dir.File("moved"), dir.File("own"));  // even to a private folder
  EXPECT_FALSE(OpenPrivateFolder(dir.Path(), "own", reason).IsOpen());
  EXPECT_EQ(reason, "Not a folder");
  ASSERT_EQ(::chmod(dir.File("moved").c_str(), 0750), 0);
  EXPECT_FALSE(OpenPrivateFolder(dir.Path(), "moved", reason).IsOpen());
  EXPECT_EQ(reason, "Open to other users");
  if (::geteuid() == 0) {
    ASSERT_EQ(::chmod(dir.File("moved").c_str(), 0700), 0);
    ASSERT_EQ(::chown(dir.File("moved").c_str(), 65534, 65534), 0);
    EXPECT_FALSE(OpenPrivateFolder(dir.Path(), "moved", reason).IsOpen());
    EXPECT_EQ(reason, "Owned by another user");
  }

  // Not the user's own: everyone may write there.
  EXPECT_FALSE(OpenOwnFolder(dir.File("others")).IsOpen());

  // A folder for the run alone, beside the one that was taken.
  std::string runPath;
  {
    const Folder run = MakeRunFolder(dir.Path(), "moved", reason);
    ASSERT_TRUE(run.IsOpen()) << reason;
    runPath = run.Path();
    EXPECT_EQ(runPath.rfind(dir.File("moved-"), 0), 0u);
    EXPECT_EQ(runPath.size(), dir.File("moved-123456/").size());
    EXPECT_EQ(mode(runPath), 0700u);
    LockedFile made = run.CreateLockedFile("apolice.ntx");
    ASSERT_TRUE(made.file.IsOpen()) << made.reason;
    TemporaryFile file(run, "apolice.ntx", made.file.Handle());
    made.file.Close();
  }
  EXPECT_FALSE(fs::exists(runPath));
  {
    const Folder run = MakeRunFolder(dir.Path(), "moved", reason);
    ASSERT_TRUE(run.IsOpen()) << reason;
    runPath = run.Path();
    LockedFile made = run.CreateLockedFile("apolice.ntx");
    TemporaryFile file(run, "apolice.ntx", made.file.Handle());
    made.file.Close();
    RemoveTemporaryFiles();  // as a signal's handler would
    EXPECT_FALSE(fs::exists(runPath));
  }
}
#endif

}  // namespace
}  // namespace tarvelo::os
