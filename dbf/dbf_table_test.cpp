#include "dbf/dbf_table.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "os/file_system.h"
#include "os/held_file.h"
#include "testing/dbf_records.h"
#include "testing/dbf_writer.h"
#include "testing/expect_error.h"
#include "testing/temp_dir.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using tarvelo::testing::DbfFieldSpec;
using tarvelo::testing::DbfWriter;
using tarvelo::testing::WriteFile;

void SetLe16(std::string& bytes, size_t at, int value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

// Offsets in a file written by DbfWriter.
constexpr size_t kHeaderLengthAt = 8;
constexpr size_t kRecordLengthAt = 10;
size_t DescriptorAt(int index) { return 32 + 32 * static_cast<size_t>(index); }

class DbfTableTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }

  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string path = Path(name);
    WriteFile(path, bytes);
    return path;
  }

  // Opens path in table_ (named "tbDados", deleted records shown unless
  // hideDeleted).
  void OpenTable(const std::string& path, bool hideDeleted = false) {
    table_.SetDBFFileName(path);
    table_.SetDeleted(hideDeleted);
    table_.Open();
  }

  // The values of one field over all visible records, from First().
  std::vector<std::string> Column(const std::string& name) {
    std::vector<std::string> values;
    table_.First();
    while (!table_.AtEnd()) {
      values.push_back(table_.FieldByName(name).AsText());
      table_.Next();
    }
    return values;
  }

  // A one-field table holding one record with the given field bytes.
  std::string OneValue(const std::string& name, DbfFieldSpec spec, const std::string& bytes) {
    DbfWriter writer({spec});
    writer.AddRawRecord(" " + bytes);
    return Write(name, writer.Bytes());
  }

  tarvelo::testing::TempDir dir_;
  RegionalSettings settings_ = RegionalSettings::Brazilian();
  DbfTable table_{"tbDados", settings_};
};

// A table whose fields each hold their record's number (1-based) in "SEQ"
// and whose record length is recordLength.
DbfWriter NumberedTable(int records, int recordLength) {
  DbfWriter writer({{"SEQ", 'N', 6, 0}, {"FILL", 'C', recordLength - 7, 0}});
  for (int i = 1; i <= records; ++i) writer.AddRecord({std::to_string(i), "x"});
  return writer;
}

TEST_F(DbfTableTest, HeaderOnlyFileOpensAtEndWithItsFields) {
  DbfWriter writer({{"NOME", 'C', 5, 0}, {"VALOR", 'N', 9, 2}});
  OpenTable(Write("empty.dbf", writer.Bytes()));
  EXPECT_TRUE(table_.IsOpen());
  EXPECT_TRUE(table_.AtEnd());
  EXPECT_EQ(table_.FieldCount(), 2);
  EXPECT_EQ(table_.RecordNumber(), 0);
  EXPECT_TRUE(table_.CurrentRecord().empty());
  // Without a record the fields read as null.
  EXPECT_TRUE(table_.FieldAt(0).IsNull());
  EXPECT_TRUE(table_.FieldAt(0).AsVariant().IsNull());
  EXPECT_EQ(table_.FieldAt(0).AsText(), "");
  EXPECT_TRUE(table_.FieldAt(0).RawBytes().empty());
  EXPECT_TRUE(table_.FieldAt(0).CharacterText().empty());
  EXPECT_EQ(table_.FieldAt(1).AsFloat(), 0);
  table_.Next();
  EXPECT_TRUE(table_.AtEnd());
  table_.Close();
  EXPECT_FALSE(table_.IsOpen());
  EXPECT_EQ(table_.FieldCount(), 0);
}

