#pragma once

#include <array>
#include <cstddef>

namespace tarvelo {

/// A string literal as a template argument: the UTF-8 bytes of a source
/// text.
template <size_t N>
struct Utf8Literal {
  char bytes[N]{};
  consteval Utf8Literal(const char (&text)[N]) {
    for (size_t i = 0; i < N; ++i) bytes[i] = text[i];
  }
};

namespace cp1252_detail {

/// The code page 1252 byte of a character; a character the code page lacks
/// stops the compilation.
consteval unsigned char ByteOf(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  constexpr char32_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  for (unsigned i = 0; i < 32; ++i)
    if (kHigh[i] == c && c != 0) return static_cast<unsigned char>(0x80 + i);
  throw "character not in code page 1252";
}

template <size_t N>
struct Converted {
  std::array<char, N> text{};  // NUL-terminated
};

template <Utf8Literal S>
consteval auto Convert() {
  constexpr size_t n = sizeof(S.bytes);
  Converted<n> out;
  size_t o = 0;
  for (size_t i = 0; i + 1 < n;) {
    const unsigned char lead = static_cast<unsigned char>(S.bytes[i]);
    char32_t c = lead;
    size_t length = 1;
    if (lead >= 0xF0) {
      c = lead & 0x07;
      length = 4;
    } else if (lead >= 0xE0) {
      c = lead & 0x0F;
      length = 3;
    } else if (lead >= 0xC0) {
      c = lead & 0x1F;
      length = 2;
    } else if (lead >= 0x80) {
      throw "not UTF-8";
    }
    for (size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(S.bytes[i + k]) & 0x3F);
    out.text[o++] = static_cast<char>(ByteOf(c));
    i += length;
  }
  out.text[o] = '\0';
  return out;
}

template <Utf8Literal S>
inline constexpr auto kConverted = Convert<S>();

}  // namespace cp1252_detail

/// A text written in the source as UTF-8, in code page 1252 bytes, made at
/// compile time: "Início"_cp1252 is "In\xEDcio". A character the code page
/// lacks does not compile.
template <Utf8Literal S>
constexpr const char* operator""_cp1252() {
  return cp1252_detail::kConverted<S>.text.data();
}

}  // namespace tarvelo
