#include "values/text.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvelo {
namespace {

TEST(TextHelpers, TrimRemovesControlAndBlankAtBothEndsOnly) {
  EXPECT_EQ(Trim("  ab c \t\r\n"), "ab c");
  EXPECT_EQ(Trim(std::string("\x01\x1F x \x20", 5)), "x");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(""), "");
  // 0xA0 (no-break space) is above 32 and stays.
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");
}

TEST(TextHelpers, UpperAsciiChangesOnlyAToZ) {
  EXPECT_EQ(UpperAscii("abz AZ 09 _"), "ABZ AZ 09 _");
  // Accented code page letters are not changed: "ção".
  EXPECT_EQ(UpperAscii("\xE7\xE3o"), "\xE7\xE3O");
}

TEST(TextHelpers, LeftRepeatAndPad) {
  EXPECT_EQ(LeftText("abcdef", 3), "abc");
  EXPECT_EQ(LeftText("ab", 8), "ab");
  EXPECT_EQ(LeftText("ab", 0), "");
  EXPECT_EQ(LeftText("ab", -1), "");
  EXPECT_EQ(RepeatChar('0', 4), "0000");
  EXPECT_EQ(RepeatChar('=', 0), "");
  EXPECT_EQ(RepeatChar('=', -3), "");
  EXPECT_EQ(PadRight("ab", 5), "ab   ");
  EXPECT_EQ(PadRight("abcdef", 3), "abcdef");
  EXPECT_EQ(PadRight("abc", 3), "abc");
  EXPECT_EQ(PadRight("", 2), "  ");
}

TEST(TextHelpers, StrToIntDecimal) {
  EXPECT_EQ(StrToInt("123"), 123);
  EXPECT_EQ(StrToInt("  -45"), -45);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("0007"), 7);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt("-0"), 0);
  EXPECT_EQ(StrToInt("2147483648"), std::nullopt);
  EXPECT_EQ(StrToInt("-2147483649"), std::nullopt);
  EXPECT_EQ(StrToInt("99999999999999999999999"), std::nullopt);
}

TEST(TextHelpers, StrToIntHexadecimalPrefixes) {
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("x1f"), 31);
  EXPECT_EQ(StrToInt("X10"), 16);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_EQ(StrToInt("0XaB"), 171);
  EXPECT_EQ(StrToInt("-$10"), -16);
  EXPECT_EQ(StrToInt("$7FFFFFFF"), 2147483647);
  EXPECT_EQ(StrToInt("$80000000"), std::nullopt);
  EXPECT_EQ(StrToInt("$"), std::nullopt);
  EXPECT_EQ(StrToInt("0x"), std::nullopt);
  EXPECT_EQ(StrToInt("$1G"), std::nullopt);
  EXPECT_EQ(StrToInt("1F"), std::nullopt);
}

TEST(TextHelpers, StrToIntRejectsBlanksAfterAndOtherCharacters) {
  EXPECT_EQ(StrToInt(""), std::nullopt);
  EXPECT_EQ(StrToInt("   "), std::nullopt);
  EXPECT_EQ(StrToInt("12 "), std::nullopt);
  EXPECT_EQ(StrToInt("1 2"), std::nullopt);
  EXPECT_EQ(StrToInt("- 1"), std::nullopt);
  EXPECT_EQ(StrToInt("-"), std::nullopt);
  EXPECT_EQ(StrToInt("+-1"), std::nullopt);
  EXPECT_EQ(StrToInt("1.0"), std::nullopt);
  EXPECT_EQ(StrToInt("2024-02"), std::nullopt);
  EXPECT_EQ(StrToInt("1e3"), std::nullopt);
}

TEST(TextHelpers, StrToInt64Range) {
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(StrToInt64("9223372036854775808"), std::nullopt);
  EXPECT_EQ(StrToInt64(" 12345678901"), 12345678901LL);
  EXPECT_EQ(StrToInt64("$FFFFFFFF"), 4294967295LL);
  EXPECT_EQ(StrToInt64("12345678901 "), std::nullopt);
}

TEST(TextHelpers, Cp1252ToUtf8MapsTheWindowsRange) {
  EXPECT_EQ(Cp1252ToUtf8("abc"), "abc");
  EXPECT_EQ(Cp1252ToUtf8(""), "");
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");            // euro sign
  EXPECT_EQ(Cp1252ToUtf8("\x82"), "\xE2\x80\x9A");            // single low quote
  EXPECT_EQ(Cp1252ToUtf8("\x83"), "\xC6\x92");                // f with hook
  EXPECT_EQ(Cp1252ToUtf8("\x96"), "\xE2\x80\x93");            // en dash
  EXPECT_EQ(Cp1252ToUtf8("\xE7\xE3o"), "\xC3\xA7\xC3\xA3o");  // ção
  EXPECT_EQ(Cp1252ToUtf8("\xA0"), "\xC2\xA0");
  EXPECT_EQ(Cp1252ToUtf8("\xFF"), "\xC3\xBF");
}

TEST(TextHelpers, Utf8ToCp1252AndBack) {
  EXPECT_EQ(Utf8ToCp1252("In\xC3\xAD"
                         "cio"),
            "In\xED"
            "cio");
  EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC"), "\x80");
  // A character outside the code page becomes "?".
  EXPECT_EQ(Utf8ToCp1252("a\xE4\xB8\xAD"
                         "b"),
            "a?b");
  EXPECT_EQ(Utf8ToCp1252(""), "");

  // Every byte survives the round trip (the five bytes that the code page
  // leaves undefined travel as the C1 controls of the same number).
  std::string all;
  for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
  EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xC2\x81");
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_GT(utf8.size(), all.size());
  EXPECT_EQ(Utf8ToCp1252(utf8), all);

  // Long texts are converted whole.
  const std::string longText(5000, '\xE9');
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(longText)), longText);
}

}  // namespace
}  // namespace tarvelo
