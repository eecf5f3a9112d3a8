#include "values/date_time.h"

#include <cmath>
#include <cstdint>

namespace tarvelo {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Day counts kept within 1 January 0001 and 31 December 9999 23:59:59 when
// decoding.
constexpr double kMinDays = -(693593.0 + 86399.0 / 86400.0);
constexpr double kMaxDays = 2958465.0 + 86399.0 / 86400.0;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[month - 1];
}

// Days since 1 March of year 0 (proleptic Gregorian), for any year.
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

int64_t SerialDay(int year, int month, int day) {
  return DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30);
}

bool IsValidTime(int hour, int minute, int second) {
  return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

// Combines a whole day count and a time of day (0 <= fraction < 1) by the
// automation convention: before day 0 the time is subtracted.
double CombineDayAndTime(int64_t day, double fraction) {
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

void AppendNumber(std::string& out, long long value, int minDigits) {
  char buffer[32];
  bool negative = value < 0;
  unsigned long long magnitude =
      negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  int length = 0;
  do {
    buffer[length++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (length < minDigits) buffer[length++] = '0';
  if (negative) out.push_back('-');
  while (length > 0) out.push_back(buffer[--length]);
}

// Writes a date/time in an LDML-style pattern. Letters that this formatter
// does not know are written as they are.
std::string FormatPattern(std::string_view pattern, const CivilDateTime& value, const RegionalSettings& settings) {
  std::string out;
  out.reserve(pattern.size() + 8);
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '\'') {
      // Quoted literal; two quotes stand for one quote.
      if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
        out.push_back('\'');
        i += 2;
        continue;
      }
      ++i;
      while (i < pattern.size()) {
        if (pattern[i] == '\'') {
          if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
            out.push_back('\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out.push_back(pattern[i++]);
      }
      continue;
    }
    size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    const int width = run >= 2 ? 2 : 1;
    switch (c) {
      case 'd':
        AppendNumber(out, value.day, width);
        break;
      case 'M':
      case 'L':
        AppendNumber(out, value.month, width);
        break;
      case 'y':
      case 'Y':
      case 'u':
        if (run == 2) {
          AppendNumber(out, ((value.year % 100) + 100) % 100, 2);
        } else {
          AppendNumber(out, value.year, static_cast<int>(run));
        }
        break;
      case 'H':
        AppendNumber(out, value.hour, width);
        break;
      case 'k':
        AppendNumber(out, value.hour == 0 ? 24 : value.hour, width);
        break;
      case 'h':
        AppendNumber(out, value.hour % 12 == 0 ? 12 : value.hour % 12, width);
        break;
      case 'K':
        AppendNumber(out, value.hour % 12, width);
        break;
      case 'm':
        AppendNumber(out, value.minute, width);
        break;
      case 's':
        AppendNumber(out, value.second, width);
        break;
      case 'a':
        out += value.hour < 12 ? settings.amDesignator : settings.pmDesignator;
        break;
      default:
        out.append(run, c);
        break;
    }
    i += run;
  }
  return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || static_cast<unsigned char>(c) == 0xA0; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char ToUpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view word) {
  if (word.empty() || at + word.size() > text.size()) return false;
  for (size_t k = 0; k < word.size(); ++k) {
    if (ToUpperAscii(text[at + k]) != ToUpperAscii(word[k])) return false;
  }
  return true;
}

// Reads up to maxDigits digits at pos; false when there is none.
bool ReadNumber(std::string_view text, size_t& pos, size_t maxDigits, int& value, size_t& digits) {
  value = 0;
  digits = 0;
  while (pos < text.size() && IsDigit(text[pos]) && digits < maxDigits) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++digits;
  }
  return digits > 0;
}

void SkipBlanks(std::string_view text, size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
}

// True when the pattern has another field letter right after this run, so
// the run's digits must be read at its own width.
bool NextIsField(std::string_view pattern, size_t next) { return next < pattern.size() && IsLetter(pattern[next]); }

// Parses the date part in the short date pattern; advances pos.
bool ParseDatePart(std::string_view text, size_t& pos, std::string_view pattern, int& year, int& month, int& day) {
  bool haveYear = false, haveMonth = false, haveDay = false;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '\'') {
      // Quoted literal: must appear as is.
      ++i;
      while (i < pattern.size()) {
        if (pattern[i] == '\'') {
          if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
            if (pos >= text.size() || text[pos] != '\'') return false;
            ++pos;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        if (pos >= text.size() || text[pos] != pattern[i]) return false;
        ++pos;
        ++i;
      }
      continue;
    }
    size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    const bool fixed = NextIsField(pattern, i + run);
    int number = 0;
    size_t digits = 0;
    switch (c) {
      case 'd':
        if (!ReadNumber(text, pos, 2, number, digits)) return false;
        day = number;
        haveDay = true;
        break;
      case 'M':
      case 'L':
        if (!ReadNumber(text, pos, 2, number, digits)) return false;
        month = number;
        haveMonth = true;
        break;
      case 'y':
      case 'Y':
      case 'u':
        if (!ReadNumber(text, pos, fixed ? (run == 2 ? 2 : 4) : 4, number, digits)) return false;
        // A year of one or two digits is windowed to 1930..2029.
        if (digits <= 2) number += number < 30 ? 2000 : 1900;
        year = number;
        haveYear = true;
        break;
      default:
        if (IsLetter(c)) return false;  // a field this parser does not read
        for (size_t k = 0; k < run; ++k) {
          if (IsBlank(c)) {
            if (pos >= text.size() || !IsBlank(text[pos])) return false;
            SkipBlanks(text, pos);
            break;
          }
          if (pos >= text.size() || text[pos] != c) return false;
          ++pos;
        }
        break;
    }
    i += run;
  }
  return haveYear && haveMonth && haveDay;
}

// The separator between hours and minutes in the long time pattern.
char TimeSeparatorOf(std::string_view pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == 'H' || c == 'h' || c == 'k' || c == 'K') {
      size_t j = i;
      while (j < pattern.size() && pattern[j] == c) ++j;
      if (j < pattern.size() && !IsLetter(pattern[j]) && pattern[j] != '\'') return pattern[j];
      break;
    }
  }
  return ':';
}

