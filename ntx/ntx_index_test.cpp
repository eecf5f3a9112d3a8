#include "ntx/ntx_index.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ntx/ntx_index_list.h"
#include "ntx/ntx_test_support.h"
#include "testing/expect_error.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using namespace ntx_testing;

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

}  // namespace
}  // namespace tarvelo
