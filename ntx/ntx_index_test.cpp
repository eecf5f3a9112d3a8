#include "ntx/ntx_index.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ntx/ntx_build.h"
#include "ntx/ntx_index_list.h"
#include "ntx/ntx_page_cache.h"
#include "os/file_system.h"
#include "testing/dbf_writer.h"
#include "testing/expect_error.h"
#include "testing/temp_dir.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using tarvelo::testing::DbfFieldSpec;
using tarvelo::testing::DbfWriter;
using tarvelo::testing::WriteFile;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Le16(const std::string& bytes, size_t at) {
  return static_cast<uint8_t>(bytes[at]) | (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8);
}

uint32_t Le32(const std::string& bytes, size_t at) { return Le16(bytes, at) | (Le16(bytes, at + 2) << 16); }

// A piece of the key in the table's records: field offset and width.
struct KeyPart {
  int offset;
  int width;
};

// What an index file must hold, for the checker.
struct ExpectedIndex {
  std::string expression = "apolice+item";
  std::string filter;
  int signature = 6;
  bool descending = false;
  bool unique = false;
  // The table file and the key's fields in its records.
  std::string tablePath;
  std::vector<KeyPart> parts;
  // Records that must have an entry (1-based); empty: every record.
  std::set<uint32_t> records;
};

struct CheckResult {
  std::vector<std::string> problems;
  int depth = 0;
  size_t pages = 0;
  std::vector<std::pair<std::string, uint32_t>> entries;  // key order

  std::string Report() const {
    std::ostringstream out;
    for (size_t i = 0; i < problems.size() && i < 20; ++i) out << problems[i] << "\n";
    return out.str();
  }
};

