#include "dbf/dbf_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbf/dbf_test_support.h"
#include "os/file_system.h"
#include "os/held_file.h"
#include "testing/dbf_writer.h"
#include "testing/expect_error.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using namespace dbf_testing;

TEST_F(DbfTableTest, MalformedFilesFailClearlyAndLeaveTheTableClosed) {
  DbfWriter writer({{"COD", 'C', 3, 0}, {"QTD", 'N', 4, 0}});
  writer.AddRecord({"AAA", "1"});
  writer.AddRecord({"BBB", "2"});
  const std::string valid = writer.Bytes();
  const std::string goodPath = Write("good.dbf", valid);

  // Each case: the file's bytes and the expected message, where %s is the path.
  struct Case {
    std::string name;
    std::string bytes;
    std::string message;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", "", "DbfTable.InternalOpen: File \"%s\" is not DBF file"});
  cases.push_back({"onebyte", "\x03", "DbfTable.InternalOpen: File \"%s\" has a truncated header"});
  cases.push_back({"onebad", "\x02", "DbfTable.InternalOpen: File \"%s\" is not DBF file"});
  cases.push_back({"short", valid.substr(0, 31), "DbfTable.InternalOpen: File \"%s\" has a truncated header"});
  std::string version = valid;
  version[0] = 0x02;
  cases.push_back({"version", version, "DbfTable.InternalOpen: File \"%s\" is not DBF file"});
  std::string zeroLength = valid;
  SetLe16(zeroLength, kRecordLengthAt, 0);
  cases.push_back({"reclen0", zeroLength, "DbfTable.InternalOpen: File \"%s\" has a record length of 0"});
  std::string pastEnd = valid;
  SetLe16(pastEnd, kHeaderLengthAt, static_cast<int>(valid.size()) + 1);
  cases.push_back({"hdrpast", pastEnd,
                   "DbfTable.InternalOpen: File \"%s\" has a header length (" + std::to_string(valid.size() + 1) +
                       ") past the end of the file"});
  std::string noRoomForMark = valid;  // the end mark lies at the header length
  SetLe16(noRoomForMark, kHeaderLengthAt, 96);
  cases.push_back({"hdrshort", noRoomForMark,
                   "DbfTable.InternalOpen: File \"%s\" has a header length (96) shorter than its field descriptors"});
  std::string tiny = valid;
  SetLe16(tiny, kHeaderLengthAt, 10);
  cases.push_back({"hdrtiny", tiny,
                   "DbfTable.InternalOpen: File \"%s\" has a header length (10) shorter than its field descriptors"});
  std::string noMark = valid;
  noMark[96] = 'Z';
  cases.push_back(
      {"nomark", noMark, "DbfTable.InternalOpen: File \"%s\" has no end mark (0x0D) after its field descriptors"});
  std::string cut = valid.substr(0, 70);  // ends inside the second descriptor
  SetLe16(cut, kHeaderLengthAt, 70);
  cases.push_back(
      {"cutdesc", cut, "DbfTable.InternalOpen: File \"%s\" has no end mark (0x0D) after its field descriptors"});
  std::string narrow = valid;
  SetLe16(narrow, kRecordLengthAt, 7);
  cases.push_back(
      {"narrow", narrow, "DbfTable.InternalOpen: Field \"QTD\" of file \"%s\" runs past the record length (7)"});
  std::string wideC = valid;
  wideC[DescriptorAt(0) + 17] = 1;  // "C" length 259
  cases.push_back(
      {"widec", wideC, "DbfTable.InternalOpen: Field \"COD\" of file \"%s\" runs past the record length (8)"});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(c.name + ".dbf", c.bytes);
    std::string message = c.message;
    message.replace(message.find("%s"), 2, path);
    table_.SetDBFFileName(path);
    EXPECT_ERROR(DbfError, table_.Open(), message);
    EXPECT_FALSE(table_.IsOpen());
    EXPECT_EQ(table_.FieldCount(), 0);
    EXPECT_TRUE(table_.AtEnd());
    // The file was released: a second table can lock it.
    const os::LockedFile released = os::OpenLockedFile(path, os::FileAccess::kRead);
    EXPECT_TRUE(released.file.IsOpen()) << released.reason;
  }

  // The same object then opens a good file.
  OpenTable(goodPath);
  EXPECT_EQ(Column("COD"), (std::vector<std::string>{"AAA", "BBB"}));
}

TEST_F(DbfTableTest, FilesThatCannotBeOpened) {
  const std::string missing = Path("missing.dbf");
  table_.SetDBFFileName(missing);
  EXPECT_ERROR(DbfError, table_.Open(), "DbfTable.InternalOpen: Open error \"" + missing + "\"");
  EXPECT_FALSE(table_.IsOpen());
  table_.SetDBFFileName(dir_.Path());
  EXPECT_ERROR(DbfError, table_.Open(), "DbfTable.InternalOpen: Open error \"" + dir_.Path() + "\"");
  EXPECT_FALSE(table_.IsOpen());
}

