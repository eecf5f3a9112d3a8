#include "values/variant.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "values/date_time.h"
#include "values/errors.h"
#include "values/number_scan.h"
#include "values/text.h"

namespace tarvelo {

namespace {

using VC = VariantClass;

[[noreturn]] void ThrowConversion(VariantType from, const char* to) {
  throw VariantError(std::string("Could not convert variant of type (") + VariantTypeName(from) + ") into type (" + to +
                     ")");
}

[[noreturn]] void ThrowOverflow(VariantType from, const char* to) {
  throw VariantError(std::string("Overflow while converting variant of type (") + VariantTypeName(from) +
                     ") into type (" + to + ")");
}

// Round half to even; the caller checks the range.
double RoundHalfEven(double value) {
  const double floorValue = std::floor(value);
  const double diff = value - floorValue;
  if (diff > 0.5) return floorValue + 1;
  if (diff < 0.5) return floorValue;
  return std::fmod(floorValue, 2.0) == 0 ? floorValue : floorValue + 1;
}

constexpr double kTwoPow63 = 9223372036854775808.0;

// Real to a 64-bit integer by rounding half to even; nullopt outside the
// range or for NaN.
std::optional<int64_t> RealToInt64(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double rounded = RoundHalfEven(value);
  if (rounded < -kTwoPow63 || rounded >= kTwoPow63) return std::nullopt;
  return static_cast<int64_t>(rounded);
}

// Text to boolean: "True"/"False" in any case, or a number (non-zero true).
std::optional<bool> TryTextToBoolean(std::string_view text, const RegionalSettings& settings) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  const std::string_view word = text.substr(begin, end - begin);
  auto equalsNoCase = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
      char x = a[k];
      if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
      if (x != b[k]) return false;
    }
    return true;
  };
  if (equalsNoCase(word, "TRUE")) return true;
  if (equalsNoCase(word, "FALSE")) return false;
  const ParsedNumber number = ParseLocaleNumber(text, settings);
  if (number.status == ParseStatus::Ok) return number.real != 0;
  return std::nullopt;
}

// The integer literal of the conversion fallback: leading blanks, a sign,
// decimal digits or "$" and hexadecimal digits, nothing after. Unlike
// StrToInt it takes no "x" or "0x" prefix, so "X1" is no number here.
template <typename T>
std::optional<T> ParseVariantIntegerLiteral(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) return std::nullopt;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) return std::nullopt;
  if constexpr (sizeof(T) == 4) {
    return StrToInt(text);
  } else {
    return StrToInt64(text);
  }
}

bool TextToBoolean(const Variant& value, const RegionalSettings& settings) {
  if (auto result = TryTextToBoolean(value.TextPayload(), settings)) return *result;
  ThrowConversion(value.Type(), "Boolean");
}

std::string IntegerText(int64_t value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof(buffer), value).ptr;
  return std::string(buffer, end);
}

std::string CurrencyText(int64_t scaled, char decimalSeparator) {
  const bool negative = scaled < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  std::string text = negative ? "-" : "";
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof(buffer), magnitude / 10000).ptr;
  text.append(buffer, end);
  uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    char digits[4];
    for (int k = 3; k >= 0; --k) {
      digits[k] = static_cast<char>('0' + fraction % 10);
      fraction /= 10;
    }
    int count = 4;
    while (count > 0 && digits[count - 1] == '0') --count;
    text.push_back(decimalSeparator);
    text.append(digits, static_cast<size_t>(count));
  }
  return text;
}

}  // namespace

