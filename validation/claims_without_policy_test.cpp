#include "validation/claims_without_policy.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "ntx/ntx_build.h"
#include "os/held_file.h"
#include "os/temporary_file.h"
#include "testing/dbf_writer.h"
#include "testing/run_fixture.h"
#include "testing/temp_dir.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using testing::Closing;
using testing::Contains;
using testing::DbfWriter;
using testing::FieldRuleRow;
using testing::kMissesSentence;
using testing::kRule;
using testing::Lines;
using testing::Pad;
using testing::RunTest;

// The rows of claims without a policy item: record, policy, item.
class RowsKept : public DetailSink {
 public:
  std::vector<std::tuple<int64_t, std::string, std::string>> rows;
  void BeginFile(const std::string&, const std::string&) override {}
  void Row(const DetailRow& row) override { rows.emplace_back(row.record, row.policy, row.item); }
};

std::string Policy(int n) { return "P" + std::to_string(n / 3); }
std::string Item(int n) { return "000" + std::to_string(1 + n % 3); }

// Searched in key order, with the claims' keys sorted in several runs on
// file, the claims without a policy item are those one search per claim
// in file order finds, and their rows come in the claims file's order:
// scrambled files, keys that repeat, deleted risks (alone or before a live
// copy), claims in lower case, claims padded with NUL bytes, and claims
// with a narrower item field, whose keys are the beginnings of risks keys.
TEST(ClaimsWithoutPolicyItem, KeyOrderFindsWhatFileOrderFinds) {
  testing::TempDir dir;
  const RegionalSettings settings = RegionalSettings::Brazilian();
  constexpr int kRisks = 4000, kClaims = 6000;

  DbfWriter risks({{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 10}, {"ITEM", 'C', 4}});
  std::set<std::string> live;
  for (int i = 0; i < kRisks; ++i) {
    const int n = static_cast<int>((i * 2654435761u) % kRisks);  // every number once, scrambled
    const bool deleted = n % 11 == 0;
    risks.AddRecord({"05631", Policy(n), Item(n)}, deleted);
    if (!deleted) live.insert(Policy(n) + std::string(10 - Policy(n).size(), ' ') + Item(n));
    if (deleted && n % 22 == 0) {
      risks.AddRecord({"05631", Policy(n), Item(n)});  // a live copy after the deleted one
      live.insert(Policy(n) + std::string(10 - Policy(n).size(), ' ') + Item(n));
    }
  }
  risks.WriteTo(dir.File("riscos.dbf"));

  const auto claimsFile = [&](const std::string& name, int itemWidth) {
    DbfWriter claims({{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 10}, {"ITEM", 'C', itemWidth}});
    int expected = 0;
    for (int i = 0; i < kClaims; ++i) {
      const int n = static_cast<int>((i * 7919u) % 5000);  // 4000 and above: no such policy
      std::string policy = Policy(n);
      const std::string item = itemWidth == 4 ? Item(n) : (i % 3 == 0 ? "00" : "01");
      if (i % 97 == 0) policy[0] = 'p';
      if (i % 89 == 0) {
        std::string record = claims.EncodeRecord({"05631", "", ""});
        record.replace(6, policy.size(), policy);  // NUL bytes after the policy
        record.replace(6 + policy.size(), 10 - policy.size(), std::string(10 - policy.size(), '\0'));
        record.replace(16, item.size(), item);
        claims.AddRawRecord(record);
      } else {
        claims.AddRecord({"05631", policy, item}, i % 50 == 0);
        if (i % 50 == 0) continue;
      }
      expected += itemWidth == 4 && live.count(policy + std::string(10 - policy.size(), ' ') + item) == 0;
    }
    claims.WriteTo(dir.File(name));
    return expected;
  };
  const int expectedMisses = claimsFile("sinistros.dbf", 4);
  claimsFile("sinistros_curtos.dbf", 2);

  DbfTable risksTable("tbRiscos", settings);
  risksTable.SetDeleted(true);
  risksTable.SetDBFFileName(dir.File("riscos.dbf"));
  risksTable.Open();
  std::unique_ptr<NtxIndex> index = BuildPolicyIndex(risksTable, dir.File("apolice.ntx"), 1);
  for (const char* name : {"sinistros.dbf", "sinistros_curtos.dbf"}) {
    SCOPED_TRACE(name);
    DbfTable claimsTable("tbSinistros", settings);
    claimsTable.SetDeleted(true);
    claimsTable.SetDBFFileName(dir.File(name));
    claimsTable.Open();
    RowsKept inFileOrder, inKeyOrder;
    ClaimsSearch search;
    search.order = ClaimsSearchOrder::kFileOrder;
    const ClaimsSearchResult fileOrder =
        CountClaimsWithoutPolicyItem(*index, claimsTable, settings, &inFileOrder, search);
    search.order = ClaimsSearchOrder::kKeyOrder;
    search.sortBytes = NtxKeySorter::kMinBudget;
    const ClaimsSearchResult keyOrder =
        CountClaimsWithoutPolicyItem(*index, claimsTable, settings, &inKeyOrder, search);
    EXPECT_GE(keyOrder.runsOnFile, 3u);
    EXPECT_EQ(keyOrder.misses, fileOrder.misses);
    EXPECT_EQ(inKeyOrder.rows, inFileOrder.rows);
    EXPECT_EQ(static_cast<int64_t>(inKeyOrder.rows.size()), keyOrder.misses);
    EXPECT_GT(keyOrder.misses, 100);
    EXPECT_LT(keyOrder.misses, kClaims - 100);
    if (std::string(name) == "sinistros.dbf") {
      EXPECT_EQ(keyOrder.misses, expectedMisses);
    }
    // Asked to stop while searching (its third question, past the claims
    // read), the search ends.
    int asked = 0;
    search.stopRequested = [&] { return ++asked == 3; };
    EXPECT_THROW(CountClaimsWithoutPolicyItem(*index, claimsTable, settings, nullptr, search), RunStoppedError);
    EXPECT_EQ(asked, 3);
  }
  index.reset();
}

