#pragma once

#include <string_view>

#include "values/regional_settings.h"

// The regional settings of a locale from the system's locale data:
// locale_settings_icu.cpp takes them from ICU on Linux,
// locale_settings_windows.cpp from the system's National Language Support
// on Windows; the build picks the one of the system it builds for.
namespace tarvelo::os {

/// Settings of a locale name ("pt_BR", "pt_BR.UTF-8"; on Windows also
/// "pt-BR") for numbers, dates and times, and collation ("pt_BR" gives
/// 1.234.567,89 and dd/MM/y HH:mm:ss). On Linux from ICU's locale data, so
/// it works without compiled system locales; on Windows from the system's
/// (its date and time pictures turned into the letters of RegionalSettings).
/// An empty, C, POSIX or unknown name gives the United States settings.
RegionalSettings SettingsOfLocales(std::string_view numericLocale, std::string_view timeLocale,
                                   std::string_view collationLocale);

/// SettingsOfLocales with one name for all three.
inline RegionalSettings SettingsOfLocale(std::string_view locale) { return SettingsOfLocales(locale, locale, locale); }

}  // namespace tarvelo::os