// Walks an index file through its own bytes, never through NtxIndex: the
// header fields, every page's count and offset table, uniform leaf depth,
// every page reached exactly once, keys in order, and one entry per
// record whose key equals the record's key bytes in the table file.
CheckResult CheckNtxFile(const std::string& path, const ExpectedIndex& expected) {
  CheckResult result;
  auto& problems = result.problems;
  const std::string file = ReadBytes(path);
  const std::string table = ReadBytes(expected.tablePath);
  int keyLength = 0;
  for (const KeyPart& part : expected.parts) keyLength += part.width;

  if (file.size() < 2048 || file.size() % 1024 != 0) {
    problems.push_back("file size " + std::to_string(file.size()));
    return result;
  }
  const int entrySize = keyLength + 8;
  const int maxKeys = (1020 - entrySize) / (entrySize + 2) / 2 * 2;
  const auto expect = [&](const char* what, uint32_t actual, uint32_t wanted) {
    if (actual != wanted)
      problems.push_back(std::string(what) + " is " + std::to_string(actual) + ", expected " + std::to_string(wanted));
  };
  expect("signature", Le16(file, 0), static_cast<uint32_t>(expected.signature));
  expect("version", Le16(file, 2), 1);
  expect("free page", Le32(file, 8), 0);
  expect("entry size", Le16(file, 12), static_cast<uint32_t>(entrySize));
  expect("key size", Le16(file, 14), static_cast<uint32_t>(keyLength));
  expect("decimals", Le16(file, 16), 0);
  expect("max keys", Le16(file, 18), static_cast<uint32_t>(maxKeys));
  expect("half page", Le16(file, 20), static_cast<uint32_t>(maxKeys / 2));
  const std::string expression = file.substr(22, 256);
  if (expression.substr(0, expected.expression.size() + 1) != expected.expression + std::string(1, '\0'))
    problems.push_back("key expression " + expression.substr(0, expression.find('\0')));
  expect("unique", static_cast<uint8_t>(file[278]), expected.unique ? 1 : 0);
  expect("reserved 279", static_cast<uint8_t>(file[279]), 0);
  expect("descending", static_cast<uint8_t>(file[280]), expected.descending ? 1 : 0);
  expect("reserved 281", static_cast<uint8_t>(file[281]), 0);
  if (file.substr(282, expected.filter.size() + 1) != expected.filter + std::string(1, '\0'))
    problems.push_back("filter expression");
  if (file.find_first_not_of('\0', 538) < 1024) problems.push_back("order name or reserved bytes not zero");

  // Valid slot positions of a page.
  std::set<uint32_t> slots;
  for (int i = 0; i <= maxKeys; ++i) slots.insert(static_cast<uint32_t>(2 + 2 * (maxKeys + 1) + i * entrySize));

  std::set<uint32_t> visited;
  int leafDepth = -1;
  // Recursive in-order walk.
  std::function<void(uint32_t, int, bool)> walk = [&](uint32_t page, int depth, bool isRoot) {
    if (page < 1024 || page % 1024 != 0 || page + 1024 > file.size() || !visited.insert(page).second) {
      problems.push_back("bad or repeated page offset " + std::to_string(page));
      return;
    }
    const int n = static_cast<int>(Le16(file, page));
    if (n > maxKeys || (n == 0 && !isRoot)) {
      problems.push_back("page " + std::to_string(page) + " holds " + std::to_string(n) + " keys");
      return;
    }
    std::set<uint32_t> seen;
    std::vector<uint32_t> offsets;
    for (int i = 0; i <= maxKeys; ++i) {
      const uint32_t offset = Le16(file, page + 2 + 2 * static_cast<size_t>(i));
      if (slots.count(offset) == 0 || !seen.insert(offset).second) {
        problems.push_back("page " + std::to_string(page) + " offset table entry " + std::to_string(i));
        return;
      }
      offsets.push_back(offset);
    }
    const auto child = [&](int i) { return Le32(file, page + offsets[static_cast<size_t>(i)]); };
    const bool leaf = child(0) == 0;
    for (int i = 0; i <= n; ++i) {
      if ((child(i) == 0) != leaf) problems.push_back("page " + std::to_string(page) + " mixes leaf and inner");
    }
    if (leaf) {
      if (leafDepth < 0) leafDepth = depth;
      if (depth != leafDepth) problems.push_back("leaf at depth " + std::to_string(depth));
    }
    for (int i = 0; i <= n; ++i) {
      if (!leaf) walk(child(i), depth + 1, false);
      if (i < n) {
        const size_t at = page + offsets[static_cast<size_t>(i)];
        result.entries.emplace_back(file.substr(at + 8, static_cast<size_t>(keyLength)), Le32(file, at + 4));
      }
    }
  };
  walk(Le32(file, 4), 1, true);
  result.depth = leafDepth;
  result.pages = visited.size();
  if (visited.size() != file.size() / 1024 - 1)
    problems.push_back("reached " + std::to_string(visited.size()) + " of " + std::to_string(file.size() / 1024 - 1) +
                       " pages");

  for (size_t i = 1; i < result.entries.size(); ++i) {
    const int order = result.entries[i - 1].first.compare(result.entries[i].first);  // unsigned bytes
    if (expected.descending ? order < 0 : order > 0)
      problems.push_back("keys out of order at entry " + std::to_string(i));
    if (expected.unique && order == 0)
      problems.push_back("repeated key in a unique index at entry " + std::to_string(i));
  }

  const uint32_t headerLength = Le16(table, 8);
  const uint32_t recordLength = Le16(table, 10);
  const uint32_t records = static_cast<uint32_t>((table.size() - headerLength) / recordLength);
  std::set<uint32_t> wanted = expected.records;
  if (wanted.empty() && !expected.unique)
    for (uint32_t r = 1; r <= records; ++r) wanted.insert(r);
  std::set<uint32_t> found;
  for (const auto& [key, recno] : result.entries) {
    if (recno < 1 || recno > records || !found.insert(recno).second) {
      problems.push_back("bad or repeated record number " + std::to_string(recno));
      continue;
    }
    std::string recordKey;
    for (const KeyPart& part : expected.parts)
      recordKey += table.substr(headerLength + (recno - 1) * recordLength + static_cast<uint32_t>(part.offset),
                                static_cast<size_t>(part.width));
    if (recordKey != key)
      problems.push_back("record " + std::to_string(recno) + " has key " + recordKey + ", entry " + key);
  }
  if (!expected.unique && found != wanted)
    problems.push_back("entries for " + std::to_string(found.size()) + " records, expected " +
                       std::to_string(wanted.size()));
  return result;
}

// Offsets in the risks layout below.
const std::vector<DbfFieldSpec> kRiskFields = {
    {"COD_SEG", 'C', 5, 0}, {"APOLICE", 'C', 20, 0}, {"ITEM", 'C', 6, 0}, {"PREMIO", 'N', 14, 2}};