TEST_F(DbfTableTest, DescriptorsMapToTypesSizesAndOffsets) {
  std::vector<DbfFieldSpec> specs = {
      {"nome", 'C', 5, 0},  {"QTD", 'N', 9, 0},   {"GRANDE", 'N', 14, 0}, {"CURTO", 'N', 6, 0},
      {"DEZ", 'N', 10, 0},  {"VALOR", 'N', 9, 2}, {"TAXA", 'F', 20, 3},   {"DATA", 'D', 8, 0},
      {"ATIVO", 'L', 1, 0}, {"OBS", 'M', 10, 0},  {"LONGO", 'C', 300, 0},
  };
  DbfWriter writer(specs, 0x83);
  OpenTable(Write("types.dbf", writer.Bytes()));
  ASSERT_EQ(table_.FieldCount(), 11);
  struct Expected {
    const char* name;
    FieldTypeCode type;
    int size, precision, width, offset;
  };
  const Expected expected[] = {
      {"NOME", ftString, 5, 0, 5, 1},    {"QTD", ftInteger, 0, 0, 9, 6},       {"GRANDE", ftLargeint, 0, 0, 14, 15},
      {"CURTO", ftInteger, 0, 0, 6, 29}, {"DEZ", ftLargeint, 0, 0, 10, 35},    {"VALOR", ftFloat, 0, 2, 9, 45},
      {"TAXA", ftFloat, 0, 3, 20, 54},   {"DATA", ftDate, 0, 0, 8, 74},        {"ATIVO", ftBoolean, 0, 0, 1, 82},
      {"OBS", ftMemo, 0, 0, 10, 83},     {"LONGO", ftString, 300, 0, 300, 93},
  };
  for (int i = 0; i < 11; ++i) {
    SCOPED_TRACE(expected[i].name);
    const DbfField& field = table_.FieldAt(i);
    EXPECT_EQ(field.FieldName(), expected[i].name);
    EXPECT_EQ(field.DataType(), expected[i].type);
    EXPECT_EQ(field.Size(), expected[i].size);
    EXPECT_EQ(field.Precision(), expected[i].precision);
    EXPECT_EQ(field.Width(), expected[i].width);
    EXPECT_EQ(field.Offset(), expected[i].offset);
    EXPECT_EQ(field.Letter(), specs[static_cast<size_t>(i)].type);
  }
  EXPECT_EQ(table_.Version(), DbfVersion::xBaseIII);
  EXPECT_EQ(table_.RecordLength(), 393);
  EXPECT_EQ(table_.HeaderLength(), 32 + 32 * 11 + 1);
}

TEST_F(DbfTableTest, NamesAreTrimmedAndUpperCasedInAsciiOnly) {
  // "\xe7" is a small c with cedilla in code page 1252; it stays as it is.
  DbfWriter writer({{" a\xe7o ", 'C', 2, 0}, {"b\tc", 'C', 2, 0}});
  OpenTable(Write("names.dbf", writer.Bytes()));
  EXPECT_EQ(table_.FieldAt(0).FieldName(), "A\xe7O");
  EXPECT_EQ(table_.FieldAt(1).FieldName(), "B\tC");
  // Case-insensitive lookup covers the accented letters of the code page.
  EXPECT_EQ(table_.FindField("a\xc7o"), &table_.FieldAt(0));
  EXPECT_EQ(table_.FindField("A\xe7o"), &table_.FieldAt(0));
}

TEST_F(DbfTableTest, DescriptorLengthOfDateLogicalAndMemoIsIgnored) {
  // Widths are fixed for D (8), L (1) and M (10), whatever the descriptor says.
  DbfWriter writer({{"DATA", 'D', 8, 0}, {"ATIVO", 'L', 1, 0}, {"OBS", 'M', 10, 0}, {"FIM", 'C', 3, 0}});
  writer.AddRecord({"20240229", "T", "         1", "end"});
  std::string bytes = writer.Bytes();
  bytes[DescriptorAt(0) + 16] = 12;
  bytes[DescriptorAt(1) + 16] = 3;
  bytes[DescriptorAt(2) + 16] = 4;
  OpenTable(Write("fixed.dbf", bytes));
  EXPECT_EQ(table_.FieldByName("FIM").Offset(), 20);
  EXPECT_EQ(table_.FieldValue("FIM").TextPayload(), "end");
  EXPECT_EQ(table_.FieldValue("DATA").RealPayload(), 45351);
}

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
  table_.Close();

  std::string fewer = bytes;  // header says 1
  fewer[4] = 1;
  OpenTable(Write("fewer.dbf", fewer));
  EXPECT_EQ(Column("COD"), (std::vector<std::string>{"AAA", "BBB", "CCC"}));
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

