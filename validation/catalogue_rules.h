#pragma once

#include <vector>

#include "validation/html_page.h"
#include "validation/rule_catalogue.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The rules of every field of every table of a loaded catalogue, tables
/// in their order (TableOrderTable), fields in theirs (StructureTable's
/// "ordem"), each with its codes from the DomainTable in key order. Texts
/// trimmed, code page 1252. A flag or number that does not convert counts
/// as 0 (the rule off); a blank "nulo" is no rule either (not required), as
/// the record checks read it. Leaves each table on the index it was on.
/// Empty for a catalogue not loaded.
std::vector<TableRules> CatalogueRules(RuleCatalogue& catalogue, const RegionalSettings& settings);

}  // namespace tarvelo
