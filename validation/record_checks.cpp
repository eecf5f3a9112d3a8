#include "validation/record_checks.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>

#include "values/date_time.h"
#include "values/errors.h"
#include "values/text.h"
#include "values/variant_operators.h"

namespace tarvelo {
namespace {

const std::string kCompanyField = "cod_seg";

// A domain key, valor1 (at most 8 bytes) and valor2 (at most 2), packed
// with the count of each: two keys pack alike exactly when both texts are
// identical.
DomainKey PackDomainKey(std::string_view value1, std::string_view value2) {
  DomainKey key = 0;
  for (const char c : value1) key = key << 8 | static_cast<unsigned char>(c);
  key <<= 8 * (8 - value1.size());
  for (const char c : value2) key = key << 8 | static_cast<unsigned char>(c);
  key <<= 8 * (2 - value2.size());
  return key << 8 | value1.size() << 4 | value2.size();
}

// A key part as a text key field of the given width stores the value:
// padded with blanks to the width, upper case, cut to the width and ending
// at a character of code 0.
std::string_view KeyPart(std::string_view value, size_t width, char (&buffer)[8]) {
  size_t n = 0;
  for (; n < value.size() && n < width; ++n) {
    const char c = value[n];
    if (c == '\0') return std::string_view(buffer, n);
    buffer[n] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  for (; n < width; ++n) buffer[n] = ' ';
  return std::string_view(buffer, width);
}

// The key PackDomainKey(KeyPart(value1, 8), KeyPart(value2, 2)) gives
// for texts without a NUL byte (every text read from a character field,
// which ends at its first NUL, and every number's text): both parts at
// their full widths.
[[gnu::always_inline]] inline DomainKey FullDomainKey(std::string_view value1, std::string_view value2) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  // valor1's bytes in a word, first byte lowest, blanks after them.
  uint64_t word = 0x20 * kOnes;
  const char* from = value1.data();
  switch (std::min<size_t>(value1.size(), 8)) {
    case 8:
      std::memcpy(&word, from, 8);
      break;
    case 7:
      std::memcpy(&word, from, 7);
      break;
    case 6:
      std::memcpy(&word, from, 6);
      break;
    case 5:
      std::memcpy(&word, from, 5);
      break;
    case 4:
      std::memcpy(&word, from, 4);
      break;
    case 3:
      std::memcpy(&word, from, 3);
      break;
    case 2:
      std::memcpy(&word, from, 2);
      break;
    case 1:
      std::memcpy(&word, from, 1);
      break;
    default:
      break;
  }
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  // Upper case, eight bytes at once: a byte from "a" to "z" (the high bit
  // clear, the low seven bits in range) loses 32.
  const uint64_t low7 = word & (0x7F * kOnes);
  const uint64_t lower = (low7 + (0x80 - 'a') * kOnes) & ~(low7 + (0x80 - 'z' - 1) * kOnes) & ~word & (0x80 * kOnes);
  word = __builtin_bswap64(word - (lower >> 2));  // first byte highest
  const auto upper = [](char c) {
    return static_cast<uint32_t>(static_cast<unsigned char>((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c));
  };
  const uint32_t first = value2.empty() ? ' ' : upper(value2[0]);
  const uint32_t second = value2.size() < 2 ? ' ' : upper(value2[1]);
  return static_cast<DomainKey>(word) << 24 | first << 16 | second << 8 | 8 << 4 | 2;
}

// True when the text of a character field (its bytes up to the first NUL)
// is empty once trimmed: no byte above code 32 comes before a NUL.
bool BlankText(const char* bytes, size_t width) {
  for (size_t i = 0; i < width; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == 0) return true;
    if (c > 32) return false;
  }
  return true;
}

// The text without the characters of code 32 or below at both ends, as
// TrimView gives it.
std::string_view Trimmed(std::string_view text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin < end && static_cast<unsigned char>(*begin) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(end[-1]) <= 32) --end;
  return std::string_view(begin, static_cast<size_t>(end - begin));
}

// The text an integer field's value converts to, made from the field's
// bytes when they are what DecodeInteger reads as a decimal number:
// blanks, an optional sign, then digits to the end (at most 9 of them, as
// an integer field holds). False for anything else (all blanks, a
// hexadecimal form, a stray character): the value must be read then.
[[gnu::always_inline]] inline bool PlainIntegerText(std::string_view bytes, char (&buffer)[16],
                                                    std::string_view& text) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n && bytes[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (bytes[i] == '+' || bytes[i] == '-')) negative = bytes[i++] == '-';
  if (i == n || n - i > 9) return false;
  for (size_t k = i; k < n; ++k)
    if (bytes[k] < '0' || bytes[k] > '9') return false;
  while (i + 1 < n && bytes[i] == '0') ++i;
  size_t length = 0;
  if (negative && !(i + 1 == n && bytes[i] == '0')) buffer[length++] = '-';
  for (; i < n; ++i) buffer[length++] = bytes[i];
  text = std::string_view(buffer, length);
  return true;
}