// A claims file whose ITEM is numeric (a catalogue may make it so) is
// searched as the sum of the policy and the item, in file order whatever
// the order asked: both orders end alike, with the same count or the same
// error.
TEST(ClaimsWithoutPolicyItem, NumericItemGivesTheSameOutcomeInEitherOrder) {
  testing::TempDir dir;
  const RegionalSettings settings = RegionalSettings::Brazilian();
  DbfWriter risks({{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 10}, {"ITEM", 'C', 4}});
  for (int n = 0; n < 50; ++n) risks.AddRecord({"05631", Policy(n), Item(n)});
  risks.WriteTo(dir.File("riscos.dbf"));
  DbfWriter claims({{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 10}, {"ITEM", 'N', 4}});
  for (int n = 0; n < 80; ++n) claims.AddRecord({"05631", Policy(n), std::to_string(1 + n % 3)});
  claims.WriteTo(dir.File("sinistros.dbf"));

  DbfTable risksTable("tbRiscos", settings);
  risksTable.SetDeleted(true);
  risksTable.SetDBFFileName(dir.File("riscos.dbf"));
  risksTable.Open();
  std::unique_ptr<NtxIndex> index = BuildPolicyIndex(risksTable, dir.File("apolice.ntx"), 1);
  DbfTable claimsTable("tbSinistros", settings);
  claimsTable.SetDeleted(true);
  claimsTable.SetDBFFileName(dir.File("sinistros.dbf"));
  claimsTable.Open();
  const auto outcome = [&](ClaimsSearchOrder order) {
    ClaimsSearch search;
    search.order = order;
    try {
      return std::to_string(CountClaimsWithoutPolicyItem(*index, claimsTable, settings, nullptr, search).misses);
    } catch (const TarveloError& error) {
      return std::string(error.what());
    }
  };
  EXPECT_EQ(outcome(ClaimsSearchOrder::kKeyOrder), outcome(ClaimsSearchOrder::kFileOrder));
  index.reset();
}