int64_t ToCurrencyScaled(const Variant& value, const RegionalSettings& settings) {
  constexpr double kCurrencyLimit = 922337203685477.5807;
  auto fromReal = [&](double real, VariantType source) -> int64_t {
    if (!std::isfinite(real) || std::fabs(real) > kCurrencyLimit) ThrowOverflow(source, "Currency");
    auto scaled = RealToInt64(real * 10000.0);
    if (!scaled) ThrowOverflow(source, "Currency");
    return *scaled;
  };
  switch (ClassOf(value.Type())) {
    case VC::Empty:
      return 0;
    case VC::Null:
      ThrowConversion(value.Type(), "Currency");
    case VC::Integer:
    case VC::LargeInteger:
    case VC::Boolean: {
      int64_t scaled = 0;
      if (__builtin_mul_overflow(value.IntegerPayload(), int64_t{10000}, &scaled))
        ThrowOverflow(value.Type(), "Currency");
      return scaled;
    }
    case VC::Real:
    case VC::Date:
      return fromReal(value.RealPayload(), value.Type());
    case VC::Currency:
      return value.IntegerPayload();
    case VC::Text: {
      const ParsedNumber number = ParseLocaleNumber(value.TextPayload(), settings);
      if (number.status == ParseStatus::Overflow) ThrowOverflow(value.Type(), "Currency");
      if (number.status != ParseStatus::Ok) ThrowConversion(value.Type(), "Currency");
      return fromReal(number.real, value.Type());
    }
  }
  ThrowConversion(value.Type(), "Currency");
}

const char* VariantTypeName(VariantType type) {
  switch (type) {
    case VariantType::Empty:
      return "Empty";
    case VariantType::Null:
      return "Null";
    case VariantType::Smallint:
      return "Smallint";
    case VariantType::Integer:
      return "Integer";
    case VariantType::ShortInt:
      return "ShortInt";
    case VariantType::Byte:
      return "Byte";
    case VariantType::Word:
      return "Word";
    case VariantType::LongWord:
      return "LongWord";
    case VariantType::Int64:
      return "Int64";
    case VariantType::Single:
      return "Single";
    case VariantType::Double:
      return "Double";
    case VariantType::Currency:
      return "Currency";
    case VariantType::Date:
      return "Date";
    case VariantType::Boolean:
      return "Boolean";
    case VariantType::String:
      return "String";
    case VariantType::OleStr:
      return "OleStr";
  }
  return "Unknown";
}

VariantClass ClassOf(VariantType type) {
  switch (type) {
    case VariantType::Empty:
      return VC::Empty;
    case VariantType::Null:
      return VC::Null;
    case VariantType::Smallint:
    case VariantType::Integer:
    case VariantType::ShortInt:
    case VariantType::Byte:
      return VC::Integer;
    case VariantType::Word:
    case VariantType::LongWord:
    case VariantType::Int64:
      return VC::LargeInteger;
    case VariantType::Single:
    case VariantType::Double:
      return VC::Real;
    case VariantType::Currency:
      return VC::Currency;
    case VariantType::Date:
      return VC::Date;
    case VariantType::Boolean:
      return VC::Boolean;
    case VariantType::String:
    case VariantType::OleStr:
      return VC::Text;
  }
  return VC::Empty;
}

Variant Variant::Null() {
  Variant v;
  v.type_ = VariantType::Null;
  return v;
}

Variant Variant::Integer(int32_t value) {
  Variant v;
  v.type_ = VariantType::Integer;
  v.int_ = value;
  return v;
}

Variant Variant::Byte(uint8_t value) {
  Variant v;
  v.type_ = VariantType::Byte;
  v.int_ = value;
  return v;
}

Variant Variant::Smallint(int16_t value) {
  Variant v;
  v.type_ = VariantType::Smallint;
  v.int_ = value;
  return v;
}

Variant Variant::ShortInt(int8_t value) {
  Variant v;
  v.type_ = VariantType::ShortInt;
  v.int_ = value;
  return v;
}

Variant Variant::Word(uint16_t value) {
  Variant v;
  v.type_ = VariantType::Word;
  v.int_ = value;
  return v;
}

Variant Variant::LongWord(uint32_t value) {
  Variant v;
  v.type_ = VariantType::LongWord;
  v.int_ = value;
  return v;
}

Variant Variant::Int64(int64_t value) {
  Variant v;
  v.type_ = VariantType::Int64;
  v.int_ = value;
  return v;
}

Variant Variant::Single(float value) {
  Variant v;
  v.type_ = VariantType::Single;
  v.real_ = value;
  return v;
}

Variant Variant::Double(double value) {
  Variant v;
  v.type_ = VariantType::Double;
  v.real_ = value;
  return v;
}

Variant Variant::CurrencyScaled(int64_t scaled) {
  Variant v;
  v.type_ = VariantType::Currency;
  v.int_ = scaled;
  return v;
}

Variant Variant::Date(double days) {
  Variant v;
  v.type_ = VariantType::Date;
  v.real_ = days;
  return v;
}