TEST_F(DbfTableTest, CharacterValues) {
  DbfWriter writer({{"NOME", 'C', 5, 0}});
  writer.AddRawRecord(" AB   ");
  writer.AddRawRecord("      ");
  writer.AddRawRecord(std::string(" AB\0CD", 6));
  writer.AddRawRecord(" 12,5 ");
  writer.AddRawRecord(" 12.5 ");
  writer.AddRawRecord(std::string(" \0\0\0\0\0", 6));
  OpenTable(Write("chars.dbf", writer.Bytes()));
  DbfField& field = table_.FieldByName("NOME");

  Variant value = field.AsVariant();
  EXPECT_EQ(value.Type(), VariantType::String);
  EXPECT_EQ(value.TextPayload(), "AB   ");
  EXPECT_FALSE(field.IsNull());
  EXPECT_EQ(field.AsText(), "AB   ");
  EXPECT_EQ(field.CharacterText(), "AB   ");
  EXPECT_EQ(field.RawBytes(), "AB   ");
  EXPECT_ERROR(ConvertError, field.AsFloat(), "'AB   ' is not a valid floating point value");

  table_.Next();
  EXPECT_EQ(field.AsVariant().TextPayload(), "     ");
  EXPECT_FALSE(field.IsNull());
  EXPECT_ERROR(ConvertError, field.AsFloat(), "'     ' is not a valid floating point value");

  table_.Next();
  EXPECT_EQ(field.AsVariant().TextPayload(), "AB");
  EXPECT_EQ(field.AsText(), "AB");
  EXPECT_EQ(field.CharacterText(), "AB");
  EXPECT_EQ(field.RawBytes(), std::string("AB\0CD", 5));

  table_.Next();  // the user's decimal separator is ","
  EXPECT_DOUBLE_EQ(field.AsFloat(), 12.5);

  table_.Next();
  EXPECT_ERROR(ConvertError, field.AsFloat(), "'12.5 ' is not a valid floating point value");

  table_.Next();
  EXPECT_EQ(field.AsVariant().Type(), VariantType::String);
  EXPECT_EQ(field.AsText(), "");
  EXPECT_TRUE(field.CharacterText().empty());
  EXPECT_FALSE(field.IsNull());
  EXPECT_ERROR(ConvertError, field.AsFloat(), "'' is not a valid floating point value");
}

// A character field's text ends at its first NUL byte, at every width
// and every place of the NUL (the bytes after it, NULs or not, aside).
TEST(CharacterText, EndsAtTheFirstNul) {
  const RegionalSettings settings = RegionalSettings::Brazilian();
  DbfTable table("tbDados", settings);
  for (int width = 1; width <= 20; ++width) {
    const DbfField field(table, "NOME", ftString, width, 0, width, 1, 'C');
    for (int nul = 0; nul <= width; ++nul) {
      std::string record = " ";
      for (int i = 0; i < width; ++i) record += static_cast<char>(i < nul ? 'A' + i : i == nul || i % 3 ? '\0' : 'z');
      record += "QRSTUVWXYZ";  // bytes of the record after the field
      EXPECT_EQ(field.CharacterText(record.data()), record.substr(1, static_cast<size_t>(nul)))
          << "width " << width << ", NUL at " << nul;
    }
  }
}

