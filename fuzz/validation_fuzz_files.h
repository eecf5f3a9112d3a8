#pragma once
// The five valid files of the validation run's fuzz target: a small rural
// catalogue (risks and claims tables with null, exact length, date and
// domain rules, one domain qualified by another field) and a risks and a
// claims file of one company that pass it.

#include <array>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "testing/catalogue_fixture.h"

namespace tarvelo::fuzzing {

/// The files in the order of the selector byte of an input: risks data,
/// claims data, "tabelas.dbf", "anexos.dbf", "DadosQdp.DBF".
inline constexpr std::array<const char*, 5> kFileNames = {"riscos.dbf", "sinistros.dbf", "tabelas.dbf", "anexos.dbf",
                                                          "DadosQdp.DBF"};

/// The whole content of the file at path; throws std::runtime_error when it
/// cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Writes the five valid files into folder (ending in "/") and returns their
/// bytes in the order of kFileNames.
inline std::array<std::string, 5> WriteValidFiles(const std::string& folder) {
  using testing::DbfWriter;
  using testing::FieldRuleRow;

  // tabela, campo, depende, tipo, tamanho, dominio, nulo, data, zeros, ordem, zerosesq
  const std::vector<FieldRuleRow> rules = {
      {"RISCOS", "COD_SEG", "", "1", "5", "0", "0", "0", "0", "1", "1"},     // null, exact length
      {"RISCOS", "APOLICE", "", "1", "10", "0", "0", "0", "0", "2"},         // null
      {"RISCOS", "ITEM", "", "1", "4", "0", "1", "0", "0", "3", "1"},        // exact length
      {"RISCOS", "COD_MOD", "", "3", "0", "1", "1", "0", "0", "4"},          // domain
      {"RISCOS", "UF", "COD_MOD", "1", "2", "1", "1", "0", "0", "5"},        // domain qualified by COD_MOD
      {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "0", "1", "1", "6", "1"},  // null, date, exact length
      {"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "7"},
      {"RISCOS", "QTD", "", "3", "0", "0", "0", "0", "0", "8"},  // null on a number
      {"SINISTROS", "COD_SEG", "", "1", "5", "0", "0", "0", "0", "1", "1"},
      {"SINISTROS", "APOLICE", "", "1", "10", "0", "0", "0", "0", "2"},
      {"SINISTROS", "ITEM", "", "1", "4", "0", "1", "0", "0", "3", "1"},
      {"SINISTROS", "COD_MOD", "", "3", "0", "1", "1", "0", "0", "4"},
      {"SINISTROS", "D_AVISO", "", "1", "8", "0", "0", "1", "1", "5", "1"},
      {"SINISTROS", "INDENIZ", "", "6", "0", "0", "1", "0", "0", "6"},
  };
  testing::WriteTabelas(folder + kFileNames[2], rules);
  testing::WriteAnexos(folder + kFileNames[3], {{"RISCOS", "COD_MOD", "61", ""},
                                                {"RISCOS", "COD_MOD", "64", ""},
                                                {"RISCOS", "UF", "SP", "61"},
                                                {"RISCOS", "UF", "PR", "61"},
                                                {"RISCOS", "UF", "RS", "64"},
                                                {"SINISTROS", "COD_MOD", "61", ""},
                                                {"SINISTROS", "COD_MOD", "64", ""}});
  testing::WriteQdp(folder + kFileNames[4],
                    {{"01111", "OUTRA", "5", "5", "5", "5", "20220701", "20230630"},
                     {"05631", "SEGURADORA EXEMPLO S.A.", "1000", "200", "50", "50", "20220701", "20230630"}});

  DbfWriter risks({{"COD_SEG", 'C', 5},
                   {"APOLICE", 'C', 10},
                   {"ITEM", 'C', 4},
                   {"COD_MOD", 'N', 2},
                   {"UF", 'C', 2},
                   {"INICIO_VIG", 'C', 8},
                   {"PREMIO", 'N', 14, 2},
                   {"QTD", 'N', 5}});
  risks.AddRecord({"05631", "P1", "0001", "61", "SP", "20230101", "100.00", "1"});
  risks.AddRecord({"05631", "P1", "0002", "64", "RS", "20220701", "40.50", ""});
  risks.AddRecord({"05631", "P2", "1", "61", "RS", "20231301", "7.00", "3"});
  risks.AddRecord({"05631", "P3", "0001", "64", "rs", "00000000", "1.00", "2"}, true);
  risks.AddRecord({"05631", "", "0003", "61", "pr", "20230630", "-2.25", "4"});
  risks.WriteTo(folder + kFileNames[0]);

  DbfWriter claims({{"COD_SEG", 'C', 5},
                    {"APOLICE", 'C', 10},
                    {"ITEM", 'C', 4},
                    {"COD_MOD", 'N', 2},
                    {"D_AVISO", 'C', 8},
                    {"INDENIZ", 'N', 14, 2}});
  claims.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  claims.AddRecord({"05631", "P9", "0001", "64", "2023", "5.00"});
  claims.AddRecord({"05631", "P3", "0001", "64", "", "1.00"}, true);
  claims.AddRecord({"05631", "P2", "1", "61", "20230630", "2.50"});
  claims.WriteTo(folder + kFileNames[1]);

  std::array<std::string, 5> bytes;
  for (size_t i = 0; i < kFileNames.size(); ++i) bytes[i] = ReadWholeFile(folder + kFileNames[i]);
  return bytes;
}

}  // namespace tarvelo::fuzzing