// IsValidDate of a text whose first eight characters are digits, the
// usual form, read at once: true, with the answer in valid; false for any
// other text.
[[gnu::always_inline]] inline bool EightDigitDate(std::string_view text, int currentYear, bool& valid) {
  if (text.size() < 8) return false;
  constexpr uint64_t kOnes = 0x0101010101010101u;
  uint64_t word;
  std::memcpy(&word, text.data(), sizeof word);
  if ((word & (0xF0 * kOnes)) != 0x30 * kOnes || ((word + 0x06 * kOnes) & (0xF0 * kOnes)) != 0x30 * kOnes) return false;
  const auto digit = [&](size_t i) { return text[i] - '0'; };
  const int year = digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3);
  valid = year >= 1900 && year <= currentYear + 5 &&
          IsGregorianDate(year, digit(4) * 10 + digit(5), digit(6) * 10 + digit(7));
  return true;
}

// A part of a YYYYMMDD text as a number: the standard conversion, with a
// shortcut for the common case of plain digits.
std::optional<int32_t> DatePart(std::string_view part) {
  if (part.empty()) return std::nullopt;
  int32_t value = 0;
  for (const char c : part) {
    if (c < '0' || c > '9') return StrToInt(part);
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

bool HasExactLength(std::string_view text, int32_t n) { return static_cast<int64_t>(TrimView(text).size()) == n; }

bool IsValidDate(std::string_view text, int currentYear) {
  bool valid = false;
  if (EightDigitDate(text, currentYear, valid)) return valid;
  const auto part = [&](size_t from, size_t count) {
    return from < text.size() ? text.substr(from, count) : std::string_view();
  };
  const auto year = DatePart(part(0, 4));
  const auto month = DatePart(part(4, 2));
  const auto day = DatePart(part(6, 2));
  if (!year || !month || !day) return false;
  if (*year < 1900 || *year > currentYear + 5) return false;
  return IsGregorianDate(*year, *month, *day);
}

void DomainKeySet::Assign(const std::vector<DomainKey>& keys) {
  int bits = 1;
  while ((size_t{1} << bits) < 2 * keys.size()) ++bits;
  shift_ = 64 - bits;
  slots_.assign(size_t{1} << bits, kEmptySlot);
  const size_t mask = slots_.size() - 1;
  for (const DomainKey key : keys) {
    size_t at = SlotOf(key, shift_);
    while (slots_[at] != kEmptySlot && slots_[at] != key) at = (at + 1) & mask;
    slots_[at] = key;
  }
}

RecordChecker::RecordChecker(DbfTable& data, MemTable& structure, MemTable& domain, int32_t tableNumber,
                             const std::string& companyCode, int currentYear, const RegionalSettings& settings,
                             CheckReading reading)
    : data_(data),
      structure_(structure),
      domain_(domain),
      tableNumber_(tableNumber),
      companyCode_(companyCode),
      currentYear_(currentYear),
      settings_(settings),
      companyField_(data.FindField(kCompanyField)),
      reading_(reading),
      rules_(data.FieldCount()) {
  for (int position = 0; position < data.FieldCount(); ++position) {
    PrepareField(position, rules_[position]);
    if (rules_[position].anyRule) checked_.push_back(position);
  }
}

void RecordChecker::PrepareField(int position, FieldRules& rules) {
  const Variant key[] = {Variant::Integer(tableNumber_), Variant::Integer(position + 1)};
  rules.hasRow = structure_.FindKey({key[0], key[1]});
  if (!rules.hasRow) return;  // a position without a row of its own is not checked
  const auto flagIs = [&](const char* name, uint8_t value) {
    return Compare(structure_.FieldValue(name), CompareOp::Equal, Variant::Byte(value), settings_);
  };
  const DbfField& field = data_.FieldAt(position);
  rules.nullRule = flagIs("nulo", 0);
  rules.textType = flagIs("tipo", 1);
  rules.lengthRule = flagIs("zerosesq", 1);
  rules.length = structure_.FieldValue("tamanho");
  rules.dateRule = flagIs("data", 1) && flagIs("zeros", 1);
  rules.zeros = RepeatChar('0', field.Size());
  rules.domainRule = flagIs("dominio", 1);
  rules.dependsOn = Trim(ToText(structure_.FieldValue("depende"), settings_));
  rules.anyRule = rules.nullRule || rules.lengthRule || rules.dateRule || rules.domainRule;
  if (rules.domainRule) {
    if (!rules.dependsOn.empty()) rules.dependField = data_.FindField(rules.dependsOn);
    // The admissible values of this field, as the DomainTable's key holds them.
    std::vector<DomainKey> admissible;
    for (domain_.First(); !domain_.AtEnd(); domain_.Next()) {
      if (!Compare(domain_.FieldValue("tabela"), CompareOp::Equal, key[0], settings_) ||
          !Compare(domain_.FieldValue("campo"), CompareOp::Equal, key[1], settings_))
        continue;
      const Variant value1 = domain_.FieldValue("valor1");
      const Variant value2 = domain_.FieldValue("valor2");
      if (value1.IsNull() || value2.IsNull()) continue;  // a null key field never equals a text
      // The stored texts are already as the key fields hold them.
      admissible.push_back(PackDomainKey(value1.TextPayload(), value2.TextPayload()));
    }
    rules.domainSet.Assign(admissible);
  }

  // The plan. A tamanho that does not convert raises its error when the
  // rule first runs, through the value.
  if (rules.lengthRule) {
    try {
      rules.lengthValue = ToInteger(rules.length, settings_);
      rules.lengthKnown = true;
    } catch (const TarveloError&) {
    }
  }
  if (rules.domainRule && !rules.dependsOn.empty()) {
    const DbfField* depend = rules.dependField;
    rules.qualifier = depend == nullptr                 ? Qualifier::kValue
                      : depend->DataType() == ftString  ? Qualifier::kText
                      : depend->DataType() == ftInteger ? Qualifier::kInteger
                                                        : Qualifier::kValue;
  }
  rules.character = field.DataType() == ftString;
  rules.integerValue = rules.domainRule && !rules.textType && field.DataType() == ftInteger;
  bool direct = reading_ == CheckReading::kDirect && rules.qualifier != Qualifier::kValue;
  if (rules.character) {
    // Its text is its bytes up to the first NUL; a value converted from
    // it would be needed only by a tamanho that does not convert, and by
    // a domain value of a non-text catalogue type.
    direct = direct && (!rules.lengthRule || rules.lengthKnown) && (!rules.domainRule || rules.textType);
  } else {
    // Only the null rule (on the bytes) and an integer domain value
    // (from plain digits) read no converted text.
    direct = direct && !(rules.nullRule && rules.textType) && !rules.lengthRule && !rules.dateRule &&
             (!rules.domainRule || rules.integerValue);
  }
  rules.direct = direct;
  rules.needsText = rules.lengthRule || rules.dateRule || rules.domainRule;
  rules.onlyEmpty = direct && rules.nullRule && !rules.needsText && (!rules.character || rules.textType);
  rules.field = &field;
}

inline bool RecordChecker::CheckBytes(const char* record, const DbfField& field, const FieldRules& rules,
                                      FieldCounts& counts, FailureNotes* notes) const {
  // Whatever might send the field to its value is read first, before
  // anything is counted.
  std::string_view text, trimmed, value1, value2;
  char digits[16], qualifierDigits[16];
  if (rules.character) {
    if (rules.needsText) {
      text = field.CharacterText(record);
      trimmed = Trimmed(text);
      value1 = trimmed;
    }
  } else if (rules.integerValue && !PlainIntegerText(field.RawBytes(record), digits, value1)) {
    return false;
  }
  if (rules.qualifier == Qualifier::kText) {
    value2 = Trimmed(rules.dependField->CharacterText(record));
  } else if (rules.qualifier == Qualifier::kInteger &&
             !PlainIntegerText(rules.dependField->RawBytes(record), qualifierDigits, value2)) {
    return false;
  }

  const auto fail = [&](int64_t& count, DetailRule rule) {
    ++count;
    if (notes) notes->Add(field, rule);
  };
  // Without a direct plan a non-character field has no length or date
  // rule, and its null rule reads its bytes alone.
  if (rules.nullRule) {
    const bool empty = !rules.character  ? field.IsNull(record)
                       : !rules.textType ? false
                       : rules.needsText ? trimmed.empty()
                                         : BlankText(record + field.Offset(), static_cast<size_t>(field.Width()));
    if (empty) fail(counts.nulls, DetailRule::Empty);
  }
  if (rules.lengthRule && static_cast<int64_t>(trimmed.size()) != rules.lengthValue)
    fail(counts.invalid, DetailRule::Length);
  if (rules.dateRule && text != rules.zeros) {
    bool valid = false;
    if (!EightDigitDate(text, currentYear_, valid)) valid = IsValidDate(text, currentYear_);
    if (!valid) fail(counts.invalid, DetailRule::Date);
  }
  if (rules.domainRule && !rules.domainSet.Contains(FullDomainKey(value1, value2)))
    fail(counts.invalid, DetailRule::Domain);
  return true;
}

bool RecordChecker::Check(const char* record, FieldCounts* counts, const std::string*& field,
                          FailureNotes* notes) const {
  field = &kCompanyField;
  // A missing field raises its error at the first record, as a look-up there would.
  const DbfField& company = companyField_ != nullptr ? *companyField_ : data_.FieldByName(kCompanyField);
  const bool otherCompany = company.DataType() == ftString ? company.CharacterText(record) != companyCode_
                                                           : Compare(company.AsVariant(record), CompareOp::NotEqual,
                                                                     Variant::String(companyCode_), settings_);
  if (otherCompany) {
    if (notes) notes->Add(company, DetailRule::SecondCompany);
    return false;
  }
  // Fields without a rule would count nothing: they are passed over.
  for (const int position : checked_) {
    const FieldRules& rules = rules_[static_cast<size_t>(position)];
    const DbfField& checked = *rules.field;
    field = &checked.FieldName();
    FieldCounts& count = counts[position];
    if (rules.onlyEmpty) {
      // The null rule alone, the most common plan, on the bytes.
      const bool empty = rules.character ? BlankText(record + checked.Offset(), static_cast<size_t>(checked.Width()))
                                         : checked.IsNull(record);
      if (empty) {
        ++count.nulls;
        if (notes) notes->Add(checked, DetailRule::Empty);
      }
      continue;
    }
    if (rules.direct && CheckBytes(record, checked, rules, count, notes)) continue;
    CheckField(record, checked, rules, count, notes);
  }
  return true;
}

void RecordChecker::CheckField(const char* record, const DbfField& field, const FieldRules& rules, FieldCounts& counts,
                               FailureNotes* notes) const {
  const auto fail = [&](int64_t& count, DetailRule rule) {
    ++count;
    if (notes) notes->Add(field, rule);
  };
  const bool character = field.DataType() == ftString;

  // The value and its text are made only when a rule needs them: converting
  // a null value to text is an error, and only the rules that convert may
  // raise it.
  std::optional<Variant> value;
  std::optional<std::string> converted;
  const auto Value = [&]() -> const Variant& {
    if (!value) value = field.AsVariant(record);
    return *value;
  };
  const auto Text = [&]() -> std::string_view {
    if (character) return field.CharacterText(record);
    if (!converted) converted = ToText(Value(), settings_);
    return *converted;
  };

  if (rules.nullRule) {
    // A character field is never null by its bytes; only its trimmed text
    // can be empty.
    if ((!character && field.IsNull(record)) || (rules.textType && TrimView(Text()).empty()))
      fail(counts.nulls, DetailRule::Empty);
  }
  if (rules.lengthRule) {
    const std::string_view text = Text();
    if (!HasExactLength(text, ToInteger(rules.length, settings_))) fail(counts.invalid, DetailRule::Length);
  }
  if (rules.dateRule) {
    const bool notZeros = character ? Text() != rules.zeros
                                    : Compare(Value(), CompareOp::NotEqual, Variant::String(rules.zeros), settings_);
    if (notZeros && !IsValidDate(Text(), currentYear_)) fail(counts.invalid, DetailRule::Date);
  }
  if (rules.domainRule) {
    std::string number;
    const std::string_view value1 =
        rules.textType ? TrimView(Text()) : (number = std::to_string(ToInteger(Value(), settings_)));
    std::string converted2;
    std::string_view value2;
    if (!rules.dependsOn.empty()) {
      const DbfField& depend = rules.dependField != nullptr ? *rules.dependField : data_.FieldByName(rules.dependsOn);
      value2 = depend.DataType() == ftString ? depend.CharacterText(record)
                                             : (converted2 = ToText(depend.AsVariant(record), settings_));
      value2 = TrimView(value2);
    }
    // valor1: the value padded to 8; valor2: the qualifier padded to 2
    // (two blanks without one); both upper case and cut to their widths.
    char buffer1[8], buffer2[8];
    const DomainKey key = PackDomainKey(KeyPart(value1, 8, buffer1), KeyPart(value2, 2, buffer2));
    if (!rules.domainSet.Contains(key)) fail(counts.invalid, DetailRule::Domain);
  }
}

void RecordChecker::AddCounts(const std::vector<FieldCounts>& counts) {
  for (int position = 0; position < static_cast<int>(rules_.size()); ++position) {
    const FieldCounts& count = counts[static_cast<size_t>(position)];
    if (!rules_[position].hasRow || (count.nulls == 0 && count.invalid == 0)) continue;
    structure_.FindKey({Variant::Integer(tableNumber_), Variant::Integer(position + 1)});
    structure_.Edit();
    const auto add = [&](const char* counter, int64_t added) {
      if (added == 0) return;
      const Variant increment = added <= INT32_MAX ? Variant::Integer(static_cast<int32_t>(added))
                                                   : Variant::Double(static_cast<double>(added));
      structure_.FieldByName(counter).SetAsVariant(Add(structure_.FieldValue(counter), increment, settings_));
    };
    add("erroNulo", count.nulls);
    add("erroDom", count.invalid);
    structure_.Post();
  }
}

}  // namespace tarvelo
