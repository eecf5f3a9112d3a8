#include "values/text.h"

#include <unicode/ucnv.h>

#include <array>
#include <limits>
#include <memory>

namespace tarvelo {

namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

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

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// One converter per thread: opening a converter is costly and a converter is
// not safe to share between threads.
UConverter* Cp1252Converter() {
  thread_local ConverterPtr converter = [] {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr opened(ucnv_open("windows-1252", &status));
    if (U_SUCCESS(status)) {
      UErrorCode substStatus = U_ZERO_ERROR;
      ucnv_setSubstChars(opened.get(), "?", 1, &substStatus);
    } else {
      opened.reset();
    }
    return opened;
  }();
  return converter.get();
}

}  // namespace

std::string_view TrimView(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

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

std::string Cp1252ToUtf8(std::string_view text) {
  std::string result;
  if (text.empty()) return result;
  UConverter* converter = Cp1252Converter();
  if (converter == nullptr) {
    // Without ICU's table, Latin-1 is the closest approximation.
    for (char c : text) {
      auto code = static_cast<unsigned char>(c);
      if (code < 0x80) {
        result.push_back(c);
      } else {
        result.push_back(static_cast<char>(0xC0 | (code >> 6)));
        result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
      }
    }
    return result;
  }
  ucnv_reset(converter);
  const char* source = text.data();
  const char* sourceEnd = text.data() + text.size();
  result.resize(text.size() * 3 + 4);
  char* target = result.data();
  UErrorCode status = U_ZERO_ERROR;
  // windows-1252 to UTF-8: each byte yields at most 3 UTF-8 bytes.
  UChar buffer[256];
  while (source < sourceEnd) {
    UChar* wide = buffer;
    status = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &wide, buffer + 256, &source, sourceEnd, nullptr, true, &status);
    if (U_FAILURE(status) && status != U_BUFFER_OVERFLOW_ERROR) break;
    for (const UChar* p = buffer; p < wide; ++p) {
      UChar u = *p;
      if (u < 0x80) {
        *target++ = static_cast<char>(u);
      } else if (u < 0x800) {
        *target++ = static_cast<char>(0xC0 | (u >> 6));
        *target++ = static_cast<char>(0x80 | (u & 0x3F));
      } else {
        *target++ = static_cast<char>(0xE0 | (u >> 12));
        *target++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        *target++ = static_cast<char>(0x80 | (u & 0x3F));
      }
    }
  }
  result.resize(static_cast<size_t>(target - result.data()));
  return result;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string result;
  if (text.empty()) return result;
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = Cp1252Converter();
  // Decode UTF-8 to UTF-16 with ICU, then encode to the code page.
  UConverter* utf8 = ucnv_open("UTF-8", &status);
  if (converter == nullptr || U_FAILURE(status)) {
    if (utf8 != nullptr) ucnv_close(utf8);
    return std::string(text);
  }
  ConverterPtr utf8Guard(utf8);
  ucnv_reset(converter);
  result.resize(text.size() + 4);
  char* target = result.data();
  char* targetEnd = result.data() + result.size();
  const char* source = text.data();
  status = U_ZERO_ERROR;
  ucnv_convertEx(converter, utf8, &target, targetEnd, &source, text.data() + text.size(), nullptr, nullptr, nullptr,
                 nullptr, true, true, &status);
  if (U_FAILURE(status)) return std::string();
  result.resize(static_cast<size_t>(target - result.data()));
  return result;
}

std::string PathText(std::string_view path) { return Utf8ToCp1252(path); }

}  // namespace tarvelo
