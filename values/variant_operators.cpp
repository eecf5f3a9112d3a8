#include "values/variant_operators.h"

#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "values/errors.h"

namespace tarvelo {
namespace {

using VC = VariantClass;

// The procedure of each class pair; comparisons and arithmetic share it.
// Rows: left operand's class, columns: right operand's class, both in the
// order of VariantClass.
constexpr VC kPairProcedure[9][9] = {
    //           Empty         Null      Integer       Real      Currency      Text        Boolean      Date
    //           LargeInteger
    /* Empty */ {VC::Empty, VC::Null, VC::Integer, VC::Real, VC::Currency, VC::Text, VC::Boolean, VC::Date,
                 VC::LargeInteger},
    /* Null  */ {VC::Null, VC::Null, VC::Null, VC::Null, VC::Null, VC::Null, VC::Null, VC::Null, VC::Null},
    /* Int   */
    {VC::Integer, VC::Null, VC::Integer, VC::Real, VC::Currency, VC::Real, VC::Integer, VC::Date, VC::LargeInteger},
    /* Real  */ {VC::Real, VC::Null, VC::Real, VC::Real, VC::Currency, VC::Real, VC::Real, VC::Date, VC::Real},
    /* Curr  */
    {VC::Currency, VC::Null, VC::Currency, VC::Currency, VC::Currency, VC::Currency, VC::Currency, VC::Date,
     VC::Currency},
    /* Text  */ {VC::Text, VC::Null, VC::Real, VC::Real, VC::Currency, VC::Text, VC::Boolean, VC::Date, VC::Real},
    /* Bool  */
    {VC::Boolean, VC::Null, VC::Integer, VC::Real, VC::Currency, VC::Boolean, VC::Boolean, VC::Date, VC::LargeInteger},
    /* Date  */ {VC::Date, VC::Null, VC::Date, VC::Date, VC::Date, VC::Date, VC::Date, VC::Date, VC::Date},
    /* Large */
    {VC::LargeInteger, VC::Null, VC::LargeInteger, VC::Real, VC::Currency, VC::Real, VC::LargeInteger, VC::Date,
     VC::LargeInteger},
};

VC PairProcedure(const Variant& left, const Variant& right) {
  return kPairProcedure[static_cast<int>(ClassOf(left.Type()))][static_cast<int>(ClassOf(right.Type()))];
}

[[noreturn]] void ThrowDivisionByZero() { throw VariantError("Floating point division by zero"); }
[[noreturn]] void ThrowInvalidOperation() { throw VariantError("Invalid floating point operation"); }
[[noreturn]] void ThrowFloatOverflow() { throw VariantError("Floating point overflow"); }

bool IsTextType(VariantType type) { return type == VariantType::String || type == VariantType::OleStr; }

int ThreeWay(double left, double right) { return left < right ? -1 : (left > right ? 1 : 0); }

template <typename T>
int ThreeWayInt(T left, T right) {
  return left < right ? -1 : (left > right ? 1 : 0);
}

int CompareBytes(std::string_view left, std::string_view right) {
  const size_t common = left.size() < right.size() ? left.size() : right.size();
  if (common > 0) {
    const int byBytes = std::memcmp(left.data(), right.data(), common);  // memcmp compares unsigned bytes
    if (byBytes != 0) return byBytes < 0 ? -1 : 1;
  }
  return ThreeWayInt(left.size(), right.size());
}

bool Answer(CompareOp op, int order) {
  switch (op) {
    case CompareOp::Equal:
      return order == 0;
    case CompareOp::NotEqual:
      return order != 0;
    case CompareOp::Less:
      return order < 0;
    case CompareOp::LessEqual:
      return order <= 0;
    case CompareOp::Greater:
      return order > 0;
    case CompareOp::GreaterEqual:
      return order >= 0;
  }
  return false;
}

enum class ArithOp { Add, Subtract, Multiply, Divide };

Variant RealArithmetic(ArithOp op, const Variant& left, const Variant& right, const RegionalSettings& settings) {
  const double a = ToDouble(left, settings);
  const double b = ToDouble(right, settings);
  double result = 0;
  switch (op) {
    case ArithOp::Add:
      result = a + b;
      break;
    case ArithOp::Subtract:
      result = a - b;
      break;
    case ArithOp::Multiply:
      result = a * b;
      break;
    case ArithOp::Divide:
      if (b == 0) {
        if (a == 0 || std::isnan(a)) ThrowInvalidOperation();
        ThrowDivisionByZero();
      }
      result = a / b;
      break;
  }
  if (std::isnan(result)) ThrowInvalidOperation();
  if (std::isinf(result)) ThrowFloatOverflow();
  return Variant::Double(result);
}

Variant CurrencyArithmetic(ArithOp op, const Variant& left, const Variant& right, const RegionalSettings& settings) {
  const int64_t a = ToCurrencyScaled(left, settings);
  const int64_t b = ToCurrencyScaled(right, settings);
  int64_t result = 0;
  switch (op) {
    case ArithOp::Add:
      if (__builtin_add_overflow(a, b, &result)) ThrowFloatOverflow();
      return Variant::CurrencyScaled(result);
    case ArithOp::Subtract:
      if (__builtin_sub_overflow(a, b, &result)) ThrowFloatOverflow();
      return Variant::CurrencyScaled(result);
    case ArithOp::Multiply: {
      const long double product = static_cast<long double>(a) * static_cast<long double>(b) / 10000.0L;
      if (std::fabs(product) >= 9223372036854775807.0L) ThrowFloatOverflow();
      return Variant::CurrencyScaled(static_cast<int64_t>(std::llround(product)));
    }
    case ArithOp::Divide: {
      if (b == 0) {
        if (a == 0) ThrowInvalidOperation();
        ThrowDivisionByZero();
      }
      const long double quotient = static_cast<long double>(a) * 10000.0L / static_cast<long double>(b);
      if (std::fabs(quotient) >= 9223372036854775807.0L) ThrowFloatOverflow();
      return Variant::CurrencyScaled(static_cast<int64_t>(std::llround(quotient)));
    }
  }
  return Variant();
}

Variant Arithmetic(ArithOp op, const Variant& left, const Variant& right, const RegionalSettings& settings) {
  switch (PairProcedure(left, right)) {
    case VC::Empty:
      if (op == ArithOp::Divide) ThrowDivisionByZero();
      return Variant();
    case VC::Null:
      return Variant::Null();
    case VC::Integer: {
      if (op == ArithOp::Divide) return RealArithmetic(op, left, right, settings);
      const int32_t a = ToInteger(left, settings);
      const int32_t b = ToInteger(right, settings);
      int32_t result = 0;
      bool overflow = false;
      switch (op) {
        case ArithOp::Add:
          overflow = __builtin_add_overflow(a, b, &result);
          break;
        case ArithOp::Subtract:
          overflow = __builtin_sub_overflow(a, b, &result);
          break;
        default:
          overflow = __builtin_mul_overflow(a, b, &result);
          break;
      }
      if (overflow) return RealArithmetic(op, left, right, settings);
      return Variant::Integer(result);
    }
    case VC::Real:
    case VC::Boolean:
      return RealArithmetic(op, left, right, settings);
    case VC::Currency:
      return CurrencyArithmetic(op, left, right, settings);
    case VC::Text:
      if (op == ArithOp::Add) {
        std::string joined = ToText(left, settings);
        joined += ToText(right, settings);
        return left.Type() == VariantType::String ? Variant::String(std::move(joined))
                                                  : Variant::OleStr(std::move(joined));
      }
      return RealArithmetic(op, left, right, settings);
    case VC::Date: {
      if (op == ArithOp::Multiply || op == ArithOp::Divide) return RealArithmetic(op, left, right, settings);
      const double a = ToDate(left, settings);
      const double b = ToDate(right, settings);
      const double result = op == ArithOp::Add ? a + b : a - b;
      if (std::isinf(result)) ThrowFloatOverflow();
      if (op == ArithOp::Subtract && left.Type() == VariantType::Date && right.Type() == VariantType::Date) {
        return Variant::Double(result);
      }
      return Variant::Date(result);
    }
    case VC::LargeInteger: {
      if (op == ArithOp::Divide) return RealArithmetic(op, left, right, settings);
      const int64_t a = ToInt64(left, settings);
      const int64_t b = ToInt64(right, settings);
      if (op == ArithOp::Add) {
        return Variant::Int64(static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)));
      }
      if (op == ArithOp::Subtract) {
        return Variant::Int64(static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b)));
      }
      int64_t product = 0;
      if (__builtin_mul_overflow(a, b, &product)) return RealArithmetic(op, left, right, settings);
      return Variant::Int64(product);
    }
  }
  throw VariantError("Invalid variant operation");
}

}  // namespace