// Matches an AM or PM designator at pos; 0 none, 1 AM, 2 PM.
int ReadDesignator(std::string_view text, size_t& pos, const RegionalSettings& settings) {
  const std::string_view candidates[4] = {settings.amDesignator, settings.pmDesignator, "AM", "PM"};
  for (int k = 0; k < 4; ++k) {
    if (StartsWithNoCase(text, pos, candidates[k])) {
      pos += candidates[k].size();
      return k % 2 == 0 ? 1 : 2;
    }
  }
  return 0;
}

// Parses H:mm or H:mm:ss with an optional AM/PM designator before or after.
bool ParseTimePart(std::string_view text, size_t& pos, const RegionalSettings& settings, double& fraction) {
  const char separator = TimeSeparatorOf(settings.longTimeFormat);
  int designator = ReadDesignator(text, pos, settings);
  if (designator != 0) SkipBlanks(text, pos);
  int hour = 0, minute = 0, second = 0;
  size_t digits = 0;
  if (!ReadNumber(text, pos, 2, hour, digits)) return false;
  auto isSeparator = [&](char c) { return c == ':' || c == separator; };
  if (pos >= text.size() || !isSeparator(text[pos])) return false;
  ++pos;
  if (!ReadNumber(text, pos, 2, minute, digits)) return false;
  if (pos < text.size() && isSeparator(text[pos])) {
    ++pos;
    if (!ReadNumber(text, pos, 2, second, digits)) return false;
  }
  if (designator == 0) {
    size_t probe = pos;
    SkipBlanks(text, probe);
    designator = ReadDesignator(text, probe, settings);
    if (designator != 0) pos = probe;
  }
  if (designator != 0) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (designator == 2 ? 12 : 0);
  }
  if (!IsValidTime(hour, minute, second)) return false;
  fraction = static_cast<double>(hour * 3600 + minute * 60 + second) / static_cast<double>(kSecondsPerDay);
  return true;
}

}  // namespace

bool IsGregorianDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  return day <= DaysInMonth(year, month);
}

std::optional<double> EncodeDate(int year, int month, int day) {
  if (!IsGregorianDate(year, month, day)) return std::nullopt;
  return static_cast<double>(SerialDay(year, month, day));
}

std::optional<double> EncodeDateTime(const CivilDateTime& value) {
  if (!IsGregorianDate(value.year, value.month, value.day)) return std::nullopt;
  if (!IsValidTime(value.hour, value.minute, value.second)) return std::nullopt;
  const double fraction =
      static_cast<double>(value.hour * 3600 + value.minute * 60 + value.second) / static_cast<double>(kSecondsPerDay);
  return CombineDayAndTime(SerialDay(value.year, value.month, value.day), fraction);
}

CivilDateTime DecodeDateTime(double days) {
  if (!std::isfinite(days)) days = 0;
  if (days < kMinDays) days = kMinDays;
  if (days > kMaxDays) days = kMaxDays;
  // Linear seconds since the epoch: before day 0 the fraction is the time of
  // day in absolute value.
  const double whole = std::trunc(days);
  const double fraction = std::fabs(days - whole);
  const int64_t seconds =
      static_cast<int64_t>(whole) * kSecondsPerDay + static_cast<int64_t>(std::llround(fraction * kSecondsPerDay));
  int64_t day = seconds / kSecondsPerDay;
  int64_t secondOfDay = seconds % kSecondsPerDay;
  if (secondOfDay < 0) {
    secondOfDay += kSecondsPerDay;
    --day;
  }
  CivilDateTime result;
  CivilFromDays(day + DaysFromCivil(1899, 12, 30), result.year, result.month, result.day);
  result.hour = static_cast<int>(secondOfDay / 3600);
  result.minute = static_cast<int>(secondOfDay / 60 % 60);
  result.second = static_cast<int>(secondOfDay % 60);
  return result;
}

std::string FormatShortDate(double days, const RegionalSettings& settings) {
  return FormatPattern(settings.shortDateFormat, DecodeDateTime(days), settings);
}

std::string FormatLongTime(double days, const RegionalSettings& settings) {
  return FormatPattern(settings.longTimeFormat, DecodeDateTime(days), settings);
}

std::string FormatDateTime(const CivilDateTime& value, const RegionalSettings& settings) {
  return FormatPattern(settings.shortDateFormat, value, settings) + " " +
         FormatPattern(settings.longTimeFormat, value, settings);
}

std::optional<double> ParseLocalDate(std::string_view text, const RegionalSettings& settings) {
  size_t pos = 0;
  SkipBlanks(text, pos);
  int year = 0, month = 0, day = 0;
  if (!ParseDatePart(text, pos, settings.shortDateFormat, year, month, day)) return std::nullopt;
  double fraction = 0;
  size_t afterDate = pos;
  SkipBlanks(text, pos);
  if (pos < text.size()) {
    if (pos == afterDate) return std::nullopt;  // a time needs a blank before it
    if (!ParseTimePart(text, pos, settings, fraction)) return std::nullopt;
    SkipBlanks(text, pos);
    if (pos < text.size()) return std::nullopt;
  }
  if (!IsGregorianDate(year, month, day)) return std::nullopt;
  return CombineDayAndTime(SerialDay(year, month, day), fraction);
}

}  // namespace tarvelo
