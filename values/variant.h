#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "values/regional_settings.h"

namespace tarvelo {

/// Kind tag of a Variant. The names used in messages are those of
/// VariantTypeName().
enum class VariantType : uint8_t {
  Empty,
  Null,
  Smallint,  // signed 16-bit
  Integer,   // signed 32-bit
  ShortInt,  // signed 8-bit
  Byte,      // unsigned 8-bit
  Word,      // unsigned 16-bit
  LongWord,  // unsigned 32-bit
  Int64,     // signed 64-bit
  Single,    // 32-bit real
  Double,    // 64-bit real
  Currency,  // fixed point, 4 decimals (stored scaled by 10000 in an int64)
  Date,      // days since 30 December 1899, fraction = time of day
  Boolean,
  String,  // 8-bit (code page 1252) text
  OleStr,  // "wide" text; held as the same 8-bit bytes here
};

/// Name of a kind as error messages write it ("Null", "Int64", "String").
const char* VariantTypeName(VariantType type);

/// Operation class of a kind; decides how two values combine.
enum class VariantClass : uint8_t { Empty, Null, Integer, Real, Currency, Text, Boolean, Date, LargeInteger };

/// Class of a kind.
VariantClass ClassOf(VariantType type);

/// A tagged dynamic value. Copying copies the value (text included).
/// Conversions are free functions below, comparisons and arithmetic in
/// variant_operators.h; they take the user's regional settings because text
/// forms of numbers and dates depend on them.
class Variant {
 public:
  /// Empty.
  Variant() = default;

  static Variant Null();
  static Variant Integer(int32_t value);
  static Variant Byte(uint8_t value);
  static Variant Smallint(int16_t value);
  static Variant ShortInt(int8_t value);
  static Variant Word(uint16_t value);
  static Variant LongWord(uint32_t value);
  static Variant Int64(int64_t value);
  static Variant Single(float value);
  static Variant Double(double value);
  /// Currency from its value scaled by 10000 (1.5 is 15000).
  static Variant CurrencyScaled(int64_t scaled);
  /// Date from days since 30 December 1899.
  static Variant Date(double days);
  static Variant Boolean(bool value);
  static Variant String(std::string text);
  static Variant OleStr(std::string text);

  VariantType Type() const { return type_; }
  bool IsNull() const { return type_ == VariantType::Null; }
  bool IsEmpty() const { return type_ == VariantType::Empty; }

  /// Raw payload accessors; meaningful only for the matching class.
  int64_t IntegerPayload() const { return int_; }
  double RealPayload() const { return real_; }
  const std::string& TextPayload() const { return text_; }

 private:
  VariantType type_ = VariantType::Empty;
  int64_t int_ = 0;   // integer kinds, Boolean (0 or -1), Currency (scaled)
  double real_ = 0;   // Single, Double, Date
  std::string text_;  // String, OleStr
};

/// Text form: Empty is "", integers in decimal, reals in the 15-digit general
/// format, dates as short date (plus long time when the time is not zero),
/// booleans "True"/"False". Null fails with the conversion error naming
/// "Null" and "String".
std::string ToText(const Variant& value, const RegionalSettings& settings);

/// 32-bit integer: Empty 0; reals and dates rounded half to even; text by the
/// locale-aware parse, then the integer literal, then the boolean fallback.
/// Null fails (conversion error "Null" -> "Integer"); out of range fails with
/// the overflow error.
int32_t ToInteger(const Variant& value, const RegionalSettings& settings);

/// 64-bit integer, used by the large-integer procedures.
int64_t ToInt64(const Variant& value, const RegionalSettings& settings);

/// 64-bit real: Empty 0, integers and dates by value, Boolean -1/0, text by
/// the locale-aware parse then the plain decimal parse. Null and text that
/// is not a number fail with the conversion error naming "Double".
double ToDouble(const Variant& value, const RegionalSettings& settings);

/// Date as days since 30 December 1899; text by the short date format
/// (optionally followed by a time) or a day count. Fails naming "Date".
double ToDate(const Variant& value, const RegionalSettings& settings);

/// Boolean: integers non-zero, text "True"/"False" (any case) or a number.
/// Fails naming "Boolean".
bool ToBoolean(const Variant& value, const RegionalSettings& settings);

/// Currency scaled by 10000 (1.5 is 15000): Empty 0, integers and Boolean
/// by value, reals and dates rounded half to even, text by the
/// locale-aware parse. Null and text that is not a number fail naming
/// "Currency"; a value beyond the currency range fails with the overflow
/// error.
int64_t ToCurrencyScaled(const Variant& value, const RegionalSettings& settings);

/// The general format of a real with 15 significant digits and the given
/// decimal separator ("12,5", "1E15", "5E-5", "0").
std::string FormatGeneral(double value, char decimalSeparator);

}  // namespace tarvelo
