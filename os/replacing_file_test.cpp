#include "os/replacing_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "testing/temp_dir.h"
#include "values/errors.h"

namespace tarvelo::os {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(std::filesystem::u8path(path), std::ios::binary) << bytes;
}

size_t Entries(const std::string& folder) {
  const std::filesystem::directory_iterator entries(std::filesystem::u8path(folder));
  return static_cast<size_t>(std::distance(begin(entries), end(entries)));
}

// The file at the target's name changes only on Commit, whole: a
// replacement let go before it leaves the earlier file as it was, and
// neither leaves another file behind.
TEST(ReplacingFile, CommitReplacesTheFileAndAnAbandonedOneLeavesItAsItWas) {
  testing::TempDir dir;
  const std::string path = dir.File("relatorio.txt");
  Write(path, "earlier report");
  {
    ReplacingFile file(path);
    file.Write("abandoned");
    EXPECT_EQ(Read(path), "earlier report");
  }
  EXPECT_EQ(Read(path), "earlier report");
  EXPECT_EQ(Entries(dir.Path()), 1u);
  {
    ReplacingFile file(path);
    file.Write("new ");
    file.Write(std::string(100000, 'x'));  // past the buffer
    EXPECT_EQ(Read(path), "earlier report");
    file.Commit();
    file.Commit();  // nothing the second time
  }
  EXPECT_EQ(Read(path), "new " + std::string(100000, 'x'));
  EXPECT_EQ(Entries(dir.Path()), 1u);

  {
    ReplacingFile fresh(dir.File("novo.txt"));
    fresh.Commit();
  }
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(dir.File("novo.txt"))));
  EXPECT_EQ(Read(dir.File("novo.txt")), "");
  EXPECT_EQ(Entries(dir.Path()), 2u);
}

// A folder named as the target: refused with the reason POSIX gives, on
// every system, and left as it was.
TEST(ReplacingFile, AFolderIsRefusedAsADirectory) {
  testing::TempDir dir;
  const std::string folder = dir.File("saida");
  std::filesystem::create_directory(std::filesystem::u8path(folder));
  for (const std::string& path : {folder, folder + kFolderSeparator}) {
    try {
      ReplacingFile file(path);
      ADD_FAILURE() << path << " was taken";
    } catch (const TarveloError& error) {
      EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + path + "\". Is a directory");
    }
  }
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::u8path(folder)));
  EXPECT_EQ(Entries(folder), 0u);
  EXPECT_EQ(Entries(dir.Path()), 1u);
}

#ifndef _WIN32
// Not on Windows, where the new file gets its folder's permissions: modes
// made the POSIX way.
//
// The replacement takes the permissions of the file it replaces.
TEST(ReplacingFile, TheReplacementKeepsTheModeOfTheFileItReplaces) {
  namespace fs = std::filesystem;
  testing::TempDir dir;
  const std::string path = dir.File("relatorio.txt");
  Write(path, "earlier report");
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(path, mode);
  ReplacingFile file(path);
  file.Write("new");
  file.Commit();
  EXPECT_EQ(Read(path), "new");
  EXPECT_EQ(fs::status(path).permissions(), mode);
}
#endif

}  // namespace
}  // namespace tarvelo::os
