#include "os/temporary_file.h"

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
  EXPECT_TRUE(made.file.IsOpen()) << made.reason;
  return TemporaryFile(path, made.file.Handle());
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

// The file goes with its TemporaryFile, and only while its name leads to
// the file that was made: another put at that name since stays.
TEST(TemporaryFile, RemovesItsOwnFileOnlyWhenItGoes) {
  testing::TempDir dir;
  const std::string path = dir.File("apolice.ntx");
  {
    const TemporaryFile file = Make(path);
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  {
    TemporaryFile file = Make(path);
    // Made while the first is still there, so that it is another file.
    EXPECT_TRUE(CreateLockedFile(dir.File("other")).file.IsOpen());
    std::filesystem::rename(dir.File("other"), path);
    file.Remove();
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  EXPECT_TRUE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace tarvelo::os
