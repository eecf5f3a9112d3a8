#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelo {

/// Removes characters of code 32 or below at both ends.
std::string Trim(std::string_view text);

/// Trim without a copy: the part of text between its blanks.
inline std::string_view TrimView(std::string_view text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin < end && static_cast<unsigned char>(*begin) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(end[-1]) <= 32) --end;
  return std::string_view(begin, static_cast<size_t>(end - begin));
}

/// Upper case of the letters a to z only; every other byte unchanged.
std::string UpperAscii(std::string_view text);

/// Whether two code page 1252 names (of fields) are equal but for letter
/// case: the letters a to z, the accented letters and the letter pairs of
/// 0x80 to 0x9F against their capitals. Names of different lengths differ.
bool SameName(std::string_view a, std::string_view b);

/// The first n characters of text (the whole text when shorter; empty for
/// n <= 0).
std::string LeftText(std::string_view text, int n);

/// n copies of one character; empty when n is 0 or less.
std::string RepeatChar(char c, int n);

/// Right padding to width: text followed by spaces up to width; a text of
/// width characters or more is returned whole (never cut).
std::string PadRight(std::string_view text, int width);

/// The standard text-to-integer conversion: leading blanks skipped, optional
/// sign, then decimal digits, or hexadecimal digits after "$", "x", "X", "0x"
/// or "0X"; nothing may follow the digits (not even a blank). nullopt for
/// empty text, other characters or a value outside the 32-bit range.
std::optional<int32_t> StrToInt(std::string_view text);

/// The same rules with the 64-bit range.
std::optional<int64_t> StrToInt64(std::string_view text);

/// The Unicode code point of a code page 1252 byte (the five bytes the code
/// page leaves undefined map to the C1 control of the same value).
char16_t Cp1252ToUtf16(unsigned char byte);

/// Code page 1252 bytes to UTF-8 (for terminals and windows).
std::string Cp1252ToUtf8(std::string_view text);

/// UTF-8 to code page 1252; characters the code page lacks become "?", as
/// does each byte, or broken-off start of a character, that is no UTF-8;
/// characters that show nothing (joiners, direction marks) are dropped.
std::string Utf8ToCp1252(std::string_view text);

/// How a file system name (bytes, read as UTF-8) appears in report and
/// error text: in code page 1252, with "?" for a character the code page
/// lacks and for a byte that is no part of a UTF-8 character. Empty for an
/// empty name.
std::string PathText(std::string_view path);

}  // namespace tarvelo
