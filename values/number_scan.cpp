#include "values/number_scan.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

namespace tarvelo {
namespace {

bool IsNumberBlank(char c, char thousandSeparator) {
  return c == ' ' || c == '\t' || (static_cast<unsigned char>(c) == 0xA0 && thousandSeparator != c);
}

// A number text being read, and the plain form of it that from_chars
// reads (a sign, digits, ".", digits, the exponent), built as the reading
// goes.
struct NumberReading {
  std::string_view text;
  size_t at = 0;  // the next character to read
  char* plain = nullptr;
  size_t length = 0;  // characters of plain
  bool negative = false;
  size_t integerDigits = 0;
  size_t fractionDigits = 0;
  bool hasExponent = false;
  // The integer part's value, while it fits in 64 bits.
  uint64_t magnitude = 0;
  bool magnitudeOverflow = false;

  bool DigitAt(size_t i) const { return i < text.size() && text[i] >= '0' && text[i] <= '9'; }
  void Put(char c) { plain[length++] = c; }
};

// Reads the integer part: digits, grouped in threes by the thousands
// separator ('\0' for none) when it has one. False when the grouping is
// wrong.
bool ReadIntegerPart(NumberReading& r, char thousands) {
  size_t groupDigits = 0;  // digits since the last separator
  bool grouped = false;
  while (r.at < r.text.size()) {
    const char c = r.text[r.at];
    if (r.DigitAt(r.at)) {
      r.Put(c);
      ++r.integerDigits;
      ++groupDigits;
      if (grouped && groupDigits > 3) return false;
      const uint64_t digit = static_cast<uint64_t>(c - '0');
      if (r.magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
        r.magnitudeOverflow = true;
      } else {
        r.magnitude = r.magnitude * 10 + digit;
      }
      ++r.at;
    } else if (thousands != '\0' && c == thousands && r.integerDigits > 0 && r.DigitAt(r.at + 1)) {
      if (grouped ? groupDigits != 3 : groupDigits > 3) return false;
      grouped = true;
      groupDigits = 0;
      ++r.at;
    } else {
      break;
    }
  }
  return !grouped || groupDigits == 3;
}

// Reads the fraction part when the decimal separator comes next: the
// separator and digits. A separator without digits adds nothing ("12," is
// 12).
void ReadFractionPart(NumberReading& r, char decimal) {
  if (r.at >= r.text.size() || r.text[r.at] != decimal) return;
  ++r.at;
  r.Put('.');
  while (r.DigitAt(r.at)) {
    r.Put(r.text[r.at++]);
    ++r.fractionDigits;
  }
  if (r.fractionDigits == 0) --r.length;
}

// Reads the exponent part when one comes next. False for an exponent
// without digits.
bool ReadExponentPart(NumberReading& r) {
  const ExponentScan exponent = ScanExponent(r.text, r.at);
  if (!exponent.valid) return false;
  r.hasExponent = exponent.present;
  for (; r.at < exponent.end; ++r.at) r.Put(r.text[r.at]);
  return true;
}

// The value of the plain form read.
ParsedNumber ValueOf(NumberReading& r) {
  ParsedNumber result;
  const size_t sign = r.negative ? 1 : 0;
  if (r.integerDigits == 0) {
    // ".5": from_chars wants a digit before the point.
    std::memmove(r.plain + sign + 1, r.plain + sign, r.length - sign);
    r.plain[sign] = '0';
    ++r.length;
  }
  double value = 0;
  switch (ConvertDecimal(std::string_view(r.plain + sign, r.length - sign), value)) {
    case DecimalStatus::Ok:
      if (r.negative) value = -value;
      break;
    case DecimalStatus::Underflow:
      value = r.negative ? -0.0 : 0.0;
      break;
    case DecimalStatus::Overflow:
      result.status = ParseStatus::Overflow;
      return result;
    case DecimalStatus::Invalid:
      return result;
  }
  if (!std::isfinite(value)) {
    result.status = ParseStatus::Overflow;
    return result;
  }
  result.status = ParseStatus::Ok;
  result.real = value;
  if (r.fractionDigits == 0 && !r.hasExponent && !r.magnitudeOverflow) {
    constexpr uint64_t kLargest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (!r.negative && r.magnitude <= kLargest) {
      result.exact = true;
      result.integer = static_cast<int64_t>(r.magnitude);
    } else if (r.negative && r.magnitude <= kLargest + 1) {
      result.exact = true;
      result.integer = static_cast<int64_t>(0 - r.magnitude);
    }
  }
  return result;
}

}  // namespace

ExponentScan ScanExponent(std::string_view text, size_t start) {
  ExponentScan scan;
  scan.end = start;
  size_t i = start;
  if (i >= text.size() || (text[i] != 'e' && text[i] != 'E')) return scan;
  scan.present = true;
  ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const size_t digits = i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    // Beyond any double's range; stop growing so the count cannot wrap.
    if (scan.value < 1000000) scan.value = scan.value * 10 + (text[i] - '0');
  }
  scan.valid = i > digits;
  if (negative) scan.value = -scan.value;
  scan.end = i;
  return scan;
}

DecimalStatus ConvertDecimal(std::string_view plain, double& value) {
  double parsed = 0;
  const char* end = plain.data() + plain.size();
  const auto result = std::from_chars(plain.data(), end, parsed, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range && result.ptr == end) {
    // The decimal order of the leading significant digit decides.
    long order = 0;
    size_t k = 0;
    while (k < plain.size() && plain[k] == '0') ++k;
    if (k < plain.size() && plain[k] >= '1' && plain[k] <= '9') {
      for (; k < plain.size() && plain[k] >= '0' && plain[k] <= '9'; ++k) ++order;
    } else if (k < plain.size() && plain[k] == '.') {
      for (++k; k < plain.size() && plain[k] == '0'; ++k) --order;
    }
    const ExponentScan exponent = ScanExponent(
        plain, plain.find_first_of("eE") == std::string_view::npos ? plain.size() : plain.find_first_of("eE"));
    return order + exponent.value > 0 ? DecimalStatus::Overflow : DecimalStatus::Underflow;
  }
  if (result.ec != std::errc() || result.ptr != end) return DecimalStatus::Invalid;
  value = parsed;
  return DecimalStatus::Ok;
}

ParsedNumber ParseLocaleNumber(std::string_view text, const RegionalSettings& settings) {
  const char decimal = settings.decimalSeparator;
  const char thousands = settings.thousandSeparator != decimal ? settings.thousandSeparator : '\0';
  NumberReading r;
  r.text = text;
  while (r.at < text.size() && IsNumberBlank(text[r.at], thousands)) ++r.at;
  if (r.at < text.size() && (text[r.at] == '+' || text[r.at] == '-')) {
    r.negative = text[r.at] == '-';
    ++r.at;
  }
  // The plain form, on the stack for texts of normal length.
  char stackBuffer[128];
  std::string heapBuffer;
  r.plain = stackBuffer;
  if (text.size() + 4 > sizeof(stackBuffer)) {
    heapBuffer.resize(text.size() + 4);
    r.plain = heapBuffer.data();
  }
  if (r.negative) r.Put('-');
  if (!ReadIntegerPart(r, thousands)) return {};
  ReadFractionPart(r, decimal);
  if (r.integerDigits == 0 && r.fractionDigits == 0) return {};
  if (!ReadExponentPart(r)) return {};
  while (r.at < text.size() && IsNumberBlank(text[r.at], thousands)) ++r.at;
  if (r.at != text.size()) return {};
  return ValueOf(r);
}

}  // namespace tarvelo
