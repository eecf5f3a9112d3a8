#pragma once

#include <cstdint>

#include "dbf/dbf_table.h"
#include "validation/catalogue.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// Compares the fields of the open data file with the catalogue's expected
/// fields of tableNumber, in their order: a row matches when the field at
/// its position (ordem - 1) has its name (both trimmed, case-sensitive),
/// FieldTypeCode and size. Returns true when the number of matching rows
/// equals the file's field count. Any error on the way (a position outside
/// the file's fields, a null ordem) gives false; a table number without
/// rows gives false too.
bool CheckStructure(const Catalogue& catalogue, DbfTable& data, int32_t tableNumber, const RegionalSettings& settings);

/// The range [first, last) of the catalogue's expected fields (FieldRows)
/// that belong to tableNumber; empty when it has none.
std::pair<size_t, size_t> RowsOfTable(const Catalogue& catalogue, int32_t tableNumber);

}  // namespace tarvelo
