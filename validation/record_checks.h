#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_table.h"
#include "validation/catalogue.h"
#include "validation/detail_listing.h"
#include "validation/field_rules.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// Failures of one field found by the record checks.
struct FieldCounts {
  int64_t nulls = 0;    // added to erroNulo
  int64_t invalid = 0;  // added to erroDom
};

/// The failures Check counts, noted one by one for the detail listing, with
/// the record they were found in: its number in the file, its place among
/// the counted records of a chunk (from 1) and its bytes' offset there.
struct FailureNotes {
  struct Note {
    int64_t recno;
    int32_t ordinal;
    size_t offset;
    const DbfField* field;
    DetailRule rule;
  };
  std::vector<Note> notes;
  // The record being checked.
  int64_t recno = 0;
  int32_t ordinal = 0;
  size_t offset = 0;

  void Add(const DbfField& field, DetailRule rule) { notes.push_back({recno, ordinal, offset, &field, rule}); }
};

/// The admissible (valor1, valor2) keys of one field, packed, in an open
/// hash table built once: a look-up costs a hash and, as a rule, one
/// comparison.
class DomainKeySet {
 public:
  /// Holds exactly the keys given (repeats allowed).
  void Assign(const std::vector<DomainKey>& keys);
  bool Contains(DomainKey key) const {
    if (slots_.empty()) return false;
    const size_t mask = slots_.size() - 1;
    // At most half the slots are taken: an empty one ends every probe.
    for (size_t at = SlotOf(key, shift_);; at = (at + 1) & mask) {
      if (slots_[at] == key) return true;
      if (slots_[at] == kEmptySlot) return false;
    }
  }

 private:
  /// No key packs to this: its counts (15 and 15) are no text's.
  static constexpr DomainKey kEmptySlot = ~DomainKey{0};
  /// Where a key lands in a table of 2^(64 - shift) slots.
  static size_t SlotOf(DomainKey key, int shift) {
    const uint64_t low = static_cast<uint64_t>(key);
    const uint64_t high = static_cast<uint64_t>(key >> 64);
    return static_cast<size_t>((((high * 0x9E3779B97F4A7C15u) ^ low) * 0xC2B2AE3D27D4EB4Fu) >> shift);
  }

  std::vector<DomainKey> slots_;  // a power of two of them; kEmptySlot where none
  int shift_ = 64;
};

/// How the checks read a field's value. kDirect reads the record's bytes
/// wherever that gives what the value would (a character field's text, an
/// integer field written in plain digits) and the value otherwise;
/// kValues reads every value through its Variant, as the rules are stated.
/// Both count, note and raise alike.
enum class CheckReading { kDirect, kValues };

/// The per-field checks of the records of one data file. The rules of each
/// field position are looked up in the catalogue once, when the file
/// starts. Checking a record changes nothing in the checker: threads share
/// one, each counting into counts of its own, which AddCounts finally adds
/// to the counts of the catalogue's expected fields.
class RecordChecker {
 public:
  /// Prepares the rules of tableNumber of catalogue for the fields of
  /// data; catalogue must hold its rules (Catalogue::HasRules).
  RecordChecker(DbfTable& data, const Catalogue& catalogue, int32_t tableNumber, const std::string& companyCode,
                int currentYear, const RegionalSettings& settings, CheckReading reading = CheckReading::kDirect);

  /// Entries of the counts Check adds to: one per field of the data file.
  int FieldCount() const { return static_cast<int>(rules_.size()); }

  /// Checks a record of the data file (its bytes, deletion flag first),
  /// adding its failures to counts. Returns false, counting nothing, when
  /// its "cod_seg" differs from the company code (the loop must stop).
  /// Raises the errors of values a rule cannot convert, and DatabaseError
  /// for a missing "cod_seg" or "depende" field; field then names the field
  /// being checked. Each failure counted, and the record of another
  /// company, is also noted in notes unless it is null.
  bool Check(const char* record, FieldCounts* counts, const std::string*& field, FailureNotes* notes = nullptr) const;

  /// The field whose value qualifies the codes of field (a conditional
  /// code rule), when the data file has it; nullptr else.
  const DbfField* DependFieldOf(const DbfField& field) const;

  /// Adds counts (FieldCount() entries) to rowCounts (one entry per row of
  /// the catalogue's FieldRows), each field's to the row it took its rules
  /// from. Call once, after the last record. A count beyond what a 32-bit
  /// counter holds raises DatabaseError "Invalid value for field
  /// 'erroNulo'" (or 'erroDom').
  void AddCounts(const std::vector<FieldCounts>& counts, std::vector<FieldCounts>& rowCounts) const;

 private:
  /// Where a domain key's qualifier comes from.
  enum class Qualifier { kNone, kText, kInteger, kValue };

  struct FieldPlan {
    int row = -1;  // the catalogue's expected field it takes its rules from; -1 for none
    bool hasRow = false;
    bool nullRule = false;
    bool textType = false;  // catalogue tipo is 1
    bool lengthRule = false;
    Variant length;  // tamanho, converted when the rule runs
    bool dateRule = false;
    std::string zeros;  // "0" over the field's size: the accepted empty date
    bool domainRule = false;
    std::string dependsOn;                  // trimmed depende; empty for none
    const DbfField* dependField = nullptr;  // nullptr when the data file lacks it
    DomainKeySet domainSet;                 // admissible (valor1, valor2) keys, packed

    // The plan, decided once: what the rules read of the record.
    bool anyRule = false;
    const DbfField* field = nullptr;
    bool direct = false;        // the rules read bytes (the value only when digits are not plain)
    bool character = false;     // the field is a character field
    bool needsText = false;     // a rule beside the null rule reads its text
    bool onlyEmpty = false;     // direct, and the null rule is the only one that can count
    bool integerValue = false;  // valor1 is the integer text of the field's digits
    bool lengthKnown = false;   // tamanho converts: length holds it
    int32_t lengthValue = 0;
    Qualifier qualifier = Qualifier::kNone;
  };

  /// The two readings of a field (field_rules.h): from the record's bytes,
  /// and through its value.
  class ByteReading;
  class EmptyRuleBytes;
  class ValueReading;

  void PrepareField(int position, FieldPlan& rules);
  /// The rule flags, tamanho and depende of the field's catalogue row.
  void ReadRowRules(const DbfField& field, const CatalogueField& row, FieldPlan& rules) const;
  /// The admissible keys of the field at position, from the catalogue's codes.
  void LoadDomainKeys(int position, FieldPlan& rules) const;
  /// Decides what the rules read of a record: its bytes, or its values.
  void PlanReading(const DbfField& field, FieldPlan& rules) const;
  /// Applies the rules of a field to a reading of it, in their order,
  /// counting each failure and noting it in notes unless that is null.
  template <class Reading>
  void ApplyRules(const FieldPlan& rules, Reading& field, FieldCounts& counts, FailureNotes* notes) const;

  DbfTable& data_;
  const Catalogue& catalogue_;
  int32_t tableNumber_;
  std::string companyCode_;
  int currentYear_;
  const RegionalSettings& settings_;
  const DbfField* companyField_ = nullptr;  // nullptr when the data file lacks it
  CheckReading reading_;
  std::vector<FieldPlan> rules_;
  std::vector<int> checked_;  // positions with a row and at least one rule, in order
};

}  // namespace tarvelo
