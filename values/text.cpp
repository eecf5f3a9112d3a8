#include "values/text.h"

#include <array>
#include <limits>

namespace tarvelo {

namespace {

// Case folding of code page 1252 letters for names: a-z, the accented
// Latin-1 letters and the letter pairs of 0x80-0x9F.
constexpr std::array<unsigned char, 256> MakeFoldTable() {
  std::array<unsigned char, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = static_cast<unsigned char>(i);
  for (int c = 'a'; c <= 'z'; ++c) table[c] = static_cast<unsigned char>(c - 32);
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c != 0xF7) table[c] = static_cast<unsigned char>(c - 32);
  }
  table[0x9A] = 0x8A;
  table[0x9C] = 0x8C;
  table[0x9E] = 0x8E;
  table[0xFF] = 0x9F;
  return table;
}
constexpr std::array<unsigned char, 256> kFold = MakeFoldTable();

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Shared body of StrToInt and StrToInt64: the magnitude is accumulated in
// 64 unsigned bits and checked against the limit of the target range.
template <typename T>
std::optional<T> ParseIntegerLiteral(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < n && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i < n && (text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return std::nullopt;
  using Unsigned = uint64_t;
  const Unsigned maxPositive = static_cast<Unsigned>(std::numeric_limits<T>::max());
  const Unsigned limit = negative ? maxPositive + 1 : maxPositive;
  Unsigned magnitude = 0;
  for (; i < n; ++i) {
    int digit = base == 16 ? HexDigitValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) return std::nullopt;
    if (magnitude > (limit - static_cast<Unsigned>(digit)) / static_cast<Unsigned>(base)) return std::nullopt;
    magnitude = magnitude * static_cast<Unsigned>(base) + static_cast<Unsigned>(digit);
  }
  if (negative) {
    // Two's complement negation of the magnitude, valid down to the minimum.
    return static_cast<T>(static_cast<T>(0) - static_cast<T>(magnitude - 1) - 1);
  }
  return static_cast<T>(magnitude);
}

// Code points of the bytes 0x80 to 0x9F; the rest of code page 1252 equals
// Latin-1.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The code point of the UTF-8 character at text[i], advancing i; a byte
// that starts no character, or the longest start of one that breaks off,
// is skipped whole and gives U+FFFD.
char32_t NextCodePoint(std::string_view text, size_t& i) {
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(i++);
  if (lead < 0x80) return lead;
  int more = 0;
  char32_t c = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0xFFFD;
  }
  for (int k = 0; k < more; ++k, low = 0x80, high = 0xBF) {
    if (i >= text.size() || byte(i) < low || byte(i) > high) return 0xFFFD;
    c = (c << 6) | (byte(i++) & 0x3F);
  }
  return c;
}

// True for the code points that Unicode marks as default ignorable (they
// show nothing: joiners, direction marks, variation selectors) and that the
// code page lacks.
bool IsDefaultIgnorable(char32_t c) {
  static constexpr char32_t kRanges[][2] = {
      {0x034F, 0x034F}, {0x061C, 0x061C},   {0x115F, 0x1160},   {0x17B4, 0x17B5},   {0x180B, 0x180F}, {0x200B, 0x200F},
      {0x202A, 0x202E}, {0x2060, 0x206F},   {0x3164, 0x3164},   {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0},
      {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
  };
  for (const auto& range : kRanges) {
    if (c >= range[0] && c <= range[1]) return true;
  }
  return false;
}

// Appends the code page's byte for a code point: "?" when it has none,
// nothing for a default ignorable one.
void AppendCp1252(std::string& out, char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    out.push_back(static_cast<char>(c));
    return;
  }
  for (int k = 0; k < 32; ++k) {
    if (kHighControls[k] == c) {
      out.push_back(static_cast<char>(0x80 + k));
      return;
    }
  }
  if (!IsDefaultIgnorable(c)) out.push_back('?');
}

}  // namespace

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

std::string UpperAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (kFold[static_cast<unsigned char>(a[i])] != kFold[static_cast<unsigned char>(b[i])]) return false;
  }
  return true;
}

std::string LeftText(std::string_view text, int n) {
  if (n <= 0) return std::string();
  return std::string(text.substr(0, static_cast<size_t>(n)));
}

std::string RepeatChar(char c, int n) {
  if (n <= 0) return std::string();
  return std::string(static_cast<size_t>(n), c);
}

std::string PadRight(std::string_view text, int width) {
  std::string result(text);
  if (width > 0 && result.size() < static_cast<size_t>(width))
    result.append(static_cast<size_t>(width) - result.size(), ' ');
  return result;
}

std::optional<int32_t> StrToInt(std::string_view text) { return ParseIntegerLiteral<int32_t>(text); }

std::optional<int64_t> StrToInt64(std::string_view text) { return ParseIntegerLiteral<int64_t>(text); }

char16_t Cp1252ToUtf16(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return static_cast<char16_t>(byte);
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string result;
  result.reserve(text.size() + text.size() / 4);
  for (const char c : text) AppendUtf8(result, Cp1252ToUtf16(static_cast<unsigned char>(c)));
  return result;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size();) AppendCp1252(result, NextCodePoint(text, i));
  return result;
}

std::string PathText(std::string_view path) { return Utf8ToCp1252(path); }

}  // namespace tarvelo
