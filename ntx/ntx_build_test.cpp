#include "ntx/ntx_build.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "ntx/ntx_expression.h"
#include "ntx/ntx_index.h"
#include "ntx/ntx_index_list.h"
#include "ntx/ntx_page_cache.h"
#include "ntx/ntx_test_support.h"
#include "testing/dbf_writer.h"
#include "testing/expect_error.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using namespace ntx_testing;
using tarvelo::testing::DbfWriter;

TEST_F(NtxIndexTest, SmallBuildWritesTheHeaderAndOneLeafRoot) {
  const std::vector<Risk> risks = ShuffledRisks(10);
  const std::string path = WriteRisks("riscos.dbf", risks);
  OpenTable(table_, path);
  NtxIndex& index = BuildIndex(indexes_);
  EXPECT_EQ(indexes_.ActiveIndex(), &index);
  EXPECT_TRUE(index.IsFileOpen());
  EXPECT_EQ(index.KeyLength(), 26);
  EXPECT_FALSE(index.CreateNow());
  indexes_.Delete(0);  // flushes and closes

  const std::string file = ReadBytes(dir_.File("apolice.ntx"));
  ASSERT_EQ(file.size(), 2048u);
  EXPECT_EQ(Le16(file, 0), 6u);
  EXPECT_EQ(Le32(file, 4), 1024u);  // root
  EXPECT_EQ(Le16(file, 12), 34u);
  EXPECT_EQ(Le16(file, 14), 26u);
  EXPECT_EQ(Le16(file, 18), 26u);
  EXPECT_EQ(Le16(file, 20), 13u);
  EXPECT_EQ(file.substr(22, 13), std::string("apolice+item\0", 13));
  EXPECT_EQ(Le16(file, 1024), 10u);

  const CheckResult check = CheckNtxFile(dir_.File("apolice.ntx"), Expected(path));
  EXPECT_TRUE(check.problems.empty()) << check.Report();
  EXPECT_EQ(check.depth, 1);
  EXPECT_EQ(check.entries.size(), 10u);
}

TEST_F(NtxIndexTest, LargeBuildsAreSoundInFileOrderAndScrambled) {
  const std::vector<Risk> ordered = OrderedRisks(30000);
  const std::vector<Risk> shuffled = ShuffledRisks(30000);
  const std::string orderedPath = WriteRisks("ordered.dbf", ordered);
  const std::string shuffledPath = WriteRisks("scrambled.dbf", shuffled);
  // The smallest cache evicts and reads pages again all the time; the
  // default one holds the whole tree. The smallest sort budget sorts the
  // keys in some thirty runs on file, merged as the pages are written.
  // Pages read ahead, many at a time, come into caches smaller than the
  // tree, whatever the order of the searches.
  struct Case {
    size_t cachePages;
    bool scrambled;
    size_t sortBytes;
    size_t readAhead = 1;
  };
  const Case cases[] = {{NtxPageCache::kMinCapacity, false, NtxIndex::kSortBytes},
                        {NtxPageCache::kMinCapacity, true, NtxKeySorter::kMinBudget},
                        {NtxIndex::kCachePages, false, NtxKeySorter::kMinBudget},
                        {NtxIndex::kCachePages, true, NtxIndex::kSortBytes},
                        {NtxPageCache::kMinCapacity, true, NtxIndex::kSortBytes, 64},
                        {1024, false, NtxIndex::kSortBytes, 64},
                        {1024, true, NtxKeySorter::kMinBudget, 64}};
  for (const auto& [cachePages, scrambled, sortBytes, readAhead] : cases) {
    SCOPED_TRACE(std::string(scrambled ? "scrambled" : "in order") + ", cache " + std::to_string(cachePages) +
                 ", sort bytes " + std::to_string(sortBytes) + ", read ahead " + std::to_string(readAhead));
    const std::vector<Risk>& risks = scrambled ? shuffled : ordered;
    const std::string& path = scrambled ? shuffledPath : orderedPath;
    DbfTable table("tbRiscos", settings_);
    NtxIndexList indexes(table);
    OpenTable(table, path);
    NtxIndex& index = indexes.Add("apolice");
    index.SetCachePages(cachePages);
    index.SetSortBytes(sortBytes);
    index.SetReadAheadPages(readAhead);
    index.SetKeyExpresion("apolice+item");
    index.SetNTXFileName(dir_.File(scrambled ? "scrambled.ntx" : "ordered.ntx"));
    index.SetCreateNow(true);

    // Searches find every key and stand on a record that holds it.
    for (size_t i = 0; i < risks.size(); i += 37) {
      ASSERT_TRUE(Find(indexes, KeyOf(risks[i]))) << i;
      EXPECT_EQ(CurrentKey(table), KeyOf(risks[i]));
    }
    EXPECT_FALSE(Find(indexes, "104009999000001"));
    // The key-order walk meets every record once, in order.
    size_t walked = 0;
    std::string last;
    for (index.First(); !table.AtEnd(); index.Next(), ++walked) {
      ASSERT_LT(last, CurrentKey(table));
      last = CurrentKey(table);
    }
    EXPECT_EQ(walked, risks.size());
    indexes.Delete(0);
    // The runs' file had no name: nothing is left beside the index.
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      const std::string extension = entry.path().extension().string();
      EXPECT_TRUE(extension == ".dbf" || extension == ".ntx") << entry.path();
    }

    const CheckResult check = CheckNtxFile(dir_.File(scrambled ? "scrambled.ntx" : "ordered.ntx"), Expected(path));
    EXPECT_TRUE(check.problems.empty()) << check.Report();
    EXPECT_EQ(check.entries.size(), risks.size());
    EXPECT_GE(check.depth, 3);
    // Built from sorted keys, in any order: every leaf holds 25 or 26 keys
    // (1112 leaves), with 42 pages above them and the root.
    EXPECT_EQ(check.pages, 1112u + 42u + 2u + 1u);
  }
}

