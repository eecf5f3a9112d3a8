#include "ntx/ntx_index.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ntx/ntx_index_list.h"
#include "ntx/ntx_test_support.h"

namespace tarvelo {
namespace {

using namespace ntx_testing;

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

}  // namespace
}  // namespace tarvelo