TEST_F(DbfTableTest, SmallIntegerValues) {
  const DbfFieldSpec spec{"QTD", 'N', 9, 0};
  struct Case {
    const char* bytes;
    bool valueNull;
    int32_t value;
    bool isNull;
  };
  const Case cases[] = {
      {"   123456", false, 123456, false}, {"      -42", false, -42, false}, {"      +42", false, 42, false},
      {"      $1F", false, 31, false},     {"     0x10", false, 16, false},  {"       xa", false, 10, false},
      {"      12A", true, 0, false},       {"12       ", true, 0, false},    {"      1.5", true, 0, false},
      {"         ", true, 0, true},        {"        -", true, 0, false},    {"      0x ", true, 0, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    OpenTable(OneValue("int" + std::to_string(n++) + ".dbf", spec, c.bytes));
    DbfField& field = table_.FieldAt(0);
    EXPECT_EQ(field.DataType(), ftInteger);
    EXPECT_EQ(field.IsNull(), c.isNull);
    const Variant value = field.AsVariant();
    if (c.valueNull) {
      EXPECT_TRUE(value.IsNull());
      EXPECT_EQ(field.AsText(), "");
      EXPECT_EQ(field.AsFloat(), 0);
    } else {
      EXPECT_EQ(value.Type(), VariantType::Integer);
      EXPECT_EQ(value.IntegerPayload(), c.value);
      EXPECT_EQ(field.AsText(), std::to_string(c.value));
      EXPECT_EQ(field.AsFloat(), c.value);
    }
    table_.Close();
  }
  // Nine digits beyond the 32-bit range do not fit.
  OpenTable(OneValue("big.dbf", spec, "$FFFFFFFF"));
  EXPECT_TRUE(table_.FieldAt(0).AsVariant().IsNull());
}

TEST_F(DbfTableTest, LargeIntegerValues) {
  const DbfFieldSpec spec{"GRANDE", 'N', 14, 0};
  OpenTable(OneValue("l1.dbf", spec, "12345678901234"));
  DbfField& field = table_.FieldAt(0);
  EXPECT_EQ(field.DataType(), ftLargeint);
  Variant value = field.AsVariant();
  EXPECT_EQ(value.Type(), VariantType::Int64);
  EXPECT_EQ(value.IntegerPayload(), 12345678901234);
  EXPECT_EQ(field.AsText(), "12345678901234");
  EXPECT_EQ(field.AsFloat(), 12345678901234.0);
  table_.Close();

  OpenTable(OneValue("l2.dbf", spec, "   -9000000000"));
  EXPECT_EQ(table_.FieldAt(0).AsVariant().IntegerPayload(), -9000000000);
  EXPECT_EQ(table_.FieldAt(0).AsText(), "-9000000000");
  table_.Close();

  // Text that does not parse reads as 0, with empty text.
  OpenTable(OneValue("l3.dbf", spec, "12 34         "));
  DbfField& odd = table_.FieldAt(0);
  EXPECT_FALSE(odd.IsNull());
  value = odd.AsVariant();
  EXPECT_EQ(value.Type(), VariantType::Int64);
  EXPECT_EQ(value.IntegerPayload(), 0);
  EXPECT_EQ(odd.AsText(), "");
  EXPECT_EQ(odd.AsFloat(), 0);
  table_.Close();

  OpenTable(OneValue("l4.dbf", spec, std::string(14, ' ')));
  DbfField& blank = table_.FieldAt(0);
  EXPECT_TRUE(blank.IsNull());
  EXPECT_TRUE(blank.AsVariant().IsNull());
  EXPECT_EQ(blank.AsText(), "");
  EXPECT_EQ(blank.AsFloat(), 0);
}

TEST_F(DbfTableTest, DecimalValues) {
  const DbfFieldSpec spec{"VALOR", 'N', 9, 2};
  struct Case {
    const char* bytes;
    bool valueNull;
    double value;
    const char* text;
    bool isNull;
  };
  const Case cases[] = {
      {"  1234.56", false, 1234.56, "1234,56", false},
      {"  1234,56", true, 0, "", false},
      {"         ", true, 0, "", true},
      {"    -0.50", false, -0.5, "-0,5", false},
      {"12.5     ", false, 12.5, "12,5", false},
      {"   1.5E3 ", false, 1500, "1500", false},
      {"   +2e-2 ", false, 0.02, "0,02", false},
      {"      .25", false, 0.25, "0,25", false},
      {"      12.", false, 12, "12", false},
      {"    1.2.3", true, 0, "", false},
      {"   1 000 ", true, 0, "", false},
      {"      1e ", true, 0, "", false},
      {"        .", true, 0, "", false},
      {"    1e999", true, 0, "", false},
      {"   1e-999", false, 0, "0", false},
      {"     12A ", true, 0, "", false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    OpenTable(OneValue("dec" + std::to_string(n++) + ".dbf", spec, c.bytes));
    DbfField& field = table_.FieldAt(0);
    EXPECT_EQ(field.DataType(), ftFloat);
    EXPECT_EQ(field.IsNull(), c.isNull);
    const Variant value = field.AsVariant();
    if (c.valueNull) {
      EXPECT_TRUE(value.IsNull());
      EXPECT_EQ(field.AsFloat(), 0);
    } else {
      EXPECT_EQ(value.Type(), VariantType::Double);
      EXPECT_DOUBLE_EQ(value.RealPayload(), c.value);
      EXPECT_DOUBLE_EQ(field.AsFloat(), c.value);
    }
    EXPECT_EQ(field.AsText(), c.text);
    table_.Close();
  }
}

// A decimal text reads as the double nearest to it, as the general
// conversion gives it, whether it takes the short way (few digits over a
// power of ten) or not: texts of 1 to 19 digits, with and without
// fractions and exponents, signs and blanks.
TEST(DecimalText, ReadsAsTheNearestDouble) {
  uint64_t seed = 99;
  const auto next = [&](uint64_t below) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    return (seed >> 33) % below;
  };
  for (int n = 0; n < 200000; ++n) {
    std::string number(1, static_cast<char>('1' + next(9)));
    const size_t digits = next(19);
    for (size_t i = 0; i < digits; ++i) number += static_cast<char>('0' + next(10));
    if (next(4) != 0) number.insert(1 + next(number.size()), ".");
    if (next(3) == 0) number += "e" + std::to_string(static_cast<int>(next(51)) - 25);
    const bool negative = next(2) == 0;
    double expected = 0;
    ASSERT_EQ(std::from_chars(number.data(), number.data() + number.size(), expected).ec, std::errc()) << number;
    if (negative) expected = -expected;
    const std::string text = std::string(next(3), ' ') + (negative ? "-" : next(2) == 0 ? "+" : "") + number + " ";
    const auto read = ParseDecimal(text, '.');
    ASSERT_TRUE(read.has_value()) << text;
    ASSERT_EQ(std::memcmp(&*read, &expected, sizeof expected), 0) << text << ": " << *read << " " << expected;
  }
}

TEST_F(DbfTableTest, DateValues) {
  const DbfFieldSpec spec{"DATA", 'D', 8, 0};
  struct Case {
    const char* bytes;
    bool valueNull;
    double days;
    const char* text;
    bool isNull;
  };
  const Case cases[] = {
      {"20240229", false, 45351, "29/02/2024", false},  // leap year
      {"20220229", true, 0, "", false},                 // 2022 is no leap year
      {"19000229", true, 0, "", false},                 // nor is 1900
      {"20000229", false, 36585, "29/02/2000", false},  // 2000 is
      {"20221301", true, 0, "", false},
      {"20220001", true, 0, "", false},
      {"20220100", true, 0, "", false},
      {"202201  ", true, 0, "", false},
      {"        ", true, 0, "", true},
      {"20220:01", false, 44835, "01/10/2022", false},  // ":" counts as 10
      {"18991230", false, 0, "30/12/1899", false},
      {"00000101", true, 0, "", false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    OpenTable(OneValue("date" + std::to_string(n++) + ".dbf", spec, c.bytes));
    DbfField& field = table_.FieldAt(0);
    EXPECT_EQ(field.IsNull(), c.isNull);
    const Variant value = field.AsVariant();
    if (c.valueNull) {
      EXPECT_TRUE(value.IsNull());
    } else {
      EXPECT_EQ(value.Type(), VariantType::Date);
      EXPECT_EQ(value.RealPayload(), c.days);
    }
    EXPECT_EQ(field.AsFloat(), c.days);
    EXPECT_EQ(field.AsText(), c.text);
    table_.Close();
  }
}

TEST_F(DbfTableTest, LogicalValues) {
  DbfWriter writer({{"ATIVO", 'L', 1, 0}});
  for (const char* bytes : {" T", " F", " t", " f", " Y", " N", " ?", "  "}) writer.AddRawRecord(bytes);
  OpenTable(Write("logical.dbf", writer.Bytes()));
  DbfField& field = table_.FieldAt(0);
  EXPECT_EQ(field.DataType(), ftBoolean);
  EXPECT_EQ(field.AsVariant().Type(), VariantType::Boolean);
  EXPECT_NE(field.AsVariant().IntegerPayload(), 0);
  EXPECT_EQ(field.AsText(), "True");
  table_.Next();
  EXPECT_EQ(field.AsVariant().Type(), VariantType::Boolean);
  EXPECT_EQ(field.AsVariant().IntegerPayload(), 0);
  EXPECT_EQ(field.AsText(), "False");
  for (int i = 0; i < 5; ++i) {
    table_.Next();
    EXPECT_TRUE(field.AsVariant().IsNull()) << table_.RecordNumber();
    EXPECT_FALSE(field.IsNull());
    EXPECT_EQ(field.AsText(), "");
  }
  table_.Next();
  EXPECT_TRUE(field.AsVariant().IsNull());
  EXPECT_TRUE(field.IsNull());
}

TEST_F(DbfTableTest, NullIsDecidedFromRawBytes) {
  // A NUL byte is not a blank.
  const std::string nuls(9, '\0');
  OpenTable(OneValue("nulos.dbf", {"QTD", 'N', 9, 0}, nuls));
  EXPECT_FALSE(table_.FieldAt(0).IsNull());
  EXPECT_TRUE(table_.FieldAt(0).AsVariant().IsNull());
  // The text as read stops at the first NUL, whatever the field's type.
  EXPECT_TRUE(table_.FieldAt(0).CharacterText().empty());
  table_.Close();
  OpenTable(OneValue("memo.dbf", {"OBS", 'M', 10, 0}, "        12"));
  EXPECT_FALSE(table_.FieldAt(0).IsNull());
  table_.Close();
  OpenTable(OneValue("memo2.dbf", {"OBS", 'M', 10, 0}, std::string(10, ' ')));
  EXPECT_TRUE(table_.FieldAt(0).IsNull());
}

TEST_F(DbfTableTest, FieldLookupByName) {
  DbfWriter writer({{"COD_SEG", 'C', 5, 0}, {"APOLICE", 'C', 4, 0}});
  writer.AddRecord({"01234", "A1"});
  OpenTable(Write("names.dbf", writer.Bytes()));
  EXPECT_EQ(&table_.FieldByName("cod_seg"), &table_.FieldAt(0));
  EXPECT_EQ(table_.FindField("Apolice"), &table_.FieldAt(1));
  EXPECT_EQ(table_.FindField("cod_seg "), nullptr);
  EXPECT_EQ(table_.FindField("COD"), nullptr);
  EXPECT_EQ(table_.FieldValue("apolice").TextPayload(), "A1  ");
  EXPECT_ERROR(DatabaseError, table_.FieldByName("cod_seg "), "tbDados: Field 'cod_seg ' not found");
  EXPECT_ERROR(DatabaseError, table_.FieldValue("premio"), "tbDados: Field 'premio' not found");
  EXPECT_ERROR(ListIndexError, table_.FieldAt(2), "List index out of bounds (2)");
  EXPECT_ERROR(ListIndexError, table_.FieldAt(-1), "List index out of bounds (-1)");

  DbfTable unnamed("", settings_);
  table_.Close();
  unnamed.SetDBFFileName(Path("names.dbf"));
  unnamed.Open();
  EXPECT_ERROR(DatabaseError, unnamed.FieldByName("x"), "Field 'x' not found");
}

TEST_F(DbfTableTest, UnknownLetterMakesNoFieldButKeepsItsWidth) {
  DbfWriter writer({{"A", 'C', 2, 0}, {"ODD", 'X', 4, 0}, {"B", 'C', 3, 0}});
  writer.AddRawRecord(" aaWXYZbbb");
  OpenTable(Write("unknown.dbf", writer.Bytes()));
  ASSERT_EQ(table_.FieldCount(), 2);
  EXPECT_EQ(table_.FieldAt(1).FieldName(), "B");
  EXPECT_EQ(table_.FieldAt(1).Offset(), 7);
  EXPECT_EQ(table_.FieldValue("B").TextPayload(), "bbb");
  EXPECT_EQ(table_.FindField("ODD"), nullptr);
}

TEST_F(DbfTableTest, LaterDialectLettersAndDialects) {
  const std::string greaterB =
      "DbfTable.HiddenInitFieldDefs: DBF Version must be greater then xBaseIII for field type \"B\" and \"G\"!";
  const std::string needsFox =
      "DbfTable.HiddenInitFieldDefs: DBF Version must be xFoxPro or greater for field type \"P\"!";
  const std::string needsVfpT =
      "DbfTable.HiddenInitFieldDefs: DBF Version must be xVisualFoxPro or greater for field type \"T\"!";
  const std::string needsVfpY =
      "DbfTable.HiddenInitFieldDefs: DBF Version must be xVisualFoxPro or greater for field type \"Y\"!";
  const std::string greaterV =
      "DbfTable.HiddenInitFieldDefs: DBF Version must be greater then xBaseV for field type \"+\", \"I\", \"O\" and "
      "\"@\"!";
  struct Case {
    char letter;
    uint8_t version;
    std::string error;  // empty: opens, the field skipped
  };
  const Case cases[] = {
      {'B', 0x03, greaterB},  {'G', 0x07, greaterB}, {'G', 0x83, greaterB},  {'B', 0x8B, ""},
      {'P', 0x03, needsFox},  {'P', 0x7B, needsFox}, {'P', 0xF5, ""},        {'T', 0x03, needsVfpT},
      {'T', 0xF5, needsVfpT}, {'T', 0x30, ""},       {'Y', 0x8E, needsVfpY}, {'Y', 0x31, ""},
      {'I', 0x03, greaterV},  {'+', 0xF5, greaterV}, {'O', 0x8B, greaterV},  {'@', 0x07, greaterV},
      {'I', 0x31, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.letter) + " in version " + std::to_string(c.version));
    DbfWriter writer({{"A", 'C', 2, 0}, {"LATER", c.letter, 4, 0}, {"B", 'C', 1, 0}}, c.version);
    writer.AddRawRecord(" aa....b");
    const std::string path = Write("later" + std::to_string(n++) + ".dbf", writer.Bytes());
    table_.SetDBFFileName(path);
    if (c.error.empty()) {
      table_.Open();
      EXPECT_EQ(table_.FieldCount(), 2);
      EXPECT_EQ(table_.FieldValue("B").TextPayload(), "b");
      table_.Close();
    } else {
      EXPECT_ERROR(DbfError, table_.Open(), c.error);
      EXPECT_FALSE(table_.IsOpen());
      EXPECT_EQ(table_.FieldCount(), 0);
    }
  }

  const std::pair<uint8_t, DbfVersion> versions[] = {
      {0x03, DbfVersion::xBaseIII}, {0x83, DbfVersion::xBaseIII},      {0x07, DbfVersion::xClipper},
      {0x7B, DbfVersion::xBaseIV},  {0x8B, DbfVersion::xBaseIV},       {0x8E, DbfVersion::xBaseIV},
      {0xF5, DbfVersion::xFoxPro},  {0x30, DbfVersion::xVisualFoxPro}, {0x31, DbfVersion::xVisualFoxPro},
  };
  for (const auto& [byte, version] : versions) {
    DbfWriter writer({{"A", 'C', 2, 0}}, byte);
    OpenTable(Write("v" + std::to_string(byte) + ".dbf", writer.Bytes()));
    EXPECT_EQ(table_.Version(), version) << static_cast<int>(byte);
    table_.Close();
  }
}

TEST_F(DbfTableTest, BlankAndDuplicateNames) {
  DbfWriter blank({{"A", 'C', 2, 0}, {"   ", 'C', 2, 0}});
  table_.SetDBFFileName(Write("blank.dbf", blank.Bytes()));
  EXPECT_ERROR(DatabaseError, table_.Open(), "tbDados: Field name missing");
  EXPECT_FALSE(table_.IsOpen());

  DbfTable unnamed("", settings_);
  unnamed.SetDBFFileName(Path("blank.dbf"));
  EXPECT_ERROR(DatabaseError, unnamed.Open(), "Field name missing");

  DbfWriter twice({{"code", 'C', 2, 0}, {"X", 'N', 3, 0}, {"CODE", 'C', 2, 0}});
  table_.SetDBFFileName(Write("twice.dbf", twice.Bytes()));
  EXPECT_ERROR(DatabaseError, table_.Open(), "A component named CODE already exists");
  EXPECT_FALSE(table_.IsOpen());
  EXPECT_EQ(table_.FieldCount(), 0);
}

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

TEST_F(DbfTableTest, SeventhDialectDescriptors) {
  // 68-byte header, 48-byte descriptors with 32-byte names.
  std::string bytes(68, '\0');
  bytes[0] = 0x04;
  auto descriptor = [](const std::string& name, char letter, int length, int decimals) {
    std::string d(48, '\0');
    d.replace(0, name.size(), name);
    d[32] = letter;
    d[33] = static_cast<char>(length);
    d[34] = static_cast<char>(decimals);
    return d;
  };
  bytes += descriptor("long_field_name_beyond_eleven", 'C', 4, 0);
  bytes += descriptor("SEQ", 'I', 4, 0);
  bytes += descriptor("VALOR", 'N', 6, 2);
  bytes += '\x0D';
  SetLe16(bytes, kHeaderLengthAt, static_cast<int>(bytes.size()));
  SetLe16(bytes, kRecordLengthAt, 15);
  bytes += " abcd\x01\x02\x03\x04  1.25";
  bytes += " efgh\x01\x02\x03\x04      ";
  OpenTable(Write("seventh.dbf", bytes));
  EXPECT_EQ(table_.Version(), DbfVersion::xBaseVII);
  ASSERT_EQ(table_.FieldCount(), 2);
  EXPECT_EQ(table_.FieldAt(0).FieldName(), "LONG_FIELD_NAME_BEYOND_ELEVEN");
  EXPECT_EQ(table_.FieldAt(1).Offset(), 9);
  EXPECT_EQ(table_.FieldValue("valor").RealPayload(), 1.25);
  table_.Next();
  EXPECT_TRUE(table_.FieldByName("VALOR").IsNull());
  EXPECT_EQ(table_.FieldValue("LONG_FIELD_NAME_BEYOND_ELEVEN").TextPayload(), "efgh");
  table_.Close();

  // The 68-byte header must be present whole.
  table_.SetDBFFileName(Write("seventhshort.dbf", bytes.substr(0, 60)));
  EXPECT_ERROR(DbfError, table_.Open(),
               "DbfTable.InternalOpen: File \"" + Path("seventhshort.dbf") + "\" has a truncated header");
}

}  // namespace
}  // namespace tarvelo
