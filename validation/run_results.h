#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "values/date_time.h"

namespace tarvelo {

/// One row of a file's per-field table: the counts and their shares in
/// percent of the file's records, as the report prints them before rounding.
struct FieldResult {
  std::string field;  // trimmed, code page 1252
  int64_t nullCount = 0;
  double nullShare = 0;
  int64_t domainCount = 0;
  double domainShare = 0;
};

/// One row of a totals comparison. difference is the relative difference
/// in percent, or nullopt where the report says "div por zero" (a
/// reference of 0).
struct TotalsResult {
  std::string line;  // "Rural" or "Animal"
  double reference = 0;
  double fileTotal = 0;
  std::optional<double> difference;
};

/// What the report says of one data file that the run opened.
struct FileResult {
  std::string path;   // the file system's name, as given to the run
  std::string table;  // the catalogue's table name, trimmed
  int32_t tableNumber = 0;
  int32_t recordCount = 0;
  bool structureOk = false;
  /// A record with another company code stopped the file's checks.
  bool secondCompany = false;
  /// The per-field table, written when the file passed its checks and had
  /// records.
  std::vector<FieldResult> fields;
  /// The premiums (risks file) or paid claims comparison, when written.
  std::vector<TotalsResult> totals;
  /// The records the file's header declares and those the file holds
  /// (deleted ones included): fewer when the file was cut short
  /// (MissingRecords), and only those are read.
  int64_t declaredRecords = 0;
  int64_t recordsInFile = 0;
  /// The file's size and last change (local time) when the run opened it;
  /// nullopt when they could not be known.
  std::optional<uint64_t> size = std::nullopt;
  std::optional<CivilDateTime> modified = std::nullopt;
};

/// The claims-without-policy figures, when the test ran.
struct ClaimsResult {
  int64_t misses = 0;
  int32_t claimCount = 0;
  double share = 0;  // percent
};

/// One table of the catalogue a run used: its file name, when the file was
/// last written (local time) and its records, each nullopt when it could not
/// be learnt.
struct CatalogueFileFacts {
  std::string file;
  std::optional<CivilDateTime> modified;
  std::optional<int64_t> records;
};

/// One fault of a catalogue that would make runs misleading: the catalogue
/// file, its row (record number), the field the row is about (empty for
/// none) and what is wrong. Texts in code page 1252.
struct CatalogueFault {
  std::string file;
  int64_t row = 0;
  std::string field;
  std::string problem;
  /// A reference table row whose validity window cannot be read.
  bool unreadableWindow = false;
};

/// The results of one validation run in a form for machines, gathered while
/// the report is written; they say what the report says.
struct RunResults {
  /// When the run started: the report's "Início do processamento".
  std::optional<CivilDateTime> started;
  std::string companyCode;
  std::string companyName;
  /// The company code was looked up and "DadosQdp.DBF" has no row for it:
  /// the report compares the files with reference totals of 0.
  bool companyNotFound = false;
  std::vector<FileResult> files;
  std::optional<ClaimsResult> claims;
  /// The report's "vazio ou não selecionado" blocks.
  bool riskFileMissing = false;
  bool claimFileMissing = false;
  /// The period the report names ("dd/mm/yyyy a dd/mm/yyyy"), the year of
  /// its end, and why it is the program's fixed period rather than the
  /// reference table's (code page 1252; empty when it is the table's).
  std::string period;
  int periodEndYear = 0;
  std::string periodWarning;
  /// The reference table's row the period's warning names; 0 for none.
  int64_t periodUnreadableRow = 0;
  /// The catalogue folder as the run was given it, its tables, and the
  /// faults CheckCatalogue found in it.
  std::string catalogueFolder;
  std::vector<CatalogueFileFacts> catalogueFiles;
  std::vector<CatalogueFault> catalogueFaults;
  /// An error of reading the catalogue ended the run: a table missing or
  /// unreadable, a column it lacks, a value of it that cannot be read.
  bool catalogueFailed = false;
  /// The run reached its closing lines.
  bool completed = false;
};

/// The records a data file's header declares beyond those the file holds;
/// 0 when it holds them all.
int64_t MissingRecords(const FileResult& file);

/// The size and last change (local time) of the file path leads to, each
/// nullopt when it cannot be known.
void FileSizeAndDate(const std::string& path, std::optional<uint64_t>& size, std::optional<CivilDateTime>& modified);

/// True when a completed run's report shows a problem in the data: an
/// "Erro: " line (wrong structure, a second company), a non-zero count, a
/// missing or empty file, a totals difference over 10% in absolute value
/// (a file total against a reference of 0 included), or a claim without a
/// policy item; or when the company has no row in "DadosQdp.DBF", or a
/// data file holds fewer records than its header declares. False for a
/// run that did not complete.
bool HasDataProblems(const RunResults& results);

/// The warning the front ends give of each data file of a run that holds
/// fewer records than its header declares, one a line (code page 1252; the
/// path's control characters escaped): The file "<path>" is cut short: its
/// header declares <declared> records, it holds <held> (<missing> missing);
/// the report counts those it holds. Empty when there is none.
std::string ShortFilesWarning(const RunResults& results);

/// The warning the front ends give after a completed run whose company is
/// not in "DadosQdp.DBF" (code page 1252; the code's control characters
/// escaped): Company "<code>" not found in "DadosQdp.DBF": the report
/// compares the files with reference totals of 0. Empty for any other run.
std::string CompanyNotFoundWarning(const RunResults& results);

}  // namespace tarvelo
