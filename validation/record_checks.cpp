#include "validation/record_checks.h"

#include <optional>

#include "values/errors.h"
#include "values/text.h"
#include "values/variant_operators.h"

namespace tarvelo {
namespace {

const std::string kCompanyField = "cod_seg";

// Counts a failure of a rule of field, noting it when notes are kept.
[[gnu::always_inline]] inline void CountFailure(int64_t& count, FailureNotes* notes, const DbfField& field,
                                                DetailRule rule) {
  ++count;
  if (notes) notes->Add(field, rule);
}

}  // namespace

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

RecordChecker::RecordChecker(DbfTable& data, const Catalogue& catalogue, int32_t tableNumber,
                             const std::string& companyCode, int currentYear, const RegionalSettings& settings,
                             CheckReading reading)
    : data_(data),
      catalogue_(catalogue),
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

// A field read from the record's bytes, for a field whose plan is direct:
// a character field's text is its bytes up to the first NUL, and an integer
// field's value (as a code, or as a qualifier) is read from plain digits.
class RecordChecker::ByteReading {
 public:
  /// Room for the texts of the integers read: kept by the caller, so that
  /// the reading itself stays in registers.
  struct Digits {
    char value[24];
    char qualifier[24];
  };

  ByteReading(const char* record, const FieldPlan& rules, Digits& digits)
      : record_(record), rules_(rules), digits_(digits) {}

  /// Reads what the rules will ask for; false, reading nothing more, when
  /// an integer is not written in plain digits (its value must be read).
  [[gnu::always_inline]] bool Read() {
    if (rules_.character) {
      text_ = rules_.field->CharacterText(record_);
      trimmed_ = TrimView(text_);
    } else if (rules_.integerValue && !ReadInteger(*rules_.field, digits_.value, integer_)) {
      return false;
    }
    if (rules_.qualifier == Qualifier::kText) {
      qualifier_ = TrimView(rules_.dependField->CharacterText(record_));
    } else if (rules_.qualifier == Qualifier::kInteger) {
      return ReadInteger(*rules_.dependField, digits_.qualifier, qualifier_);
    }
    return true;
  }

  bool IsNull() const { return !rules_.character && rules_.field->IsNull(record_); }
  std::string_view Text() const { return text_; }
  std::string_view Trimmed() const { return trimmed_; }
  bool DiffersFromText(std::string_view text) const { return text_ != text; }
  int32_t Length() const { return rules_.lengthValue; }
  std::string_view IntegerText() const { return integer_; }
  std::string_view Qualifier() const { return qualifier_; }

 private:
  // The text an integer field's value converts to (DecimalText of it),
  // made from the field's bytes when they are what DecodeInteger reads as
  // a decimal number: blanks, an optional sign, then digits to the end (at
  // most 9 of them, as an integer field holds); the digits are copied, a
  // quarter of the cost of reading the number and writing it again. False
  // for anything else (all blanks, a hexadecimal form, a stray character).
  [[gnu::always_inline]] bool ReadInteger(const DbfField& field, char (&buffer)[24], std::string_view& text) const {
    const std::string_view bytes = field.RawBytes(record_);
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

  const char* record_;
  const FieldPlan& rules_;
  Digits& digits_;
  std::string_view text_, trimmed_, integer_, qualifier_;
};

// The reading of a field whose only rule is the empty rule, which stops at
// a NUL itself (IsEmptyText): its text is taken as its bytes.
class RecordChecker::EmptyRuleBytes {
 public:
  EmptyRuleBytes(const char* record, const FieldPlan& rules) : record_(record), rules_(rules) {}
  bool IsNull() const { return !rules_.character && rules_.field->IsNull(record_); }
  std::string_view Text() const { return rules_.field->RawBytes(record_); }

 private:
  const char* record_;
  const FieldPlan& rules_;
};

// A field read through its value, as the rules are stated. The value and
// its text are made only when a rule asks for them: converting a null
// value is an error, and only the rules that convert may raise it.
class RecordChecker::ValueReading {
 public:
  ValueReading(const RecordChecker& checker, const char* record, const FieldPlan& rules)
      : checker_(checker), record_(record), rules_(rules), field_(*rules.field) {}

  bool IsNull() const { return field_.IsNull(record_); }
  std::string_view Text() {
    if (field_.DataType() == ftString) return field_.CharacterText(record_);
    if (!converted_) converted_ = ToText(Value(), checker_.settings_);
    return *converted_;
  }
  std::string_view Trimmed() { return TrimView(Text()); }
  bool DiffersFromText(std::string_view text) {
    if (field_.DataType() == ftString) return Text() != text;
    return Compare(Value(), CompareOp::NotEqual, Variant::String(std::string(text)), checker_.settings_);
  }
  int32_t Length() const {
    return rules_.lengthKnown ? rules_.lengthValue : ToInteger(rules_.length, checker_.settings_);
  }
  std::string_view IntegerText() { return DecimalText(ToInteger(Value(), checker_.settings_), digits_); }
  std::string_view Qualifier() {
    if (rules_.dependsOn.empty()) return std::string_view();
    // A missing field raises its error here, as a look-up would.
    const DbfField& depend =
        rules_.dependField != nullptr ? *rules_.dependField : checker_.data_.FieldByName(rules_.dependsOn);
    if (depend.DataType() == ftString) return TrimView(depend.CharacterText(record_));
    qualifier_ = ToText(depend.AsVariant(record_), checker_.settings_);
    return TrimView(qualifier_);
  }

