#include "validation/field_rules.h"

#include <optional>

namespace tarvelo {
namespace {

// A part of a YYYYMMDD text as a number: the standard conversion, with a
// shortcut for the common case of plain digits.
std::optional<int32_t> DatePart(std::string_view part) {
  if (part.empty()) return std::nullopt;
  int32_t value = 0;
  for (const char c : part) {
    if (c < '0' || c > '9') return StrToInt(part);
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

bool IsValidDateText(std::string_view text, int currentYear) {
  const auto part = [&](size_t from, size_t count) {
    return from < text.size() ? text.substr(from, count) : std::string_view();
  };
  const auto year = DatePart(part(0, 4));
  const auto month = DatePart(part(4, 2));
  const auto day = DatePart(part(6, 2));
  if (!year || !month || !day) return false;
  if (*year < 1900 || *year > currentYear + 5) return false;
  return IsGregorianDate(*year, *month, *day);
}

DomainKey PackDomainKey(std::string_view value1, std::string_view value2) {
  DomainKey key = 0;
  for (const char c : value1) key = key << 8 | static_cast<unsigned char>(c);
  key <<= 8 * (8 - value1.size());
  for (const char c : value2) key = key << 8 | static_cast<unsigned char>(c);
  key <<= 8 * (2 - value2.size());
  return key << 8 | value1.size() << 4 | value2.size();
}

}  // namespace tarvelo
