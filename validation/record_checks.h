#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_table.h"
#include "memtable/mem_table.h"
#include "validation/detail_listing.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// A (valor1, valor2) key of the domain table packed into one number.
using DomainKey = unsigned __int128;

/// True exactly when the trimmed text has n characters.
bool HasExactLength(std::string_view text, int32_t n);

/// True when text holds a valid YYYYMMDD date (characters after the 8th
/// ignored) whose year lies between 1900 and currentYear + 5. Each part is
/// read by the standard text-to-integer conversion, so blanks, hyphens or an
/// empty part make it false.
bool IsValidDate(std::string_view text, int currentYear);

/// The per-field checks of the records of one data file. The rules of each
/// field position are looked up in the StructureTable and the DomainTable
/// once, when the file starts, and the failure counts are kept here until
/// Finish() adds them to the StructureTable's erroNulo and erroDom; the
/// catalogue does not change during a file, so every count, report line and
/// error is what one look-up per field and record would give.
class RecordChecker {
 public:
  /// Prepares the rules of tableNumber for the fields of data. structure
  /// must have "index2" current and domain "index1".
  /// details, when given, receives one row per counted failure and one for
  /// a record of another company.
  RecordChecker(DbfTable& data, MemTable& structure, MemTable& domain, int32_t tableNumber,
                const std::string& companyCode, int currentYear, const RegionalSettings& settings,
                DetailSink* details = nullptr);

  /// Checks the current record. Returns false, counting nothing, when its
  /// "cod_seg" differs from the company code (the loop must stop). Raises
  /// the errors of values a rule cannot convert, and DatabaseError for a
  /// missing "cod_seg" or "depende" field; the name of the field being
  /// checked is then in CurrentField().
  bool Check();

  /// Adds the counts to the StructureTable rows. Call after the last record.
  void Finish();

  /// Name of the field whose rules ran last.
  const std::string& CurrentField() const { return *currentField_; }

 private:
  struct FieldRules {
    bool hasRow = false;
    bool nullRule = false;
    bool textType = false;  // catalogue tipo is 1
    bool lengthRule = false;
    Variant length;         // tamanho, converted when the rule runs
    bool dateRule = false;
    std::string zeros;      // "0" over the field's size: the accepted empty date
    bool domainRule = false;
    std::string dependsOn;  // trimmed depende; empty for none
    DbfField* dependField = nullptr;
    std::vector<DomainKey> domain;  // admissible (valor1, valor2) keys, packed, sorted
    int64_t nullCount = 0;
    int64_t domainCount = 0;
  };

  void PrepareField(int position, FieldRules& rules);
  void CheckField(int position, FieldRules& rules);
  /// Passes the current record's failure of field under rule to details_.
  void Detail(const DbfField& field, DetailRule rule);

  DbfTable& data_;
  MemTable& structure_;
  MemTable& domain_;
  int32_t tableNumber_;
  std::string companyCode_;
  int currentYear_;
  const RegionalSettings& settings_;
  DbfField* companyField_ = nullptr;
  DetailSink* details_;
  DbfField* policyField_ = nullptr;  // APOLICE and ITEM, named in the detail rows
  DbfField* itemField_ = nullptr;
  std::vector<FieldRules> rules_;
  const std::string* currentField_;
};

}  // namespace tarvelo
