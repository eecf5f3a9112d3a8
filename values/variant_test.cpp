#include "values/variant.h"
#include "values/variant_operators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "testing/expect_error.h"
#include "values/date_time.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

const RegionalSettings kBr = RegionalSettings::Brazilian();
const RegionalSettings kUs = RegionalSettings::UnitedStates();

// Runs an expression that must raise a VariantError with exactly this text.
#define EXPECT_VARIANT_ERROR(expression, text) EXPECT_ERROR(VariantError, (void)(expression), text)

std::string ConvertError(const char* from, const char* to) {
  return std::string("Could not convert variant of type (") + from + ") into type (" + to + ")";
}

std::string OverflowError(const char* from, const char* to) {
  return std::string("Overflow while converting variant of type (") + from + ") into type (" + to + ")";
}

bool Cmp(const Variant& a, CompareOp op, const Variant& b) { return Compare(a, op, b, kBr); }

TEST(VariantKinds, NamesAndClasses) {
  EXPECT_STREQ(VariantTypeName(VariantType::Empty), "Empty");
  EXPECT_STREQ(VariantTypeName(VariantType::Null), "Null");
  EXPECT_STREQ(VariantTypeName(VariantType::Smallint), "Smallint");
  EXPECT_STREQ(VariantTypeName(VariantType::Integer), "Integer");
  EXPECT_STREQ(VariantTypeName(VariantType::ShortInt), "ShortInt");
  EXPECT_STREQ(VariantTypeName(VariantType::Byte), "Byte");
  EXPECT_STREQ(VariantTypeName(VariantType::Word), "Word");
  EXPECT_STREQ(VariantTypeName(VariantType::LongWord), "LongWord");
  EXPECT_STREQ(VariantTypeName(VariantType::Int64), "Int64");
  EXPECT_STREQ(VariantTypeName(VariantType::Single), "Single");
  EXPECT_STREQ(VariantTypeName(VariantType::Double), "Double");
  EXPECT_STREQ(VariantTypeName(VariantType::Currency), "Currency");
  EXPECT_STREQ(VariantTypeName(VariantType::Date), "Date");
  EXPECT_STREQ(VariantTypeName(VariantType::Boolean), "Boolean");
  EXPECT_STREQ(VariantTypeName(VariantType::String), "String");
  EXPECT_STREQ(VariantTypeName(VariantType::OleStr), "OleStr");

  EXPECT_EQ(ClassOf(VariantType::Byte), VariantClass::Integer);
  EXPECT_EQ(ClassOf(VariantType::Smallint), VariantClass::Integer);
  EXPECT_EQ(ClassOf(VariantType::ShortInt), VariantClass::Integer);
  EXPECT_EQ(ClassOf(VariantType::Word), VariantClass::LargeInteger);
  EXPECT_EQ(ClassOf(VariantType::LongWord), VariantClass::LargeInteger);
  EXPECT_EQ(ClassOf(VariantType::Int64), VariantClass::LargeInteger);
  EXPECT_EQ(ClassOf(VariantType::Single), VariantClass::Real);
  EXPECT_EQ(ClassOf(VariantType::OleStr), VariantClass::Text);
  EXPECT_EQ(ClassOf(VariantType::Date), VariantClass::Date);

  EXPECT_TRUE(Variant().IsEmpty());
  EXPECT_TRUE(Variant::Null().IsNull());
  EXPECT_EQ(Variant::Boolean(true).IntegerPayload(), -1);

  // Copies own their text.
  Variant original = Variant::String("abc");
  Variant copy = original;
  original = Variant::Integer(1);
  EXPECT_EQ(copy.TextPayload(), "abc");
}

TEST(VariantCompare, NullRule) {
  const Variant null = Variant::Null();
  const Variant five = Variant::Integer(5);
  EXPECT_TRUE(Cmp(null, CompareOp::Equal, null));
  EXPECT_FALSE(Cmp(null, CompareOp::NotEqual, null));
  EXPECT_TRUE(Cmp(null, CompareOp::NotEqual, five));
  EXPECT_TRUE(Cmp(five, CompareOp::NotEqual, null));
  EXPECT_FALSE(Cmp(null, CompareOp::Equal, five));
  EXPECT_TRUE(Cmp(null, CompareOp::Less, five));
  EXPECT_TRUE(Cmp(five, CompareOp::GreaterEqual, null));
  EXPECT_FALSE(Cmp(five, CompareOp::Less, null));
  EXPECT_TRUE(Cmp(null, CompareOp::LessEqual, null));
  EXPECT_TRUE(Cmp(null, CompareOp::GreaterEqual, null));
  EXPECT_FALSE(Cmp(null, CompareOp::Less, null));
  // Null is less than Empty, and than a text it would fail to convert.
  EXPECT_TRUE(Cmp(null, CompareOp::Less, Variant()));
  EXPECT_FALSE(Cmp(null, CompareOp::Equal, Variant()));
  EXPECT_TRUE(Cmp(Variant::String("ABC"), CompareOp::Greater, null));
  EXPECT_TRUE(Cmp(null, CompareOp::NotEqual, Variant::String("")));
}

