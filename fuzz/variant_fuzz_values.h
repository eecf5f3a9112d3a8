#pragma once
// The inputs of variant_fuzz: a settings byte, then values, each a kind
// byte and its payload; read from the fuzzer's bytes and written for the
// seeds.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "values/regional_settings.h"
#include "values/variant.h"

namespace tarvelo::fuzzing {

/// Values one input holds at most.
inline constexpr size_t kMaxVariants = 8;

/// The settings of the first byte's low bit: Brazilian when set, else
/// United States.
inline const RegionalSettings& FuzzSettings(uint8_t settingsByte) {
  static const RegionalSettings brazilian = RegionalSettings::Brazilian();
  static const RegionalSettings unitedStates = RegionalSettings::UnitedStates();
  return (settingsByte & 1) ? brazilian : unitedStates;
}

namespace detail {

// Kind bytes past the kinds themselves: a text drawn from the characters
// of numbers.
inline constexpr uint8_t kNumberText = static_cast<uint8_t>(VariantType::OleStr) + 1;
inline constexpr uint8_t kKindCount = kNumberText + 1;
inline constexpr char kNumberCharacters[] = "0123456789 -+,.Ee$\t";

// Reads a T from at (moving it on); false, at unchanged, when fewer bytes
// are left.
template <typename T>
bool Take(const uint8_t*& at, const uint8_t* end, T& value) {
  if (static_cast<size_t>(end - at) < sizeof(T)) return false;
  std::memcpy(&value, at, sizeof(T));
  at += sizeof(T);
  return true;
}

// Reads a T and appends make(it); false when the input is too short.
template <typename T, typename Make>
bool TakeValue(const uint8_t*& at, const uint8_t* end, std::vector<Variant>& values, Make make) {
  T value{};
  if (!Take(at, end, value)) return false;
  values.push_back(make(value));
  return true;
}

// Appends value's bytes.
template <typename T>
void Put(std::string& out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out.append(bytes, sizeof(T));
}

}  // namespace detail

/// Reads up to kMaxVariants values after the settings byte; a value whose
/// payload the input cuts short ends the list. Kind byte modulo the number
/// of kinds: a VariantType (payload in its native width and byte order; a
/// text is a length byte and its bytes), or one more for a text of that
/// many characters of numbers, each byte choosing one.
inline std::vector<Variant> ReadVariants(const uint8_t* data, size_t size) {
  using detail::Take;
  std::vector<Variant> values;
  const uint8_t* at = size > 0 ? data + 1 : data;
  const uint8_t* const end = data + size;
  while (at < end && values.size() < kMaxVariants) {
    const uint8_t kind = *at++ % detail::kKindCount;
    bool ok = true;
    if (kind == detail::kNumberText || kind == static_cast<uint8_t>(VariantType::String) ||
        kind == static_cast<uint8_t>(VariantType::OleStr)) {
      uint8_t length = 0;
      ok = Take(at, end, length) && static_cast<size_t>(end - at) >= length;
      if (!ok) break;
      std::string text(reinterpret_cast<const char*>(at), length);
      at += length;
      if (kind == detail::kNumberText) {
        for (char& c : text)
          c = detail::kNumberCharacters[static_cast<uint8_t>(c) % (sizeof detail::kNumberCharacters - 1)];
        values.push_back(Variant::String(std::move(text)));
      } else {
        values.push_back(kind == static_cast<uint8_t>(VariantType::String) ? Variant::String(std::move(text))
                                                                           : Variant::OleStr(std::move(text)));
      }
      continue;
    }
    switch (static_cast<VariantType>(kind)) {
      case VariantType::Empty:
        values.emplace_back();
        break;
      case VariantType::Null:
        values.push_back(Variant::Null());
        break;
      case VariantType::Smallint:
        ok = detail::TakeValue<int16_t>(at, end, values, Variant::Smallint);
        break;
      case VariantType::Integer:
        ok = detail::TakeValue<int32_t>(at, end, values, Variant::Integer);
        break;
      case VariantType::ShortInt:
        ok = detail::TakeValue<int8_t>(at, end, values, Variant::ShortInt);
        break;
      case VariantType::Byte:
        ok = detail::TakeValue<uint8_t>(at, end, values, Variant::Byte);
        break;
      case VariantType::Word:
        ok = detail::TakeValue<uint16_t>(at, end, values, Variant::Word);
        break;
      case VariantType::LongWord:
        ok = detail::TakeValue<uint32_t>(at, end, values, Variant::LongWord);
        break;
      case VariantType::Int64:
        ok = detail::TakeValue<int64_t>(at, end, values, Variant::Int64);
        break;
      case VariantType::Single:
        ok = detail::TakeValue<float>(at, end, values, Variant::Single);
        break;
      case VariantType::Double:
        ok = detail::TakeValue<double>(at, end, values, Variant::Double);
        break;
      case VariantType::Currency:
        ok = detail::TakeValue<int64_t>(at, end, values, Variant::CurrencyScaled);
        break;
      case VariantType::Date:
        ok = detail::TakeValue<double>(at, end, values, Variant::Date);
        break;
      case VariantType::Boolean: {
        uint8_t value = 0;
        if ((ok = Take(at, end, value))) values.push_back(Variant::Boolean((value & 1) != 0));
        break;
      }
      default:
        break;
    }
    if (!ok) break;
  }
  return values;
}

/// The bytes of value as ReadVariants reads it back (a text of at most 255
/// bytes).
inline std::string WriteVariant(const Variant& value) {
  using detail::Put;
  std::string out(1, static_cast<char>(value.Type()));
  switch (value.Type()) {
    case VariantType::Empty:
    case VariantType::Null:
      break;
    case VariantType::Smallint:
      Put(out, static_cast<int16_t>(value.IntegerPayload()));
      break;
    case VariantType::Integer:
      Put(out, static_cast<int32_t>(value.IntegerPayload()));
      break;
    case VariantType::ShortInt:
      Put(out, static_cast<int8_t>(value.IntegerPayload()));
      break;
    case VariantType::Byte:
    case VariantType::Boolean:
      Put(out, static_cast<uint8_t>(value.IntegerPayload()));
      break;
    case VariantType::Word:
      Put(out, static_cast<uint16_t>(value.IntegerPayload()));
      break;
    case VariantType::LongWord:
      Put(out, static_cast<uint32_t>(value.IntegerPayload()));
      break;
    case VariantType::Int64:
    case VariantType::Currency:
      Put(out, value.IntegerPayload());
      break;
    case VariantType::Single:
      Put(out, static_cast<float>(value.RealPayload()));
      break;
    case VariantType::Double:
    case VariantType::Date:
      Put(out, value.RealPayload());
      break;
    case VariantType::String:
    case VariantType::OleStr:
      out.push_back(static_cast<char>(value.TextPayload().size()));
      out += value.TextPayload();
      break;
  }
  return out;
}

}  // namespace tarvelo::fuzzing
