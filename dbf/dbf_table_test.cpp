#include "dbf/dbf_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbf/dbf_test_support.h"
#include "testing/dbf_records.h"
#include "testing/dbf_writer.h"
#include "testing/expect_error.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using namespace dbf_testing;

TEST_F(DbfTableTest, RecordCountIsWhatTheFileHolds) {
  DbfWriter writer({{"COD", 'C', 3, 0}});
  writer.AddRecord({"AAA"});
  writer.AddRecord({"BBB"});
  writer.AddRecord({"CCC"});
  const std::string bytes = writer.Bytes();
  ASSERT_EQ(bytes.back(), '\x1A');

  std::string more = bytes;  // header says 10, three are present
  more[4] = 10;
  OpenTable(Write("more.dbf", more));
  EXPECT_EQ(Column("COD"), (std::vector<std::string>{"AAA", "BBB", "CCC"}));
  EXPECT_EQ(table_.PhysicalRecordCount(), 3);
  // What the header declares is kept beside what is read, for the caller to
  // tell of a file cut short.
  EXPECT_EQ(table_.DeclaredRecordCount(), 10);
  table_.Close();
  EXPECT_EQ(table_.DeclaredRecordCount(), 0);

  std::string fewer = bytes;  // header says 1
  fewer[4] = 1;
  OpenTable(Write("fewer.dbf", fewer));
  EXPECT_EQ(Column("COD"), (std::vector<std::string>{"AAA", "BBB", "CCC"}));
  EXPECT_EQ(table_.DeclaredRecordCount(), 1);
  table_.Close();

  // All four bytes of the count, unsigned.
  std::string large = bytes;
  large[5] = 1;
  large[6] = 2;
  large[7] = '\x80';
  OpenTable(Write("large.dbf", large));
  EXPECT_EQ(table_.DeclaredRecordCount(), 0x80020103);
  EXPECT_EQ(table_.PhysicalRecordCount(), 3);
  table_.Close();

  // Without the end-of-file byte, and with a partial record after it.
  OpenTable(Write("noeof.dbf", bytes.substr(0, bytes.size() - 1)));
  EXPECT_EQ(Column("COD").size(), 3u);
  table_.Close();
  OpenTable(Write("partial.dbf", bytes + " D"));  // 0x1A plus two bytes
  EXPECT_EQ(Column("COD"), (std::vector<std::string>{"AAA", "BBB", "CCC"}));
  EXPECT_EQ(table_.PhysicalRecordCount(), 3);
}

TEST_F(DbfTableTest, DeletedRecordsHiddenOrShown) {
  DbfWriter all({{"COD", 'C', 3, 0}});
  all.AddRecord({"AAA"}, true);
  all.AddRecord({"BBB"}, true);
  const std::string allPath = Write("alldeleted.dbf", all.Bytes());
  OpenTable(allPath, true);
  EXPECT_TRUE(table_.AtEnd());
  EXPECT_EQ(table_.RecordNumber(), 0);
  table_.Close();
  OpenTable(allPath, false);
  EXPECT_EQ(Column("COD"), (std::vector<std::string>{"AAA", "BBB"}));
  table_.Close();

  DbfWriter mixed({{"COD", 'C', 3, 0}});
  mixed.AddRecord({"AAA"}, true);
  mixed.AddRecord({"BBB"});
  mixed.AddRecord({"CCC"}, true);
  mixed.AddRecord({"DDD"});
  mixed.AddRecord({"EEE"}, true);
  OpenTable(Write("mixed.dbf", mixed.Bytes()), true);
  EXPECT_EQ(table_.RecordNumber(), 2);
  EXPECT_EQ(Column("COD"), (std::vector<std::string>{"BBB", "DDD"}));
  // Next() at the last visible record sets AtEnd and stays on it.
  EXPECT_TRUE(table_.AtEnd());
  EXPECT_EQ(table_.RecordNumber(), 4);
  EXPECT_EQ(table_.FieldValue("COD").TextPayload(), "DDD");
  // Only a "*" marks a deleted record.
  table_.Close();
  DbfWriter flags({{"COD", 'C', 3, 0}});
  flags.AddRawRecord("#AAA");
  flags.AddRawRecord(std::string("\0BBB", 4));
  flags.AddRawRecord("*CCC");
  OpenTable(Write("flags.dbf", flags.Bytes()), true);
  EXPECT_EQ(Column("COD"), (std::vector<std::string>{"AAA", "BBB"}));
}