// Builds on one thread and on three (three stretches of the table, each
// sorted in runs on file) write the same bytes, and their searches know
// the same deleted records, however few of them the build remembers.
TEST_F(NtxIndexTest, ThreadsWriteTheSameFile) {
  std::vector<Risk> risks = ShuffledRisks(50000);
  for (size_t i = 0; i < risks.size(); i += 7) risks[i].deleted = true;
  for (size_t i = 0; i < risks.size(); i += 11) risks[i] = risks[(i * 31) % risks.size()];  // equal keys
  const std::string path = WriteRisks("riscos.dbf", risks);
  std::set<std::string> visible;
  for (const Risk& risk : risks)
    if (!risk.deleted) visible.insert(KeyOf(risk));
  std::string files[2];
  for (const size_t kept : {size_t{3000}, NtxIndex::kDeletedRecordsKept}) {
    for (const int threads : {1, 3}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(kept) + " deleted records kept");
      DbfTable table("tbRiscos", settings_);
      NtxIndexList indexes(table);
      OpenTable(table, path);
      NtxIndex& index = indexes.Add("apolice");
      index.SetThreads(threads);
      index.SetSortBytes(NtxKeySorter::kMinBudget);
      index.SetDeletedRecordsKept(kept);
      index.SetKeyExpresion("apolice+item");
      index.SetNTXFileName(dir_.File("apolice.ntx"));
      index.SetCreateNow(true);
      for (size_t i = 0; i < risks.size(); i += 97) {
        const bool found = visible.count(KeyOf(risks[i])) > 0;
        ASSERT_EQ(Find(indexes, KeyOf(risks[i])), found) << i;
        if (found) {
          EXPECT_NE(table.CurrentRecord()[0], '*');
        }
      }
      indexes.Delete(0);
      files[threads == 1 ? 0 : 1] = ReadBytes(dir_.File("apolice.ntx"));
    }
    EXPECT_EQ(files[1], files[0]);
    const CheckResult check = CheckNtxFile(dir_.File("apolice.ntx"), Expected(path));
    EXPECT_TRUE(check.problems.empty()) << check.Report();
  }
}

