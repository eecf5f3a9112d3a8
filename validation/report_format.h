#pragma once

#include <string>
#include <string_view>

#include "values/errors.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The analysis period the report names, fixed in the program.
inline constexpr const char* kAnalysisPeriod = "01/07/2022 a 30/06/2023";

/// A line of exactly 80 "=" characters.
std::string RuleLine();

/// Fixed-point text of value with exactly `decimals` digits after the
/// user's decimal separator (none when 0), at most 15 significant digits,
/// rounded half away from zero, integer digits grouped in threes by the
/// user's thousands separator, "-" for negatives. More than 15 integer
/// digits give scientific notation instead. NaN and infinities give "NAN",
/// "INF" and "-INF".
std::string FormatNumber(double value, int decimals, const RegionalSettings& settings);

/// The text an error shows in the message box: the message, with a full
/// stop added when its last character sorts after "." (letters, digits).
std::string MessageBoxText(const std::string& message);

/// text with every control character (codes below 32, and 127) written as
/// "\x" and two upper-case hexadecimal digits, so that none reaches a
/// terminal raw; every other byte unchanged.
std::string EscapeControlCharacters(std::string_view text);

/// The whole text the user sees for an error: MessageBoxText of its
/// message; then, each on a line of its own when the error knows it, the
/// system's reason and the place where it happened (data file, record
/// number, field). Control characters in the three are escaped
/// (EscapeControlCharacters); the line breaks between them are not.
std::string ErrorText(const TarveloError& error);

}  // namespace tarvelo