TEST_F(DbfTableTest, RecordsAcrossSeveralBlocks) {
  // 100-byte records: 40 per 4096-byte block, 130 records in four blocks
  // (1-40, 41-80, 81-120, 121-130).
  DbfWriter writer = NumberedTable(0, 100);
  for (int i = 1; i <= 130; ++i) {
    const bool deleted = i == 1 || (i >= 35 && i <= 85) || i >= 121;
    writer.AddRecord({std::to_string(i), "x"}, deleted);
  }
  const std::string path = Write("blocks.dbf", writer.Bytes());
  OpenTable(path);
  ASSERT_EQ(table_.RecordLength(), 100);
  std::vector<std::string> expected;
  for (int i = 1; i <= 130; ++i) expected.push_back(std::to_string(i));
  EXPECT_EQ(Column("SEQ"), expected);
  EXPECT_EQ(table_.RecordNumber(), 130);
  table_.Close();

  // Deleted records hidden across the block boundaries at 40 and 80.
  OpenTable(path, true);
  EXPECT_EQ(table_.RecordNumber(), 2);
  expected.clear();
  for (int i = 2; i <= 120; ++i) {
    if (i < 35 || i > 85) expected.push_back(std::to_string(i));
  }
  EXPECT_EQ(Column("SEQ"), expected);
  // The trailing deleted records fill the last block; the table stays on
  // record 120 of the block before, with its bytes.
  EXPECT_TRUE(table_.AtEnd());
  EXPECT_EQ(table_.RecordNumber(), 120);
  EXPECT_EQ(table_.FieldAt(0).AsVariant().IntegerPayload(), 120);
  table_.Next();
  EXPECT_TRUE(table_.AtEnd());
  EXPECT_EQ(table_.FieldAt(0).AsText(), "120");
  // First() goes back across blocks.
  table_.First();
  EXPECT_FALSE(table_.AtEnd());
  EXPECT_EQ(table_.RecordNumber(), 2);
  EXPECT_EQ(table_.FieldAt(0).AsText(), "2");
}

TEST_F(DbfTableTest, SmallBufferAndLeadingDeletedBlocks) {
  DbfWriter writer({{"SEQ", 'N', 3, 0}});
  for (int i = 1; i <= 9; ++i) writer.AddRecord({std::to_string(i)}, i <= 5);
  const std::string path = Write("small.dbf", writer.Bytes());
  table_.SetBufferSize(8);  // two 4-byte records per block
  OpenTable(path, true);
  EXPECT_EQ(table_.RecordNumber(), 6);
  EXPECT_EQ(Column("SEQ"), (std::vector<std::string>{"6", "7", "8", "9"}));
  table_.Close();
  table_.SetBufferSize(3);
  table_.SetDBFFileName(path);
  EXPECT_ERROR(DbfError, table_.Open(), "DbfTable.InternalOpen: BufferSize too small!");
  table_.SetBufferSize(4096);
}

TEST_F(DbfTableTest, RecordLengthAtTheBufferSizeLimit) {
  // 1 + 4095 = 4096 bytes: one record per block.
  DbfWriter fits({{"SEQ", 'N', 4, 0}, {"FILL", 'C', 4091, 0}});
  for (int i = 1; i <= 3; ++i) fits.AddRecord({std::to_string(i), std::string(4091, static_cast<char>('a' + i))});
  OpenTable(Write("fits.dbf", fits.Bytes()));
  EXPECT_EQ(table_.RecordLength(), 4096);
  EXPECT_EQ(Column("SEQ"), (std::vector<std::string>{"1", "2", "3"}));
  table_.First();
  table_.Next();
  EXPECT_EQ(table_.FieldValue("FILL").TextPayload(), std::string(4091, 'c'));
  table_.Close();

  DbfWriter tooLong({{"SEQ", 'N', 4, 0}, {"FILL", 'C', 4092, 0}});
  tooLong.AddRecord({"1", "x"});
  table_.SetDBFFileName(Write("toolong.dbf", tooLong.Bytes()));
  EXPECT_ERROR(DbfError, table_.Open(), "DbfTable.InternalOpen: BufferSize too small!");
  EXPECT_FALSE(table_.IsOpen());
}

TEST_F(DbfTableTest, RecordAccessByNumber) {
  DbfWriter writer = NumberedTable(0, 100);
  for (int i = 1; i <= 90; ++i) writer.AddRecord({std::to_string(i), "x"}, i % 2 == 0);
  OpenTable(Write("bynumber.dbf", writer.Bytes()), true);
  EXPECT_EQ(table_.PhysicalRecordCount(), 90);

  std::string bytes;
  ASSERT_TRUE(testing::ReadRecord(table_, 50, bytes));
  EXPECT_EQ(bytes.size(), 100u);
  EXPECT_EQ(bytes.substr(0, 7), "*    50");
  EXPECT_FALSE(testing::ReadRecord(table_, 91, bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(testing::ReadRecord(table_, 0, bytes));
  EXPECT_EQ(table_.RecordNumber(), 1);

  std::vector<int64_t> seen;
  int deleted = 0;
  testing::ScanRecords(table_, [&](int64_t recno, std::string_view record) {
    seen.push_back(recno);
    if (record[0] == '*') ++deleted;
    EXPECT_EQ(std::stoi(std::string(record.substr(1, 6))), recno);
  });
  EXPECT_EQ(seen.size(), 90u);
  EXPECT_EQ(seen.back(), 90);
  EXPECT_EQ(deleted, 45);
  EXPECT_EQ(table_.RecordNumber(), 1);

  // A deleted record can be stood on by number.
  ASSERT_TRUE(testing::GoToRecord(table_, 84));
  EXPECT_FALSE(table_.AtEnd());
  EXPECT_EQ(table_.FieldAt(0).AsText(), "84");
  table_.Next();
  EXPECT_EQ(table_.RecordNumber(), 85);
  EXPECT_FALSE(testing::GoToRecord(table_, 91));
  EXPECT_EQ(table_.RecordNumber(), 85);
  EXPECT_EQ(table_.FieldAt(0).AsText(), "85");
  ASSERT_TRUE(testing::GoToRecord(table_, 3));
  EXPECT_EQ(table_.FieldAt(0).AsText(), "3");
}

}  // namespace
}  // namespace tarvelo
