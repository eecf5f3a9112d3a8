#include "validation/record_checks.h"

#include <algorithm>
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

RecordChecker::RecordChecker(DbfTable& data, MemTable& structure, MemTable& domain, int32_t tableNumber,
                             const std::string& companyCode, int currentYear, const RegionalSettings& settings)
    : data_(data),
      structure_(structure),
      domain_(domain),
      tableNumber_(tableNumber),
      companyCode_(companyCode),
      currentYear_(currentYear),
      settings_(settings),
      companyField_(data.FindField(kCompanyField)),
      rules_(data.FieldCount()) {
  for (int position = 0; position < data.FieldCount(); ++position) PrepareField(position, rules_[position]);
}

void RecordChecker::PrepareField(int position, FieldRules& rules) {
  const Variant key[] = {Variant::Integer(tableNumber_), Variant::Integer(position + 1)};
  rules.hasRow = structure_.FindKey({key[0], key[1]});
  if (!rules.hasRow) return;  // a position without a row of its own is not checked
  const auto flagIs = [&](const char* name, uint8_t value) {
    return Compare(structure_.FieldValue(name), CompareOp::Equal, Variant::Byte(value), settings_);
  };
  rules.nullRule = flagIs("nulo", 0);
  rules.textType = flagIs("tipo", 1);
  rules.lengthRule = flagIs("zerosesq", 1);
  rules.length = structure_.FieldValue("tamanho");
  rules.dateRule = flagIs("data", 1) && flagIs("zeros", 1);
  rules.zeros = RepeatChar('0', data_.FieldAt(position).Size());
  rules.domainRule = flagIs("dominio", 1);
  rules.dependsOn = Trim(ToText(structure_.FieldValue("depende"), settings_));
  if (!rules.domainRule) return;
  if (!rules.dependsOn.empty()) rules.dependField = data_.FindField(rules.dependsOn);

  // The admissible values of this field, as the DomainTable's key holds them.
  for (domain_.First(); !domain_.AtEnd(); domain_.Next()) {
    if (!Compare(domain_.FieldValue("tabela"), CompareOp::Equal, key[0], settings_) ||
        !Compare(domain_.FieldValue("campo"), CompareOp::Equal, key[1], settings_))
      continue;
    const Variant value1 = domain_.FieldValue("valor1");
    const Variant value2 = domain_.FieldValue("valor2");
    if (value1.IsNull() || value2.IsNull()) continue;  // a null key field never equals a text
    // The stored texts are already as the key fields hold them.
    rules.domain.push_back(PackDomainKey(value1.TextPayload(), value2.TextPayload()));
  }
  std::sort(rules.domain.begin(), rules.domain.end());
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
  for (int position = 0; position < static_cast<int>(rules_.size()); ++position) {
    if (!rules_[position].hasRow) continue;
    const DbfField& checked = data_.FieldAt(position);
    field = &checked.FieldName();
    CheckField(record, checked, rules_[position], counts[position], notes);
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
    if (!std::binary_search(rules.domain.begin(), rules.domain.end(), key)) fail(counts.invalid, DetailRule::Domain);
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
