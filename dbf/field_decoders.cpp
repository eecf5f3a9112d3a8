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

namespace {

// The mantissa of a decimal number: digits with at most one separator
// among them.
struct Mantissa {
  size_t begin = 0;                             // its first character
  size_t end = 0;                               // the character after it
  size_t separatorAt = std::string_view::npos;  // npos without one
  size_t digitCount = 0;
  bool nonZero = false;
  uint64_t digits = 0;  // the first 19 digits as a number
};

// Reads the mantissa that starts at i (after the sign).
[[gnu::always_inline]] inline Mantissa ScanMantissa(std::string_view text, size_t i, char decimalSeparator) {
  const size_t begin = i;
  size_t digitCount = 0;
  size_t separatorAt = std::string_view::npos;
  bool nonZero = false;
  uint64_t digits = 0;
  for (; i < text.size(); ++i) {
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
  return Mantissa{begin, i, separatorAt, digitCount, nonZero, digits};
}

// The value of a mantissa's digits times ten to the exponent when the
// digits make an integer below 2^53 and it is divided by a power of ten
// up to 10^22: both are doubles exactly, and a division rounds correctly,
// so the quotient is the nearest double to the text, as the conversion
// gives it. nullopt otherwise.
[[gnu::always_inline]] inline std::optional<double> ExactQuotient(const Mantissa& m, long exponent) {
  const long fractionDigits =
      m.separatorAt == std::string_view::npos ? 0 : static_cast<long>(m.end - m.separatorAt - 1);
  const long power = fractionDigits - exponent;
  if (m.digitCount > 15 || power < 0 || power > 22) return std::nullopt;
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  return static_cast<double>(m.digits) / kPowers[power];
}

// The mantissa rebuilt as plain digits with "." and the exponent, for the
// general conversion, in a buffer on the stack unless the text is long:
// the value, negated when negative; nullopt for a value beyond the double
// range; 0 for one too small.
std::optional<double> ConvertRebuilt(std::string_view text, const Mantissa& m, long exponent, bool negative) {
  const size_t integerEnd = m.separatorAt == std::string_view::npos ? m.end : m.separatorAt;
  char local[96];
  std::string longText;
  const size_t room = m.digitCount + 3 + 24;
  char* plain = local;
  if (room > sizeof local) {
    longText.resize(room);
    plain = longText.data();
  }
  size_t length = 0;
  if (integerEnd == m.begin) plain[length++] = '0';
  text.copy(plain + length, integerEnd - m.begin, m.begin);
  length += integerEnd - m.begin;
  plain[length++] = '.';
  if (m.separatorAt != std::string_view::npos) {
    text.copy(plain + length, m.end - m.separatorAt - 1, m.separatorAt + 1);
    length += m.end - m.separatorAt - 1;
  }
  plain[length++] = 'e';
  length = static_cast<size_t>(std::to_chars(plain + length, plain + room, exponent).ptr - plain);

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

}  // namespace

std::optional<double> ParseDecimal(std::string_view text, char decimalSeparator) {
  const size_t n = text.size();
  size_t i = 0;
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const Mantissa mantissa = ScanMantissa(text, i, decimalSeparator);
  if (mantissa.digitCount == 0) return std::nullopt;
  const ExponentScan exponent = ScanExponent(text, mantissa.end);
  if (!exponent.valid) return std::nullopt;
  i = exponent.end;
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return std::nullopt;
  if (!mantissa.nonZero) return 0.0;

  if (const std::optional<double> exact = ExactQuotient(mantissa, exponent.value)) return negative ? -*exact : *exact;
  return ConvertRebuilt(text, mantissa, exponent.value, negative);
}

}  // namespace tarvelo
