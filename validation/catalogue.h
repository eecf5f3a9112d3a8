#pragma once
// The rule catalogue of one run, read once: the three tables beside the
// program (or in the folder --catalogo names), each opened once and its
// records read once into memory, and the typed values every step of the
// run reads from them.
//
//   tabelas.dbf   one row per expected field of a data table: its line of
//                 business (ramo), table, name (campo), the field its codes
//                 depend on (depende), type (tipo), size (tamanho), the rule
//                 flags (dominio, nulo, data, positivo, zeros, zerosesq,
//                 soma) and its position (ordem)
//   anexos.dbf    one row per admissible code: ramo, tabela, campo, the code
//                 (valor1) and the value of the depende field it is
//                 admissible for (valor2)
//   DadosQdp.DBF  one row per company: cod_seg, empresa, the declared totals
//                 (pr_rural, sin_rural, pr_animal, sin_animal) and the
//                 validity window (inivig, fimvig)
//
// Only rows of the line of business kLineOfBusiness count. The typed
// values keep what the report has always shown of odd catalogues: each
// table gets a number every time its name follows a different one (so a
// table whose rows are split in two gets two numbers, and its fields the
// later one); flags are 32-bit integers or null (a blank cell), converted
// as numbers convert; texts are cut to the widths the checks compare
// (campo and depende 10 characters, table names 20, codes 8 and their
// qualifier 2) and end at a NUL byte; tables are walked in the collation
// order of their names and fields in the order of their positions, and of
// rows with equal keys the later one in the file comes first.

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbf/dbf_table.h"
#include "validation/analysis_period.h"
#include "validation/line_of_business.h"
#include "validation/run_results.h"
#include "values/regional_settings.h"
#include "values/variant.h"

namespace tarvelo {

/// One table of the catalogue, opened once and its records read once (deleted
/// records included: a catalogue row marked deleted counts like any other);
/// the file is let go once read. Its cells are read from the records in
/// memory as the table would read them, with the same errors.
class CatalogueTable {
 public:
  /// Opens folder + file as the table component (the prefix of its
  /// errors) and reads its records. Never raises but std::bad_alloc: an
  /// error of opening or reading is kept and raised by Raise().
  CatalogueTable(const std::string& folder, const char* file, const char* component, const RegionalSettings& settings);
  ~CatalogueTable();
  CatalogueTable(CatalogueTable&&) noexcept;
  CatalogueTable& operator=(CatalogueTable&&) noexcept;

  /// The file's name in the folder ("tabelas.dbf").
  const std::string& File() const { return file_; }
  /// The path it was opened by.
  const std::string& Path() const { return path_; }
  /// True when the table was opened and its records read.
  bool Read() const { return error_ == nullptr; }
  /// Raises the error that kept the table from being read; nothing when it
  /// was read.
  void Raise() const;

  /// Its records (0 when it was not read).
  size_t Rows() const { return rows_; }
  /// The records its header declares (0 when it was not read).
  int64_t DeclaredRecords() const { return declared_; }
  /// The field of that name (letter case aside), or nullptr.
  const DbfField* FindField(std::string_view name) const;
  /// The value of column in row (from 0), as the table's FieldValue gives
  /// it. Raises DatabaseError "<component>: Field '<column>' not found"
  /// for a column the table lacks.
  Variant Value(size_t row, std::string_view column) const;
  /// The number in column of row, as the field's AsFloat gives it (0 for
  /// a blank cell); raises as Value, and ConvertError for a text that is
  /// no number.
  double Number(size_t row, std::string_view column) const;
  /// The file's last change (local time) as the file system tells it;
  /// nullopt when it cannot be known.
  const std::optional<CivilDateTime>& Modified() const { return modified_; }