 private:
  const Variant& Value() {
    if (!value_) value_ = field_.AsVariant(record_);
    return *value_;
  }

  const RecordChecker& checker_;
  const char* record_;
  const FieldPlan& rules_;
  const DbfField& field_;
  std::optional<Variant> value_;
  std::optional<std::string> converted_;
  std::string qualifier_;
  char digits_[24];
};

void RecordChecker::PrepareField(int position, FieldPlan& rules) {
  rules.row = catalogue_.FieldRowAt(tableNumber_, position + 1);
  rules.hasRow = rules.row >= 0;
  if (!rules.hasRow) return;  // a position without a row of its own is not checked
  const DbfField& field = data_.FieldAt(position);
  ReadRowRules(field, catalogue_.FieldRows()[static_cast<size_t>(rules.row)], rules);
  if (rules.domainRule) LoadDomainKeys(position, rules);
  PlanReading(field, rules);
}

void RecordChecker::ReadRowRules(const DbfField& field, const CatalogueField& row, FieldPlan& rules) const {
  rules.nullRule = row.Is(row.nullable, 0);
  rules.textType = row.Is(row.type, 1);
  rules.lengthRule = row.Is(row.exactLength, 1);
  rules.length = row.size ? Variant::Integer(*row.size) : Variant::Null();
  rules.dateRule = row.Is(row.date, 1) && row.Is(row.zeros, 1);
  rules.zeros = RepeatChar('0', field.Size());
  rules.domainRule = row.Is(row.coded, 1);
  rules.dependsOn = Trim(row.dependsOn);
  rules.anyRule = rules.nullRule || rules.lengthRule || rules.dateRule || rules.domainRule;
  // A tamanho that does not convert raises its error when the rule first
  // runs, through the value.
  if (rules.lengthRule) {
    try {
      rules.lengthValue = ToInteger(rules.length, settings_);
      rules.lengthKnown = true;
    } catch (const TarveloError&) {
    }
  }
}

void RecordChecker::LoadDomainKeys(int position, FieldPlan& rules) const {
  if (!rules.dependsOn.empty()) rules.dependField = data_.FindField(rules.dependsOn);
  // The admissible values of this field, as the catalogue holds them.
  std::vector<DomainKey> admissible;
  for (const CatalogueCode& code : catalogue_.CodeRows())
    if (code.table == tableNumber_ && code.position == position + 1)
      admissible.push_back(PackDomainKey(code.value1, code.value2));
  rules.domainSet.Assign(admissible);
}

void RecordChecker::PlanReading(const DbfField& field, FieldPlan& rules) const {
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

const DbfField* RecordChecker::DependFieldOf(const DbfField& field) const {
  for (const int position : checked_) {
    const FieldPlan& rules = rules_[static_cast<size_t>(position)];
    if (rules.field == &field) return rules.domainRule ? rules.dependField : nullptr;
  }
  return nullptr;
}

template <class Reading>
[[gnu::always_inline]] inline void RecordChecker::ApplyRules(const FieldPlan& rules, Reading& field,
                                                             FieldCounts& counts, FailureNotes* notes) const {
  const DbfField& checked = *rules.field;
  if (rules.nullRule && FailsEmpty(field, rules.textType))
    CountFailure(counts.nulls, notes, checked, DetailRule::Empty);
  if (rules.lengthRule && FailsLength(field)) CountFailure(counts.invalid, notes, checked, DetailRule::Length);
  if (rules.dateRule && FailsDate(field, rules.zeros, currentYear_))
    CountFailure(counts.invalid, notes, checked, DetailRule::Date);
  if (rules.domainRule && !rules.domainSet.Contains(CodeKey(field, rules.textType)))
    CountFailure(counts.invalid, notes, checked, DetailRule::Domain);
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
    const FieldPlan& rules = rules_[static_cast<size_t>(position)];
    field = &rules.field->FieldName();
    FieldCounts& count = counts[position];
    if (rules.onlyEmpty) {
      // The most common plan.
      EmptyRuleBytes bytes(record, rules);
      if (FailsEmpty(bytes, rules.textType)) CountFailure(count.nulls, notes, *rules.field, DetailRule::Empty);
      continue;
    }
    if (rules.direct) {
      ByteReading::Digits digits;
      ByteReading bytes(record, rules, digits);
      if (bytes.Read()) {
        ApplyRules(rules, bytes, count, notes);
        continue;
      }
    }
    ValueReading values(*this, record, rules);
    ApplyRules(rules, values, count, notes);
  }
  return true;
}

void RecordChecker::AddCounts(const std::vector<FieldCounts>& counts, std::vector<FieldCounts>& rowCounts) const {
  for (size_t position = 0; position < rules_.size(); ++position) {
    const FieldCounts& count = counts[position];
    if (!rules_[position].hasRow) continue;
    FieldCounts& total = rowCounts[static_cast<size_t>(rules_[position].row)];
    // The counters are 32-bit integers: what does not fit is no value of
    // theirs.
    const auto add = [&](const char* counter, int64_t& into, int64_t added) {
      if (into + added > INT32_MAX) throw DatabaseError(std::string("Invalid value for field '") + counter + "'");
      into += added;
    };
    add("erroNulo", total.nulls, count.nulls);
    add("erroDom", total.invalid, count.invalid);
  }
}

}  // namespace tarvelo
