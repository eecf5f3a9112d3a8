#pragma once

#include <cstddef>
#include <string_view>

namespace tarvelo {

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