// On two threads the first reads records 1 to 17,095: three blocks of
// 5,698 records (256 KiB of 46-byte records) and one record more. Every
// record's key is found, whatever the deleted records the build remembers:
// fewer than the first stretch has, or all of them.
TEST_F(NtxIndexTest, TwoThreadsWithAStretchOneRecordPastItsBlocks) {
  constexpr size_t kBlock = (size_t{256} << 10) / 46;
  std::vector<Risk> risks = ShuffledRisks(static_cast<int>(2 * (3 * kBlock + 1)));
  for (size_t i = 0; i < risks.size(); i += 5) risks[i].deleted = true;
  const std::string path = WriteRisks("riscos.dbf", risks);
  std::set<std::string> visible;
  for (const Risk& risk : risks)
    if (!risk.deleted) visible.insert(KeyOf(risk));
  for (const size_t kept : {size_t{100}, NtxIndex::kDeletedRecordsKept}) {
    SCOPED_TRACE(std::to_string(kept) + " deleted records kept");
    DbfTable table("tbRiscos", settings_);
    NtxIndexList indexes(table);
    OpenTable(table, path);
    NtxIndex& index = indexes.Add("apolice");
    index.SetThreads(2);
    index.SetDeletedRecordsKept(kept);
    index.SetKeyExpresion("apolice+item");
    index.SetNTXFileName(dir_.File("apolice.ntx"));
    index.SetCreateNow(true);
    for (size_t i = 0; i < risks.size(); ++i) {
      const bool found = visible.count(KeyOf(risks[i])) > 0;
      ASSERT_EQ(Find(indexes, KeyOf(risks[i])), found) << i;
      if (found) {
        ASSERT_NE(table.CurrentRecord()[0], '*') << i;
      }
    }
    indexes.Delete(0);
    const CheckResult check = CheckNtxFile(dir_.File("apolice.ntx"), Expected(path));
    EXPECT_TRUE(check.problems.empty()) << check.Report();
    EXPECT_EQ(check.entries.size(), risks.size());
  }
}

// Deleted records at the seams: the last record of each of the first
// stretch's three blocks, the first record of the second stretch and the
// last of the file. Whatever the limit and the threads, the scan remembers
// the first deleted records up to the limit and knows the deletions of
// exactly the records before the first one it forgot.
TEST_F(NtxIndexTest, DeletedRecordsAtTheSeamsOfTheStretchesAreRememberedExactly) {
  constexpr int64_t kBlock = (int64_t{256} << 10) / 46;
  constexpr int64_t kRecords = 2 * 3 * kBlock;
  const std::vector<uint32_t> deleted = {kBlock, 2 * kBlock, 3 * kBlock, 3 * kBlock + 1, 4 * kBlock, kRecords};
  std::vector<Risk> risks = ShuffledRisks(static_cast<int>(kRecords));
  for (const uint32_t recno : deleted) risks[recno - 1].deleted = true;
  const std::string path = WriteRisks("riscos.dbf", risks);
  DbfTable table("tbRiscos", settings_);
  OpenTable(table, path);
  const NtxExpression key = NtxExpression::ParseKey("apolice+item", table);
  const NtxExpression filter = NtxExpression::ParseFilter("", table);
  for (const int threads : {1, 2}) {
    for (size_t kept = 0; kept <= deleted.size(); ++kept) {
      SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(kept) + " deleted records kept");
      NtxScanOptions options;
      options.keyLength = key.KeyLength();
      options.sortBytes = NtxKeySorter::kMinBudget;
      options.threads = threads;
      options.deletedRecordsKept = kept;
      options.folder = dir_.Path();
      options.shownName = "apolice.ntx";
      const NtxTableScan scan = ScanTableKeys(table, key, filter, options);
      EXPECT_EQ(scan.recordCount, kRecords);
      EXPECT_EQ(scan.deleted, std::vector<uint32_t>(deleted.begin(), deleted.begin() + static_cast<ptrdiff_t>(kept)));
      EXPECT_EQ(scan.deletedKnownThrough, kept < deleted.size() ? deleted[kept] - 1 : kRecords);
    }
  }
}

TEST_F(NtxIndexTest, ThreeLevelTreeFromAFewThousandKeys) {
  const std::vector<Risk> risks = ShuffledRisks(3000);
  const std::string path = WriteRisks("riscos.dbf", risks);
  OpenTable(table_, path);
  BuildIndex(indexes_);
  indexes_.Delete(0);
  const CheckResult check = CheckNtxFile(dir_.File("apolice.ntx"), Expected(path));
  EXPECT_TRUE(check.problems.empty()) << check.Report();
  EXPECT_EQ(check.depth, 3);
}

