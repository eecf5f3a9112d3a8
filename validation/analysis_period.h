#pragma once

#include <optional>
#include <string>

#include "dbf/dbf_table.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The period the report names: the validity window of the reference table
/// "DadosQdp.DBF" ("INIVIG", "FIMVIG").
struct AnalysisPeriod {
  /// "dd/mm/yyyy a dd/mm/yyyy", as the report prints it.
  std::string text;
  /// The year of the window's end: the year the window's caption names.
  int endYear = 0;
  /// Why the fixed period of the program is used instead of the table's
  /// (code page 1252); empty when the period is the table's.
  std::string warning;
  /// The reference table's row whose window could not be read (the one the
  /// warning names); 0 when none.
  int64_t unreadableRow = 0;
};

/// The period of the program's fixed text (kAnalysisPeriod), with warning.
AnalysisPeriod FixedAnalysisPeriod(std::string warning = std::string());

/// "dd/mm/yyyy a dd/mm/yyyy" for a window given as two "yyyymmdd" texts
/// (blanks around allowed); nullopt when either is not a date of the
/// calendar or the start follows the end.
std::optional<std::string> WindowText(const std::string& start, const std::string& end);

/// The period of every row of the open reference table, read from its first
/// record and leaving it on its first record: the rows' window when all have
/// the same, else the earliest start to the latest end. A table without rows
/// gives the fixed period; one without the two fields or with a row whose
/// window cannot be read gives it with a warning naming the cause (and the
/// row). Raises the
/// table's errors of reading its records.
AnalysisPeriod PeriodFromReferenceTable(DbfTable& table, const RegionalSettings& settings);

/// The period of the reference table "DadosQdp.DBF" in folder (a folder
/// path ending in a separator, or empty): PeriodFromReferenceTable, or the
/// fixed period without a warning when the table cannot be opened (the run
/// then ends with that table's error when it opens it).
AnalysisPeriod PeriodFromCatalogueFolder(const std::string& folder, const RegionalSettings& settings);

}  // namespace tarvelo
