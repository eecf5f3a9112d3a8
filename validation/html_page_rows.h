#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "validation/detail_listing.h"

namespace tarvelo {

/// A failing value as the HTML page lists it.
struct ListedFailure {
  int64_t record = 0;  // in the file, counting deleted records too
  DetailRule rule = DetailRule::Empty;
  /// The value as it is in the file (code page 1252), its first
  /// HtmlPageRows::kValueBytes bytes.
  std::string value;
  /// The value's length in the file; longer than value when it was cut.
  size_t valueLength = 0;
  /// For a code refused for the value of the field it depends on, that
  /// value (cut as value is); empty else.
  std::string dependsValue;
};

/// The failures of one field kept for the page, and how many more there
/// were.
struct FieldFailures {
  std::string field;  // code page 1252, as the run names it
  std::vector<ListedFailure> rows;
  int64_t more = 0;
};

/// A claim without a policy item: its record and the policy and item as
/// they are in the file (code page 1252, each cut as values are).
struct ListedClaim {
  int64_t record = 0;
  std::string policy;
  std::string item;
};

/// What the page lists of one data file.
struct FileFailures {
  std::string path;                   // the file system's name
  std::string table;                  // the catalogue's table name (code page 1252)
  std::vector<FieldFailures> fields;  // in the order the run first met them
  std::vector<ListedClaim> claims;
  int64_t moreClaims = 0;
};

/// Receives the detail rows of a run and keeps, for the HTML page, the
/// first failing rows of each field of each file and the first claims
/// without a policy item, counting the rest: at most kRowsPerList rows in
/// any one list and kRowsInAll in all, and values cut to kValueBytes, so
/// that its memory (and the page) stays bounded whatever the files hold.
/// Rows of the same path and table after a second BeginFile join those
/// already kept.
class HtmlPageRows : public DetailSink {
 public:
  static constexpr size_t kRowsPerList = 1000;
  static constexpr size_t kRowsInAll = 4000;
  static constexpr size_t kValueBytes = 64;

  void BeginFile(const std::string& path, const std::string& table) override;
  /// Keeps or counts row; a row before any BeginFile is counted under a
  /// file with an empty path.
  void Row(const DetailRow& row) override;

  /// The files in the order of their first BeginFile.
  const std::vector<FileFailures>& Files() const { return files_; }
  /// The rows kept in all lists.
  size_t RowsKept() const { return kept_; }

 private:
  FieldFailures& FieldOf(std::string_view field);
  bool Keep(size_t listed) const { return listed < kRowsPerList && kept_ < kRowsInAll; }

  std::vector<FileFailures> files_;
  size_t current_ = 0;
  // Per file, the index in fields of each field's list.
  std::vector<std::map<std::string, size_t, std::less<>>> fieldIndex_;
  size_t kept_ = 0;
};

/// What is wrong, in the page's words: "vazio", "tamanho diferente do
/// exigido", "data inválida", "não é um código permitido", "de outra
/// empresa", "sem apólice" (code page 1252).
const char* FailureText(DetailRule rule);

}  // namespace tarvelo
