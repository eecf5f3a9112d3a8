#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvelo::testing {

/// One field of a table to write: name (up to 10 characters), dBase type
/// letter, length and decimal count. A "C" length may exceed 255 (stored in
/// the length and decimal bytes).
struct DbfFieldSpec {
  std::string name;
  char type = 'C';
  int length = 1;
  int decimals = 0;
};

/// Builds dBase III files for tests, benchmarks and samples. The product
/// itself never writes a DBF file; this lives apart from the core.
class DbfWriter {
 public:
  explicit DbfWriter(std::vector<DbfFieldSpec> fields, uint8_t versionByte = 0x03);

  /// Appends a record from one text per field: "C" left-aligned and cut or
  /// padded with blanks, "N"/"F" right-aligned, "D" and "L" as given and
  /// padded. Missing trailing values are blank.
  void AddRecord(const std::vector<std::string>& values, bool deleted = false);
  /// Appends a record given as its exact bytes (deletion flag included),
  /// padded or cut to the record length.
  void AddRawRecord(std::string bytes);

  /// The encoded record bytes for values (as AddRecord stores them).
  std::string EncodeRecord(const std::vector<std::string>& values, bool deleted = false) const;

  /// Header and descriptors, with the given record count.
  std::string HeaderBytes(uint32_t recordCount) const;
  /// The whole file: header, descriptors, terminator, records, 0x1A.
  std::string Bytes() const;
  /// Writes Bytes() to path; throws std::runtime_error on failure.
  void WriteTo(const std::string& path) const;

  int HeaderLength() const;
  int RecordLength() const { return recordLength_; }
  size_t RecordCount() const { return records_.size(); }
  const std::vector<DbfFieldSpec>& Fields() const { return fields_; }

 private:
  std::vector<DbfFieldSpec> fields_;
  uint8_t version_;
  int recordLength_ = 1;
  std::vector<std::string> records_;
};

/// Streams a large table to disk record by record, so a million-record file
/// needs no more memory than one record. The header's record count is
/// written when the stream is finished.
class DbfStreamWriter {
 public:
  /// Opens path for writing; throws std::runtime_error on failure.
  DbfStreamWriter(const std::string& path, std::vector<DbfFieldSpec> fields);
  ~DbfStreamWriter();
  DbfStreamWriter(const DbfStreamWriter&) = delete;
  DbfStreamWriter& operator=(const DbfStreamWriter&) = delete;

  void AddRecord(const std::vector<std::string>& values, bool deleted = false);
  /// Writes the end-of-file byte and the record count, and closes the file.
  void Finish();

 private:
  DbfWriter layout_;
  std::FILE* file_ = nullptr;
  uint32_t count_ = 0;
};

/// Writes bytes to path; throws std::runtime_error on failure.
void WriteFile(const std::string& path, const std::string& bytes);

/// The bytes of the file at path; empty when it cannot be read.
std::string ReadFile(const std::string& path);

/// True when path (UTF-8 on Windows) names an existing file or folder.
bool FileExists(const std::string& path);

/// The std::filesystem path of path as the program names files (bytes on
/// Linux, UTF-8 on Windows, where a plain string would be read in the
/// system's ANSI code page).
std::filesystem::path FileSystemPath(const std::string& path);

}  // namespace tarvelo::testing
