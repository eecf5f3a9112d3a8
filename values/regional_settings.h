#pragma once

#include <string>
#include <string_view>

namespace tarvelo {

/// The user's regional settings, read once when a front end starts and passed
/// down as a value; nothing below the front ends reads the environment.
/// Texts are code page 1252 bytes.
struct RegionalSettings {
  /// Name of the locale used for text collation ("pt_BR", "en_US"; on
  /// Windows also the system's form "pt-BR").
  std::string collationLocale = "en_US";
  char decimalSeparator = '.';
  char thousandSeparator = ',';
  /// Short date pattern in ICU/LDML letters: d, dd, M, MM, y, yy, yyyy and
  /// literals ("dd/MM/y" prints 07/12/2026).
  std::string shortDateFormat = "M/d/y";
  /// Long time pattern in ICU/LDML letters: H, HH, h, hh, m, mm, s, ss, a.
  std::string longTimeFormat = "h:mm:ss a";
  std::string amDesignator = "AM";
  std::string pmDesignator = "PM";

  /// Settings of a locale name ("pt_BR", "pt_BR.UTF-8"; on Windows also
  /// "pt-BR") for numbers, dates and times, and collation ("pt_BR" gives
  /// 1.234.567,89 and dd/MM/y HH:mm:ss). On Linux from ICU's locale data, so
  /// it works without compiled system locales; on Windows from the system's
  /// (its date and time pictures turned into the letters above). An empty,
  /// C, POSIX or unknown name gives the United States settings.
  static RegionalSettings ForLocales(std::string_view numericLocale, std::string_view timeLocale,
                                     std::string_view collationLocale);
  /// ForLocales with one name for all three.
  static RegionalSettings ForLocale(std::string_view locale);
  /// The fixed United States settings (also the fallback of C/POSIX).
  static RegionalSettings UnitedStates();
  /// The Brazilian settings used by most tests: "," decimal, "." thousands,
  /// dd/MM/y HH:mm:ss, pt_BR collation.
  static RegionalSettings Brazilian();
};

}  // namespace tarvelo
