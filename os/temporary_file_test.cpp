#include "os/temporary_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "os/file_system.h"
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

}  // namespace
}  // namespace tarvelo::os