TEST(VariantCompare, TextAgainstNumbersIsReal) {
  EXPECT_TRUE(Cmp(Variant::String("12"), CompareOp::Equal, Variant::Integer(12)));
  EXPECT_TRUE(Cmp(Variant::Integer(12), CompareOp::Equal, Variant::String(" 12 ")));
  EXPECT_TRUE(Cmp(Variant::String("12,5"), CompareOp::Greater, Variant::Integer(12)));
  EXPECT_TRUE(Cmp(Variant::String("1.234,5"), CompareOp::Equal, Variant::Double(1234.5)));
  EXPECT_TRUE(Cmp(Variant::String("9"), CompareOp::Less, Variant::Byte(64)));
  EXPECT_VARIANT_ERROR(Cmp(Variant::String("ABC"), CompareOp::Equal, Variant::Byte(64)),
                       ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(Cmp(Variant::Integer(64), CompareOp::Equal, Variant::String("ABC")),
                       ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(Cmp(Variant::String(""), CompareOp::Equal, Variant::Integer(0)),
                       ConvertError("String", "Double"));
  // In the United States settings the comma is a grouping separator.
  EXPECT_TRUE(Compare(Variant::String("12.5"), CompareOp::Equal, Variant::Double(12.5), kUs));
  EXPECT_VARIANT_ERROR(Cmp(Variant::String("12.5"), CompareOp::Equal, Variant::Double(12.5)),
                       ConvertError("String", "Double"));
  // Text against an Int64 is real as well.
  EXPECT_TRUE(Cmp(Variant::String("12345678901"), CompareOp::Equal, Variant::Int64(12345678901LL)));
}

TEST(VariantCompare, TextAgainstTextIsByteWise) {
  EXPECT_TRUE(Cmp(Variant::String("ab"), CompareOp::Less, Variant::String("ab ")));
  EXPECT_TRUE(Cmp(Variant::String("B"), CompareOp::Less, Variant::String("a")));
  EXPECT_FALSE(Cmp(Variant::String("abc"), CompareOp::Equal, Variant::String("ABC")));
  EXPECT_TRUE(Cmp(Variant::String("abc"), CompareOp::NotEqual, Variant::String("ABC")));
  EXPECT_TRUE(Cmp(Variant::String("abc"), CompareOp::Equal, Variant::OleStr("abc")));
  // Bytes compare unsigned: "é" (0xE9) after "z".
  EXPECT_TRUE(Cmp(Variant::String("\xE9"), CompareOp::Greater, Variant::String("z")));
  EXPECT_TRUE(Cmp(Variant::String(""), CompareOp::Less, Variant::String("\x01")));
  // Empty against text compares as the empty text.
  EXPECT_TRUE(Cmp(Variant(), CompareOp::Equal, Variant::String("")));
  EXPECT_TRUE(Cmp(Variant::String("a"), CompareOp::Greater, Variant()));
  // "0" * 8 against a text of zeros: the date rule's test.
  EXPECT_FALSE(Cmp(Variant::String("00000000"), CompareOp::NotEqual, Variant::String("00000000")));
  EXPECT_TRUE(Cmp(Variant::String("0000000"), CompareOp::NotEqual, Variant::String("00000000")));
}

TEST(VariantCompare, IntegerRealLargeAndBoolean) {
  EXPECT_TRUE(Cmp(Variant::Integer(1), CompareOp::Equal, Variant::Byte(1)));
  EXPECT_TRUE(Cmp(Variant::Integer(-1), CompareOp::Less, Variant::Byte(0)));
  EXPECT_TRUE(Cmp(Variant::Integer(3), CompareOp::Less, Variant::Double(3.5)));
  EXPECT_TRUE(Cmp(Variant::Double(0.1 + 0.2), CompareOp::NotEqual, Variant::Double(0.3)));
  EXPECT_TRUE(Cmp(Variant(), CompareOp::Equal, Variant::Integer(0)));
  EXPECT_TRUE(Cmp(Variant(), CompareOp::Less, Variant::Double(0.5)));
  EXPECT_TRUE(Cmp(Variant(), CompareOp::Equal, Variant()));
  // Integer against large integer compares in 64 bits.
  EXPECT_TRUE(Cmp(Variant::Integer(2147483647), CompareOp::Less, Variant::Int64(2147483648LL)));
  EXPECT_TRUE(Cmp(Variant::Int64(9007199254740993LL), CompareOp::Greater, Variant::Int64(9007199254740992LL)));
  // Large integer against real is real.
  EXPECT_TRUE(Cmp(Variant::Int64(5), CompareOp::Less, Variant::Double(5.25)));
  // Boolean true is -1 against integers and reals.
  EXPECT_TRUE(Cmp(Variant::Boolean(true), CompareOp::Equal, Variant::Integer(-1)));
  EXPECT_TRUE(Cmp(Variant::Boolean(true), CompareOp::Less, Variant::Double(0)));
  // Boolean against boolean: false is less than true.
  EXPECT_TRUE(Cmp(Variant::Boolean(false), CompareOp::Less, Variant::Boolean(true)));
  // Text against boolean is boolean.
  EXPECT_TRUE(Cmp(Variant::String("true"), CompareOp::Equal, Variant::Boolean(true)));
  EXPECT_TRUE(Cmp(Variant::String("0"), CompareOp::Equal, Variant::Boolean(false)));
  EXPECT_VARIANT_ERROR(Cmp(Variant::String("sim"), CompareOp::Equal, Variant::Boolean(true)),
                       ConvertError("String", "Boolean"));
}

TEST(VariantCompare, DatesAndText) {
  const Variant date = Variant::Date(*EncodeDate(2023, 6, 30));
  EXPECT_TRUE(Cmp(date, CompareOp::Equal, Variant::String("30/06/2023")));
  EXPECT_TRUE(Cmp(Variant::String("01/07/2023"), CompareOp::Greater, date));
  EXPECT_TRUE(Cmp(date, CompareOp::Equal, Variant::Integer(45107)));
  EXPECT_TRUE(Cmp(date, CompareOp::Less, Variant::Double(45107.5)));
  // A day count in text is read as a date.
  EXPECT_TRUE(Cmp(date, CompareOp::Equal, Variant::String("45107")));
  // The empty text is no date: the date rule on a DBF date field fails so.
  EXPECT_VARIANT_ERROR(Cmp(date, CompareOp::NotEqual, Variant::String("")), ConvertError("String", "Date"));
  EXPECT_VARIANT_ERROR(Cmp(date, CompareOp::Equal, Variant::String("20230630x")), ConvertError("String", "Date"));
  // Null still wins over the date procedure.
  EXPECT_TRUE(Cmp(date, CompareOp::NotEqual, Variant::Null()));
}

TEST(VariantArithmetic, TextJoinsOrGoesReal) {
  const Variant joined = Add(Variant::String("12"), Variant::String("3"), kBr);
  EXPECT_EQ(joined.Type(), VariantType::String);
  EXPECT_EQ(joined.TextPayload(), "123");

  const Variant wide = Add(Variant::OleStr("a"), Variant::String("b"), kBr);
  EXPECT_EQ(wide.Type(), VariantType::OleStr);
  EXPECT_EQ(wide.TextPayload(), "ab");

  const Variant emptyLeft = Add(Variant(), Variant::String("x"), kBr);
  EXPECT_EQ(emptyLeft.Type(), VariantType::OleStr);
  EXPECT_EQ(emptyLeft.TextPayload(), "x");

  const Variant withEmpty = Add(Variant::String("x"), Variant(), kBr);
  EXPECT_EQ(withEmpty.Type(), VariantType::String);
  EXPECT_EQ(withEmpty.TextPayload(), "x");

  const Variant sum = Add(Variant::String("12"), Variant::Integer(3), kBr);
  EXPECT_EQ(sum.Type(), VariantType::Double);
  EXPECT_EQ(sum.RealPayload(), 15.0);

  const Variant difference = Subtract(Variant::String("12"), Variant::String("3"), kBr);
  EXPECT_EQ(difference.Type(), VariantType::Double);
  EXPECT_EQ(difference.RealPayload(), 9.0);

  EXPECT_VARIANT_ERROR(Add(Variant::String("a"), Variant::Integer(1), kBr), ConvertError("String", "Double"));
  // Null wins over the text procedure; the failure comes when converting.
  const Variant nullText = Add(Variant::String("a"), Variant::Null(), kBr);
  EXPECT_TRUE(nullText.IsNull());
  EXPECT_VARIANT_ERROR(ToText(nullText, kBr), ConvertError("Null", "String"));
}

TEST(VariantArithmetic, IntegerResultsAndOverflowToReal) {
  const Variant one = Add(Variant(), Variant::Integer(1), kBr);
  EXPECT_EQ(one.Type(), VariantType::Integer);
  EXPECT_EQ(one.IntegerPayload(), 1);

  const Variant bytes = Add(Variant::Byte(200), Variant::Byte(100), kBr);
  EXPECT_EQ(bytes.Type(), VariantType::Integer);
  EXPECT_EQ(bytes.IntegerPayload(), 300);

  const Variant overflow = Add(Variant::Integer(2147483647), Variant::Integer(1), kBr);
  EXPECT_EQ(overflow.Type(), VariantType::Double);
  EXPECT_EQ(overflow.RealPayload(), 2147483648.0);

  const Variant under = Subtract(Variant::Integer(INT32_MIN), Variant::Integer(1), kBr);
  EXPECT_EQ(under.Type(), VariantType::Double);
  EXPECT_EQ(under.RealPayload(), -2147483649.0);

  const Variant product = Multiply(Variant::Integer(65536), Variant::Integer(65536), kBr);
  EXPECT_EQ(product.Type(), VariantType::Double);
  EXPECT_EQ(product.RealPayload(), 4294967296.0);

  const Variant half = Divide(Variant::Integer(7), Variant::Integer(2), kBr);
  EXPECT_EQ(half.Type(), VariantType::Double);
  EXPECT_EQ(half.RealPayload(), 3.5);

  const Variant share = Divide(Multiply(Variant::Integer(100), Variant::Integer(3), kBr), Variant::Integer(4), kBr);
  EXPECT_EQ(share.Type(), VariantType::Double);
  EXPECT_EQ(share.RealPayload(), 75.0);

  const Variant exact = Divide(Variant::Integer(8), Variant::Integer(2), kBr);
  EXPECT_EQ(exact.Type(), VariantType::Double);

  // Integer with boolean stays integer (true is -1).
  const Variant withBool = Add(Variant::Integer(5), Variant::Boolean(true), kBr);
  EXPECT_EQ(withBool.Type(), VariantType::Integer);
  EXPECT_EQ(withBool.IntegerPayload(), 4);
}

TEST(VariantArithmetic, RealErrors) {
  EXPECT_VARIANT_ERROR(Divide(Variant::Integer(1), Variant::Integer(0), kBr), "Floating point division by zero");
  EXPECT_VARIANT_ERROR(Divide(Variant::Double(-1), Variant::Double(0), kBr), "Floating point division by zero");
  EXPECT_VARIANT_ERROR(Divide(Variant::Integer(0), Variant::Integer(0), kBr), "Invalid floating point operation");
  EXPECT_VARIANT_ERROR(Divide(Variant::Double(0), Variant(), kBr), "Invalid floating point operation");
  EXPECT_VARIANT_ERROR(Multiply(Variant::Double(1e300), Variant::Double(1e300), kBr), "Floating point overflow");
  EXPECT_VARIANT_ERROR(Add(Variant::Double(1.7e308), Variant::Double(1.7e308), kBr), "Floating point overflow");
  EXPECT_VARIANT_ERROR(Divide(Variant(), Variant(), kBr), "Floating point division by zero");
  // A fraction that underflows is no error.
  EXPECT_EQ(Divide(Variant::Double(1e-300), Variant::Double(1e300), kBr).RealPayload(), 0.0);
}

TEST(VariantArithmetic, NullEmptyBooleanDateAndLarge) {
  const Variant nullSum = Add(Variant::Double(1.5), Variant::Null(), kBr);
  EXPECT_TRUE(nullSum.IsNull());
  EXPECT_VARIANT_ERROR(ToDouble(nullSum, kBr), ConvertError("Null", "Double"));
  EXPECT_TRUE(Add(Variant::Null(), Variant::String("a"), kBr).IsNull());
  EXPECT_TRUE(Divide(Variant::Null(), Variant::Integer(0), kBr).IsNull());

  EXPECT_TRUE(Add(Variant(), Variant(), kBr).IsEmpty());
  EXPECT_TRUE(Multiply(Variant(), Variant(), kBr).IsEmpty());

  const Variant bools = Add(Variant::Boolean(true), Variant::Boolean(true), kBr);
  EXPECT_EQ(bools.Type(), VariantType::Double);
  EXPECT_EQ(bools.RealPayload(), -2.0);

  const Variant start = Variant::Date(*EncodeDate(2023, 6, 30));
  const Variant later = Add(start, Variant::Integer(1), kBr);
  EXPECT_EQ(later.Type(), VariantType::Date);
  EXPECT_EQ(later.RealPayload(), *EncodeDate(2023, 7, 1));
  const Variant earlier = Subtract(start, Variant::Double(0.5), kBr);
  EXPECT_EQ(earlier.Type(), VariantType::Date);
  EXPECT_EQ(earlier.RealPayload(), *EncodeDate(2023, 6, 30) - 0.5);
  const Variant span = Subtract(Variant::Date(*EncodeDate(2023, 7, 10)), start, kBr);
  EXPECT_EQ(span.Type(), VariantType::Double);
  EXPECT_EQ(span.RealPayload(), 10.0);
  const Variant scaled = Multiply(start, Variant::Integer(2), kBr);
  EXPECT_EQ(scaled.Type(), VariantType::Double);

  const Variant big = Add(Variant::Int64(9007199254740992LL), Variant::Integer(1), kBr);
  EXPECT_EQ(big.Type(), VariantType::Int64);
  EXPECT_EQ(big.IntegerPayload(), 9007199254740993LL);
  const Variant wrapped = Add(Variant::Int64(INT64_MAX), Variant::Int64(1), kBr);
  EXPECT_EQ(wrapped.Type(), VariantType::Int64);
  EXPECT_EQ(wrapped.IntegerPayload(), INT64_MIN);
  const Variant wrappedDown = Subtract(Variant::Int64(INT64_MIN), Variant::Integer(1), kBr);
  EXPECT_EQ(wrappedDown.IntegerPayload(), INT64_MAX);
  const Variant bigProduct = Multiply(Variant::Int64(INT64_MAX), Variant::Int64(2), kBr);
  EXPECT_EQ(bigProduct.Type(), VariantType::Double);
  EXPECT_EQ(bigProduct.RealPayload(), 2.0 * 9223372036854775807.0);
  const Variant smallProduct = Multiply(Variant::Int64(3), Variant::Int64(4), kBr);
  EXPECT_EQ(smallProduct.Type(), VariantType::Int64);
  EXPECT_EQ(smallProduct.IntegerPayload(), 12);
  const Variant largeDivision = Divide(Variant::Int64(9), Variant::Int64(2), kBr);
  EXPECT_EQ(largeDivision.Type(), VariantType::Double);
  EXPECT_EQ(largeDivision.RealPayload(), 4.5);
  // Int64 with a real is real.
  EXPECT_EQ(Add(Variant::Int64(1), Variant::Double(0.5), kBr).Type(), VariantType::Double);
}

TEST(VariantToText, EveryKind) {
  EXPECT_EQ(ToText(Variant(), kBr), "");
  EXPECT_VARIANT_ERROR(ToText(Variant::Null(), kBr), ConvertError("Null", "String"));
  EXPECT_EQ(ToText(Variant::Integer(-1234567), kBr), "-1234567");
  EXPECT_EQ(ToText(Variant::Byte(64), kBr), "64");
  EXPECT_EQ(ToText(Variant::Int64(INT64_MIN), kBr), "-9223372036854775808");
  EXPECT_EQ(ToText(Variant::LongWord(4294967295u), kBr), "4294967295");
  EXPECT_EQ(ToText(Variant::Double(1234.5), kBr), "1234,5");
  EXPECT_EQ(ToText(Variant::Double(1234.5), kUs), "1234.5");
  EXPECT_EQ(ToText(Variant::Single(0.5f), kBr), "0,5");
  EXPECT_EQ(ToText(Variant::Boolean(true), kBr), "True");
  EXPECT_EQ(ToText(Variant::Boolean(false), kBr), "False");
  EXPECT_EQ(ToText(Variant::CurrencyScaled(15000), kBr), "1,5");
  EXPECT_EQ(ToText(Variant::CurrencyScaled(-1234), kBr), "-0,1234");
  EXPECT_EQ(ToText(Variant::CurrencyScaled(20000), kBr), "2");
  EXPECT_EQ(ToText(Variant::OleStr("wide"), kBr), "wide");
  EXPECT_EQ(ToText(Variant::String(" a "), kBr), " a ");

  EXPECT_EQ(ToText(Variant::Date(*EncodeDate(2026, 12, 7)), kBr), "07/12/2026");
  EXPECT_EQ(ToText(Variant::Date(*EncodeDateTime({2026, 12, 7, 8, 5, 9})), kBr), "07/12/2026 08:05:09");
  EXPECT_EQ(ToText(Variant::Date(*EncodeDateTime({2026, 12, 7, 17, 0, 0})), kUs), "12/7/2026 5:00:00 PM");
  EXPECT_EQ(ToText(Variant::Date(0), kBr), "30/12/1899");
}

TEST(VariantToInteger, NumbersAndRounding) {
  EXPECT_EQ(ToInteger(Variant(), kBr), 0);
  EXPECT_VARIANT_ERROR(ToInteger(Variant::Null(), kBr), ConvertError("Null", "Integer"));
  EXPECT_EQ(ToInteger(Variant::Double(2.5), kBr), 2);
  EXPECT_EQ(ToInteger(Variant::Double(3.5), kBr), 4);
  EXPECT_EQ(ToInteger(Variant::Double(-2.5), kBr), -2);
  EXPECT_EQ(ToInteger(Variant::Double(-3.5), kBr), -4);
  EXPECT_EQ(ToInteger(Variant::Double(2.4999), kBr), 2);
  EXPECT_EQ(ToInteger(Variant::Double(-0.6), kBr), -1);
  EXPECT_EQ(ToInteger(Variant::Double(2147483647.4), kBr), 2147483647);
  EXPECT_EQ(ToInteger(Variant::Date(45107.75), kBr), 45108);
  EXPECT_VARIANT_ERROR(ToInteger(Variant::Double(2147483647.5), kBr), OverflowError("Double", "Integer"));
  EXPECT_VARIANT_ERROR(ToInteger(Variant::Double(-1e10), kBr), OverflowError("Double", "Integer"));
  EXPECT_VARIANT_ERROR(ToInteger(Variant::Single(3e9f), kBr), OverflowError("Single", "Integer"));
  EXPECT_EQ(ToInteger(Variant::Int64(-2147483648LL), kBr), INT32_MIN);
  EXPECT_VARIANT_ERROR(ToInteger(Variant::Int64(2147483648LL), kBr), OverflowError("Int64", "Integer"));
  EXPECT_VARIANT_ERROR(ToInteger(Variant::LongWord(4294967295u), kBr), OverflowError("LongWord", "Integer"));
  EXPECT_EQ(ToInteger(Variant::Word(65535), kBr), 65535);
  EXPECT_EQ(ToInteger(Variant::Boolean(true), kBr), -1);
  EXPECT_EQ(ToInteger(Variant::Boolean(false), kBr), 0);
  EXPECT_EQ(ToInteger(Variant::CurrencyScaled(25000), kBr), 2);
  EXPECT_EQ(ToInteger(Variant::CurrencyScaled(35000), kBr), 4);
}

TEST(VariantToInteger, TextFallbackChain) {
  EXPECT_EQ(ToInteger(Variant::String("64"), kBr), 64);
  EXPECT_EQ(ToInteger(Variant::String(" -64 "), kBr), -64);
  EXPECT_EQ(ToInteger(Variant::String("1.234"), kBr), 1234);
  EXPECT_EQ(ToInteger(Variant::String("2,5"), kBr), 2);
  EXPECT_EQ(ToInteger(Variant::String("3,5"), kBr), 4);
  EXPECT_EQ(ToInteger(Variant::String("1e3"), kBr), 1000);
  // Not a number in the locale: the integer literal ("$" hexadecimal).
  EXPECT_EQ(ToInteger(Variant::String("$1F"), kBr), 31);
  // Then the boolean words, true giving 1.
  EXPECT_EQ(ToInteger(Variant::String("True"), kBr), 1);
  EXPECT_EQ(ToInteger(Variant::String("false"), kBr), 0);
  EXPECT_VARIANT_ERROR(ToInteger(Variant::String("X1"), kBr), ConvertError("String", "Boolean"));
  // Only "$" introduces a hexadecimal literal here.
  EXPECT_VARIANT_ERROR(ToInteger(Variant::String("0x1F"), kBr), ConvertError("String", "Boolean"));
  EXPECT_VARIANT_ERROR(ToInteger(Variant::String(""), kBr), ConvertError("String", "Boolean"));
  EXPECT_VARIANT_ERROR(ToInteger(Variant::OleStr("abc"), kBr), ConvertError("OleStr", "Boolean"));
  EXPECT_VARIANT_ERROR(ToInteger(Variant::String("2147483648"), kBr), OverflowError("String", "Integer"));
  EXPECT_VARIANT_ERROR(ToInteger(Variant::String("-3000000000"), kBr), OverflowError("String", "Integer"));
  EXPECT_VARIANT_ERROR(ToInteger(Variant::String("1e999"), kBr), OverflowError("String", "Integer"));
  EXPECT_EQ(ToInteger(Variant::String("2147483647"), kBr), 2147483647);
}

TEST(VariantToInt64, LargeValues) {
  EXPECT_EQ(ToInt64(Variant::String("9223372036854775807"), kBr), INT64_MAX);
  EXPECT_EQ(ToInt64(Variant::String("-12.345.678.901"), kBr), -12345678901LL);
  EXPECT_EQ(ToInt64(Variant::Double(1e15 + 0.5), kBr), 1000000000000000LL);
  EXPECT_EQ(ToInt64(Variant::Integer(-5), kBr), -5);
  EXPECT_EQ(ToInt64(Variant::Boolean(true), kBr), -1);
  EXPECT_VARIANT_ERROR(ToInt64(Variant::Double(1e19), kBr), OverflowError("Double", "Int64"));
  EXPECT_VARIANT_ERROR(ToInt64(Variant::Null(), kBr), ConvertError("Null", "Int64"));
  EXPECT_VARIANT_ERROR(ToInt64(Variant::String("X1"), kBr), ConvertError("String", "Boolean"));
}

TEST(VariantToDouble, LocaleAwareText) {
  EXPECT_EQ(ToDouble(Variant(), kBr), 0.0);
  EXPECT_VARIANT_ERROR(ToDouble(Variant::Null(), kBr), ConvertError("Null", "Double"));
  EXPECT_EQ(ToDouble(Variant::Integer(-7), kBr), -7.0);
  EXPECT_EQ(ToDouble(Variant::Boolean(true), kBr), -1.0);
  EXPECT_EQ(ToDouble(Variant::Date(45107.25), kBr), 45107.25);
  EXPECT_EQ(ToDouble(Variant::String("12,5"), kBr), 12.5);
  EXPECT_EQ(ToDouble(Variant::String("  -12,5  "), kBr), -12.5);
  EXPECT_EQ(ToDouble(Variant::String("+,5"), kBr), 0.5);
  EXPECT_EQ(ToDouble(Variant::String("12,"), kBr), 12.0);
  EXPECT_EQ(ToDouble(Variant::String("-,25"), kBr), -0.25);
  EXPECT_EQ(ToDouble(Variant::String("1.234.567,89"), kBr), 1234567.89);
  EXPECT_EQ(ToDouble(Variant::String("1,5E3"), kBr), 1500.0);
  EXPECT_EQ(ToDouble(Variant::String("5e-5"), kBr), 5e-5);
  EXPECT_EQ(ToDouble(Variant::String("1,234,567.89"), kUs), 1234567.89);
  EXPECT_EQ(ToDouble(Variant::String("0,1"), kBr), 0.1);
  EXPECT_EQ(ToDouble(Variant::String("1e-400"), kBr), 0.0);
  // Misplaced grouping, the other locale's separator, and non-numbers.
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String("1.23"), kBr), ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String("12.34.567"), kBr), ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String(".123"), kBr), ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String("12.5"), kBr), ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String("1 2"), kBr), ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String("1e"), kBr), ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String("-"), kBr), ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String(","), kBr), ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String("$10"), kBr), ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String("NaN"), kBr), ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String("inf"), kBr), ConvertError("String", "Double"));
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String("1e999"), kBr), OverflowError("String", "Double"));
  // Blank-like grouping separators (French: 0xA0; a user's plain blank).
  RegionalSettings french = kBr;
  french.thousandSeparator = '\xA0';
  EXPECT_EQ(ToDouble(Variant::String("1\xA0"
                                     "234,5"),
                     french),
            1234.5);
  RegionalSettings blank = kBr;
  blank.thousandSeparator = ' ';
  EXPECT_EQ(ToDouble(Variant::String(" 1 234 567,5 "), blank), 1234567.5);
  EXPECT_EQ(ToDouble(Variant::String("12 "), blank), 12.0);
  EXPECT_VARIANT_ERROR(ToDouble(Variant::String("12 3"), blank), ConvertError("String", "Double"));
  // A long text of digits is read whole.
  EXPECT_EQ(ToDouble(Variant::String(std::string(200, '0') + "7"), kBr), 7.0);
}

