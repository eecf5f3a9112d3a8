#include "ntx/ntx_index.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ntx/ntx_build.h"
#include "ntx/ntx_index_list.h"
#include "ntx/ntx_test_support.h"
#include "os/held_file.h"
#include "testing/dbf_writer.h"
#include "testing/expect_error.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using namespace ntx_testing;
using tarvelo::testing::WriteFile;

// A leftover index, whole or of a build that never ended, is replaced; a
// file that holds no index, or one marked read-only, is left as it is and
// the build says why.
TEST_F(NtxIndexTest, OnlyALeftoverIndexIsReplaced) {
  const std::string path = WriteRisks("riscos.dbf", OrderedRisks(50));
  const std::string ntx = dir_.File("apolice.ntx");
  OpenTable(table_, path);
  const auto failsWith = [&](const char* reason) {
    try {
      BuildIndex(indexes_);
      ADD_FAILURE() << "the build replaced the file";
    } catch (const IndexInTheWayError& error) {
      EXPECT_EQ(std::string(error.what()), "NtxIndex.CreateIndex: Create error \"apolice\"");
      EXPECT_EQ(error.Reason(), reason);
      EXPECT_EQ(error.Where(), "Arquivo: " + ntx);
    }
    indexes_.Delete(0);
  };
  const std::string notAnIndex = std::string(50000, 'x');
  WriteFile(ntx, notAnIndex);
  failsWith(kNotAnIndexInTheWay);
  EXPECT_EQ(ReadBytes(ntx), notAnIndex);

  // An index file, then what a build leaves when it stops before its end
  // (as when the machine stops).
  std::filesystem::remove(ntx);
  BuildIndex(indexes_);
  indexes_.Delete(0);
  const std::string whole = ReadBytes(ntx);
  for (const bool stopped : {false, true}) {
    if (stopped) {
      NtxIndex& index = indexes_.Add("apolice");
      index.SetKeyExpresion("apolice+item");
      index.SetNTXFileName(ntx);
      index.SetStopCheck([] { return true; });
      EXPECT_THROW(index.SetCreateNow(true), RunStoppedError);
      indexes_.Delete(0);
      ASSERT_NE(ReadBytes(ntx), whole);
    }
    BuildIndex(indexes_);
    indexes_.Delete(0);
    const CheckResult check = CheckNtxFile(ntx, Expected(path));
    EXPECT_TRUE(check.problems.empty()) << check.Report();
    EXPECT_EQ(ReadBytes(ntx).size(), 1024 * (check.pages + 1));
    EXPECT_EQ(check.pages, 3u);
  }

  namespace fs = std::filesystem;
  fs::permissions(ntx, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  failsWith(kReadOnlyInTheWay);
  EXPECT_EQ(ReadBytes(ntx), whole);
  fs::permissions(ntx, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(NtxIndexTest, FileHeldByAnotherIndexCannotBeCreated) {
  const std::vector<Risk> risks = OrderedRisks(100);
  const std::string path = WriteRisks("riscos.dbf", risks);
  const std::string copy = WriteRisks("copia.dbf", ShuffledRisks(100));
  OpenTable(table_, path);
  BuildIndex(indexes_);

  DbfTable other("tbOutra", settings_);

  NtxIndexList otherIndexes(other);
  OpenTable(other, copy);
  NtxIndex& second = otherIndexes.Add("segundo");
  second.SetKeyExpresion("apolice+item");
  second.SetNTXFileName(dir_.File("apolice.ntx"));
  EXPECT_ERROR(DbfError, second.SetCreateNow(true), "NtxIndex.CreateIndex: Create error \"apolice\"");
  EXPECT_NE(otherIndexes.ActiveIndex(), &second);
  EXPECT_FALSE(second.IsFileOpen());
  EXPECT_FALSE(otherIndexes.FindKey({Variant::String("10")}));

  // The holder's file was left whole.
  EXPECT_TRUE(Find(indexes_, KeyOf(risks[42])));
  indexes_.Delete(0);
  const CheckResult check = CheckNtxFile(dir_.File("apolice.ntx"), Expected(path));
  EXPECT_TRUE(check.problems.empty()) << check.Report();

  // Once released, the other table may build over it.
  second.SetCreateNow(true);
  EXPECT_EQ(otherIndexes.ActiveIndex(), &second);
  otherIndexes.Delete(0);
  const CheckResult replaced = CheckNtxFile(dir_.File("apolice.ntx"), Expected(copy));
  EXPECT_TRUE(replaced.problems.empty()) << replaced.Report();
}

#ifndef _WIN32
// Not on Windows: these two use what Linux alone has, a file size limit
// that fails writes as a full disk does, and another process holding a
// writer's record lock (the lock between two runs is tested by the command
// line's tests on both systems).

// A sort whose runs cannot be written (the file size limit stands for a
// full disk) ends the build with the reason, leaving neither the runs'
// file nor a temporary index behind.
TEST_F(NtxIndexTest, RunsThatCannotBeWrittenEndTheBuild) {
  const std::string path = WriteRisks("riscos.dbf", ShuffledRisks(30000));
  OpenTable(table_, path);
  NtxIndex& index = indexes_.Add("apolice");
  index.SetSortBytes(NtxKeySorter::kMinBudget);
  index.SetTemporary(true);
  index.SetKeyExpresion("apolice+item");
  index.SetNTXFileName(dir_.File("apolice.ntx"));
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit small{65536, limit.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  try {
    index.SetCreateNow(true);
    ADD_FAILURE() << "the build did not fail";
  } catch (const DbfError& error) {
    EXPECT_EQ(std::string(error.what()), "NtxIndex.SortKeys: Write error \"" + dir_.File("apolice.ntx") + "\"");
    EXPECT_EQ(error.Reason(), "File too large");
  }
  ::setrlimit(RLIMIT_FSIZE, &limit);
  ::signal(SIGXFSZ, previous);
  EXPECT_NE(indexes_.ActiveIndex(), &index);
  EXPECT_FALSE(index.IsFileOpen());
  const std::vector<std::filesystem::path> left(std::filesystem::directory_iterator(dir_.Path()), {});
  EXPECT_EQ(left, std::vector<std::filesystem::path>{path});
}

TEST_F(NtxIndexTest, FileLockedByAnotherProcessCannotBeCreated) {
  const std::string path = WriteRisks("riscos.dbf", OrderedRisks(10));
  const std::string ntx = dir_.File("apolice.ntx");
  // A leftover index, which a build would replace.
  OpenTable(table_, path);
  BuildIndex(indexes_);
  indexes_.Delete(0);
  indexes_.DBFIndexDefs().Delete(0);
  table_.Close();
  const std::string held = ReadBytes(ntx);
  {
    const os::WriterProcess writer(ntx);
    ASSERT_TRUE(writer.Holds());
    OpenTable(table_, path);
    EXPECT_ERROR(DbfError, BuildIndex(indexes_), "NtxIndex.CreateIndex: Create error \"apolice\"");
    EXPECT_EQ(ReadBytes(ntx), held);
  }

  indexes_[0].SetCreateNow(true);
  EXPECT_TRUE(Find(indexes_, "104000001"));
}
#endif

TEST_F(NtxIndexTest, DamagedFileIsReportedWhenReopened) {
  const std::string path = WriteRisks("riscos.dbf", OrderedRisks(100));
  const std::string ntx = dir_.File("apolice.ntx");
  OpenTable(table_, path);
  BuildIndex(indexes_);
  table_.Close();
  const std::string good = ReadBytes(ntx);

  std::string bytes = good;
  bytes[0] = 9;  // signature
  WriteFile(ntx, bytes);
  EXPECT_ERROR(DbfError, table_.Open(), "NtxIndex.OpenIndex: File \"" + ntx + "\" is not NTX file");
  EXPECT_FALSE(table_.IsOpen());

  bytes = good;
  bytes[14] = 27;  // key size no longer that of the expression
  bytes[12] = 35;
  WriteFile(ntx, bytes);
  EXPECT_ERROR(DbfError, table_.Open(), "NtxIndex.OpenIndex: File \"" + ntx + "\" is not NTX file");

  // A page claiming more keys than a page holds: the active index walks
  // to its first key as the table opens.
  bytes = good;
  const uint32_t root = Le32(good, 4);
  bytes[root] = 27;
  WriteFile(ntx, bytes);
  EXPECT_ERROR(DbfError, table_.Open(),
               "NtxIndex.ReadPage: Page " + std::to_string(root) + " of \"" + ntx + "\" is damaged");
  EXPECT_FALSE(table_.IsOpen());

  // A child offset that is no page boundary.
  bytes = good;
  const uint32_t firstSlot = Le16(good, root + 2);
  ASSERT_NE(Le32(good, root + firstSlot), 0u);  // the root is no leaf
  bytes[root + firstSlot] = 1;
  bytes[root + firstSlot + 1] = 4;  // 1025
  bytes[root + firstSlot + 2] = 0;
  bytes[root + firstSlot + 3] = 0;
  WriteFile(ntx, bytes);
  EXPECT_ERROR(DbfError, table_.Open(), "NtxIndex.ReadPage: Page 1025 of \"" + ntx + "\" is damaged");
  EXPECT_FALSE(table_.IsOpen());
}

TEST_F(NtxIndexTest, PathsAreTheFileSystemsNames) {
  // Names are the bytes given, whatever characters they hold.
  WriteRisks("s\xc3\xa9rie \xe4\xb8\xad.dbf", OrderedRisks(30));
  OpenTable(table_, dir_.File("s\xc3\xa9rie \xe4\xb8\xad.dbf"));
  NtxIndex& index = BuildIndex(indexes_, "apolice+item", "ap\xc3\xb3lice.ntx");
  EXPECT_EQ(index.Name(), "ap\xc3\xb3lice");
  EXPECT_EQ(indexes_.DBFIndexDefs()[0].name, "ap\xc3\xb3lice");
  EXPECT_TRUE(Find(indexes_, "104000009"));
  table_.Close();
  EXPECT_TRUE(tarvelo::testing::FileExists(dir_.File("ap\xc3\xb3lice.ntx")));
  table_.Open();  // reopens the index by the same name
  EXPECT_TRUE(index.IsFileOpen());
  EXPECT_TRUE(Find(indexes_, "104000009"));
}

}  // namespace
}  // namespace tarvelo
