#include "testing/dbf_records.h"

#include <algorithm>
#include <vector>

namespace tarvelo::testing {

bool ReadRecord(const DbfTable& table, int64_t recno, std::string& bytes) {
  bytes.assign(table.IsOpen() ? static_cast<size_t>(table.RecordLength()) : 0, '\0');
  if (table.ReadRecords(recno, 1, bytes.data()) == 1) return true;
  bytes.clear();
  return false;
}

void ScanRecords(const DbfTable& table, const std::function<void(int64_t recno, std::string_view bytes)>& visit) {
  if (!table.IsOpen()) return;
  const size_t length = static_cast<size_t>(table.RecordLength());
  const size_t perBlock = std::max<size_t>(1, static_cast<size_t>(table.BufferSize()) / length);
  std::vector<char> block(perBlock * length);
  for (int64_t recno = 1;;) {
    const size_t records = table.ReadRecords(recno, perBlock, block.data());
    if (records == 0) return;
    for (size_t i = 0; i < records; ++i, ++recno) visit(recno, std::string_view(block.data() + i * length, length));
  }
}

bool GoToRecord(DbfTable& table, int64_t recno) {
  std::string bytes;
  if (!ReadRecord(table, recno, bytes)) return false;
  const bool hidesDeleted = table.Deleted();
  table.SetDeleted(false);
  table.First();
  while (!table.AtEnd() && table.RecordNumber() != recno) table.Next();
  table.SetDeleted(hidesDeleted);
  return !table.AtEnd() && table.RecordNumber() == recno;
}

}  // namespace tarvelo::testing