// The claims without a policy item are marked by record number, 64 to a
// word, in key order: at claims files whose records end just before, at and
// just after a word's end, every such claim gives its row, and no other.
TEST(ClaimsWithoutPolicyItem, RowsAtTheEndsOfTheMarkWords) {
  testing::TempDir dir;
  const RegionalSettings settings = RegionalSettings::Brazilian();
  DbfWriter risks({{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 10}, {"ITEM", 'C', 4}});
  risks.AddRecord({"05631", "P1", "0001"});
  risks.WriteTo(dir.File("riscos.dbf"));
  DbfTable risksTable("tbRiscos", settings);
  risksTable.SetDeleted(true);
  risksTable.SetDBFFileName(dir.File("riscos.dbf"));
  risksTable.Open();
  std::unique_ptr<NtxIndex> index = BuildPolicyIndex(risksTable, dir.File("apolice.ntx"), 1);
  for (const int count : {63, 64, 65, 127, 128, 129}) {
    SCOPED_TRACE(count);
    // Every third claim has its policy item, the others (the last among
    // them) have none.
    DbfWriter claims({{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 10}, {"ITEM", 'C', 4}});
    std::vector<int64_t> expected;
    for (int record = 1; record <= count; ++record) {
      const bool known = record % 3 == 1 && record != count;
      claims.AddRecord({"05631", known ? "P1" : "P" + std::to_string(record + 1), "0001"});
      if (!known) expected.push_back(record);
    }
    const std::string name = "sinistros" + std::to_string(count) + ".dbf";
    claims.WriteTo(dir.File(name));
    DbfTable claimsTable("tbSinistros", settings);
    claimsTable.SetDeleted(true);
    claimsTable.SetDBFFileName(dir.File(name));
    claimsTable.Open();
    RowsKept kept;
    ClaimsSearch search;
    search.order = ClaimsSearchOrder::kKeyOrder;
    const ClaimsSearchResult result = CountClaimsWithoutPolicyItem(*index, claimsTable, settings, &kept, search);
    EXPECT_EQ(result.misses, static_cast<int64_t>(expected.size()));
    std::vector<int64_t> records;
    for (const auto& row : kept.rows) records.push_back(std::get<0>(row));
    EXPECT_EQ(records, expected);
  }
  index.reset();
}

TEST(ClaimsWithoutPolicySentence, WordingAndShareWithoutOverflow) {
  const auto br = RegionalSettings::Brazilian();
  EXPECT_EQ(ClaimsWithoutPolicySentence(12, 1500, br), std::string("12") + kMissesSentence + "1500 sinistros (0,80%).");
  EXPECT_EQ(ClaimsWithoutPolicySentence(0, 7, br), std::string("0") + kMissesSentence + "7 sinistros (0,00%).");
  // Past 21,474,836 misses the product by 100 leaves 32 bits.
  EXPECT_EQ(ClaimsWithoutPolicySentence(30000000, 40000000, br),
            std::string("30000000") + kMissesSentence + "40000000 sinistros (75,00%).");
}

// Claims against risks through the temporary index.
class ClaimsTest : public RunTest {
 protected:
  void AddRisk(const std::string& policy, const std::string& item, bool deleted = false) {
    risks.AddRecord({"05631", policy, item, "61", "20230101", "1.00"}, deleted);
  }
  void AddClaim(const std::string& policy, const std::string& item, bool deleted = false) {
    claims.AddRecord({"05631", policy, item, "61", "20230101", "1.00"}, deleted);
  }
  Lines RunBoth() {
    setup.risk = Write(risks, "r.dbf");
    setup.claim = Write(claims, "s.dbf");
    return Run();
  }
  std::string Sentence(int misses, int claimCount, const std::string& share) {
    return std::to_string(misses) + kMissesSentence + std::to_string(claimCount) + " sinistros (" + share + "%).";
  }
  bool IndexFileExists() const { return std::filesystem::exists(dir.File("apolice.ntx")); }

  DbfWriter risks = RisksWriter();
  DbfWriter claims = ClaimsWriter();
};

