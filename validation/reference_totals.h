#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dbf/dbf_table.h"
#include "validation/result_log.h"
#include "validation/run_results.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The company's row of "DadosQdp.DBF": name, the premiums and paid claims
/// it declared per line (0 when no row matched) and its window (trimmed
/// texts, empty when no row matched).
struct ReferenceTotals {
  std::string companyName;
  double pr_rural = 0;
  double sin_rural = 0;
  double pr_animal = 0;
  double sin_animal = 0;
  std::string inivig;
  std::string fimvig;
};

/// The premiums (risks file) and claims (claims file) of the run, summed
/// per line of business over the records dated inside the window.
struct RunTotals {
  double ruralPremiums = 0;
  double animalPremiums = 0;
  double ruralClaims = 0;
  double animalClaims = 0;
};

/// Adds the records of one data file to the run's totals: the risks file
/// (table number kRisksTable) by "INICIO_VIG" and "PREMIO", any other by
/// "D_AVISO" and "INDENIZ"; "COD_MOD" 64 is the animal line, anything else
/// rural.
/// Select decides what a record adds and changes nothing, so threads may
/// share it; Add then adds to the totals, record after record, in file
/// order, which keeps every sum the same to the last bit.
class TotalsAccumulator {
 public:
  TotalsAccumulator(DbfTable& data, int32_t tableNumber, const ReferenceTotals& reference,
                    const RegionalSettings& settings);

  /// What a record of the data file (its bytes, deletion flag first) adds:
  /// false when its date is null or outside the window (text comparison,
  /// both ends included); else the line (animal or rural) and the amount.
  /// Raises DatabaseError for a missing field and the errors of comparing
  /// the date; field then names the field.
  bool Select(const char* record, bool& animal, Variant& amount, const char*& field) const;
  /// Adds amount to the file's total of that line. Raises VariantError when
  /// the sum is not a number (a null amount); AmountField() names the field.
  void Add(RunTotals& totals, bool animal, const Variant& amount) const;
  const char* AmountField() const { return risks_ ? "PREMIO" : "INDENIZ"; }

 private:
  DbfTable& data_;
  bool risks_;
  Variant windowStart_;
  Variant windowEnd_;
  const RegionalSettings& settings_;
  // nullptr when the data file lacks the field
  const DbfField* date_;
  const DbfField* amount_;
  const DbfField* modality_;
};

/// True when value is the number 64: a number, or a text that spells 64
/// (blanks around allowed). Empty, null or non-numeric values are not, and
/// never raise an error.
bool IsAnimalModality(const Variant& value, const RegionalSettings& settings);

/// Appends the premiums section (table number kRisksTable) or the
/// paid-claims section (any other number) with the reference and file
/// totals per line. Each totals row is also added to rows, unless it is
/// null. The premiums' observation names the company's own window, or
/// period when that cannot be read (kAnalysisPeriod when period is empty).
void WriteTotalsSection(ResultLog& log, int32_t tableNumber, const ReferenceTotals& reference, const RunTotals& totals,
                        const RegionalSettings& settings, std::vector<TotalsResult>* rows = nullptr,
                        const std::string& period = std::string());

/// The relative difference of the file total to the reference in percent;
/// nullopt when the reference is 0.
std::optional<double> TotalsDifference(double reference, double fileTotal);

/// One row of the totals table: label, reference, file total and their
/// relative difference in percent ("div por zero" when the reference is 0).
std::string TotalsRow(const std::string& label, double reference, double fileTotal, const RegionalSettings& settings);

}  // namespace tarvelo
