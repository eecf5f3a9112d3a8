#include "values/date_time.h"

#include <gtest/gtest.h>

#include "values/regional_settings.h"

namespace tarvelo {
namespace {

const RegionalSettings kBrazil = RegionalSettings::Brazilian();
const RegionalSettings kUs = RegionalSettings::UnitedStates();

TEST(GregorianDates, LeapYearsAndMonthLengths) {
  EXPECT_TRUE(IsGregorianDate(2024, 2, 29));
  EXPECT_FALSE(IsGregorianDate(2023, 2, 29));
  EXPECT_TRUE(IsGregorianDate(2000, 2, 29));
  EXPECT_FALSE(IsGregorianDate(1900, 2, 29));
  EXPECT_TRUE(IsGregorianDate(2026, 4, 30));
  EXPECT_FALSE(IsGregorianDate(2026, 4, 31));
  EXPECT_TRUE(IsGregorianDate(2026, 12, 31));
  EXPECT_FALSE(IsGregorianDate(2026, 13, 1));
  EXPECT_FALSE(IsGregorianDate(2026, 0, 1));
  EXPECT_FALSE(IsGregorianDate(2026, 1, 0));
  EXPECT_FALSE(IsGregorianDate(2026, -1, 5));
  EXPECT_TRUE(IsGregorianDate(1, 1, 1));
  EXPECT_TRUE(IsGregorianDate(9999, 12, 31));
  EXPECT_FALSE(IsGregorianDate(0, 1, 1));
  EXPECT_FALSE(IsGregorianDate(10000, 1, 1));
}

TEST(GregorianDates, DayCountsFromTheEpoch) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1899, 12, 31), 1.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(1900, 3, 1), 61.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDate(2026, 12, 7), 46363.0);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
  EXPECT_EQ(EncodeDate(2023, 2, 29), std::nullopt);
}

TEST(GregorianDates, TimeOfDayBeforeTheEpochIsSubtracted) {
  EXPECT_EQ(EncodeDateTime({2000, 1, 1, 12, 0, 0}), 36526.5);
  EXPECT_EQ(EncodeDateTime({1899, 12, 30, 6, 0, 0}), 0.25);
  EXPECT_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0}), -1.25);
  EXPECT_EQ(EncodeDateTime({2000, 1, 1, 24, 0, 0}), std::nullopt);
  EXPECT_EQ(EncodeDateTime({2000, 1, 1, 0, 60, 0}), std::nullopt);
  EXPECT_EQ(EncodeDateTime({2000, 2, 30, 0, 0, 0}), std::nullopt);

  const CivilDateTime before = DecodeDateTime(-1.25);
  EXPECT_EQ(before.year, 1899);
  EXPECT_EQ(before.month, 12);
  EXPECT_EQ(before.day, 29);
  EXPECT_EQ(before.hour, 6);
  EXPECT_EQ(before.minute, 0);
}

TEST(GregorianDates, DecodeIsTheInverseRoundedToTheSecond) {
  const CivilDateTime samples[] = {{2026, 12, 7, 8, 5, 9},   {1900, 1, 1, 0, 0, 0}, {2024, 2, 29, 23, 59, 59},
                                   {1850, 6, 15, 13, 30, 1}, {1, 1, 1, 0, 0, 1},    {9999, 12, 31, 23, 59, 59}};
  for (const CivilDateTime& sample : samples) {
    const CivilDateTime back = DecodeDateTime(*EncodeDateTime(sample));
    EXPECT_EQ(back.year, sample.year);
    EXPECT_EQ(back.month, sample.month);
    EXPECT_EQ(back.day, sample.day);
    EXPECT_EQ(back.hour, sample.hour);
    EXPECT_EQ(back.minute, sample.minute);
    EXPECT_EQ(back.second, sample.second);
  }
  // Half a second before midnight rounds into the next day.
  const CivilDateTime carried = DecodeDateTime(1.0 - 0.4 / 86400.0);
  EXPECT_EQ(carried.day, 31);
  EXPECT_EQ(carried.hour, 0);
  EXPECT_EQ(carried.second, 0);
}

TEST(DateFormatting, BrazilianAndUnitedStatesPatterns) {
  const double moment = *EncodeDateTime({2026, 12, 7, 8, 5, 9});
  EXPECT_EQ(FormatShortDate(moment, kBrazil), "07/12/2026");
  EXPECT_EQ(FormatLongTime(moment, kBrazil), "08:05:09");
  EXPECT_EQ(FormatShortDate(moment, kUs), "12/7/2026");
  EXPECT_EQ(FormatLongTime(moment, kUs), "8:05:09 AM");
  EXPECT_EQ(FormatLongTime(*EncodeDateTime({2026, 1, 1, 0, 7, 0}), kUs), "12:07:00 AM");
  EXPECT_EQ(FormatLongTime(*EncodeDateTime({2026, 1, 1, 12, 0, 0}), kUs), "12:00:00 PM");
  EXPECT_EQ(FormatLongTime(*EncodeDateTime({2026, 1, 1, 23, 59, 1}), kUs), "11:59:01 PM");
  EXPECT_EQ(FormatDateTime({2023, 6, 30, 17, 4, 0}, kBrazil), "30/06/2023 17:04:00");
  EXPECT_EQ(FormatDateTime({2023, 6, 30, 17, 4, 0}, kUs), "6/30/2023 5:04:00 PM");
}