TEST_F(ClaimsTest, EveryClaimFoundGivesZeroAndLeavesNoIndexFile) {
  AddRisk("P1", "0001");
  AddRisk("P1", "0002");
  AddClaim("P1", "0002");
  AddClaim("P1", "0001");
  const Lines log = RunBoth();
  const Lines tail(log.end() - 10, log.end() - 6);
  EXPECT_EQ(tail, (Lines{kRule, "", Sentence(0, 2, "0,00"), ""}));
  EXPECT_EQ(Lines(log.end() - 6, log.end()), Closing());
  EXPECT_FALSE(IndexFileExists());
}

TEST_F(ClaimsTest, MissesAreCountedPerClaim) {
  AddRisk("P1", "0001");
  AddRisk("P2", "0001", true);  // only in a deleted record: not found
  AddRisk("P3", "0001", true);  // deleted duplicate before a live one: found
  AddRisk("P3", "0001");
  AddClaim("P1", "0002");  // policy exists with another item
  AddClaim("P9", "0001");  // two claims on the same missing item
  AddClaim("P9", "0001");
  AddClaim("P2", "0001");
  AddClaim("P3", "0001");
  AddClaim("p1", "0001");  // keys are case-sensitive
  AddClaim("P1", "0001");
  AddClaim("P8", "0001", true);  // a deleted claim is in neither number
  EXPECT_TRUE(Contains(RunBoth(), Sentence(5, 7, "71,43")));
}

TEST_F(ClaimsTest, NarrowerClaimFieldsMatchByPrefix) {
  claimsRules[2].tamanho = "2";
  claims = DbfWriter({{"COD_SEG", 'C', 5},
                      {"APOLICE", 'C', 10},
                      {"ITEM", 'C', 2},
                      {"COD_MOD", 'N', 2},
                      {"D_AVISO", 'C', 8},
                      {"INDENIZ", 'N', 14, 2}});
  AddRisk("1234567890", "0001");
  AddClaim("1234567890", "00");  // "123456789000" begins the risks key
  AddClaim("1234567890", "01");
  EXPECT_TRUE(Contains(RunBoth(), Sentence(1, 2, "50,00")));
}

TEST_F(ClaimsTest, ClaimTextsPaddedWithNulBytesAreFilledWithBlanks) {
  AddRisk("P1", "01");
  AddRisk("P22", "0002");
  // APOLICE (10 bytes from 6) and ITEM (4 bytes from 16) padded with NULs.
  const auto nulPadded = [&](const std::string& policy, const std::string& item) {
    std::string record = claims.EncodeRecord({"05631", "", "", "61", "20230101", "1.00"});
    record.replace(6, 10, policy + std::string(10 - policy.size(), '\0'));
    record.replace(16, 4, item + std::string(4 - item.size(), '\0'));
    claims.AddRawRecord(record);
  };
  nulPadded("P1", "01");
  nulPadded("P22", "0002");
  nulPadded("P9", "01");  // no such policy: still a miss
  AddClaim("P1", "01");   // blank padding gives what it always gave
  AddClaim("P1", "0");
  EXPECT_TRUE(Contains(RunBoth(), Sentence(2, 5, "40,00")));
}

TEST_F(ClaimsTest, SkippedWithoutUsableRisksFile) {
  risks = DbfWriter({{"COD_SEG", 'C', 5}});  // wrong structure
  risks.AddRecord({"05631"});
  AddClaim("P1", "0001");
  const Lines log = RunBoth();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.find(kMissesSentence) != std::string::npos; }),
            0);
  EXPECT_FALSE(IndexFileExists());
}

TEST_F(ClaimsTest, RunsWhenOnlyAnEarlierFileHadAnotherCompany) {
  // The risks file stops at a second company, yet it was counted, and the
  // claims file (the last one opened) passed: the test runs.
  AddRisk("P1", "0001");
  risks.AddRecord({"99999", "P2", "0001", "61", "20230101", "1.00"});
  AddClaim("P2", "0001");
  const Lines log = RunBoth();
  EXPECT_TRUE(Contains(log, "Erro: mais de uma empresa encontrada no arquivo da tabela " + Pad("RISCOS", 20)));
  // Only the records the loop read were checked, but the index covers the
  // whole risks file.
  EXPECT_TRUE(Contains(log, Sentence(0, 1, "0,00")));
}

