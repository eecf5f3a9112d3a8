#include "validation/report_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarvelo {

std::string RuleLine() { return std::string(80, '='); }

namespace {

// Digits of |value| rounded to 15 significant digits, and the position of
// the decimal point relative to the first digit (123.4 -> "123400...", 3).
struct Decimal15 {
  std::string digits;  // exactly 15 digits, first non-zero unless value is 0
  int pointPos = 0;    // number of digits before the decimal point
};

Decimal15 ToDecimal15(double magnitude) {
  Decimal15 d;
  if (magnitude == 0) {
    d.digits = std::string(15, '0');
    d.pointPos = 1;
    return d;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", magnitude);  // d.dddddddddddddde[+-]xx
  d.digits.reserve(15);
  d.digits += buf[0];
  d.digits.append(buf + 2, 14);
  d.pointPos = std::atoi(buf + 17) + 1;
  return d;
}

std::string Group(const std::string& integerDigits, char separator) {
  std::string out;
  const size_t n = integerDigits.size();
  out.reserve(n + n / 3);
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += separator;
    out += integerDigits[i];
  }
  return out;
}

}  // namespace

std::string FormatNumber(double value, int decimals, const RegionalSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  const bool negative = std::signbit(value) && value != 0;
  Decimal15 d = ToDecimal15(std::fabs(value));
  if (d.pointPos > 15) {
    // Too wide for fixed notation: d.ddddE+xx with the decimals requested.
    std::string mantissa = d.digits.substr(0, 1);
    std::string rest = d.digits.substr(1);
    while (!rest.empty() && rest.back() == '0') rest.pop_back();
    std::string out = negative ? "-" : "";
    out += mantissa;
    if (!rest.empty()) out += settings.decimalSeparator + rest;
    out += "E+" + std::to_string(d.pointPos - 1);
    return out;
  }
  // All digits as a plain decimal with the point after `intCount` digits.
  std::string digits = d.digits;
  int intCount = d.pointPos;
  if (intCount <= 0) {
    digits.insert(0, static_cast<size_t>(-intCount + 1), '0');
    intCount = 1;
  }
  const size_t keep = static_cast<size_t>(intCount + decimals);
  if (digits.size() < keep) digits.append(keep - digits.size(), '0');
  const bool roundUp = digits.size() > keep && digits[keep] >= '5';
  digits.resize(keep);
  if (roundUp) {
    int i = static_cast<int>(keep) - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits.insert(digits.begin(), '1');
      ++intCount;
    }
  }
  std::string integerPart = digits.substr(0, intCount);
  const size_t firstNonZero = integerPart.find_first_not_of('0');
  integerPart = firstNonZero == std::string::npos ? "0" : integerPart.substr(firstNonZero);
  const std::string fraction = digits.substr(intCount);
  const bool allZero = integerPart == "0" && fraction.find_first_not_of('0') == std::string::npos;
  std::string out = (negative && !allZero) ? "-" : "";
  out += Group(integerPart, settings.thousandSeparator);
  if (decimals > 0) out += settings.decimalSeparator + fraction;
  return out;
}

std::string MessageBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
    return message + ".";
  return message;
}

std::string EscapeControlCharacters(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 32 && code != 127) {
      out += c;
      continue;
    }
    out += "\\x";
    out += kHex[code >> 4];
    out += kHex[code & 15];
  }
  return out;
}

std::string ErrorText(const TarveloError& error) {
  std::string text = EscapeControlCharacters(MessageBoxText(error.what()));
  for (const std::string* line : {&error.Reason(), &error.Where()}) {
    if (!line->empty()) text += "\n" + EscapeControlCharacters(*line);
  }
  return text;
}

}  // namespace tarvelo