const std::vector<KeyPart> kPolicyAndItem = {{6, 20}, {26, 6}};

struct Risk {
  std::string apolice;
  std::string item;
  bool deleted = false;
  std::string codSeg = "05631";
};

std::string Pad(const std::string& text, size_t width) { return text + std::string(width - text.size(), ' '); }

std::string KeyOf(const Risk& risk) { return Pad(risk.apolice, 20) + Pad(risk.item, 6); }

// Policies in ascending order, three items each.
std::vector<Risk> OrderedRisks(int count) {
  std::vector<Risk> risks;
  for (int n = 0; n < count; ++n)
    risks.push_back({"10" + std::to_string(4000000 + n / 3), "00000" + std::to_string(1 + n % 3)});
  return risks;
}

// The same risks in a scrambled, repeatable order.
std::vector<Risk> ShuffledRisks(int count) {
  std::vector<Risk> risks = OrderedRisks(count);
  uint32_t seed = 2023;
  for (size_t i = risks.size(); i > 1; --i) {
    seed = seed * 1664525u + 1013904223u;
    std::swap(risks[i - 1], risks[(seed >> 8) % i]);
  }
  return risks;
}

class NtxIndexTest : public ::testing::Test {
 protected:
  std::string WriteRisks(const std::string& name, const std::vector<Risk>& risks) {
    DbfWriter writer(kRiskFields);
    for (const Risk& risk : risks) writer.AddRecord({risk.codSeg, risk.apolice, risk.item, "10.50"}, risk.deleted);
    const std::string path = dir_.File(name);
    writer.WriteTo(path);
    return path;
  }

  // Opens path in table (deleted records hidden unless told otherwise).
  void OpenTable(DbfTable& table, const std::string& path, bool hideDeleted = true) {
    table.SetDBFFileName(path);
    table.SetDeleted(hideDeleted);
    table.Open();
  }

  // The system's calling order up to the build.
  NtxIndex& BuildIndex(NtxIndexList& indexes, const std::string& expression = "apolice+item",
                       const std::string& file = "apolice.ntx") {
    NtxIndex& index = indexes.Add("apolice");
    index.SetKeyExpresion(expression);
    index.SetNTXFileName(dir_.File(file));
    index.SetCreateNow(true);
    return index;
  }

  ExpectedIndex Expected(const std::string& tablePath) const {
    ExpectedIndex expected;
    expected.tablePath = tablePath;
    expected.parts = kPolicyAndItem;
    return expected;
  }

  bool Find(NtxIndexList& indexes, const std::string& text) { return indexes.FindKey({Variant::String(text)}); }

  std::string CurrentKey(DbfTable& table) {
    return table.FieldByName("APOLICE").AsText() + table.FieldByName("ITEM").AsText();
  }

  tarvelo::testing::TempDir dir_;
  RegionalSettings settings_ = RegionalSettings::Brazilian();
  DbfTable table_{"tbRiscos", settings_};
  NtxIndexList indexes_{table_};
};

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
      if (found) ASSERT_NE(table.CurrentRecord()[0], '*') << i;
    }
    indexes.Delete(0);
    const CheckResult check = CheckNtxFile(dir_.File("apolice.ntx"), Expected(path));
    EXPECT_TRUE(check.problems.empty()) << check.Report();
    EXPECT_EQ(check.entries.size(), risks.size());
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