// Files are read under a shared lock: one file in both boxes is read as
// both.
TEST_F(ClaimsTest, SameFileInBothBoxesCannotBeOpenedTwice) {
  // One file that passes both layouts (they are the same here) and has the
  // fields of both totals tests.
  DbfWriter both({{"COD_SEG", 'C', 5},
                  {"APOLICE", 'C', 10},
                  {"ITEM", 'C', 4},
                  {"INICIO_VIG", 'C', 8},
                  {"D_AVISO", 'C', 8},
                  {"COD_MOD", 'N', 2},
                  {"PREMIO", 'N', 14, 2},
                  {"INDENIZ", 'N', 14, 2}});
  both.AddRecord({"05631", "P1", "0001", "20230101", "20230101", "61", "1.00", "1.00"});
  risksRules.clear();
  claimsRules.clear();
  int position = 0;
  for (const auto& field : both.Fields()) {
    const std::string type = field.type == 'C' ? "1" : field.decimals > 0 ? "6" : "3";
    const std::string size = field.type == 'C' ? std::to_string(field.length) : "0";
    ++position;
    risksRules.push_back({"RISCOS", field.name, "", type, size, "0", "1", "0", "0", std::to_string(position)});
    claimsRules.push_back({"SINISTROS", field.name, "", type, size, "0", "1", "0", "0", std::to_string(position)});
  }
  setup.risk = setup.claim = Write(both, "both.dbf");
  const Failure failure = RunFailing<DbfError>();
  EXPECT_EQ(failure.message, "DbfTable.InternalOpen: Open error \"" + setup.claim + "\"");
  EXPECT_EQ(failure.reason, kFileInUse);
  EXPECT_EQ(state.riskCount, 1);
  EXPECT_EQ(state.claimCount, 1);
  EXPECT_FALSE(IndexFileExists());
}

// A leftover index is replaced; any other file at its name is left as it
// is and the run says why.
TEST_F(ClaimsTest, OnlyALeftoverIndexIsReplaced) {
  AddRisk("P1", "0001");
  AddClaim("P1", "0001");
  const std::string index = dir.File("apolice.ntx");
  testing::WriteFile(index, "left over by an earlier run");
  setup.risk = Write(risks, "r.dbf");
  setup.claim = Write(claims, "s.dbf");
  const Failure notAnIndex = RunFailing<IndexInTheWayError>();
  EXPECT_EQ(notAnIndex.message, "NtxIndex.CreateIndex: Create error \"apolice\"");
  EXPECT_EQ(notAnIndex.reason, kNotAnIndexInTheWay);
  EXPECT_EQ(notAnIndex.where, "Arquivo: " + index);
  EXPECT_EQ(testing::ReadFile(index), "left over by an earlier run");

  // An index an earlier build left.
  std::filesystem::remove(index);
  {
    DbfTable table("tbRiscos", setup.settings);
    table.SetDBFFileName(setup.risk);
    table.Open();
    NtxIndex leftover(table, "apolice");
    leftover.SetKeyExpresion("apolice+item");
    leftover.SetNTXFileName(index);
    leftover.SetCreateNow(true);
  }
  ASSERT_TRUE(IndexFileExists());
  ValidationRun run = setup.NewRun();
  run.Execute();
  EXPECT_TRUE(Contains(setup.lines, Sentence(0, 1, "0,00")));
  EXPECT_FALSE(IndexFileExists());

  // An empty file, as a build leaves that ended before its header, or
  // another run's made an instant ago and not yet locked (that run then
  // builds under another name).
  testing::WriteFile(index, "");
  run.Execute();
  EXPECT_TRUE(Contains(setup.lines, Sentence(0, 1, "0,00")));
  EXPECT_FALSE(IndexFileExists());
}

