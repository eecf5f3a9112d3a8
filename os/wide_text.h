#pragma once

#include <string>
#include <string_view>

// Windows only: the system's wide-character (UTF-16) names and texts, and
// the UTF-8 the program holds them in.
namespace tarvelo::os {

/// UTF-16 of UTF-8 text; a byte that is no part of a UTF-8 character gives
/// U+FFFD.
std::wstring WideFromUtf8(std::string_view text);

/// UTF-8 of UTF-16 text; a lone surrogate gives U+FFFD.
std::string Utf8FromWide(std::wstring_view text);

}  // namespace tarvelo::os