TEST_F(NtxIndexTest, DeletedRecordsAreIndexedButNotFoundWhenHidden) {
  const std::vector<Risk> risks = {{"1040000001", "000001", true},   // deleted duplicate first
                                   {"1040000001", "000001", false},  // found
                                   {"1040000002", "000001", true},   // only in a deleted record
                                   {"1040000003", "000001", false}};
  const std::string path = WriteRisks("riscos.dbf", risks);
  OpenTable(table_, path);
  BuildIndex(indexes_);
  ASSERT_TRUE(Find(indexes_, "1040000003" + Pad("", 10) + "000001"));
  EXPECT_EQ(table_.RecordNumber(), 4);
  EXPECT_TRUE(Find(indexes_, "1040000001" + Pad("", 10) + "000001"));
  EXPECT_EQ(table_.RecordNumber(), 2);
  // Not found: the position stays where it was.
  EXPECT_FALSE(Find(indexes_, "1040000002" + Pad("", 10) + "000001"));
  EXPECT_EQ(table_.RecordNumber(), 2);
  EXPECT_FALSE(table_.AtEnd());
  EXPECT_EQ(CurrentKey(table_), KeyOf(risks[1]));
  // Key order skips the hidden records.
  std::vector<int64_t> order;
  for (indexes_[0].First(); !table_.AtEnd(); indexes_[0].Next()) order.push_back(table_.RecordNumber());
  EXPECT_EQ(order, (std::vector<int64_t>{2, 4}));
  indexes_.Delete(0);
  indexes_.DBFIndexDefs().Delete(0);
  table_.Close();

  // Every record has an entry, deleted ones included.
  const CheckResult check = CheckNtxFile(dir_.File("apolice.ntx"), Expected(path));
  EXPECT_TRUE(check.problems.empty()) << check.Report();
  EXPECT_EQ(check.entries.size(), 4u);

  // With deleted records shown, the first duplicate is the one found.
  DbfTable shown("tbDados", settings_);
  NtxIndexList shownIndexes(shown);
  OpenTable(shown, path, false);
  BuildIndex(shownIndexes);
  EXPECT_TRUE(Find(shownIndexes, "1040000001"));
  EXPECT_EQ(shown.RecordNumber(), 1);
  EXPECT_TRUE(Find(shownIndexes, "1040000002"));
  EXPECT_EQ(shown.RecordNumber(), 3);
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

TEST_F(NtxIndexTest, SearchTextIsComparedOnItsLengthUpToTheKeyLength) {
  const std::vector<Risk> risks = {
      {"1040000001", "000001"}, {"1040000001", "000002"}, {"1040000020", "000001"}, {"abc", "000001"}};
  const std::string path = WriteRisks("riscos.dbf", risks);
  OpenTable(table_, path);
  BuildIndex(indexes_);
  // Narrower claim fields: the text is the beginning of a key.
  EXPECT_TRUE(Find(indexes_, "104000002"));
  EXPECT_EQ(table_.RecordNumber(), 3);
  EXPECT_TRUE(Find(indexes_, "1040000001"));
  EXPECT_EQ(table_.RecordNumber(), 1);
  EXPECT_TRUE(Find(indexes_, "1040000001          000002"));
  EXPECT_EQ(table_.RecordNumber(), 2);
  // Without the policy's blanks the item does not line up.
  EXPECT_FALSE(Find(indexes_, "1040000001000002"));
  // A longer text counts on its first 26 bytes.
  EXPECT_TRUE(Find(indexes_, "1040000020          000001 and more"));
  EXPECT_EQ(table_.RecordNumber(), 3);
  EXPECT_FALSE(Find(indexes_, "1040000020          000009 and more"));
  // Letter case counts.
  EXPECT_TRUE(Find(indexes_, "abc"));
  EXPECT_EQ(table_.RecordNumber(), 4);
  EXPECT_FALSE(Find(indexes_, "ABC"));
  EXPECT_FALSE(Find(indexes_, "1040000003"));
  // The empty text matches the first key.
  EXPECT_TRUE(Find(indexes_, ""));
  EXPECT_EQ(table_.RecordNumber(), 1);

  // Two values on a two-field key: each padded to its field's width.
  EXPECT_TRUE(indexes_.FindKey({Variant::String("1040000001"), Variant::String("000002")}));
  EXPECT_EQ(table_.RecordNumber(), 2);
  EXPECT_FALSE(indexes_.FindKey({Variant::String("1040000001"), Variant::String("00000")}));
  // A number turns into its text.
  EXPECT_FALSE(indexes_.FindKey({Variant::Integer(105)}));
  EXPECT_TRUE(indexes_.FindKey({Variant::Int64(104000002)}));
  EXPECT_EQ(table_.RecordNumber(), 3);
}

TEST_F(NtxIndexTest, OneValueOnAOneFieldKeyIsAnExactSearch) {
  const std::vector<Risk> risks = {{"1040000001", "000001"}, {"1040000002", "000001"}};
  const std::string path = WriteRisks("riscos.dbf", risks);
  OpenTable(table_, path);
  BuildIndex(indexes_, "APOLICE");
  EXPECT_TRUE(Find(indexes_, "1040000002"));  // padded with blanks to 20
  EXPECT_EQ(table_.RecordNumber(), 2);
  EXPECT_FALSE(Find(indexes_, "104000000"));                    // no prefix match
  EXPECT_TRUE(Find(indexes_, "1040000001          and more"));  // cut to the width
  EXPECT_EQ(table_.RecordNumber(), 1);
  EXPECT_FALSE(indexes_.FindKey({Variant::Null()}));  // twenty blanks
}

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
// that fails writes as a full disk does, and fork() for another process
// holding a lock (the lock between two runs is tested by the command
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
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    ::close(release[1]);  // so that the parent's end alone keeps it open
    const int fd = ::open(ntx.c_str(), O_RDWR);
    const char ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    char done;
    (void)!::read(release[0], &done, 1);
    _exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char ok = 'n';
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  OpenTable(table_, path);
  EXPECT_ERROR(DbfError, BuildIndex(indexes_), "NtxIndex.CreateIndex: Create error \"apolice\"");
  EXPECT_EQ(ReadBytes(ntx), held);
  (void)!::write(release[1], "x", 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(ready[0]);
  ::close(release[1]);

  indexes_[0].SetCreateNow(true);
  EXPECT_TRUE(Find(indexes_, "104000001"));
}
#endif

TEST_F(NtxIndexTest, ErrorsOfTheIndexAndItsLists) {
  const std::string path = WriteRisks("riscos.dbf", OrderedRisks(5));
  table_.SetDBFFileName(path);
  NtxIndex& index = indexes_.Add("apolice");
  // Closed table: the expression waits for the build, which fails first.
  index.SetKeyExpresion("apolice+itens");
  index.SetNTXFileName(dir_.File("apolice.ntx"));
  EXPECT_ERROR(DbfError, index.SetCreateNow(true), "NtxIndex.CreateIndex: Create index only on active DataSet");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("apolice.ntx")));

  table_.Open();
  EXPECT_ERROR(DatabaseError, index.SetCreateNow(true), "tbRiscos: Field 'ITENS' not found");
  EXPECT_ERROR(DatabaseError, index.SetKeyExpresion("Apolice+iTem+cod_ramo"), "tbRiscos: Field 'COD_RAMO' not found");
  EXPECT_ERROR(DbfError, index.SetKeyExpresion("apolice-item"),
               "NtxIndex.ParseExpression: Invalid expression \"apolice-item\"");

  // A control character empties the expression, which cannot be built.
  index.SetKeyExpresion("apolice\t+item");
  EXPECT_EQ(index.KeyExpresion(), "");
  EXPECT_ERROR(DbfError, index.SetCreateNow(true), "NtxIndex.ParseExpression: Invalid expression \"\"");
  EXPECT_NE(indexes_.ActiveIndex(), &index);

  EXPECT_ERROR(ListIndexError, indexes_.Delete(1), "List index out of bounds (1)");
  EXPECT_ERROR(ListIndexError, indexes_.Delete(-1), "List index out of bounds (-1)");
  EXPECT_ERROR(ListIndexError, (void)indexes_[3], "List index out of bounds (3)");
  EXPECT_ERROR(ListIndexError, indexes_.DBFIndexDefs().Delete(0), "List index out of bounds (0)");
  index.SetKeyExpresion("apolice+item");
  index.SetCreateNow(true);
  EXPECT_ERROR(ListIndexError, indexes_.DBFIndexDefs().Delete(1), "List index out of bounds (1)");
  EXPECT_EQ(indexes_.DBFIndexDefs().Count(), 1);
  EXPECT_EQ(indexes_.Count(), 1);
}

