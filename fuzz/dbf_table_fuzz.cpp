// Opens arbitrary bytes as a DBF table and reads every field of every
// record; only the system's own errors may come out.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dbf/dbf_table.h"
#include "testing/dbf_records.h"
#include "values/errors.h"

namespace {

// The input lives in one memory file, reopened by path for every input so
// that the table opens and locks it as it would a file on disk.
const std::string& InputPath() {
  static const std::string path = [] {
    const int fd = memfd_create("dbf_table_fuzz", 0);
    if (fd < 0) std::abort();
    return "/proc/self/fd/" + std::to_string(fd);
  }();
  return path;
}

int InputFd() {
  static const int fd = std::stoi(InputPath().substr(InputPath().rfind('/') + 1));
  return fd;
}

void ReadField(tarvelo::DbfField& field) {
  (void)field.IsNull();
  (void)field.AsVariant();
  (void)field.AsText();
  try {
    (void)field.AsFloat();
  } catch (const tarvelo::TarveloError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = InputFd();
  if (ftruncate(fd, 0) != 0) std::abort();
  if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();

  static const tarvelo::RegionalSettings settings = tarvelo::RegionalSettings::Brazilian();
  tarvelo::DbfTable table("tbFuzz", settings);
  table.SetDBFFileName(InputPath());
  // The input's length picks the settings, so both paths of the block
  // reader and of the deletion filter are exercised.
  table.SetDeleted((size & 1) != 0);
  static const int kBufferSizes[] = {4096, 512, 64};
  table.SetBufferSize(kBufferSizes[(size >> 1) % 3]);
  try {
    table.Open();
  } catch (const tarvelo::TarveloError&) {
    if (table.IsOpen()) std::abort();  // a failed Open leaves the table closed
    return 0;
  }

  int records = 0;
  for (table.First(); !table.AtEnd() && records < 2000; table.Next(), ++records) {
    for (int i = 0; i < table.FieldCount(); ++i) {
      tarvelo::DbfField& field = table.FieldAt(i);
      ReadField(field);
      if (table.FindField(field.FieldName()) == nullptr) std::abort();
    }
  }
  // Past the end the last record stays readable.
  table.Next();
  for (int i = 0; i < table.FieldCount(); ++i) ReadField(table.FieldAt(i));

  const int64_t count = table.PhysicalRecordCount();
  int64_t scanned = 0;
  tarvelo::testing::ScanRecords(table, [&](int64_t, std::string_view) { ++scanned; });
  if (scanned != count) std::abort();
  std::string bytes;
  if (count > 0 && (!tarvelo::testing::ReadRecord(table, count, bytes) || !tarvelo::testing::GoToRecord(table, count)))
    std::abort();
  if (tarvelo::testing::ReadRecord(table, count + 1, bytes) || tarvelo::testing::GoToRecord(table, count + 1))
    std::abort();
  for (int i = 0; i < table.FieldCount(); ++i) ReadField(table.FieldAt(i));
  table.Close();
  return 0;
}