bool Compare(const Variant& left, CompareOp op, const Variant& right, const RegionalSettings& settings) {
  int order = 0;
  switch (PairProcedure(left, right)) {
    case VC::Empty:
      order = 0;
      break;
    case VC::Null: {
      const bool leftNull = left.IsNull();
      const bool rightNull = right.IsNull();
      if (op == CompareOp::Equal || op == CompareOp::NotEqual) {
        order = leftNull && rightNull ? 0 : 1;
      } else if (leftNull && rightNull) {
        order = 0;
      } else {
        order = leftNull ? -1 : 1;
      }
      break;
    }
    case VC::Integer: {
      const int32_t b = ToInteger(right, settings);
      const int32_t a = ToInteger(left, settings);
      order = ThreeWayInt(a, b);
      break;
    }
    case VC::Real: {
      const double a = ToDouble(left, settings);
      const double b = ToDouble(right, settings);
      order = ThreeWay(a, b);
      break;
    }
    case VC::Currency: {
      const int64_t a = ToCurrencyScaled(left, settings);
      const int64_t b = ToCurrencyScaled(right, settings);
      order = ThreeWayInt(a, b);
      break;
    }
    case VC::Text:
      if (IsTextType(left.Type()) && IsTextType(right.Type())) {
        order = CompareBytes(left.TextPayload(), right.TextPayload());
      } else {
        order = CompareBytes(ToText(left, settings), ToText(right, settings));
      }
      break;
    case VC::Boolean: {
      const bool a = ToBoolean(left, settings);
      const bool b = ToBoolean(right, settings);
      order = ThreeWayInt(static_cast<int>(a), static_cast<int>(b));
      break;
    }
    case VC::Date: {
      const double a = ToDate(left, settings);
      const double b = ToDate(right, settings);
      order = ThreeWay(a, b);
      break;
    }
    case VC::LargeInteger: {
      const int64_t a = ToInt64(left, settings);
      const int64_t b = ToInt64(right, settings);
      order = ThreeWayInt(a, b);
      break;
    }
  }
  return Answer(op, order);
}

Variant Add(const Variant& left, const Variant& right, const RegionalSettings& settings) {
  return Arithmetic(ArithOp::Add, left, right, settings);
}

Variant Subtract(const Variant& left, const Variant& right, const RegionalSettings& settings) {
  return Arithmetic(ArithOp::Subtract, left, right, settings);
}

Variant Multiply(const Variant& left, const Variant& right, const RegionalSettings& settings) {
  return Arithmetic(ArithOp::Multiply, left, right, settings);
}

Variant Divide(const Variant& left, const Variant& right, const RegionalSettings& settings) {
  return Arithmetic(ArithOp::Divide, left, right, settings);
}

}  // namespace tarvelo
