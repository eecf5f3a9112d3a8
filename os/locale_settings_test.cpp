#include "os/locale_settings.h"

#include <gtest/gtest.h>

#include "values/date_time.h"

namespace tarvelo::os {
namespace {

const RegionalSettings kBrazil = RegionalSettings::Brazilian();
const RegionalSettings kUs = RegionalSettings::UnitedStates();

TEST(DateParsing, OtherLocalePatterns) {
  // German short date d.M.y; Finnish time H.mm.ss; Korean a h:mm:ss after
  // y. M. d. (ICU data, designators replaced for the code page).
  const RegionalSettings german = SettingsOfLocale("de_DE");
  EXPECT_EQ(ParseLocalDate("7.12.2026", german), *EncodeDate(2026, 12, 7));
  EXPECT_EQ(ParseLocalDate("07.12.2026 08:05", german), *EncodeDateTime({2026, 12, 7, 8, 5, 0}));
  EXPECT_EQ(ParseLocalDate("7/12/2026", german), std::nullopt);

  const RegionalSettings finnish = SettingsOfLocale("fi_FI");
  EXPECT_EQ(finnish.longTimeFormat, "H.mm.ss");
  EXPECT_EQ(ParseLocalDate("7.12.2026 8.05.09", finnish), *EncodeDateTime({2026, 12, 7, 8, 5, 9}));

  RegionalSettings korean = SettingsOfLocale("ko_KR");
  EXPECT_EQ(korean.shortDateFormat, "y. M. d.");
  EXPECT_EQ(korean.longTimeFormat, "a h:mm:ss");
  korean.amDesignator = "AM";
  korean.pmDesignator = "PM";
  const double moment = *EncodeDateTime({2026, 12, 7, 20, 5, 9});
  const std::string text = FormatShortDate(moment, korean) + " " + FormatLongTime(moment, korean);
  EXPECT_EQ(text, "2026. 12. 7. PM 8:05:09");
  EXPECT_EQ(ParseLocalDate(text, korean), moment);
}

TEST(RegionalSettingsTest, IcuBrazilMatchesTheFixedSettings) {
  const RegionalSettings icu = SettingsOfLocale("pt_BR");
  EXPECT_EQ(icu.decimalSeparator, kBrazil.decimalSeparator);
  EXPECT_EQ(icu.thousandSeparator, kBrazil.thousandSeparator);
  EXPECT_EQ(icu.shortDateFormat, kBrazil.shortDateFormat);
  EXPECT_EQ(icu.longTimeFormat, kBrazil.longTimeFormat);
  EXPECT_EQ(icu.collationLocale, "pt_BR");
}

TEST(RegionalSettingsTest, IcuUnitedStatesMatchesTheFixedSettings) {
  const RegionalSettings icu = SettingsOfLocale("en_US");
  EXPECT_EQ(icu.decimalSeparator, kUs.decimalSeparator);
  EXPECT_EQ(icu.thousandSeparator, kUs.thousandSeparator);
  EXPECT_EQ(icu.shortDateFormat, kUs.shortDateFormat);
  // ICU's narrow no-break space before AM/PM becomes a plain blank.
  EXPECT_EQ(icu.longTimeFormat, kUs.longTimeFormat);
  EXPECT_EQ(icu.amDesignator, "AM");
  EXPECT_EQ(icu.pmDesignator, "PM");
}

TEST(RegionalSettingsTest, SeparateLocalesAndFallbacks) {
  const RegionalSettings mixed = SettingsOfLocales("pt_BR", "en_US", "pt_BR");
  EXPECT_EQ(mixed.decimalSeparator, ',');
  EXPECT_EQ(mixed.shortDateFormat, "M/d/y");
  EXPECT_EQ(mixed.collationLocale, "pt_BR");

  // POSIX names with an encoding are accepted.
  const RegionalSettings posix = SettingsOfLocale("pt_BR.UTF-8");
  EXPECT_EQ(posix.decimalSeparator, ',');
  EXPECT_EQ(posix.shortDateFormat, "dd/MM/y");

  for (const char* name : {"C", "POSIX", "", "zz_ZZ"}) {
    const RegionalSettings fallback = SettingsOfLocale(name);
    EXPECT_EQ(fallback.decimalSeparator, '.') << name;
    EXPECT_EQ(fallback.thousandSeparator, ',') << name;
    EXPECT_EQ(fallback.shortDateFormat, "M/d/y") << name;
    EXPECT_EQ(fallback.longTimeFormat, "h:mm:ss a") << name;
    EXPECT_EQ(fallback.collationLocale, "en_US") << name;
  }

  // A space grouping separator (U+00A0 or U+202F in ICU) becomes byte 0xA0.
  const RegionalSettings french = SettingsOfLocale("fr_FR");
  EXPECT_EQ(french.decimalSeparator, ',');
  EXPECT_EQ(french.thousandSeparator, '\xA0');
  EXPECT_EQ(french.shortDateFormat, "dd/MM/y");
}

}  // namespace
}  // namespace tarvelo::os