TEST_F(NtxIndexTest, SettingsNamesAndRecordedEntries) {
  const std::string path = WriteRisks("riscos.dbf", OrderedRisks(5));
  OpenTable(table_, path);
  NtxIndex& index = indexes_.Add("primeiro");
  EXPECT_EQ(index.Name(), "primeiro");
  EXPECT_NE(indexes_.ActiveIndex(), &index);
  EXPECT_FALSE(indexes_.FindKey({Variant::String("10")}));  // no active index
  EXPECT_TRUE(index.KeyTranslate());
  EXPECT_EQ(index.ClipperVer(), ClipperVersion::v500);
  EXPECT_FALSE(index.Unique());
  EXPECT_FALSE(index.Descending());
  EXPECT_EQ(index.ForExpresion(), "");

  index.SetNTXFileName(dir_.File("Apolice.Chave.ntx"));
  EXPECT_EQ(index.Name(), "Apolice");
  index.SetKeyExpresion("apolice+item");
  EXPECT_EQ(index.KeyExpresion(), "apolice+item");  // stored as given
  index.SetCreateNow(true);
  ASSERT_EQ(indexes_.DBFIndexDefs().Count(), 1);
  EXPECT_EQ(indexes_.DBFIndexDefs()[0].name, "Apolice.Chave");
  EXPECT_EQ(indexes_.DBFIndexDefs()[0].path, dir_.File("Apolice.Chave.ntx"));

  // A second index with a file of the same name (letter case aside) takes
  // over the entry and the active role.
  NtxIndex& second = indexes_.Add("segundo");
  second.SetKeyExpresion("item");
  second.SetNTXFileName(dir_.File("APOLICE.CHAVE.idx"));
  second.SetCreateNow(true);
  EXPECT_EQ(indexes_.DBFIndexDefs().Count(), 1);
  EXPECT_EQ(indexes_.DBFIndexDefs()[0].path, dir_.File("APOLICE.CHAVE.idx"));
  EXPECT_EQ(indexes_.ActiveIndex(), &second);
  EXPECT_NE(indexes_.ActiveIndex(), &index);
  EXPECT_TRUE(Find(indexes_, "000002"));
  // Deleting an inactive index leaves the active one.
  indexes_.Delete(0);
  EXPECT_EQ(indexes_.ActiveIndex(), &second);
  indexes_.Delete(0);
  EXPECT_EQ(indexes_.ActiveIndex(), nullptr);
  EXPECT_FALSE(Find(indexes_, "000002"));
  // The files stay on disk.
  EXPECT_TRUE(std::filesystem::exists(dir_.File("Apolice.Chave.ntx")));
  EXPECT_TRUE(std::filesystem::exists(dir_.File("APOLICE.CHAVE.idx")));
}

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