// Runs at once in one index folder (here: other holders of the index's
// names, as runs building there hold them): the run builds under the first
// name none holds, leaves the others' files as they are, and removes its
// own at its end, or when a signal ends the program.
TEST_F(ClaimsTest, ARunWhoseIndexNameIsHeldBuildsUnderAnotherOfItsOwn) {
  AddRisk("P1", "0001");
  AddClaim("P1", "0001");
  AddClaim("P9", "0001");  // a miss: its row comes while the index exists
  const std::string first = dir.File("apolice.ntx"), second = dir.File("apolice-1.ntx"),
                    own = dir.File("apolice-2.ntx");
  testing::WriteFile(first, "another run's");
  testing::WriteFile(second, "");
  struct Watching : DetailSink {
    std::string own;
    bool built = false, removedBySignal = false;
    void BeginFile(const std::string&, const std::string&) override {}
    void Row(const DetailRow& row) override {
      if (row.rule != DetailRule::NoPolicy) return;
      built = testing::FileExists(own);
#ifndef _WIN32
      // Not on Windows, where a file held open keeps its name until it is
      // closed.
      os::RemoveTemporaryFiles();  // as a signal's handler would
      removedBySignal = !testing::FileExists(own);
#endif
    }
  } sink;
  sink.own = own;
  setup.details = &sink;
  {
    const os::HeldFile held(first), heldToo(second);
    ASSERT_TRUE(held.Holds() && heldToo.Holds());
    EXPECT_TRUE(Contains(RunBoth(), Sentence(1, 2, "50,00")));
  }
  EXPECT_TRUE(sink.built);
#ifndef _WIN32
  EXPECT_TRUE(sink.removedBySignal);
#endif
  EXPECT_FALSE(testing::FileExists(own));
  EXPECT_EQ(testing::ReadFile(first), "another run's");
  EXPECT_TRUE(testing::FileExists(second));
  EXPECT_EQ(PolicyIndexName("/a.b/apolice.ntx", 12), "/a.b/apolice-12.ntx");
  EXPECT_EQ(PolicyIndexName("/a.b/apolice", 3), "/a.b/apolice-3");
}

#ifndef _WIN32
// Not on Windows, where a file that the run holds open keeps its name until
// it is closed: no other can be made there meanwhile.
//
// The index file removed and another made at its name while the run
// searches (another run's, say): neither the run's own removal nor the
// cleanup a signal would make touches the newcomer.
TEST_F(ClaimsTest, RemovalLeavesAFileMadeAtTheIndexNameSinceTheBuild) {
  AddRisk("P1", "0001");
  AddClaim("P9", "0001");  // a miss: its row comes while the index exists
  struct Replacing : DetailSink {
    std::string index;
    bool replaced = false;
    std::string afterSignalCleanup;
    void BeginFile(const std::string&, const std::string&) override {}
    void Row(const DetailRow& row) override {
      if (row.rule != DetailRule::NoPolicy || replaced) return;
      replaced = std::filesystem::remove(index);
      testing::WriteFile(index, "another's");
      os::RemoveTemporaryFiles();
      afterSignalCleanup = testing::ReadFile(index);
    }
  } sink;
  sink.index = dir.File("apolice.ntx");
  setup.details = &sink;
  EXPECT_TRUE(Contains(RunBoth(), Sentence(1, 1, "100,00")));
  EXPECT_TRUE(sink.replaced);
  EXPECT_EQ(sink.afterSignalCleanup, "another's");
  EXPECT_EQ(testing::ReadFile(dir.File("apolice.ntx")), "another's");
}
#endif

