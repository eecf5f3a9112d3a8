#pragma once

// What the DBF table tests share: offsets in the files DbfWriter writes,
// a fixture that writes files in a temporary folder and opens them in one
// table, and a table of numbered records.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "dbf/dbf_table.h"
#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"

namespace tarvelo {
namespace dbf_testing {

using tarvelo::testing::DbfFieldSpec;
using tarvelo::testing::DbfWriter;
using tarvelo::testing::WriteFile;

inline void SetLe16(std::string& bytes, size_t at, int value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

// Offsets in a file written by DbfWriter.
constexpr size_t kHeaderLengthAt = 8;
constexpr size_t kRecordLengthAt = 10;
inline size_t DescriptorAt(int index) { return 32 + 32 * static_cast<size_t>(index); }

class DbfTableTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }

  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string path = Path(name);
    WriteFile(path, bytes);
    return path;
  }

  // Opens path in table_ (named "tbDados", deleted records shown unless
  // hideDeleted).
  void OpenTable(const std::string& path, bool hideDeleted = false) {
    table_.SetDBFFileName(path);
    table_.SetDeleted(hideDeleted);
    table_.Open();
  }

  // The values of one field over all visible records, from First().
  std::vector<std::string> Column(const std::string& name) {
    std::vector<std::string> values;
    table_.First();
    while (!table_.AtEnd()) {
      values.push_back(table_.FieldByName(name).AsText());
      table_.Next();
    }
    return values;
  }

  // A one-field table holding one record with the given field bytes.
  std::string OneValue(const std::string& name, DbfFieldSpec spec, const std::string& bytes) {
    DbfWriter writer({spec});
    writer.AddRawRecord(" " + bytes);
    return Write(name, writer.Bytes());
  }

  tarvelo::testing::TempDir dir_;
  RegionalSettings settings_ = RegionalSettings::Brazilian();
  DbfTable table_{"tbDados", settings_};
};

// A table whose fields each hold their record's number (1-based) in "SEQ"
// and whose record length is recordLength.
inline DbfWriter NumberedTable(int records, int recordLength) {
  DbfWriter writer({{"SEQ", 'N', 6, 0}, {"FILL", 'C', recordLength - 7, 0}});
  for (int i = 1; i <= records; ++i) writer.AddRecord({std::to_string(i), "x"});
  return writer;
}

}  // namespace dbf_testing
}  // namespace tarvelo
