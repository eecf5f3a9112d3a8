#pragma once

#include <string>

#include "values/errors.h"
#include "values/regional_settings.h"

namespace tarvelo {

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

/// The whole text the user sees for an error: MessageBoxText of its
/// message, then, when the error knows where it happened, a line break and
/// that place (data file, record number, field).
std::string ErrorText(const TarveloError& error);

}  // namespace tarvelo