#ifndef _WIN32
// Not on Windows: the file size limit, and symbolic links, permissions and
// owners made the POSIX way (a symbolic link there needs a privilege users
// lack).
//
// Runs body while no file may grow past 8192 bytes: writes beyond fail
// as they would on a full disk.
void WithSmallFileSizeLimit(const std::function<void()>& body) {
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit small{8192, limit.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  body();
  ::setrlimit(RLIMIT_FSIZE, &limit);
  ::signal(SIGXFSZ, previous);
}

TEST_F(ClaimsTest, IndexIsCreatedNewNeverThroughALinkWhoeverOwnsTheLeftover) {
  AddRisk("P1", "0001");
  AddClaim("P1", "0001");
  // A link planted in the folder: its target outside stays as it was.
  testing::TempDir elsewhere;
  testing::WriteFile(elsewhere.File("target"), "not an index");
  ASSERT_EQ(::symlink(elsewhere.File("target").c_str(), dir.File("apolice.ntx").c_str()), 0);
  EXPECT_TRUE(Contains(RunBoth(), Sentence(0, 1, "0,00")));
  EXPECT_EQ(testing::ReadFile(elsewhere.File("target")), "not an index");
  EXPECT_FALSE(IndexFileExists());
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("apolice.ntx")));

  // A file of another user that this one may not write: left as it is.
  testing::WriteFile(dir.File("apolice.ntx"), "left over");
  ASSERT_EQ(::chmod(dir.File("apolice.ntx").c_str(), 0444), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(dir.File("apolice.ntx").c_str(), 65534, 65534), 0);
  }
  EXPECT_EQ(RunFailing<IndexInTheWayError>().reason, kReadOnlyInTheWay);
  EXPECT_EQ(testing::ReadFile(dir.File("apolice.ntx")), "left over");
}
#endif

TEST_F(ClaimsTest, IndexFileIsRemovedWhenAnErrorEndsTheRun) {
  // A claims layout whose item field has another name passes its check,
  // then the search cannot join the key: the error comes with the index
  // built.
  const std::vector<FieldRuleRow> claimsLayout = claimsRules;
  claimsRules[2].campo = "ITEN";
  claims = DbfWriter({{"COD_SEG", 'C', 5},
                      {"APOLICE", 'C', 10},
                      {"ITEN", 'C', 4},
                      {"COD_MOD", 'N', 2},
                      {"D_AVISO", 'C', 8},
                      {"INDENIZ", 'N', 14, 2}});
  AddClaim("P1", "0001");
  for (int i = 0; i < 1000; ++i) AddRisk("P" + std::to_string(i), "0001");
  setup.risk = Write(risks, "r.dbf");
  setup.claim = Write(claims, "s.dbf");
  EXPECT_EQ(RunFailing<DatabaseError>().message, "tbSinistros: Field 'item' not found");
  EXPECT_FALSE(IndexFileExists());

#ifndef _WIN32  // no file size limit on Windows
  // A write that fails while the index is built (here: a file size limit,
  // as a full disk would): the partial file goes too.
  claimsRules = claimsLayout;
  claims = ClaimsWriter();
  AddClaim("P1", "0001");
  setup.claim = Write(claims, "s.dbf");
  WriteCatalogue();
  ValidationRun run = setup.NewRun();
  std::string message, reason;
  WithSmallFileSizeLimit([&] {
    try {
      run.Execute();
    } catch (const DbfError& error) {
      message = error.what();
      reason = error.Reason();
    }
  });
  EXPECT_EQ(message, "NtxIndex.WritePage: Write error \"" + dir.File("apolice.ntx") + "\"");
  EXPECT_EQ(reason, "File too large");
  EXPECT_FALSE(IndexFileExists());
#endif
}

#ifndef _WIN32
// Not on Windows, where a byte that is no UTF-8 is no part of a file name
// (the command line's tests open names outside the code page there).
TEST_F(ClaimsTest, NamesOutsideTheCodePageOpenAndShowQuestionMarks) {
  // A catalogue folder and a risks file whose names hold characters code
  // page 1252 lacks, and a byte that is no UTF-8.
  const std::string folder = dir.File("cat-\xe4\xb8\xad/");
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  setup.folder = folder;
  std::vector<FieldRuleRow> rows = risksRules;
  rows.insert(rows.end(), claimsRules.begin(), claimsRules.end());
  testing::WriteTabelas(folder + "tabelas.dbf", rows);
  testing::WriteAnexos(folder + "anexos.dbf", domain);
  testing::WriteQdp(folder + "DadosQdp.DBF", qdp);
  AddRisk("P1", "0001");
  AddClaim("P1", "0001");
  setup.risk = folder + "riscos-\xd1\x88-\xe9.dbf";
  risks.WriteTo(setup.risk);
  setup.claim = Write(claims, "s.dbf");
  ValidationRun run = setup.NewRun();
  run.Execute();
  const Lines& log = setup.lines;
  EXPECT_TRUE(Contains(log, "Arquivo: " + dir.Path() + "cat-?/riscos-?-?.dbf"));
  EXPECT_TRUE(Contains(log, "Arquivo: " + setup.claim));
  EXPECT_TRUE(Contains(log, Sentence(0, 1, "0,00")));
  EXPECT_FALSE(std::filesystem::exists(folder + "apolice.ntx"));
}
#endif

