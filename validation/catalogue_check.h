#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "validation/catalogue.h"
#include "validation/run_results.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The faults of the catalogue, rows of the line of business "RURAL", in
/// file and row order ("tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"): a
/// table that holds fewer records than its header declares
/// (ShortTableFault, first of its file); in "tabelas.dbf" a field listed
/// twice in one table, positions ("ordem") that do not follow on from 1, a
/// type no DBF field has or a size its type cannot have, a dependency on a
/// field the table lacks, a coded field without any code in "anexos.dbf";
/// in "DadosQdp.DBF" a window or a total that cannot be read and a company
/// code listed twice. Raises the errors of reading the three tables (a
/// missing file or column).
std::vector<CatalogueFault> CheckCatalogue(const Catalogue& catalogue, const RegionalSettings& settings);

/// The fault of a catalogue table that holds fewer records than its header
/// declares (cut short): row 0, no field, "arquivo cortado: faltam <n> dos
/// <declared> registros que o cabeçalho declara"; nullopt when it holds
/// them all or could not be read.
std::optional<CatalogueFault> ShortTableFault(const CatalogueTable& table);

/// The ShortTableFault of each catalogue table, in the order of
/// CheckCatalogue.
std::vector<CatalogueFault> ShortCatalogueTables(const Catalogue& catalogue);

/// "<file>, linha <row>, campo <field>: <problem>" (", campo" left out when
/// field is empty, ", linha" when row is 0: a fault of the whole file).
std::string FaultLine(const CatalogueFault& fault);

}  // namespace tarvelo
