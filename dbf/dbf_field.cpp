#include "dbf/dbf_field.h"

#include "dbf/dbf_table.h"
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

Variant DbfField::AsVariant() const {
  const char* record = table_.RecordData();
  return record == nullptr ? Variant::Null() : AsVariant(record);
}

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

std::string DbfField::AsText() const {
  if (IsNull()) return std::string();
  const std::string_view bytes = RawBytes();
  switch (type_) {
    case ftString:
      return DecodeCharacter(bytes);
    case ftInteger: {
      const auto value = DecodeInteger(bytes);
      return value ? std::to_string(*value) : std::string();
    }
    case ftLargeint: {
      const auto value = DecodeLargeint(bytes);
      return value ? std::to_string(*value) : std::string();
    }
    case ftFloat: {
      const auto value = DecodeFloat(bytes);
      return value ? FormatGeneral(*value, table_.Settings().decimalSeparator) : std::string();
    }
    case ftDate: {
      const auto days = DecodeDate(bytes);
      return days ? FormatShortDate(*days, table_.Settings()) : std::string();
    }
    case ftBoolean: {
      const auto value = DecodeLogical(bytes);
      return value ? (*value ? "True" : "False") : std::string();
    }
    default:
      return std::string();
  }
}

double DbfField::AsFloat() const {
  if (table_.RecordData() == nullptr) return 0;
  const std::string_view bytes = RawBytes();
  if (type_ == ftString) {
    const std::string text = DecodeCharacter(bytes);
    const auto value = ParseDecimal(text, table_.Settings().decimalSeparator);
    if (!value) throw ConvertError("'" + text + "' is not a valid floating point value");
    return *value;
  }
  if (IsNullField(type_, bytes)) return 0;
  switch (type_) {
    case ftInteger:
      return DecodeInteger(bytes).value_or(0);
    case ftLargeint:
      return static_cast<double>(DecodeLargeint(bytes).value_or(0));
    case ftFloat:
      return DecodeFloat(bytes).value_or(0);
    case ftDate:
      return DecodeDate(bytes).value_or(0);
    case ftBoolean:
      // As a Boolean Variant converts: true is -1.
      return DecodeLogical(bytes).value_or(false) ? -1 : 0;
    default:
      return 0;
  }
}

}  // namespace tarvelo
