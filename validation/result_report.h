#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "validation/catalogue.h"
#include "validation/record_checks.h"
#include "validation/result_log.h"
#include "validation/run_results.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// What the result section of one data file shows besides the counters.
struct ResultSectionInput {
  int32_t tableNumber = 0;
  std::string tableName;  // as held in the TableOrderTable
  std::string companyCode;
  std::string companyName;
  std::string filePath;  // the edit box's path as report text (PathText)
  int32_t recordCount = 0;
};

/// The header line of the per-field table (80 characters, trailing spaces).
std::string FieldTableHeader();

/// Appends the file's section: rule line, company line (replacing line 2),
/// file name (its control characters escaped, EscapeControlCharacters),
/// record count, the per-field table of the empty and invalid counts of
/// the table's expected fields (rowCounts: one entry per row of the
/// catalogue's FieldRows), or "Arquivo
/// sem registros....." when the file has no records. Returns true when the
/// file had records, so the totals section must follow. Each row of the
/// per-field table is also added to fields, unless it is null.
bool WriteResultSection(ResultLog& log, const Catalogue& catalogue, const std::vector<FieldCounts>& rowCounts,
                        const ResultSectionInput& input, const RegionalSettings& settings,
                        std::vector<FieldResult>* fields = nullptr);

}  // namespace tarvelo
