#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "values/regional_settings.h"

namespace tarvelo {

/// A local calendar date and time of day, as a front end reads the clock.
struct CivilDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

/// True when year 1..9999, month 1..12 and day within that month of the
/// Gregorian calendar (leap years by the Gregorian rule).
bool IsGregorianDate(int year, int month, int day);

/// Days since 30 December 1899 of a valid Gregorian date; nullopt when the
/// date is not valid.
std::optional<double> EncodeDate(int year, int month, int day);

/// Days since 30 December 1899 plus the time of day as a fraction; nullopt
/// when the date or the time is not valid.
std::optional<double> EncodeDateTime(const CivilDateTime& value);

/// The calendar date and time of a day count (inverse of EncodeDateTime,
/// rounded to the second). Counts outside 1 January 0001 to 31 December 9999
/// are clamped to those days; NaN and infinities give day 0.
CivilDateTime DecodeDateTime(double days);

/// The date in the short date pattern of the settings ("07/12/2026").
std::string FormatShortDate(double days, const RegionalSettings& settings);

/// The time of day in the long time pattern of the settings ("08:05:09").
std::string FormatLongTime(double days, const RegionalSettings& settings);

/// Short date, a blank, long time: the report's text of a moment.
std::string FormatDateTime(const CivilDateTime& value, const RegionalSettings& settings);

/// Parses text in the short date pattern, optionally followed by a blank and
/// a time in the long time pattern (or H:mm[:ss]); leading and trailing
/// blanks allowed. The d, M and y fields take numbers; a year written with
/// one or two digits is taken in 1930..2029 ("07/12/26" is 2026). nullopt
/// when the text is not such a date.
std::optional<double> ParseLocalDate(std::string_view text, const RegionalSettings& settings);

}  // namespace tarvelo