TEST(DateFormatting, PatternLettersAndLiterals) {
  RegionalSettings settings = kBrazil;
  const double moment = *EncodeDateTime({2005, 3, 4, 7, 8, 9});
  settings.shortDateFormat = "d.M.yy";
  EXPECT_EQ(FormatShortDate(moment, settings), "4.3.05");
  settings.shortDateFormat = "yyyy-MM-dd";
  EXPECT_EQ(FormatShortDate(moment, settings), "2005-03-04");
  settings.shortDateFormat = "y'年'M'月'd'日'";
  EXPECT_EQ(FormatShortDate(moment, settings), "2005年3月4日");
  settings.shortDateFormat = "dd 'de' MM 'd''x'";
  EXPECT_EQ(FormatShortDate(moment, settings), "04 de 03 d'x");
  settings.longTimeFormat = "H'h'mm''ss";
  EXPECT_EQ(FormatLongTime(moment, settings), "7h08'09");
  settings.longTimeFormat = "hh:mm a";
  settings.pmDesignator = "p.m.";
  EXPECT_EQ(FormatLongTime(*EncodeDateTime({2005, 3, 4, 19, 8, 9}), settings), "07:08 p.m.");
  // A year before 1000 keeps its digits; "yy" takes the last two.
  settings.shortDateFormat = "dd/MM/y";
  EXPECT_EQ(FormatShortDate(*EncodeDate(987, 1, 2), settings), "02/01/987");
  settings.shortDateFormat = "dd/MM/yy";
  EXPECT_EQ(FormatShortDate(*EncodeDate(2009, 1, 2), settings), "02/01/09");
}

TEST(DateParsing, ShortDateWithOptionalTime) {
  EXPECT_EQ(ParseLocalDate("07/12/2026", kBrazil), *EncodeDate(2026, 12, 7));
  EXPECT_EQ(ParseLocalDate(" 7/12/2026 ", kBrazil), *EncodeDate(2026, 12, 7));
  EXPECT_EQ(ParseLocalDate("07/12/2026 08:05:09", kBrazil), *EncodeDateTime({2026, 12, 7, 8, 5, 9}));
  EXPECT_EQ(ParseLocalDate("07/12/2026 8:05", kBrazil), *EncodeDateTime({2026, 12, 7, 8, 5, 0}));
  EXPECT_EQ(ParseLocalDate("12/7/2026", kUs), *EncodeDate(2026, 12, 7));
  EXPECT_EQ(ParseLocalDate("12/7/2026 5:04:00 PM", kUs), *EncodeDateTime({2026, 12, 7, 17, 4, 0}));
  EXPECT_EQ(ParseLocalDate("12/7/2026 12:30 am", kUs), *EncodeDateTime({2026, 12, 7, 0, 30, 0}));
  EXPECT_EQ(ParseLocalDate("12/7/2026 17:04", kUs), *EncodeDateTime({2026, 12, 7, 17, 4, 0}));
}

TEST(DateParsing, TwoDigitYearsAreWindowed) {
  EXPECT_EQ(ParseLocalDate("07/12/26", kBrazil), *EncodeDate(2026, 12, 7));
  EXPECT_EQ(ParseLocalDate("07/12/29", kBrazil), *EncodeDate(2029, 12, 7));
  EXPECT_EQ(ParseLocalDate("07/12/30", kBrazil), *EncodeDate(1930, 12, 7));
  EXPECT_EQ(ParseLocalDate("07/12/0099", kBrazil), *EncodeDate(99, 12, 7));
}

TEST(DateParsing, RejectsWhatIsNotADate) {
  EXPECT_EQ(ParseLocalDate("", kBrazil), std::nullopt);
  EXPECT_EQ(ParseLocalDate("   ", kBrazil), std::nullopt);
  EXPECT_EQ(ParseLocalDate("31/02/2026", kBrazil), std::nullopt);
  EXPECT_EQ(ParseLocalDate("2026-12-07", kBrazil), std::nullopt);
  EXPECT_EQ(ParseLocalDate("07/12", kBrazil), std::nullopt);
  EXPECT_EQ(ParseLocalDate("07/12/2026x", kBrazil), std::nullopt);
  EXPECT_EQ(ParseLocalDate("07/12/2026 25:00", kBrazil), std::nullopt);
  EXPECT_EQ(ParseLocalDate("07/12/2026 8", kBrazil), std::nullopt);
  EXPECT_EQ(ParseLocalDate("07/12/2026 13:00 PM", kUs), std::nullopt);
  EXPECT_EQ(ParseLocalDate("12", kBrazil), std::nullopt);
  EXPECT_EQ(ParseLocalDate("20261207", kBrazil), std::nullopt);
}

TEST(DateParsing, FormattedTextParsesBack) {
  const double moment = *EncodeDateTime({2023, 6, 30, 17, 4, 5});
  for (const RegionalSettings& settings : {kBrazil, kUs}) {
    const std::string text = FormatShortDate(moment, settings) + " " + FormatLongTime(moment, settings);
    EXPECT_EQ(ParseLocalDate(text, settings), moment) << text;
  }
}

}  // namespace
}  // namespace tarvelo