Variant Variant::Boolean(bool value) {
  Variant v;
  v.type_ = VariantType::Boolean;
  v.int_ = value ? -1 : 0;
  return v;
}

Variant Variant::String(std::string text) {
  Variant v;
  v.type_ = VariantType::String;
  v.text_ = std::move(text);
  return v;
}

Variant Variant::OleStr(std::string text) {
  Variant v;
  v.type_ = VariantType::OleStr;
  v.text_ = std::move(text);
  return v;
}

std::string ToText(const Variant& value, const RegionalSettings& settings) {
  switch (ClassOf(value.Type())) {
    case VC::Empty:
      return std::string();
    case VC::Null:
      ThrowConversion(value.Type(), "String");
    case VC::Integer:
    case VC::LargeInteger:
      return IntegerText(value.IntegerPayload());
    case VC::Real:
      return FormatGeneral(value.RealPayload(), settings.decimalSeparator);
    case VC::Currency:
      return CurrencyText(value.IntegerPayload(), settings.decimalSeparator);
    case VC::Date: {
      const double days = value.RealPayload();
      std::string text = FormatShortDate(days, settings);
      const CivilDateTime moment = DecodeDateTime(days);
      if (moment.hour != 0 || moment.minute != 0 || moment.second != 0) {
        text.push_back(' ');
        text += FormatLongTime(days, settings);
      }
      return text;
    }
    case VC::Boolean:
      return value.IntegerPayload() != 0 ? "True" : "False";
    case VC::Text:
      return value.TextPayload();
  }
  ThrowConversion(value.Type(), "String");
}

namespace {

// A currency value (scaled by 10000) rounded half to even to a whole number.
int64_t RoundCurrency(int64_t scaled) {
  int64_t whole = scaled / 10000;
  const int64_t rest = scaled % 10000;
  if (rest > 5000 || (rest == 5000 && whole % 2 != 0)) ++whole;
  if (rest < -5000 || (rest == -5000 && whole % 2 != 0)) --whole;
  return whole;
}

// Conversion to a signed integer type T; target is T's name in messages.
template <typename T>
T ToIntegral(const Variant& value, const RegionalSettings& settings, const char* target) {
  const auto fit = [&](int64_t v) -> T {
    if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) ThrowOverflow(value.Type(), target);
    return static_cast<T>(v);
  };
  switch (ClassOf(value.Type())) {
    case VC::Empty:
      return 0;
    case VC::Null:
      ThrowConversion(value.Type(), target);
    case VC::Integer:
    case VC::LargeInteger:
      return fit(value.IntegerPayload());
    case VC::Real:
    case VC::Date:
      if (auto result = RealToInt64(value.RealPayload())) return fit(*result);
      ThrowOverflow(value.Type(), target);
    case VC::Currency:
      return fit(RoundCurrency(value.IntegerPayload()));
    case VC::Boolean:
      return value.IntegerPayload() != 0 ? -1 : 0;
    case VC::Text: {
      const ParsedNumber number = ParseLocaleNumber(value.TextPayload(), settings);
      if (number.status == ParseStatus::Overflow) ThrowOverflow(value.Type(), target);
      if (number.status == ParseStatus::Ok) {
        if (number.exact) return fit(number.integer);
        if (auto result = RealToInt64(number.real)) return fit(*result);
        ThrowOverflow(value.Type(), target);
      }
      if (auto literal = ParseVariantIntegerLiteral<T>(value.TextPayload())) return *literal;
      return TextToBoolean(value, settings) ? 1 : 0;
    }
  }
  ThrowConversion(value.Type(), target);
}

}  // namespace

int32_t ToInteger(const Variant& value, const RegionalSettings& settings) {
  return ToIntegral<int32_t>(value, settings, "Integer");
}

int64_t ToInt64(const Variant& value, const RegionalSettings& settings) {
  return ToIntegral<int64_t>(value, settings, "Int64");
}

