#include "values/number_scan.h"

#include <charconv>
#include <system_error>

namespace tarvelo {

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

}  // namespace tarvelo