// A 14-byte key (policy of 10, item of 4) of the same policies with items
// "0010", "0001", "0100" and "0002": with policies that differ at every
// byte, the keys differ at 12 places before the last byte, which alone
// orders "0001" and "0002". Sorted in memory and in runs on file, the walk
// in key order is strictly ascending and every key is found.
TEST_F(NtxIndexTest, KeysDecidedAfterTwelveDifferingBytes) {
  const std::vector<std::string> items = {"0010", "0001", "0100", "0002"};
  std::vector<std::pair<std::string, std::string>> keys;
  for (int policy = 0; policy < 5000; ++policy) {
    for (const std::string& item : items)
      keys.emplace_back(std::string(1, static_cast<char>('A' + policy % 26)) +
                            std::to_string(100000000 + (policy * 2654435761u) % 900000000u),
                        item);
  }
  uint32_t seed = 7;
  for (size_t i = keys.size(); i > 1; --i) {
    seed = seed * 1664525u + 1013904223u;
    std::swap(keys[i - 1], keys[(seed >> 8) % i]);
  }
  DbfWriter writer({{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 10}, {"ITEM", 'C', 4}});
  for (const auto& [policy, item] : keys) writer.AddRecord({"05631", policy, item});
  const std::string path = dir_.File("riscos.dbf");
  writer.WriteTo(path);
  for (const size_t sortBytes : {NtxIndex::kSortBytes, NtxKeySorter::kMinBudget}) {
    SCOPED_TRACE(sortBytes);
    DbfTable table("tbRiscos", settings_);
    NtxIndexList indexes(table);
    OpenTable(table, path);
    NtxIndex& index = indexes.Add("apolice");
    index.SetSortBytes(sortBytes);
    index.SetKeyExpresion("apolice+item");
    index.SetNTXFileName(dir_.File("apolice.ntx"));
    index.SetCreateNow(true);
    std::string last;
    size_t walked = 0;
    for (index.First(); !table.AtEnd(); index.Next(), ++walked) {
      ASSERT_LT(last, CurrentKey(table)) << walked;
      last = CurrentKey(table);
    }
    EXPECT_EQ(walked, keys.size());
    for (size_t i = 0; i < keys.size(); i += 7) {
      const std::string key = Pad(keys[i].first, 10) + keys[i].second;
      ASSERT_TRUE(Find(indexes, key)) << key;
      EXPECT_EQ(CurrentKey(table), key);
    }
    indexes.Delete(0);
  }
}

TEST_F(NtxIndexTest, ManyEqualKeysKeepOneEntryPerRecord) {
  std::vector<Risk> risks;
  for (int n = 0; n < 3000; ++n) risks.push_back({"1040000" + std::to_string(n % 4), "000001"});
  const std::string path = WriteRisks("riscos.dbf", risks);
  OpenTable(table_, path);
  // Sorted in runs of about a thousand keys: equal keys span many runs.
  NtxIndex& index = indexes_.Add("apolice");
  index.SetSortBytes(NtxKeySorter::kMinBudget);
  index.SetKeyExpresion("apolice+item");
  index.SetNTXFileName(dir_.File("apolice.ntx"));
  index.SetCreateNow(true);
  for (int k = 0; k < 4; ++k) {
    ASSERT_TRUE(Find(indexes_, "1040000" + std::to_string(k)));
    EXPECT_EQ(table_.FieldByName("APOLICE").AsText(), Pad("1040000" + std::to_string(k), 20));
    EXPECT_EQ(table_.RecordNumber(), k + 1);  // the first record of that key
  }
  // Walking in key order meets every record once, keys never descending
  // and equal keys in record order.
  std::set<int64_t> seen;
  std::string last;
  int64_t lastRecno = 0;
  for (index.First(); !table_.AtEnd(); index.Next()) {
    const std::string key = CurrentKey(table_);
    EXPECT_LE(last, key);
    if (key == last) {
      EXPECT_LT(lastRecno, table_.RecordNumber());
    }
    last = key;
    lastRecno = table_.RecordNumber();
    EXPECT_TRUE(seen.insert(table_.RecordNumber()).second);
  }
  EXPECT_EQ(seen.size(), risks.size());
  indexes_.Delete(0);
  const CheckResult check = CheckNtxFile(dir_.File("apolice.ntx"), Expected(path));
  EXPECT_TRUE(check.problems.empty()) << check.Report();
  EXPECT_EQ(check.entries.size(), risks.size());
}