// Tables read their files under a shared lock: many read one file at once
// (two runs, two users), while a program that holds it exclusively (a
// writer) keeps them out, and they keep it out.
TEST_F(DbfTableTest, OpenFilesAreSharedWithReadersOnly) {
  DbfWriter writer({{"COD", 'C', 3, 0}});
  writer.AddRecord({"AAA"});
  const std::string path = Write("held.dbf", writer.Bytes());
  const std::string openError = "DbfTable.InternalOpen: Open error \"" + path + "\"";

  // Another run reads the file too, with the same lock; another table of
  // this process does not open it while one has it.
  OpenTable(path);
  os::LockedFile reader = os::OpenLockedFile(path, os::FileAccess::kRead);
  EXPECT_TRUE(reader.file.IsOpen()) << reader.reason;
  EXPECT_EQ(table_.FieldValue("COD").TextPayload(), "AAA");
  DbfTable second("tbRiscos", settings_);
  second.SetDBFFileName(path);
  try {
    second.Open();
    ADD_FAILURE() << "a second table of this process opened the file";
  } catch (const DbfError& error) {
    EXPECT_EQ(std::string(error.what()), openError);
    EXPECT_EQ(error.Reason(), kFileInUse);
  }
  EXPECT_FALSE(os::CanHold(path));
  table_.Close();
  EXPECT_FALSE(os::CanHold(path));
  reader.file.Close();
  EXPECT_TRUE(os::CanHold(path));
  second.Open();
  EXPECT_EQ(second.FieldValue("COD").TextPayload(), "AAA");
  second.Close();

  {
    const os::HeldFile held(path);
    ASSERT_TRUE(held.Holds());
    table_.SetDBFFileName(path);
    try {
      table_.Open();
      ADD_FAILURE() << "opened a file held exclusively";
    } catch (const DbfError& error) {
      EXPECT_EQ(std::string(error.what()), openError);
      EXPECT_EQ(error.Reason(), kFileInUse);
    }
  }
  table_.Open();
  EXPECT_TRUE(table_.IsOpen());
  // Opening an open table does nothing.
  table_.Open();
  EXPECT_TRUE(table_.IsOpen());
  EXPECT_ERROR(DatabaseError, table_.SetDBFFileName(Path("other.dbf")),
               "tbDados: Cannot perform this operation on an open dataset");
  EXPECT_EQ(table_.DBFFileName(), path);
}

TEST_F(DbfTableTest, MemoFileIsHeldWithTheTable) {
  DbfWriter writer({{"COD", 'C', 3, 0}, {"OBS", 'M', 10, 0}}, 0x83);
  writer.AddRecord({"AAA", "         1"});
  const std::string path = Write("memo.dbf", writer.Bytes());

  // No memo file: no error.
  OpenTable(path);
  table_.Close();

  const std::string memo = Write("memo.dbt", std::string(512, '\0'));
  OpenTable(path);
  EXPECT_FALSE(os::CanHold(memo));  // the table holds its lock
  table_.Close();

  {
    const os::HeldFile heldMemo(memo);
    ASSERT_TRUE(heldMemo.Holds());
    table_.SetDBFFileName(path);
    EXPECT_ERROR(DbfError, table_.Open(), "DbfTable.InternalOpen: Open error \"" + memo + "\"");
    EXPECT_FALSE(table_.IsOpen());
    // The table's own file was released too.
    EXPECT_TRUE(os::CanHold(path));
  }
  table_.Open();
  EXPECT_TRUE(table_.IsOpen());
}

TEST_F(DbfTableTest, ReopenedOnAnotherFileKeepsNothing) {
  DbfWriter first({{"A", 'C', 2, 0}, {"B", 'N', 3, 0}});
  first.AddRecord({"x1", "1"});
  first.AddRecord({"x2", "2"});
  OpenTable(Write("first.dbf", first.Bytes()));
  table_.Next();
  table_.Open();  // already open: stays on record 2
  EXPECT_EQ(table_.RecordNumber(), 2);
  table_.Close();
  EXPECT_EQ(table_.RecordNumber(), 0);

  DbfWriter second({{"Z", 'L', 1, 0}});
  second.AddRecord({"T"});
  OpenTable(Write("second.dbf", second.Bytes()));
  EXPECT_EQ(table_.FieldCount(), 1);
  EXPECT_EQ(table_.FindField("A"), nullptr);
  EXPECT_EQ(table_.RecordNumber(), 1);
  EXPECT_EQ(table_.FieldAt(0).AsText(), "True");
}

}  // namespace
}  // namespace tarvelo