TEST_F(NtxIndexTest, CloseKeepsTheIndexAndOpenReopensItsFile) {
  const std::vector<Risk> risks = ShuffledRisks(500);
  const std::string path = WriteRisks("riscos.dbf", risks);
  OpenTable(table_, path);
  table_.Next();
  table_.Next();
  const int64_t standing = table_.RecordNumber();
  NtxIndex& index = BuildIndex(indexes_);
  // The build leaves the table on the record it stood on.
  EXPECT_EQ(table_.RecordNumber(), standing);
  table_.Close();
  EXPECT_FALSE(index.IsFileOpen());
  EXPECT_FALSE(indexes_.FindKey({Variant::String(risks[3].apolice)}));
  // Closing flushed the file.
  const CheckResult check = CheckNtxFile(dir_.File("apolice.ntx"), Expected(path));
  EXPECT_TRUE(check.problems.empty()) << check.Report();

  table_.Open();
  EXPECT_TRUE(index.IsFileOpen());
  ASSERT_EQ(indexes_.Count(), 1);
  EXPECT_TRUE(Find(indexes_, KeyOf(risks[3])));
  EXPECT_EQ(CurrentKey(table_), KeyOf(risks[3]));

  // The system's order: both entries deleted before closing, so the next
  // Open opens no index.
  indexes_.Delete(0);
  indexes_.DBFIndexDefs().Delete(0);
  table_.Close();
  table_.Open();
  EXPECT_EQ(indexes_.Count(), 0);
  EXPECT_FALSE(Find(indexes_, risks[3].apolice));
  // File order again.
  EXPECT_EQ(table_.RecordNumber(), 1);
  table_.Close();

  // A recorded entry without an index object gets one at Open; a missing
  // file makes Open fail and leaves the table closed.
  DbfTable other("tbOutra", settings_);
  NtxIndexList otherIndexes(other);
  OpenTable(other, path);
  // Walked past its end, the table stands on its last record again once
  // built, the record being visible and in the index.
  while (!other.AtEnd()) other.Next();
  BuildIndex(otherIndexes);
  EXPECT_FALSE(other.AtEnd());
  EXPECT_EQ(other.RecordNumber(), 500);
  otherIndexes.Delete(0);
  other.Close();
  other.Open();
  ASSERT_EQ(otherIndexes.Count(), 1);
  EXPECT_EQ(otherIndexes[0].Name(), "apolice");
  EXPECT_EQ(otherIndexes[0].KeyExpresion(), "apolice+item");
  EXPECT_TRUE(otherIndexes[0].IsFileOpen());
  other.Close();
  std::filesystem::remove(dir_.File("apolice.ntx"));
  EXPECT_ERROR(DbfError, other.Open(), "NtxIndex.OpenIndex: Open error \"" + dir_.File("apolice.ntx") + "\"");
  EXPECT_FALSE(other.IsOpen());
}