TEST_F(NtxIndexTest, EmptyTableGivesHeaderAndOneEmptyRoot) {
  const std::string path = WriteRisks("riscos.dbf", {});
  OpenTable(table_, path);
  BuildIndex(indexes_);
  EXPECT_FALSE(Find(indexes_, "104000001000001"));
  EXPECT_FALSE(Find(indexes_, ""));
  EXPECT_FALSE(indexes_.FindKey({Variant::Null()}));
  indexes_[0].First();
  EXPECT_TRUE(table_.AtEnd());
  indexes_.Delete(0);

  const std::string file = ReadBytes(dir_.File("apolice.ntx"));
  ASSERT_EQ(file.size(), 2048u);
  EXPECT_EQ(Le32(file, 4), 1024u);
  EXPECT_EQ(Le16(file, 1024), 0u);
  const CheckResult check = CheckNtxFile(dir_.File("apolice.ntx"), Expected(path));
  EXPECT_TRUE(check.problems.empty()) << check.Report();
  EXPECT_TRUE(check.entries.empty());
}

TEST_F(NtxIndexTest, RememberedOrReadDeletionFlagsGiveTheSameResults) {
  // Records in blocks of 4096 / 47 = 87: the found records lie in other
  // blocks than the table's, and after the deleted ones a build remembers
  // (none, some, all) a search reads the records its keys lead to.
  std::vector<Risk> risks = OrderedRisks(300);
  const auto mark = [&](size_t at, const std::string& apolice, bool deleted) {
    risks[at].apolice = apolice;
    risks[at].item = "000001";
    risks[at].deleted = deleted;
  };
  mark(10, "1055500001", true);  // deleted, then visible far away
  mark(250, "1055500001", false);
  mark(20, "1055500002", true);   // only deleted
  mark(100, "1055500003", true);  // two deleted, then visible
  mark(150, "1055500003", true);
  mark(200, "1055500003", false);
  mark(290, "1055500004", true);  // only deleted, last block
  const std::string path = WriteRisks("riscos.dbf", risks);
  for (const size_t kept : {size_t{0}, size_t{1}, size_t{2}, NtxIndex::kDeletedRecordsKept}) {
    SCOPED_TRACE("deleted records kept: " + std::to_string(kept));
    DbfTable table("tbRiscos", settings_);
    NtxIndexList indexes(table);
    OpenTable(table, path);
    NtxIndex& index = indexes.Add("apolice");
    index.SetDeletedRecordsKept(kept);
    index.SetKeyExpresion("apolice+item");
    index.SetNTXFileName(dir_.File("apolice.ntx"));
    index.SetCreateNow(true);

    ASSERT_TRUE(Find(indexes, "1055500001"));
    EXPECT_EQ(table.RecordNumber(), 251);
    EXPECT_EQ(table.CurrentRecord()[0], ' ');
    EXPECT_EQ(CurrentKey(table), Pad("1055500001", 20) + "000001");
    EXPECT_FALSE(Find(indexes, "1055500002"));
    ASSERT_TRUE(Find(indexes, "1055500003"));
    EXPECT_EQ(table.RecordNumber(), 201);
    EXPECT_FALSE(Find(indexes, "1055500004"));
    // A failed search leaves the table where it stood.
    EXPECT_EQ(table.RecordNumber(), 201);
    EXPECT_FALSE(table.AtEnd());
    EXPECT_EQ(CurrentKey(table), Pad("1055500003", 20) + "000001");
    ASSERT_TRUE(Find(indexes, KeyOf(risks[5])));
    EXPECT_EQ(table.RecordNumber(), 6);
    EXPECT_EQ(table.FieldByName("PREMIO").AsFloat(), 10.5);
    // The key-order walk skips the deleted records.
    int walked = 0;
    for (index.First(); !table.AtEnd(); index.Next()) {
      EXPECT_NE(table.CurrentRecord()[0], '*') << table.RecordNumber();
      ++walked;
    }
    EXPECT_EQ(walked, 300 - 5);

    // Shown, the deleted records are found first.
    table.SetDeleted(false);
    ASSERT_TRUE(Find(indexes, "1055500003"));
    EXPECT_EQ(table.RecordNumber(), 101);
    EXPECT_EQ(table.CurrentRecord()[0], '*');
    ASSERT_TRUE(Find(indexes, "1055500004"));
    EXPECT_EQ(table.RecordNumber(), 291);
    indexes.Delete(0);
    indexes.DBFIndexDefs().Delete(0);
  }
}

