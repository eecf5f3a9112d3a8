#pragma once

#include <string>

#include "dbf/dbf_table.h"
#include "memtable/mem_table.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The rule catalogue of one line of business as held during a run, in
/// three memory tables rebuilt from nothing at every load:
/// - mtTabelas (TableOrderTable): ordem, tabela; index "index1" on tabela.
/// - mtEstrutTab (StructureTable): one row per expected field with its rule
///   flags and the two failure counters erroNulo and erroDom; indexes
///   "index1" (tabela;campo) and "index2" (tabela;ordem).
/// - mtAnexos (DomainTable): tabela, campo (numbers), valor1, valor2;
///   index "index1" on all four.
class RuleCatalogue {
 public:
  explicit RuleCatalogue(const RegionalSettings& settings);

  /// Reads "tabelas.dbf" twice and "anexos.dbf" once from folder through
  /// the two table objects (deleted rows included) and fills the three
  /// tables with the rows whose trimmed "ramo" equals lineOfBusiness. On
  /// return every table has "index1" current. Raises the open errors of the
  /// files, DatabaseError for a missing column, VariantError for a null
  /// text column and TarveloError "Catalogue file \"<folder>tabelas.dbf\"
  /// defines no table for the line of business \"<line>\"" when no row of
  /// "tabelas.dbf" is of the line of business. An "anexos.dbf" row whose table or field the line of
  /// business does not define is skipped.
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
