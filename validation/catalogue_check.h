#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "validation/run_results.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The faults of the catalogue in folder (a path ending in a separator, or
/// empty), rows of the line of business "RURAL", in file and row order:
/// in "tabelas.dbf" a field listed twice in one table, positions ("ordem")
/// that do not follow on from 1, a type no DBF field has or a size its type
/// cannot have, a dependency on a field the table lacks, a coded field
/// without any code in "anexos.dbf"; in "DadosQdp.DBF" a window or a total
/// that cannot be read and a company code listed twice. Raises the errors of
/// opening and reading the three tables (a missing file or column).
std::vector<CatalogueFault> CheckCatalogue(const std::string& folder, const RegionalSettings& settings);

/// The three tables of the catalogue in folder ("tabelas.dbf", "anexos.dbf",
/// "DadosQdp.DBF") with their dates and record counts; what cannot be read
/// is left nullopt, never raised.
std::vector<CatalogueFileFacts> CatalogueFiles(const std::string& folder, const RegionalSettings& settings);

/// "<file>, linha <row>, campo <field>: <problem>" (", campo" left out when
/// field is empty).
std::string FaultLine(const CatalogueFault& fault);

}  // namespace tarvelo