TEST_F(NtxIndexTest, UniqueDescendingLaterVersionAndFilter) {
  std::vector<Risk> risks = ShuffledRisks(2000);
  for (size_t i = 0; i < risks.size(); i += 3) risks[i].codSeg = "99999";
  const std::string path = WriteRisks("riscos.dbf", risks);
  OpenTable(table_, path);

  NtxIndex& unique = indexes_.Add("unico");
  unique.SetKeyExpresion("apolice");
  unique.SetNTXFileName(dir_.File("unico.ntx"));
  unique.SetUnique(true);
  unique.SetSortBytes(NtxKeySorter::kMinBudget);  // equal keys in different runs
  unique.SetClipperVer(ClipperVersion::v520);
  unique.SetCreateNow(true);
  EXPECT_TRUE(Find(indexes_, risks[7].apolice));
  indexes_.Delete(0);
  ExpectedIndex uniqueExpected = Expected(path);
  uniqueExpected.expression = "apolice";
  uniqueExpected.parts = {{6, 20}};
  uniqueExpected.unique = true;
  uniqueExpected.signature = 7;
  const CheckResult uniqueCheck = CheckNtxFile(dir_.File("unico.ntx"), uniqueExpected);
  EXPECT_TRUE(uniqueCheck.problems.empty()) << uniqueCheck.Report();
  std::set<std::string> policies;
  for (const Risk& risk : risks) policies.insert(risk.apolice);
  EXPECT_EQ(uniqueCheck.entries.size(), policies.size());

  NtxIndex& descending = indexes_.Add("desc");
  descending.SetKeyExpresion("apolice+item");
  descending.SetNTXFileName(dir_.File("desc.ntx"));
  descending.SetDescending(true);
  descending.SetSortBytes(NtxKeySorter::kMinBudget);
  descending.SetCreateNow(true);
  for (size_t i = 0; i < risks.size(); i += 17) {
    ASSERT_TRUE(Find(indexes_, KeyOf(risks[i])));
    EXPECT_EQ(CurrentKey(table_), KeyOf(risks[i]));
  }
  std::string previous = "\xff";
  for (descending.First(); !table_.AtEnd(); descending.Next()) {
    EXPECT_GT(previous, CurrentKey(table_));
    previous = CurrentKey(table_);
  }
  indexes_.Delete(0);
  ExpectedIndex descendingExpected = Expected(path);
  descendingExpected.descending = true;
  const CheckResult descendingCheck = CheckNtxFile(dir_.File("desc.ntx"), descendingExpected);
  EXPECT_TRUE(descendingCheck.problems.empty()) << descendingCheck.Report();

  NtxIndex& filtered = indexes_.Add("filtro");
  filtered.SetKeyExpresion("apolice+item");
  filtered.SetForExpresion("cod_seg = '05631' .and. .not. deleted()");
  filtered.SetNTXFileName(dir_.File("filtro.ntx"));
  filtered.SetCreateNow(true);
  EXPECT_FALSE(Find(indexes_, KeyOf(risks[0])));
  EXPECT_TRUE(Find(indexes_, KeyOf(risks[1])));
  indexes_.Delete(0);
  ExpectedIndex filteredExpected = Expected(path);
  filteredExpected.filter = "cod_seg = '05631' .and. .not. deleted()";
  for (size_t i = 0; i < risks.size(); ++i)
    if (i % 3 != 0) filteredExpected.records.insert(static_cast<uint32_t>(i + 1));
  const CheckResult filteredCheck = CheckNtxFile(dir_.File("filtro.ntx"), filteredExpected);
  EXPECT_TRUE(filteredCheck.problems.empty()) << filteredCheck.Report();

  NtxIndex& bad = indexes_.Add("ruim");
  EXPECT_ERROR(DbfError, bad.SetForExpresion("apolice"), "NtxIndex.ParseExpression: Invalid expression \"apolice\"");
}

}  // namespace
}  // namespace tarvelo
