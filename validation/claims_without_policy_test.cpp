#include "validation/claims_without_policy.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "dbf/ntx_build.h"
#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using testing::DbfWriter;

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
  BuildPolicyIndex(risksTable, dir.File("apolice.ntx"), 1);
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
        CountClaimsWithoutPolicyItem(risksTable, claimsTable, settings, &inFileOrder, search);
    search.order = ClaimsSearchOrder::kKeyOrder;
    search.sortBytes = NtxKeySorter::kMinBudget;
    const ClaimsSearchResult keyOrder =
        CountClaimsWithoutPolicyItem(risksTable, claimsTable, settings, &inKeyOrder, search);
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
    EXPECT_THROW(CountClaimsWithoutPolicyItem(risksTable, claimsTable, settings, nullptr, search), RunStoppedError);
    EXPECT_EQ(asked, 3);
  }
  risksTable.Indexes().Delete(0);
}

}  // namespace
}  // namespace tarvelo
