#include "ntx/ntx_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ntx/ntx_build.h"
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

}  // namespace
}  // namespace tarvelo
