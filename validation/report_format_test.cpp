#include "validation/report_format.h"

#include <gtest/gtest.h>

#include "validation/result_log.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

TEST(FormatNumber, BrazilianGroupingAndDecimals) {
  const auto br = RegionalSettings::Brazilian();
  EXPECT_EQ(FormatNumber(1234567.891, 2, br), "1.234.567,89");
  EXPECT_EQ(FormatNumber(1234567.891, 0, br), "1.234.568");
  EXPECT_EQ(FormatNumber(0.2, 2, br), "0,20");
  EXPECT_EQ(FormatNumber(0, 2, br), "0,00");
  EXPECT_EQ(FormatNumber(0, 0, br), "0");
  EXPECT_EQ(FormatNumber(999, 0, br), "999");
  EXPECT_EQ(FormatNumber(1000, 0, br), "1.000");
  EXPECT_EQ(FormatNumber(-1050000.5, 0, br), "-1.050.001");
  EXPECT_EQ(FormatNumber(-100, 2, br), "-100,00");
}

TEST(FormatNumber, UnitedStatesSeparators) {
  const auto us = RegionalSettings::UnitedStates();
  EXPECT_EQ(FormatNumber(1234567.891, 2, us), "1,234,567.89");
  EXPECT_EQ(FormatNumber(83.333333333, 2, us), "83.33");
}

TEST(FormatNumber, RoundsHalfAwayFromZeroOnFifteenDigits) {
  const auto br = RegionalSettings::Brazilian();
  EXPECT_EQ(FormatNumber(0.125, 2, br), "0,13");
  EXPECT_EQ(FormatNumber(-0.125, 2, br), "-0,13");
  EXPECT_EQ(FormatNumber(2.5, 0, br), "3");
  EXPECT_EQ(FormatNumber(-2.5, 0, br), "-3");
  // 1.005 is stored as 1.00499999999999989...; to 15 digits it is 1.005.
  EXPECT_EQ(FormatNumber(1.005, 2, br), "1,01");
  EXPECT_EQ(FormatNumber(999.995, 2, br), "1.000,00");
  EXPECT_EQ(FormatNumber(-0.001, 2, br), "0,00");
}

TEST(FormatNumber, HugeValuesUseScientificNotation) {
  const auto br = RegionalSettings::Brazilian();
  EXPECT_EQ(FormatNumber(123456789012345.0, 0, br), "123.456.789.012.345");
  EXPECT_EQ(FormatNumber(1e16, 2, br), "1E+16");
  EXPECT_EQ(FormatNumber(-1.5e20, 0, br), "-1,5E+20");
}

TEST(MessageBoxText, AddsFullStopAfterLettersAndDigitsOnly) {
  EXPECT_EQ(MessageBoxText("tbDados: Field 'cod_seg' not found"), "tbDados: Field 'cod_seg' not found.");
  EXPECT_EQ(MessageBoxText("Integer overflow"), "Integer overflow.");
  EXPECT_EQ(MessageBoxText("DbfTable.InternalOpen: BufferSize too small!"),
            "DbfTable.InternalOpen: BufferSize too small!");
  EXPECT_EQ(MessageBoxText("DbfTable.InternalOpen: Open error \"x.dbf\""),
            "DbfTable.InternalOpen: Open error \"x.dbf\"");
  EXPECT_EQ(MessageBoxText("Could not convert variant of type (Null) into type (String)"),
            "Could not convert variant of type (Null) into type (String)");
  EXPECT_EQ(MessageBoxText("ends with a dot."), "ends with a dot.");
  EXPECT_EQ(MessageBoxText("ends in 7"), "ends in 7.");
  EXPECT_EQ(MessageBoxText(""), "");
}

TEST(ResultLog, ReplaceNeedsAnExistingLine) {
  ResultLog log;
  log.Append("a");
  log.Append("");
  log.Replace(1, "b");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"a", "b"}));
  EXPECT_THROW(log.Replace(2, "c"), ListIndexError);
  log.Clear();
  EXPECT_EQ(log.Size(), 0u);
}

}  // namespace
}  // namespace tarvelo
