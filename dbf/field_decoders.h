#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "values/field_type.h"

namespace tarvelo {

/// True when every byte is a blank (code 32); true for no bytes. A NUL byte
/// is not a blank.
inline bool AllBlank(std::string_view bytes) {
  for (char c : bytes)
    if (c != ' ') return false;
  return true;
}

/// The null rule of a field, from its raw bytes only: a character field is
/// never null; a field of any other type is null exactly when all its bytes
/// are blanks. The one place that says what an empty field is.
inline bool IsNullField(FieldTypeCode type, std::string_view bytes) { return type != ftString && AllBlank(bytes); }

/// Character field: the bytes up to the first NUL (all of them when there is
/// none), blanks kept.
std::string DecodeCharacter(std::string_view bytes);

/// Integer field of up to 9 digits: the bytes parsed as a 32-bit integer
/// (decimal, or hexadecimal after "$", "x", "0x"); nullopt for blank text,
/// any stray character (a trailing blank included) or a value out of range.
std::optional<int32_t> DecodeInteger(std::string_view bytes);

/// DecodeInteger, reading at once the usual form: blanks, an optional sign,
/// then up to 9 decimal digits to the end.
inline std::optional<int32_t> DecodeIntegerField(std::string_view bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n && bytes[i] == ' ') ++i;
  const bool negative = i < n && bytes[i] == '-';
  if (i < n && (bytes[i] == '-' || bytes[i] == '+')) ++i;
  if (i == n || n - i > 9) return DecodeInteger(bytes);
  int32_t value = 0;
  for (; i < n; ++i) {
    const char c = bytes[i];
    if (c < '0' || c > '9') return DecodeInteger(bytes);
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

/// Integer field of 10 digits or more: the same rules with the 64-bit range;
/// nullopt when the text does not parse.
std::optional<int64_t> DecodeLargeint(std::string_view bytes);

/// Number field with decimals: the bytes parsed with "." as decimal
/// separator; nullopt when the text is not such a number or overflows.
std::optional<double> DecodeFloat(std::string_view bytes);

/// Date field: eight bytes YYYYMMDD, each counting as its code minus 48;
/// the day count since 30 December 1899 of a valid Gregorian date, nullopt
/// otherwise (fewer than eight bytes included).
std::optional<double> DecodeDate(std::string_view bytes);

/// Logical field: "T" true, "F" false; nullopt for any other first byte or
/// no bytes.
std::optional<bool> DecodeLogical(std::string_view bytes);

/// Parses a decimal number: optional leading blanks, optional sign, digits
/// with at most one decimal separator (at least one digit), an optional
/// exponent ("E" or "e", optional sign, digits), optional trailing blanks.
/// nullopt for anything else, empty text included, and for a value beyond
/// the double range; a value too small for a double reads as 0.
std::optional<double> ParseDecimal(std::string_view text, char decimalSeparator);

}  // namespace tarvelo
