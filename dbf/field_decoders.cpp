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
  // The mantissa: digits with at most one separator among them.
  const size_t mantissa = i;
  size_t digitCount = 0;
  size_t separatorAt = std::string_view::npos;
  bool nonZero = false;
  uint64_t digits = 0;  // the first 19 digits as a number
  for (; i < n; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      ++digitCount;
      nonZero = nonZero || c != '0';
      if (digitCount <= 19) digits = digits * 10 + static_cast<uint64_t>(c - '0');
    } else if (c == decimalSeparator && separatorAt == std::string_view::npos) {
      separatorAt = i;
    } else {
      break;
    }
  }
  if (digitCount == 0) return std::nullopt;
  const size_t mantissaEnd = i;

  const ExponentScan exponent = ScanExponent(text, i);
  if (!exponent.valid) return std::nullopt;
  i = exponent.end;
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return std::nullopt;
  if (!nonZero) return 0.0;

  // Digits that make an integer below 2^53 over a power of ten up to
  // 10^22: both are doubles exactly, and a division rounds correctly, so
  // the quotient is the nearest double to the text, as the conversion
  // below gives it.
  const long fractionDigits =
      separatorAt == std::string_view::npos ? 0 : static_cast<long>(mantissaEnd - separatorAt - 1);
  const long power = fractionDigits - exponent.value;
  if (digitCount <= 15 && power >= 0 && power <= 22) {
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const double value = static_cast<double>(digits) / kPowers[power];
    return negative ? -value : value;
  }

  // The mantissa rebuilt as plain digits with "." for std::from_chars, in
  // a buffer on the stack unless the text is long.
  const size_t integerEnd = separatorAt == std::string_view::npos ? mantissaEnd : separatorAt;
  char local[96];
  std::string longText;
  const size_t room = digitCount + 3 + 24;
  char* plain = local;
  if (room > sizeof local) {
    longText.resize(room);
    plain = longText.data();
  }
  size_t length = 0;
  if (integerEnd == mantissa) plain[length++] = '0';
  text.copy(plain + length, integerEnd - mantissa, mantissa);
  length += integerEnd - mantissa;
  plain[length++] = '.';
  if (separatorAt != std::string_view::npos) {
    text.copy(plain + length, mantissaEnd - separatorAt - 1, separatorAt + 1);
    length += mantissaEnd - separatorAt - 1;
  }
  plain[length++] = 'e';
  length = static_cast<size_t>(std::to_chars(plain + length, plain + room, exponent.value).ptr - plain);

  double value = 0;
  switch (ConvertDecimal(std::string_view(plain, length), value)) {
    case DecimalStatus::Ok:
      return negative ? -value : value;
    case DecimalStatus::Underflow:
      return 0.0;
    default:
      return std::nullopt;  // an overflow has no value
  }
}

}  // namespace tarvelo
