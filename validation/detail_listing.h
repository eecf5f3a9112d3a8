#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tarvelo {

namespace os {
class ReplacingFile;
}

/// The rule behind one row of the detail listing.
enum class DetailRule { Empty, Length, Date, Domain, SecondCompany, NoPolicy };

/// One counted failure, or one claim without a policy item. The texts are
/// code page 1252 as read from the file (views valid during the call).
struct DetailRow {
  int64_t record = 0;  // in the file, counting deleted records too
  std::string_view field;
  DetailRule rule = DetailRule::Empty;
  std::string_view value;
  std::string_view policy;  // the record's APOLICE and ITEM, when it has them
  std::string_view item;
  /// For a code refused for the value of the field it depends on: that
  /// field's text in the record, trimmed (not in the listing's columns).
  std::string_view dependsValue;
};

/// Receives, during a run, one row per failure the report counts and per
/// claim without a policy item, in the order the run meets them.
class DetailSink {
 public:
  virtual ~DetailSink() = default;
  /// The rows that follow are of this data file: its path (the file
  /// system's name) and its table in the catalogue (code page 1252).
  virtual void BeginFile(const std::string& path, const std::string& table) = 0;
  virtual void Row(const DetailRow& row) = 0;
};

/// The detail listing as CSV for a spreadsheet program: UTF-8 with a
/// byte-order mark, CR LF, a header line, columns arquivo, tabela, registro,
/// apolice, item, campo, regra, valor, separated by ";" where the decimal
/// separator is "," and by "," otherwise. Rows are streamed through a
/// os::ReplacingFile, which Finish puts in the target's place. A value is
/// quoted when it holds the separator, a quotation mark or a line break;
/// one that a spreadsheet could take for a formula (beginning with "=",
/// "+", "-", "@", a tab or a carriage return, and not a number whole) gets
/// a leading "'" inside quotation marks.
class DetailListing : public DetailSink {
 public:
  /// path is the file system's name of the target; decimalSeparator the
  /// user's. Raises the create error of ReplacingFile.
  DetailListing(const std::string& path, char decimalSeparator);
  ~DetailListing() override;

  void BeginFile(const std::string& path, const std::string& table) override;
  void Row(const DetailRow& row) override;
  /// Puts the listing in place of its target. Raises the write or create
  /// error of ReplacingFile (a write that failed during the run included).
  void Finish();

 private:
  void Cell(std::string_view utf8, bool last = false);

  std::unique_ptr<os::ReplacingFile> file_;
  char separator_;
  std::string quoted_;  // characters that make a cell quoted
  std::string path_;    // of the current data file, UTF-8 as the file system names it
  std::string table_;   // UTF-8
  std::string line_;
};

/// The listing's name of a rule: "vazio", "tamanho", "data", "dominio",
/// "outra empresa", "sem apolice".
const char* DetailRuleName(DetailRule rule);

}  // namespace tarvelo
