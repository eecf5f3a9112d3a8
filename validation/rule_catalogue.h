#pragma once

#include <cstdint>
#include <string>

#include "dbf/dbf_table.h"
#include "memtable/mem_table.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The number the catalogue gives the first table of a line of business
/// (TableOrderTable "ordem", StructureTable and DomainTable "tabela"): the
/// risks file is checked against it, the claims file against the later
/// ones.
inline constexpr int32_t kRisksTable = 1;

/// The names of the catalogue tables' indexes (MemTable::IndexName).
/// TableOrderTable, on tabela.
inline constexpr const char* kTableOrderByName = "index1";
/// StructureTable, on tabela;campo.
inline constexpr const char* kStructureByField = "index1";
/// StructureTable, on tabela;ordem: a table's rows in field order.
inline constexpr const char* kStructureByPosition = "index2";
/// DomainTable, on tabela;campo;valor1;valor2.
inline constexpr const char* kDomainByValue = "index1";

/// The rule catalogue of one line of business as held during a run, in
/// three memory tables rebuilt from nothing at every load:
/// - mtTabelas (TableOrderTable): ordem, tabela; index kTableOrderByName.
/// - mtEstrutTab (StructureTable): one row per expected field with its rule
///   flags and the two failure counters erroNulo and erroDom; indexes
///   kStructureByField and kStructureByPosition.
/// - mtAnexos (DomainTable): tabela, campo (numbers), valor1, valor2;
///   index kDomainByValue.
class RuleCatalogue {
 public:
  explicit RuleCatalogue(const RegionalSettings& settings);

  /// Reads "tabelas.dbf" twice and "anexos.dbf" once from folder through
  /// the two table objects (deleted rows included) and fills the three
  /// tables with the rows whose trimmed "ramo" equals lineOfBusiness. On
  /// return the tables have kTableOrderByName, kStructureByField and
  /// kDomainByValue current. Raises the open errors of the files,
  /// DatabaseError for a missing column, VariantError for a null text
  /// column and TarveloError "Catalogue file \"<folder>tabelas.dbf\"
  /// defines no table for the line of business \"<line>\"" when no row of
  /// "tabelas.dbf" is of the line of business. An "anexos.dbf" row whose
  /// table or field the line of business does not define is skipped.
  void Load(const std::string& lineOfBusiness, const std::string& folder, DbfTable& tbTabelas, DbfTable& tbAnexos);

  MemTable& TableOrder() { return mtTabelas_; }
  MemTable& Structure() { return mtEstrutTab_; }
  MemTable& Domain() { return mtAnexos_; }

 private:
  void LoadTableOrder(const std::string& lineOfBusiness, DbfTable& tbTabelas);
  void LoadStructure(const std::string& lineOfBusiness, DbfTable& tbTabelas);
  void LoadDomain(const std::string& lineOfBusiness, DbfTable& tbAnexos);
  bool RowIsOfLine(DbfTable& table, const std::string& lineOfBusiness) const;
  std::string Text(DbfTable& table, const char* column) const;

  const RegionalSettings& settings_;
  MemTable mtTabelas_;
  MemTable mtEstrutTab_;
  MemTable mtAnexos_;
};

}  // namespace tarvelo
