#include "dbf/field_decoders.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "dbf/dbf_field.h"
#include "dbf/dbf_table.h"
#include "dbf/dbf_test_support.h"
#include "testing/dbf_writer.h"
#include "testing/expect_error.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using namespace dbf_testing;

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

}  // namespace
}  // namespace tarvelo
