#include "os/temporary_file.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "os/file_system.h"
#include "os/folder.h"
#include "testing/temp_dir.h"

namespace tarvelo::os {
namespace {

TemporaryFile Make(const std::string& path) {
  const LockedFile made = CreateLockedFile(path);
  EXPECT_NE(made.file, kNoFile) << made.reason;
  TemporaryFile file(path, made.file);
  CloseFile(made.file);
  return file;
}

// A signal's cleanup before the owners let their files go: the places
// stay with their owners, so a file made afterwards is still removed by
// the next cleanup, however the earlier owners end.
TEST(TemporaryFile, ASignalsCleanupLeavesEachPlaceWithItsOwner) {
  testing::TempDir dir;
  auto first = std::make_unique<TemporaryFile>(Make(dir.File("first")));
  RemoveTemporaryFiles();
  EXPECT_FALSE(std::filesystem::exists(dir.File("first")));

  TemporaryFile second = Make(dir.File("second"));
  first.reset();
  RemoveTemporaryFiles();
  EXPECT_FALSE(std::filesystem::exists(dir.File("second")));
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
    const LockedFile made = own.CreateLockedFile("apolice.ntx");
    ASSERT_NE(made.file, kNoFile) << made.reason;
    EXPECT_TRUE(fs::is_empty(dir.File("others")));
    EXPECT_EQ(mode(dir.File("moved/apolice.ntx")), 0600u);
    TemporaryFile file(own, "apolice.ntx", made.file);
    CloseFile(made.file);
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

  // A folder for the run alone, beside the one that was taken.
  std::string runPath;
  {
    const Folder run = MakeRunFolder(dir.Path(), "moved", reason);
    ASSERT_TRUE(run.IsOpen()) << reason;
    runPath = run.Path();
    EXPECT_EQ(runPath.rfind(dir.File("moved-"), 0), 0u);
    EXPECT_EQ(runPath.size(), dir.File("moved-123456/").size());
    EXPECT_EQ(mode(runPath), 0700u);
    const LockedFile made = run.CreateLockedFile("apolice.ntx");
    ASSERT_NE(made.file, kNoFile) << made.reason;
    TemporaryFile file(run, "apolice.ntx", made.file);
    CloseFile(made.file);
  }
  EXPECT_FALSE(fs::exists(runPath));
  {
    const Folder run = MakeRunFolder(dir.Path(), "moved", reason);
    ASSERT_TRUE(run.IsOpen()) << reason;
    runPath = run.Path();
    const LockedFile made = run.CreateLockedFile("apolice.ntx");
    TemporaryFile file(run, "apolice.ntx", made.file);
    CloseFile(made.file);
    RemoveTemporaryFiles();  // as a signal's handler would
    EXPECT_FALSE(fs::exists(runPath));
  }
}
#endif

}  // namespace
}  // namespace tarvelo::os
