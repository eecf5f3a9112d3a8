#include "validation/record_checks.h"

#include <gtest/gtest.h>

namespace tarvelo {
namespace {

TEST(IsValidDate, YearWindowLeapYearsAndForm) {
  EXPECT_TRUE(IsValidDate("20240229", 2026));
  EXPECT_TRUE(IsValidDate("19000101", 2026));
  EXPECT_TRUE(IsValidDate("20311231", 2026));
  EXPECT_FALSE(IsValidDate("20230229", 2026));
  EXPECT_FALSE(IsValidDate("18991231", 2026));
  EXPECT_FALSE(IsValidDate("20320101", 2026));
  EXPECT_TRUE(IsValidDate("20320101", 2027));  // the window moves with the current year
  EXPECT_FALSE(IsValidDate("        ", 2026));
  EXPECT_FALSE(IsValidDate("2023-01-15", 2026));
  EXPECT_FALSE(IsValidDate("20231301", 2026));
  EXPECT_FALSE(IsValidDate("20230100", 2026));
  EXPECT_TRUE(IsValidDate("2023011", 2026));       // a shorter text gives shorter parts: day 1
  EXPECT_TRUE(IsValidDate("202301011234", 2026));  // characters after the 8th are ignored
  EXPECT_TRUE(IsValidDate("2023 1 1", 2026));      // leading blanks of a part are skipped
  EXPECT_FALSE(IsValidDate("20231 1 ", 2026));     // a trailing blank fails it
  EXPECT_FALSE(IsValidDate("", 2026));
}

TEST(HasExactLength, ComparesTheTrimmedLength) {
  EXPECT_TRUE(HasExactLength("00123", 5));
  EXPECT_FALSE(HasExactLength("123  ", 5));
  EXPECT_TRUE(HasExactLength("  123  ", 3));
  EXPECT_TRUE(HasExactLength("     ", 0));
  EXPECT_FALSE(HasExactLength("abc", -3));
}

}  // namespace
}  // namespace tarvelo
