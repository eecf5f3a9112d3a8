#pragma once
// Records of a table by number, for tests and fuzz targets, made of the
// table's own calls: the block reads of ReadRecords and the walk of
// First and Next.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dbf/dbf_table.h"

namespace tarvelo::testing {

/// Reads the bytes of record recno of table (counting from 1, deleted or
/// not) into bytes without moving the table. False, bytes empty, when the
/// file holds no such complete record or the table is closed.
bool ReadRecord(const DbfTable& table, int64_t recno, std::string& bytes);

/// Calls visit(recno, bytes) for every record of table in file order,
/// deleted ones included, reading blocks of BufferSize bytes; the table's
/// position is not touched. Does nothing when the table is closed.
void ScanRecords(const DbfTable& table, const std::function<void(int64_t recno, std::string_view bytes)>& visit);

/// Stands table (without an active index) on record recno whatever its
/// deletion flag, walking from the first record with deleted records
/// shown; AtEnd becomes false. False, position unchanged, when the file
/// holds no such complete record; false, the table at its end, when the
/// walk does not reach it.
bool GoToRecord(DbfTable& table, int64_t recno);

}  // namespace tarvelo::testing
