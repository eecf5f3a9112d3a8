#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "dbf/field_decoders.h"
#include "values/field_type.h"
#include "values/variant.h"

namespace tarvelo {

class DbfTable;

/// One field of an open DbfTable; reads the table's current record.
class DbfField {
 public:
  DbfField(const DbfTable& table, std::string name, FieldTypeCode type, int size, int precision, int width, int offset,
           char letter);

  /// Upper-cased, trimmed descriptor name.
  const std::string& FieldName() const { return name_; }
  FieldTypeCode DataType() const { return type_; }
  /// Width of a character field; 0 for every other type.
  int Size() const { return size_; }
  /// Decimal count of a float field; 0 otherwise.
  int Precision() const { return precision_; }
  /// Bytes the field occupies in the record.
  int Width() const { return width_; }
  /// Position of the field's first byte in the record (the flag is byte 0).
  int Offset() const { return offset_; }
  /// The descriptor's type letter ("C", "N", ...).
  char Letter() const { return letter_; }

  /// The field's raw bytes in the current record; empty when the table has
  /// no current record.
  std::string_view RawBytes() const;
  /// The raw bytes up to the first NUL byte (all of them when there is
  /// none): for a character field, its text as read, blanks kept. Empty
  /// when the table has no current record. The view lasts until the table
  /// moves.
  std::string_view CharacterText() const;
  /// Null decided from the raw bytes only: never for a character field; for
  /// the other types, exactly when every byte is a blank (code 32). True
  /// when the table has no current record.
  bool IsNull() const;
  /// The decoded value (text, Integer, Int64, Double, Date, Boolean or Null);
  /// a value that does not decode is Null, never an error. A large integer
  /// that does not parse is Int64 0; a memo field (never read) is Null.
  Variant AsVariant() const;

  /// The same reads on the bytes of a record of this table (a whole
  /// record, deletion flag first; never nullptr) rather than the current
  /// one: any number of threads may read records of their own at once
  /// while the table stands still.
  std::string_view RawBytes(const char* record) const {
    return std::string_view(record + offset_, static_cast<size_t>(width_));
  }
  [[gnu::always_inline]] std::string_view CharacterText(const char* record) const;
  bool IsNull(const char* record) const;
  Variant AsVariant(const char* record) const;
  /// Text form: character bytes up to the first NUL; integers in plain
  /// digits; floats in the 15-digit general format with the user's decimal
  /// separator; dates in the user's short date format; logicals "True" or
  /// "False"; "" when Null, for a large integer that does not parse and for
  /// a memo.
  std::string AsText() const;
  /// Numeric value: numbers (0 when Null or not parsed), dates as day counts
  /// (0 when Null), logicals -1 or 0, memos 0, character text converted with
  /// the user's decimal separator (ConvertError "'%s' is not a valid floating
  /// point value" otherwise). 0 when the table has no current record.
  double AsFloat() const;
  /// AsFloat of a record of this table (as AsVariant(record)).
  double AsFloat(const char* record) const;

 private:
  const DbfTable& table_;
  std::string name_;
  FieldTypeCode type_;
  int size_;
  int precision_;
  int width_;
  int offset_;
  char letter_;
};

inline std::string_view DbfField::CharacterText(const char* record) const {
  const char* bytes = record + offset_;
  const size_t width = static_cast<size_t>(width_);
  if constexpr (std::endian::native == std::endian::little) {
    if (width >= 8 && width <= 16) {
      // The field's first and last eight bytes, two words that overlap: the
      // lowest NUL byte of a word is found exactly from its bits.
      constexpr uint64_t kOnes = 0x0101010101010101u;
      const auto firstNul = [](uint64_t word) { return (word - kOnes) & ~word & (0x80 * kOnes); };
      uint64_t word;
      std::memcpy(&word, bytes, sizeof word);
      if (const uint64_t found = firstNul(word))
        return std::string_view(bytes, static_cast<size_t>(std::countr_zero(found) / 8));
      std::memcpy(&word, bytes + width - 8, sizeof word);
      if (const uint64_t found = firstNul(word))
        return std::string_view(bytes, width - 8 + static_cast<size_t>(std::countr_zero(found) / 8));
      return std::string_view(bytes, width);
    }
    if (width >= 4 && width < 8) {
      // The same with the first and last four bytes.
      constexpr uint32_t kOnes = 0x01010101u;
      const auto firstNul = [](uint32_t word) { return (word - kOnes) & ~word & (0x80 * kOnes); };
      uint32_t word;
      std::memcpy(&word, bytes, sizeof word);
      if (const uint32_t found = firstNul(word))
        return std::string_view(bytes, static_cast<size_t>(std::countr_zero(found) / 8));
      std::memcpy(&word, bytes + width - 4, sizeof word);
      if (const uint32_t found = firstNul(word))
        return std::string_view(bytes, width - 4 + static_cast<size_t>(std::countr_zero(found) / 8));
      return std::string_view(bytes, width);
    }
    if (width < 4) {
      size_t length = 0;
      while (length < width && bytes[length] != '\0') ++length;
      return std::string_view(bytes, length);
    }
  }
  const void* nul = std::memchr(bytes, '\0', width);
  return std::string_view(bytes, nul == nullptr ? width : static_cast<size_t>(static_cast<const char*>(nul) - bytes));
}

inline bool DbfField::IsNull(const char* record) const {
  return IsNullField(type_, std::string_view(record + offset_, static_cast<size_t>(width_)));
}

}  // namespace tarvelo
