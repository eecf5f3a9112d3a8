#pragma once

#include <cstdint>

#include "values/regional_settings.h"
#include "values/variant.h"

namespace tarvelo {

/// The six relational operators.
enum class CompareOp : uint8_t { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

/// Compares two values by the class-pair rules and returns the operator's
/// answer. Raises the conversion errors of the operands' conversions.
bool Compare(const Variant& left, CompareOp op, const Variant& right, const RegionalSettings& settings);

/// Arithmetic by the class-pair rules. Raise conversion and floating point
/// errors; an operand that is Null gives Null.
Variant Add(const Variant& left, const Variant& right, const RegionalSettings& settings);
Variant Subtract(const Variant& left, const Variant& right, const RegionalSettings& settings);
Variant Multiply(const Variant& left, const Variant& right, const RegionalSettings& settings);
Variant Divide(const Variant& left, const Variant& right, const RegionalSettings& settings);

}  // namespace tarvelo
