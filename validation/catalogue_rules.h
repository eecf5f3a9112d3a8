#pragma once

#include <vector>

#include "validation/catalogue.h"
#include "validation/html_page.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The rules of every field of every table of a catalogue, tables in the
/// order a run treats them, fields in theirs (their positions), each with
/// its codes in the catalogue's order. Texts trimmed, code page 1252. A
/// blank flag or number counts as 0 (the rule off), but for a blank "nulo",
/// which is no rule either (not required), as the record checks read it.
/// Empty for a catalogue whose rules could not be made.
std::vector<TableRules> CatalogueRules(const Catalogue& catalogue);

}  // namespace tarvelo