 private:
  std::string file_;
  std::string path_;
  std::unique_ptr<DbfTable> table_;
  std::vector<char> records_;
  size_t rows_ = 0;
  size_t length_ = 0;
  int64_t declared_ = 0;
  std::optional<CivilDateTime> modified_;
  std::exception_ptr error_;
};

/// A data table of the line of business: its number and its name as the
/// catalogue gives it (cut to 20 characters).
struct CatalogueTableName {
  int32_t number = 0;
  std::string name;
};

/// An expected field of a data table (a row of "tabelas.dbf" of the line of
/// business), with its rules. A flag is null for a blank cell.
struct CatalogueField {
  int32_t table = 0;                   // the number of its table
  std::string name;                    // campo, cut to 10 characters
  std::string dependsOn;               // depende, cut to 10 characters; blank for none
  std::optional<int32_t> type;         // tipo: the FieldTypeCode the field must have
  std::optional<int32_t> size;         // tamanho: its size, and the exact length
  std::optional<int32_t> coded;        // dominio: 1 for the code rule
  std::optional<int32_t> nullable;     // nulo: 0 for the empty rule
  std::optional<int32_t> date;         // data: 1, with zeros 1, for the date rule
  std::optional<int32_t> positive;     // positivo: no check reads it
  std::optional<int32_t> zeros;        // zeros
  std::optional<int32_t> position;     // ordem: its place in the data file, from 1
  std::optional<int32_t> exactLength;  // zerosesq: 1 for the length rule
  std::optional<int32_t> sum;          // soma: no check reads it

  bool Is(const std::optional<int32_t>& flag, int32_t value) const { return flag && *flag == value; }
};

/// An admissible code (a row of "anexos.dbf" of the line of business): the
/// table number and the position of the field it belongs to (null when
/// that field's position is), the code (cut to 8 characters) and the
/// value of the depende field it is admissible for (cut to 2).
struct CatalogueCode {
  int32_t table = 0;
  std::optional<int32_t> position;
  std::string value1;
  std::string value2;
};

/// The analysis period of the reference table "DadosQdp.DBF" in folder,
/// read alone (as Catalogue::Period), for what needs no more of the
/// catalogue: the window's caption.
AnalysisPeriod ReferencePeriod(const std::string& folder, const RegionalSettings& settings);

/// The catalogue of one run.
class Catalogue {
 public:
  /// Reads the three tables of folder (a path ending in a separator, or
  /// empty) once and makes the typed values of the line of business.
  /// Never raises but std::bad_alloc: what cannot be read is kept, and
  /// raised by the step that needs it.
  Catalogue(const std::string& folder, const RegionalSettings& settings);
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;

  /// The three tables as read, in the order "tabelas.dbf", "anexos.dbf",
  /// "DadosQdp.DBF".
  const CatalogueTable& Fields() const { return tables_[0]; }
  const CatalogueTable& Codes() const { return tables_[1]; }
  const CatalogueTable& Reference() const { return tables_[2]; }

  /// Raises what kept the rules from being made: an error of reading
  /// "tabelas.dbf" or "anexos.dbf" (a missing file or column, a value that
  /// cannot be converted), or TarveloError "Catalogue file
  /// \"<folder>tabelas.dbf\" defines no table for the line of business
  /// \"RURAL\"". The accessors below are empty then.
  void RaiseRulesError() const;
  bool HasRules() const { return rulesError_ == nullptr; }

  /// The data tables, in the order a run treats them (their names'
  /// collation order; of equal names, the later number first).
  const std::vector<CatalogueTableName>& TableOrder() const { return order_; }
  /// The expected fields, by table number and position (a null position
  /// first; of equal keys, the later row first).
  const std::vector<CatalogueField>& FieldRows() const { return fields_; }
  /// The index in FieldRows of the row a field at position (from 1) of
  /// table takes its rules from (of several, the later in the file), or -1.
  int FieldRowAt(int32_t table, int32_t position) const;
  /// The admissible codes, by table, position, code and qualifier (of equal
  /// keys, the later row first).
  const std::vector<CatalogueCode>& CodeRows() const { return codes_; }

  /// The analysis period the reference table gives (the fixed period, with
  /// a warning, when it cannot be read).
  const AnalysisPeriod& Period() const { return period_; }

  /// The facts of the three tables (name, date, records).
  std::vector<CatalogueFileFacts> FileFacts() const;

 private:
  void MakeRules();

  RegionalSettings settings_;  // the tables' own, read by their fields
  CatalogueTable tables_[3];
  std::exception_ptr rulesError_;
  std::vector<CatalogueTableName> order_;
  std::vector<CatalogueField> fields_;
  std::vector<std::pair<std::pair<int32_t, int32_t>, int>> rowAt_;  // (table, position) to its row, sorted
  std::vector<CatalogueCode> codes_;
  AnalysisPeriod period_;
};

}  // namespace tarvelo
