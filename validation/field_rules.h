#pragma once
// The rules a field's StructureTable row switches on, each written once:
// empty, exact length, date (with the field of zeros it accepts), code
// (a domain value, its key made from the field's text or from its value as
// an integer) and conditional code (the key qualified by another field).
//
// The record checks read a field in one of two ways, from the record's
// bytes or through its Variant value (RecordChecker). Both ways are a
// "reading" of the field, a type that answers:
//   bool IsNull()                       the field is null by its bytes (IsNullField)
//   std::string_view Text()             the field's text: a character field's bytes up to
//                                       the first NUL, any other field's value converted
//   std::string_view Trimmed()          Text() without blanks and controls at both ends
//   bool DiffersFromText(std::string_view text)  Variant inequality of the value and text
//   int32_t Length()                    the row's tamanho as an integer
//   std::string_view IntegerText()      the value converted to an integer, in decimal
//   std::string_view Qualifier()        the trimmed text of the depende field; empty without one
// Each answer may raise the error of a value that does not convert; a
// rule asks only for what it needs, in the order it needs it, so the same
// errors come first either way. No text a reading gives holds a NUL byte,
// but for the bytes a field whose only rule is the empty rule may give as
// its text: IsEmptyText stops at a NUL.

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "values/date_time.h"
#include "values/text.h"

namespace tarvelo {

/// A (valor1, valor2) key of the domain table packed into one number.
using DomainKey = unsigned __int128;

/// Empty rule, on a text: true when, trimmed, it is empty: no character
/// above code 32 comes before its end, or before a NUL byte, which ends a
/// character field's text (so a field's bytes give what its text gives).
[[gnu::always_inline]] inline bool IsEmptyText(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) > 32) return false;
    if (c == '\0') return true;
  }
  return true;
}

/// IsValidDate of a text whose first eight characters are digits, the
/// usual form, read at once: true, with the answer in valid; false for any
/// other text.
[[gnu::always_inline]] inline bool EightDigitDate(std::string_view text, int currentYear, bool& valid) {
  if (text.size() < 8) return false;
  constexpr uint64_t kOnes = 0x0101010101010101u;
  uint64_t word;
  std::memcpy(&word, text.data(), sizeof word);
  if ((word & (0xF0 * kOnes)) != 0x30 * kOnes || ((word + 0x06 * kOnes) & (0xF0 * kOnes)) != 0x30 * kOnes) return false;
  const auto digit = [&](size_t i) { return text[i] - '0'; };
  const int year = digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3);
  valid = year >= 1900 && year <= currentYear + 5 &&
          IsGregorianDate(year, digit(4) * 10 + digit(5), digit(6) * 10 + digit(7));
  return true;
}

/// IsValidDate of any text; IsValidDate reads the usual form at once.
bool IsValidDateText(std::string_view text, int currentYear);

/// Date rule: true when text holds a valid YYYYMMDD date (characters after
/// the 8th ignored) whose year lies between 1900 and currentYear + 5. Each
/// part is read by the standard text-to-integer conversion, so blanks,
/// hyphens or an empty part make it false.
[[gnu::always_inline]] inline bool IsValidDate(std::string_view text, int currentYear) {
  bool valid = false;
  if (EightDigitDate(text, currentYear, valid)) return valid;
  return IsValidDateText(text, currentYear);
}

/// The decimal text of an integer as a value's text writes it (a "-"
/// before a negative), in buffer.
[[gnu::always_inline]] inline std::string_view DecimalText(int64_t value, char (&buffer)[24]) {
  const char* end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string_view(buffer, static_cast<size_t>(end - buffer));
}

/// A domain key, valor1 (at most 8 bytes) and valor2 (at most 2), packed
/// with the count of each: two keys pack alike exactly when both texts are
/// identical. The domain table's stored texts are packed this way.
DomainKey PackDomainKey(std::string_view value1, std::string_view value2);

