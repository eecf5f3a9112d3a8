#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "values/regional_settings.h"

namespace tarvelo {

enum class ParseStatus { Ok, NotNumber, Overflow };

/// A number read from text.
struct ParsedNumber {
  ParseStatus status = ParseStatus::NotNumber;
  /// The value when status is Ok.
  double real = 0;
  /// Whether integer holds the exact value: a whole number without
  /// fraction or exponent that fits in 64 bits.
  bool exact = false;
  int64_t integer = 0;
};

/// The locale-aware number parse: blanks (and a no-break space unless it is
/// the thousands separator), an optional sign, digits with optional
/// thousands separators of the settings in groups of three, an optional
/// decimal separator and digits, an optional exponent, blanks. NotNumber
/// for any other text, Overflow for a value beyond the double range; a
/// value too small for a double reads as 0. Works without heap allocation
/// for texts of normal length.
ParsedNumber ParseLocaleNumber(std::string_view text, const RegionalSettings& settings);

/// The exponent part of a number text at a position: "e" or "E", an
/// optional sign and decimal digits.
struct ExponentScan {
  bool present = false;  // the text has an "e" or "E" there
  bool valid = true;     // false when no digit follows it
  long value = 0;        // signed; stops growing beyond any double's range
  size_t end = 0;        // the position after the part (the start when absent)
};

/// Scans the exponent part of text at position start.
ExponentScan ScanExponent(std::string_view text, size_t start);

enum class DecimalStatus { Ok, Overflow, Underflow, Invalid };

/// Converts a plain unsigned decimal text (digits, then optionally "." and
/// digits, then optionally an exponent) to a double. A value out of range
/// is an Overflow when its leading digit stands left of the decimal point,
/// else an Underflow; value is left unchanged then. Invalid for any other
/// text.
DecimalStatus ConvertDecimal(std::string_view plain, double& value);

}  // namespace tarvelo