TEST(VariantToDate, TextAndNumbers) {
  EXPECT_EQ(ToDate(Variant::String("30/06/2023"), kBr), *EncodeDate(2023, 6, 30));
  EXPECT_EQ(ToDate(Variant::String("30/06/2023 12:00"), kBr), *EncodeDate(2023, 6, 30) + 0.5);
  EXPECT_EQ(ToDate(Variant::String("6/30/2023"), kUs), *EncodeDate(2023, 6, 30));
  EXPECT_EQ(ToDate(Variant::String("45107,5"), kBr), 45107.5);
  EXPECT_EQ(ToDate(Variant::Integer(2), kBr), 2.0);
  EXPECT_EQ(ToDate(Variant::Double(1.5), kBr), 1.5);
  EXPECT_VARIANT_ERROR(ToDate(Variant::String("31/02/2023"), kBr), ConvertError("String", "Date"));
  EXPECT_VARIANT_ERROR(ToDate(Variant::String(""), kBr), ConvertError("String", "Date"));
  EXPECT_VARIANT_ERROR(ToDate(Variant::Null(), kBr), ConvertError("Null", "Date"));
}

TEST(VariantToBoolean, WordsAndNumbers) {
  EXPECT_TRUE(ToBoolean(Variant::String("TRUE"), kBr));
  EXPECT_TRUE(ToBoolean(Variant::String(" true "), kBr));
  EXPECT_FALSE(ToBoolean(Variant::String("False"), kBr));
  EXPECT_TRUE(ToBoolean(Variant::String("2"), kBr));
  EXPECT_TRUE(ToBoolean(Variant::String("0,5"), kBr));
  EXPECT_FALSE(ToBoolean(Variant::String("0"), kBr));
  EXPECT_TRUE(ToBoolean(Variant::Integer(7), kBr));
  EXPECT_FALSE(ToBoolean(Variant::Double(0), kBr));
  EXPECT_FALSE(ToBoolean(Variant(), kBr));
  EXPECT_VARIANT_ERROR(ToBoolean(Variant::String("T"), kBr), ConvertError("String", "Boolean"));
  EXPECT_VARIANT_ERROR(ToBoolean(Variant::String("yes"), kBr), ConvertError("String", "Boolean"));
  EXPECT_VARIANT_ERROR(ToBoolean(Variant::Null(), kBr), ConvertError("Null", "Boolean"));
}