/// Code rule's key: value1 padded with blanks to 8 characters, the
/// qualifier to 2 (two blanks without one), both upper case (a to z only)
/// and cut to their widths, as text key fields of those widths store them;
/// PackDomainKey of the two. Neither text holds a NUL byte.
[[gnu::always_inline]] inline DomainKey DomainKeyOf(std::string_view value1, std::string_view qualifier) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  // valor1's bytes in a word, first byte lowest, blanks after them; a copy
  // of a known size per case compiles to plain loads.
  uint64_t word = 0x20 * kOnes;
  const char* from = value1.data();
  switch (value1.size() < 8 ? value1.size() : 8) {
    case 8:
      std::memcpy(&word, from, 8);
      break;
    case 7:
      std::memcpy(&word, from, 7);
      break;
    case 6:
      std::memcpy(&word, from, 6);
      break;
    case 5:
      std::memcpy(&word, from, 5);
      break;
    case 4:
      std::memcpy(&word, from, 4);
      break;
    case 3:
      std::memcpy(&word, from, 3);
      break;
    case 2:
      std::memcpy(&word, from, 2);
      break;
    case 1:
      std::memcpy(&word, from, 1);
      break;
    default:
      break;
  }
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  // Upper case, eight bytes at once: a byte from "a" to "z" (the high bit
  // clear, the low seven bits in range) loses 32.
  const uint64_t low7 = word & (0x7F * kOnes);
  const uint64_t lower = (low7 + (0x80 - 'a') * kOnes) & ~(low7 + (0x80 - 'z' - 1) * kOnes) & ~word & (0x80 * kOnes);
  word = __builtin_bswap64(word - (lower >> 2));  // first byte highest
  const auto upper = [](char c) {
    return static_cast<uint32_t>(static_cast<unsigned char>((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c));
  };
  const uint32_t first = qualifier.empty() ? ' ' : upper(qualifier[0]);
  const uint32_t second = qualifier.size() < 2 ? ' ' : upper(qualifier[1]);
  return static_cast<DomainKey>(word) << 24 | first << 16 | second << 8 | 8 << 4 | 2;
}

/// Empty rule of a field: null, or typed as text (tipo 1) with an empty
/// trimmed text.
template <class Reading>
[[gnu::always_inline]] inline bool FailsEmpty(Reading& field, bool textType) {
  return field.IsNull() || (textType && IsEmptyText(field.Text()));
}

/// Exact length rule of a field: its trimmed text does not have tamanho
/// characters.
template <class Reading>
[[gnu::always_inline]] inline bool FailsLength(Reading& field) {
  const std::string_view trimmed = field.Trimmed();
  return static_cast<int64_t>(trimmed.size()) != field.Length();
}

/// The exact length rule on a text: true exactly when, trimmed, it has n
/// characters.
inline bool HasExactLength(std::string_view text, int32_t n) {
  struct {
    std::string_view trimmed;
    int32_t length;
    std::string_view Trimmed() const { return trimmed; }
    int32_t Length() const { return length; }
  } reading{TrimView(text), n};
  return !FailsLength(reading);
}

/// Date rule of a field: its value is not the text of zeros (the accepted
/// empty date, "0" over the field's size) and its text is no valid date.
template <class Reading>
[[gnu::always_inline]] inline bool FailsDate(Reading& field, std::string_view zeros, int currentYear) {
  return field.DiffersFromText(zeros) && !IsValidDate(field.Text(), currentYear);
}

/// The key the code rule looks up for a field: its trimmed text when typed
/// as text (tipo 1), else its value's integer text; qualified by the
/// depende field's trimmed text (the conditional code), if any.
template <class Reading>
[[gnu::always_inline]] inline DomainKey CodeKey(Reading& field, bool textType) {
  const std::string_view value1 = textType ? field.Trimmed() : field.IntegerText();
  const std::string_view qualifier = field.Qualifier();
  return DomainKeyOf(value1, qualifier);
}

}  // namespace tarvelo