double ToDouble(const Variant& value, const RegionalSettings& settings) {
  switch (ClassOf(value.Type())) {
    case VC::Empty:
      return 0;
    case VC::Null:
      ThrowConversion(value.Type(), "Double");
    case VC::Integer:
    case VC::LargeInteger:
      return static_cast<double>(value.IntegerPayload());
    case VC::Real:
    case VC::Date:
      return value.RealPayload();
    case VC::Currency:
      return static_cast<double>(value.IntegerPayload()) / 10000.0;
    case VC::Boolean:
      return value.IntegerPayload() != 0 ? -1.0 : 0.0;
    case VC::Text: {
      // The locale-aware parse accepts every plain decimal number in the
      // locale's separator as well, so no second parse is needed.
      const ParsedNumber number = ParseLocaleNumber(value.TextPayload(), settings);
      if (number.status == ParseStatus::Ok) return number.real;
      if (number.status == ParseStatus::Overflow) ThrowOverflow(value.Type(), "Double");
      ThrowConversion(value.Type(), "Double");
    }
  }
  ThrowConversion(value.Type(), "Double");
}

double ToDate(const Variant& value, const RegionalSettings& settings) {
  switch (ClassOf(value.Type())) {
    case VC::Null:
      ThrowConversion(value.Type(), "Date");
    case VC::Text: {
      if (auto date = ParseLocalDate(value.TextPayload(), settings)) return *date;
      const ParsedNumber number = ParseLocaleNumber(value.TextPayload(), settings);
      if (number.status == ParseStatus::Ok) return number.real;
      if (number.status == ParseStatus::Overflow) ThrowOverflow(value.Type(), "Date");
      ThrowConversion(value.Type(), "Date");
    }
    default:
      // A number is its day count, as a real.
      return ToDouble(value, settings);
  }
}

bool ToBoolean(const Variant& value, const RegionalSettings& settings) {
  switch (ClassOf(value.Type())) {
    case VC::Empty:
      return false;
    case VC::Null:
      ThrowConversion(value.Type(), "Boolean");
    case VC::Integer:
    case VC::LargeInteger:
    case VC::Boolean:
    case VC::Currency:
      return value.IntegerPayload() != 0;
    case VC::Real:
    case VC::Date:
      return value.RealPayload() != 0;
    case VC::Text:
      return TextToBoolean(value, settings);
  }
  ThrowConversion(value.Type(), "Boolean");
}

std::string FormatGeneral(double value, char decimalSeparator) {
  if (value == 0) return "0";
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  // Correctly rounded to 15 significant digits: "d.dddddddddddddde+XX".
  char buffer[40];
  const auto written =
      std::to_chars(buffer, buffer + sizeof(buffer), std::fabs(value), std::chars_format::scientific, 14);
  const std::string_view scientific(buffer, static_cast<size_t>(written.ptr - buffer));
  const size_t ePos = scientific.find('e');
  char digits[16];
  int digitCount = 0;
  for (size_t k = 0; k < ePos && digitCount < 15; ++k) {
    if (scientific[k] >= '0' && scientific[k] <= '9') digits[digitCount++] = scientific[k];
  }
  while (digitCount > 1 && digits[digitCount - 1] == '0') --digitCount;
  int exponent = 0;
  std::from_chars(scientific.data() + ePos + 1 + (scientific[ePos + 1] == '+' ? 1 : 0),
                  scientific.data() + scientific.size(), exponent);
  const int e = exponent + 1;  // digits before the decimal point

  std::string text;
  text.reserve(24);
  if (value < 0) text.push_back('-');
  if (e >= -3 && e <= 15) {
    if (e <= 0) {
      text.push_back('0');
      text.push_back(decimalSeparator);
      text.append(static_cast<size_t>(-e), '0');
      text.append(digits, static_cast<size_t>(digitCount));
    } else {
      for (int k = 0; k < e; ++k) text.push_back(k < digitCount ? digits[k] : '0');
      if (digitCount > e) {
        text.push_back(decimalSeparator);
        text.append(digits + e, static_cast<size_t>(digitCount - e));
      }
    }
  } else {
    text.push_back(digits[0]);
    if (digitCount > 1) {
      text.push_back(decimalSeparator);
      text.append(digits + 1, static_cast<size_t>(digitCount - 1));
    }
    text.push_back('E');
    if (exponent < 0) text.push_back('-');
    char exponentBuffer[8];
    const auto end =
        std::to_chars(exponentBuffer, exponentBuffer + sizeof(exponentBuffer), exponent < 0 ? -exponent : exponent).ptr;
    text.append(exponentBuffer, end);
  }
  return text;
}

}  // namespace tarvelo