TEST(NtxPageCacheTest, PagesSurviveEvictionAndFlush) {
  tarvelo::testing::TempDir dir;
  const std::string path = dir.File("paginas.ntx");
  const os::LockedFile made = os::CreateLockedFile(path);
  ASSERT_TRUE(made.file.IsOpen()) << made.reason;
  const os::FileHandle fd = made.file.Handle();
  constexpr int kPage = NtxPageCache::kPageSize;
  {
    NtxPageCache cache(fd, path, 20);
    EXPECT_EQ(cache.Capacity(), 16u);  // a multiple of the ways, at least the minimum
    EXPECT_EQ(cache.Sets(), 2u);
    EXPECT_EQ(NtxPageCache(fd, path, 1).Capacity(), NtxPageCache::kMinCapacity);
    EXPECT_EQ(NtxPageCache(fd, path, 100).Capacity(), 96u);

    // 100 new pages in a cache of 16: most are written out as others come.
    const auto fill = [](uint8_t* page, uint32_t number) {
      for (int i = 0; i < kPage; ++i) page[i] = static_cast<uint8_t>(number * 7 + static_cast<uint32_t>(i));
    };
    const auto holds = [](const uint8_t* page, uint32_t number) {
      for (int i = 0; i < kPage; ++i) {
        if (page[i] != static_cast<uint8_t>(number * 7 + static_cast<uint32_t>(i))) return false;
      }
      return true;
    };
    for (uint32_t number = 1; number <= 100; ++number) fill(cache.Allocate(number * kPage), number);
    EXPECT_EQ(cache.Peek(1 * kPage), nullptr);
    ASSERT_NE(cache.Peek(100 * kPage), nullptr);
    EXPECT_TRUE(holds(cache.Peek(100 * kPage), 100));

    // Pages read back from the file; a change marked for writing survives
    // its eviction.
    bool loaded = false;
    uint8_t* page = cache.Fetch(3 * kPage, true, loaded);
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(holds(page, 3));
    page[0] = 0xEE;
    // A page stays put while fewer pages than the ways of its set are
    // fetched after it (pages of one set lie Sets() pages apart).
    for (uint32_t other = 1; other < NtxPageCache::kWays; ++other)
      (void)cache.Fetch((3 + 2 * other) * kPage, false, loaded);
    EXPECT_EQ(page[0], 0xEE);
    for (uint32_t other = 20; other < 60; ++other) (void)cache.Fetch(other * kPage, false, loaded);
    EXPECT_EQ(cache.Peek(3 * kPage), nullptr);
    page = cache.Fetch(3 * kPage, true, loaded);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(page[0], 0xEE);
    page[0] = static_cast<uint8_t>(3 * 7);

    EXPECT_ERROR(DbfError, cache.Fetch(200 * kPage, false, loaded), "NtxIndex.ReadPage: Read error \"" + path + "\"");
    cache.Flush();
  }
  // Every page on disk, the ones flushed last included.
  const std::string bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 101u * kPage);
  for (uint32_t number = 1; number <= 100; ++number) {
    for (int i = 0; i < kPage; i += 97)
      ASSERT_EQ(static_cast<uint8_t>(bytes[number * kPage + static_cast<uint32_t>(i)]),
                static_cast<uint8_t>(number * 7 + static_cast<uint32_t>(i)))
          << "page " << number << " byte " << i;
  }
}

}  // namespace
}  // namespace tarvelo
