#include "dbf/field_decoders.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "values/date_time.h"
#include "values/number_scan.h"
#include "values/text.h"

namespace tarvelo {

std::string DecodeCharacter(std::string_view bytes) {
  return std::string(bytes.substr(0, std::min(bytes.find('\0'), bytes.size())));
}

std::optional<int32_t> DecodeInteger(std::string_view bytes) { return StrToInt(bytes); }

std::optional<int64_t> DecodeLargeint(std::string_view bytes) { return StrToInt64(bytes); }

std::optional<double> DecodeFloat(std::string_view bytes) { return ParseDecimal(bytes, '.'); }

std::optional<double> DecodeDate(std::string_view bytes) {
  if (bytes.size() < 8) return std::nullopt;
  int digit[8];
  for (int i = 0; i < 8; ++i) digit[i] = static_cast<unsigned char>(bytes[i]) - 48;
  const int year = digit[0] * 1000 + digit[1] * 100 + digit[2] * 10 + digit[3];
  const int month = digit[4] * 10 + digit[5];
  const int day = digit[6] * 10 + digit[7];
  if (!IsGregorianDate(year, month, day)) return std::nullopt;
  return EncodeDate(year, month, day);
}

std::optional<bool> DecodeLogical(std::string_view bytes) {
  if (bytes.empty()) return std::nullopt;
  if (bytes[0] == 'T') return true;
  if (bytes[0] == 'F') return false;
  return std::nullopt;
}

std::optional<double> ParseDecimal(std::string_view text, char decimalSeparator) {
  const size_t n = text.size();
  size_t i = 0;
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // The mantissa is rebuilt as plain digits with "." for std::from_chars.
  std::string digits;
  int integerDigits = -1;  // digits before the separator; -1 while none seen
  for (; i < n; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits += c;
    } else if (c == decimalSeparator && integerDigits < 0) {
      integerDigits = static_cast<int>(digits.size());
    } else {
      break;
    }
  }
  if (digits.empty()) return std::nullopt;
  if (integerDigits < 0) integerDigits = static_cast<int>(digits.size());

  const ExponentScan exponent = ScanExponent(text, i);
  if (!exponent.valid) return std::nullopt;
  i = exponent.end;
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return std::nullopt;

  const size_t firstNonZero = digits.find_first_not_of('0');
  if (firstNonZero == std::string::npos) return 0.0;

  std::string plain;
  plain.reserve(digits.size() + 16);
  if (integerDigits == 0) plain += '0';
  plain.append(digits, 0, static_cast<size_t>(integerDigits));
  plain += '.';
  plain.append(digits, static_cast<size_t>(integerDigits));
  plain += 'e';
  plain += std::to_string(exponent.value);

  double value = 0;
  switch (ConvertDecimal(plain, value)) {
    case DecimalStatus::Ok:
      return negative ? -value : value;
    case DecimalStatus::Underflow:
      return 0.0;
    default:
      return std::nullopt;  // an overflow has no value
  }
}

}  // namespace tarvelo
