#include "dbf/dbf_field.h"

#include "values/date_time.h"
#include "values/errors.h"

namespace tarvelo {

DbfField::DbfField(const DbfTable& table, std::string name, FieldTypeCode type, int size, int precision, int width,
                   int offset, char letter)
    : table_(table),
      name_(std::move(name)),
      type_(type),
      size_(size),
      precision_(precision),
      width_(width),
      offset_(offset),
      letter_(letter) {}

Variant DbfField::AsVariant(const char* record) const {
  if (IsNull(record)) return Variant::Null();
  const std::string_view bytes = RawBytes(record);
  switch (type_) {
    case ftString:
      return Variant::String(DecodeCharacter(bytes));
    case ftInteger: {
      const auto value = DecodeIntegerField(bytes);
      return value ? Variant::Integer(*value) : Variant::Null();
    }
    case ftLargeint:
      return Variant::Int64(DecodeLargeint(bytes).value_or(0));
    case ftFloat: {
      const auto value = DecodeFloat(bytes);
      return value ? Variant::Double(*value) : Variant::Null();
    }
    case ftDate: {
      const auto days = DecodeDate(bytes);
      return days ? Variant::Date(*days) : Variant::Null();
    }
    case ftBoolean: {
      const auto value = DecodeLogical(bytes);
      return value ? Variant::Boolean(*value) : Variant::Null();
    }
    default:
      // Memo contents live in the memo file, which is never read.
      return Variant::Null();
  }
}

}  // namespace tarvelo
