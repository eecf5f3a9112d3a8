#pragma once

#include <optional>
#include <string>

#include "values/regional_settings.h"

namespace tarvelo {

class CatalogueTable;

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

/// The period of every row of the reference table "DadosQdp.DBF" as the
/// catalogue read it: the rows' window when all have the same, else the
/// earliest start to the latest end. A table without rows, or one that
/// could not be read (the run then ends with its error when it needs it),
/// gives the fixed period; one without the two fields, with a row whose
/// window cannot be read or with a value that cannot be read gives it with
/// a warning naming the cause (and the row).
AnalysisPeriod PeriodOfReferenceTable(const CatalogueTable& table, const RegionalSettings& settings);

}  // namespace tarvelo
