// Puts arbitrary values through the Variant conversions, comparisons and
// arithmetic. Only the values' own errors may come out, and the rules
// must hold: a comparison and its converse agree and the six operators
// agree with each other; a value equals itself; integers, booleans and
// texts come back from their text unchanged, and the text of a real, or of
// a date of a four-digit year, reads back as the same text; conversion to
// an integer rounds half to even; integer arithmetic gives the exact
// result or the real one; Null gives Null; addition and multiplication
// commute.
//
// Input: see ReadVariants.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "fuzz/variant_fuzz_values.h"
#include "values/date_time.h"
#include "values/errors.h"
#include "values/variant.h"
#include "values/variant_operators.h"

namespace {

using tarvelo::CompareOp;
using tarvelo::RegionalSettings;
using tarvelo::Variant;
using tarvelo::VariantClass;
using tarvelo::VariantType;

[[noreturn]] void Fail(const std::string& what, const Variant& a, const Variant* b = nullptr) {
  const auto describe = [](const Variant& v) {
    return std::string(tarvelo::VariantTypeName(v.Type())) + " int " + std::to_string(v.IntegerPayload()) + " real " +
           std::to_string(v.RealPayload()) + " text \"" + v.TextPayload() + "\"";
  };
  std::fprintf(stderr, "variant_fuzz: %s\n  %s\n", what.c_str(), describe(a).c_str());
  if (b != nullptr) std::fprintf(stderr, "  %s\n", describe(*b).c_str());
  std::abort();
}

// What an operation gave: its value, or nothing when it raised the values'
// error.
template <typename T>
std::optional<T> Try(const std::function<T()>& operation) {
  try {
    return operation();
  } catch (const tarvelo::VariantError&) {
    return std::nullopt;
  }
}

constexpr CompareOp kOps[] = {CompareOp::Equal,     CompareOp::NotEqual, CompareOp::Less,
                              CompareOp::LessEqual, CompareOp::Greater,  CompareOp::GreaterEqual};

CompareOp Converse(CompareOp op) {
  switch (op) {
    case CompareOp::Less:
      return CompareOp::Greater;
    case CompareOp::LessEqual:
      return CompareOp::GreaterEqual;
    case CompareOp::Greater:
      return CompareOp::Less;
    case CompareOp::GreaterEqual:
      return CompareOp::LessEqual;
    default:
      return op;
  }
}

VariantClass ClassOf(const Variant& v) { return tarvelo::ClassOf(v.Type()); }
bool IsIntegerClass(const Variant& v) { return ClassOf(v) == VariantClass::Integer; }
bool IsWhole(const Variant& v) { return IsIntegerClass(v) || ClassOf(v) == VariantClass::LargeInteger; }
bool IsText(const Variant& v) { return ClassOf(v) == VariantClass::Text; }

// The six answers for a and b, or nothing when the comparison raised an
// error; all six raise or none does.
std::optional<std::array<bool, 6>> CompareAll(const Variant& a, const Variant& b, const RegionalSettings& settings) {
  std::array<bool, 6> answers{};
  int raised = 0;
  for (size_t i = 0; i < 6; ++i) {
    const auto answer = Try<bool>([&] { return tarvelo::Compare(a, kOps[i], b, settings); });
    if (answer) {
      answers[i] = *answer;
    } else {
      ++raised;
    }
  }
  if (raised != 0 && raised != 6) Fail("some operators raise an error and others do not", a, &b);
  if (raised == 6) return std::nullopt;
  const auto [eq, ne, lt, le, gt, ge] = answers;
  if (eq == ne || lt == ge || gt == le || (lt && gt) || eq != (le && ge)) Fail("the operators disagree", a, &b);
  return answers;
}

void CheckItself(const Variant& v, const RegionalSettings& settings) {
  const auto answers = CompareAll(v, Variant(v), settings);
  if (!answers || !(*answers)[0]) Fail("a value does not equal its copy", v);

  const auto text = Try<std::string>([&] { return tarvelo::ToText(v, settings); });
  if (text.has_value() == v.IsNull()) Fail("only Null has no text", v);
  if (!text) return;
  const Variant asText = Variant::String(*text);
  if (IsText(v) && *text != v.TextPayload()) Fail("a text's text differs", v);
  if (IsWhole(v)) {
    const auto back = Try<int64_t>([&] { return tarvelo::ToInt64(asText, settings); });
    if (back != v.IntegerPayload()) Fail("an integer does not come back from its text " + *text, v);
    const auto equal = CompareAll(v, asText, settings);
    if (!equal || !(*equal)[0]) Fail("an integer does not equal its text " + *text, v);
  }
  if (v.Type() == VariantType::Boolean) {
    const auto back = Try<bool>([&] { return tarvelo::ToBoolean(asText, settings); });
    if (back != (v.IntegerPayload() != 0)) Fail("a boolean does not come back from its text " + *text, v);
  }
  if (ClassOf(v) == VariantClass::Real && std::isfinite(v.RealPayload())) {
    const auto back = Try<double>([&] { return tarvelo::ToDouble(asText, settings); });
    if (!back) Fail("a real's text " + *text + " is no number", v);
    if (tarvelo::ToText(Variant::Double(*back), settings) != *text)
      Fail("a real's text " + *text + " reads back otherwise", v);
    if (std::fabs(*back - v.RealPayload()) > std::fabs(v.RealPayload()) * 1e-14)
      Fail("a real's text " + *text + " is far from it", v);
  }
  // A date of a four-digit year reads back from its text as the same
  // moment, to the second the text shows.
  static const double kYear1000 = *tarvelo::EncodeDate(1000, 1, 1);
  static const double kYear10000 = *tarvelo::EncodeDate(9999, 12, 31) + 1;
  if (v.Type() == VariantType::Date && v.RealPayload() >= kYear1000 && v.RealPayload() < kYear10000) {
    const auto back = Try<double>([&] { return tarvelo::ToDate(asText, settings); });
    if (!back) Fail("a date's text " + *text + " is no date", v);
    if (tarvelo::ToText(Variant::Date(*back), settings) != *text)
      Fail("a date's text " + *text + " reads back otherwise", v);
  }

  // Conversion to an integer rounds the real value half to even.
  if (v.Type() != VariantType::Currency) {
    const auto real = Try<double>([&] { return tarvelo::ToDouble(v, settings); });
    if (real && std::isfinite(*real)) {
      const double rounded = std::nearbyint(*real);
      if (rounded >= std::numeric_limits<int32_t>::min() && rounded <= std::numeric_limits<int32_t>::max()) {
        const auto integer = Try<int32_t>([&] { return tarvelo::ToInteger(v, settings); });
        if (integer != static_cast<int32_t>(rounded)) Fail("the integer is not the rounded real", v);
      }
    }
  }
}

using Arithmetic = Variant (*)(const Variant&, const Variant&, const RegionalSettings&);

void CheckPair(const Variant& a, const Variant& b, const RegionalSettings& settings) {
  const auto forward = CompareAll(a, b, settings);
  const auto backward = CompareAll(b, a, settings);
  if (forward.has_value() != backward.has_value()) Fail("a comparison raises an error and its converse not", a, &b);
  for (size_t i = 0; forward && i < 6; ++i) {
    const size_t converse = static_cast<size_t>(Converse(kOps[i]));
    if ((*forward)[i] != (*backward)[converse]) Fail("a comparison and its converse disagree", a, &b);
  }

  const Arithmetic operations[] = {tarvelo::Add, tarvelo::Subtract, tarvelo::Multiply, tarvelo::Divide};
  for (size_t k = 0; k < 4; ++k) {
    const auto result = Try<Variant>([&] { return operations[k](a, b, settings); });
    if (a.IsNull() || b.IsNull()) {
      if (!result || !result->IsNull()) Fail("arithmetic with Null does not give Null", a, &b);
      continue;
    }
    const bool joins =
        k == 0 && (IsText(a) || a.IsEmpty()) && (IsText(b) || b.IsEmpty()) && !(a.IsEmpty() && b.IsEmpty());
    if (joins) {
      const std::string joined = tarvelo::ToText(a, settings) + tarvelo::ToText(b, settings);
      const VariantType kind = a.Type() == VariantType::String ? VariantType::String : VariantType::OleStr;
      if (!result || result->Type() != kind || result->TextPayload() != joined) Fail("texts do not join", a, &b);
      continue;
    }
    if ((k == 0 || k == 2)) {
      const auto swapped = Try<Variant>([&] { return operations[k](b, a, settings); });
      if (result.has_value() != swapped.has_value()) Fail("an operation raises an error and its swap not", a, &b);
      if (result && !tarvelo::Compare(*result, CompareOp::Equal, *swapped, settings))
        Fail("addition or multiplication does not commute", a, &b);
    }
    if (IsIntegerClass(a) && IsIntegerClass(b) && k < 3) {
      const int64_t x = a.IntegerPayload();
      const int64_t y = b.IntegerPayload();
      const int64_t exact = k == 0 ? x + y : (k == 1 ? x - y : x * y);
      const bool fits = exact >= std::numeric_limits<int32_t>::min() && exact <= std::numeric_limits<int32_t>::max();
      const double real = k == 0 ? double(x) + double(y) : (k == 1 ? double(x) - double(y) : double(x) * double(y));
      if (!result || (fits ? result->Type() != VariantType::Integer || result->IntegerPayload() != exact
                           : result->Type() != VariantType::Double || result->RealPayload() != real))
        Fail("integer arithmetic is not exact, or not real on overflow", a, &b);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const RegionalSettings& settings = tarvelo::fuzzing::FuzzSettings(data[0]);
  const std::vector<Variant> values = tarvelo::fuzzing::ReadVariants(data, size);
  for (const Variant& v : values) CheckItself(v, settings);
  for (size_t i = 0; i < values.size(); ++i) {
    for (size_t j = i; j < values.size(); ++j) CheckPair(values[i], values[j], settings);
  }
  return 0;
}