TEST(GeneralFormat, ExamplesWithComma) {
  EXPECT_EQ(FormatGeneral(12.5, ','), "12,5");
  EXPECT_EQ(FormatGeneral(1000, ','), "1000");
  EXPECT_EQ(FormatGeneral(0.1 + 0.2, ','), "0,3");
  EXPECT_EQ(FormatGeneral(0.0001, ','), "0,0001");
  EXPECT_EQ(FormatGeneral(0.00005, ','), "5E-5");
  EXPECT_EQ(FormatGeneral(1e15, ','), "1E15");
  EXPECT_EQ(FormatGeneral(123456789012345.0, ','), "123456789012345");
  EXPECT_EQ(FormatGeneral(0, ','), "0");
  EXPECT_EQ(FormatGeneral(-0.0, ','), "0");
}

TEST(GeneralFormat, RoundingSignsAndBoundaries) {
  EXPECT_EQ(FormatGeneral(-12.5, '.'), "-12.5");
  EXPECT_EQ(FormatGeneral(1.0 / 3.0, ','), "0,333333333333333");
  EXPECT_EQ(FormatGeneral(2.0 / 3.0, ','), "0,666666666666667");
  EXPECT_EQ(FormatGeneral(999999999999999.0, ','), "999999999999999");
  // Sixteen nines round up to a 16-digit integer part, beyond fixed notation.
  EXPECT_EQ(FormatGeneral(9999999999999999.0, ','), "1E16");
  EXPECT_EQ(FormatGeneral(123456789012345.6, ','), "123456789012346");
  EXPECT_EQ(FormatGeneral(1234567890123456.0, ','), "1,23456789012346E15");
  EXPECT_EQ(FormatGeneral(0.001, ','), "0,001");
  EXPECT_EQ(FormatGeneral(0.00012345, ','), "0,00012345");
  EXPECT_EQ(FormatGeneral(0.000012345, ','), "1,2345E-5");
  EXPECT_EQ(FormatGeneral(-0.00005, ','), "-5E-5");
  EXPECT_EQ(FormatGeneral(1.5e-300, ','), "1,5E-300");
  EXPECT_EQ(FormatGeneral(1.7976931348623157e308, ','), "1,79769313486232E308");
  EXPECT_EQ(FormatGeneral(100.25, ','), "100,25");
  EXPECT_EQ(FormatGeneral(1234567.891, ','), "1234567,891");
  EXPECT_EQ(FormatGeneral(0.1, '.'), "0.1");
  // Binary noise beyond the fifteenth digit disappears.
  EXPECT_EQ(FormatGeneral(1.1 * 1.1, ','), "1,21");
  EXPECT_EQ(FormatGeneral(1.0 - 0.9, ','), "0,1");
}

TEST(VariantHotPaths, ManyComparisonsGiveStableAnswers) {
  // The comparisons that run per record: integer against byte, text against
  // text, text against integer.
  int equal = 0;
  for (int k = 0; k < 1000; ++k) {
    if (Cmp(Variant::Integer(k % 3), CompareOp::Equal, Variant::Byte(1))) ++equal;
    if (Cmp(Variant::String(std::to_string(k)), CompareOp::Equal, Variant::Integer(k))) ++equal;
  }
  EXPECT_EQ(equal, 333 + 1000);
}

}  // namespace
}  // namespace tarvelo