// Completed and failed runs of every kind leave every data and catalogue
// file as it was, and no index file.
TEST_F(ClaimsTest, NoRunChangesAFileOrLeavesTheIndex) {
  for (int i = 0; i < 1000; ++i) AddRisk("P" + std::to_string(i), "0001");
  AddClaim("P1", "0001");
  AddClaim("P9", "0002");
  const std::string riskPath = Write(risks, "r.dbf");
  const std::string claimPath = Write(claims, "s.dbf");
  WriteCatalogue();
  std::map<std::string, std::string> files;
  for (const char* name : {"r.dbf", "s.dbf", "tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"})
    files[name] = testing::ReadFile(dir.File(name));
  const std::string index = dir.File("apolice.ntx");

  std::string ended;  // how the last run ended: its error, or "completed"
  const auto runOnce = [&](const std::string& risk, const std::string& claim) {
    setup.risk = risk;
    setup.claim = claim;
    ValidationRun run = setup.NewRun();
    try {
      run.Execute();
      ended = "completed";
    } catch (const TarveloError& error) {
      ended = error.what();
    }
  };
  const auto holding = [&](const std::string& path, const std::function<void()>& body) {
    const os::HeldFile held(path, true);
    ASSERT_TRUE(held.Holds());
    body();
  };
  // Each kind of run, with the beginning of how it ends.
  const std::vector<std::tuple<std::string, std::string, std::function<void()>>> kinds = {
      {"completed", "completed", [&] { runOnce(riskPath, claimPath); }},
      {"only the risks file", "completed", [&] { runOnce(riskPath, ""); }},
      {"a missing claims file", "DbfTable.InternalOpen: Open error",
       [&] { runOnce(riskPath, dir.File("absent.dbf")); }},
      {"one file in both boxes", "completed", [&] { runOnce(riskPath, riskPath); }},
      {"a held catalogue file", "DbfTable.InternalOpen: Open error",
       [&] { holding(dir.File("anexos.dbf"), [&] { runOnce(riskPath, claimPath); }); }},
      {"a held index file", "completed",  // under another name
       [&] {
         holding(index, [&] { runOnce(riskPath, claimPath); });
         std::filesystem::remove(index);
       }},
#ifndef _WIN32  // no symbolic links nor file size limit made on Windows
      {"a planted link", "completed",
       [&] {
         ASSERT_EQ(::symlink(dir.File("tabelas.dbf").c_str(), index.c_str()), 0);
         runOnce(riskPath, claimPath);
       }},
      {"a failed index write", "NtxIndex.WritePage: Write error",
       [&] { WithSmallFileSizeLimit([&] { runOnce(riskPath, claimPath); }); }},
#endif
  };
  for (const auto& [kind, end, body] : kinds) {
    body();
    EXPECT_EQ(ended.rfind(end, 0), 0u) << kind << ": " << ended;
    for (const auto& [name, bytes] : files) EXPECT_EQ(testing::ReadFile(dir.File(name)), bytes) << kind << ": " << name;
    EXPECT_FALSE(std::filesystem::exists(index) || std::filesystem::is_symlink(index)) << kind;
    EXPECT_FALSE(std::filesystem::exists(PolicyIndexName(index, 1))) << kind;
  }
}

}  // namespace
}  // namespace tarvelo
