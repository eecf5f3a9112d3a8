#pragma once

#include <cstdint>

#include "dbf/dbf_table.h"
#include "memtable/mem_table.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// Compares the fields of the open data file with the StructureTable rows
/// of tableNumber (the table must have kStructureByPosition current): a
/// row matches when the field at its position (ordem - 1) has its name
/// (both trimmed, case-sensitive), FieldTypeCode and size. Returns true when the number of
/// matching rows equals the file's field count. Any error on the way (a
/// position outside the file's fields, a null ordem) gives false; a table
/// number without rows gives false too.
bool CheckStructure(MemTable& structure, DbfTable& data, int32_t tableNumber, const RegionalSettings& settings);

/// Moves the StructureTable (index kStructureByPosition) to the first row
/// of tableNumber; returns false, the table at its end, when there is
/// none.
bool GoToFirstRowOfTable(MemTable& structure, int32_t tableNumber, const RegionalSettings& settings);

/// True while the StructureTable stands on a row of tableNumber.
bool OnRowOfTable(MemTable& structure, int32_t tableNumber, const RegionalSettings& settings);

}  // namespace tarvelo
