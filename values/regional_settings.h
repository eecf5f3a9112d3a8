#pragma once

#include <string>

namespace tarvelo {

/// The user's regional settings, read once when a front end starts and passed
/// down as a value; nothing below the front ends reads the environment.
/// Texts are code page 1252 bytes. Those of a locale come from the
/// system's locale data (os::SettingsOfLocale).
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

  /// The fixed United States settings (also the fallback of C/POSIX).
  static RegionalSettings UnitedStates();
  /// The Brazilian settings used by most tests: "," decimal, "." thousands,
  /// dd/MM/y HH:mm:ss, pt_BR collation.
  static RegionalSettings Brazilian();
};

}  // namespace tarvelo
