// What the command line's tests share: the program run as a shell would,
// and a small catalogue with the two files it validates.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "testing/catalogue_fixture.h"
#include "testing/dbf_writer.h"
#include "testing/program_outcome.h"
#include "testing/shell_words.h"
#include "testing/temp_dir.h"

namespace tarvelo::clitest {

#ifdef _WIN32
// The program started directly, args read as the shell would; the Brazilian
// settings come from the test's own environment (LC_ALL, set by the build),
// which Wine gives the programs that the test starts.
inline testing::Outcome RunCli(const std::string& args, const testing::TempDir& dir) {
  return testing::RunProgramIn(TARVELO_CLI_PATH, testing::ShellWords(args), dir);
}
#else
inline testing::Outcome RunCli(const std::string& args, const testing::TempDir& dir) {
  return testing::RunShell("LANG=pt_BR.UTF-8 LC_ALL= '" TARVELO_CLI_PATH "' " + args, dir);
}
#endif

// A catalogue of risks (COD_SEG, APOLICE, ITEM, COD_MOD, INICIO_VIG, PREMIO)
// and claims (the same with D_AVISO and INDENIZ) with the company 05631 in
// "DadosQdp.DBF", and the two files, of records records each, every claim on
// a policy item of the risks.
inline void WriteRisksAndClaims(const testing::TempDir& dir, int records) {
  std::vector<testing::FieldRuleRow> rows;
  for (const char* table : {"RISCOS", "SINISTROS"}) {
    const bool risks = table[0] == 'R';
    rows.push_back({table, "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"});
    rows.push_back({table, "APOLICE", "", "1", "10", "0", "1", "0", "0", "2"});
    rows.push_back({table, "ITEM", "", "1", "4", "0", "1", "0", "0", "3"});
    rows.push_back({table, "COD_MOD", "", "3", "0", "0", "1", "0", "0", "4"});
    rows.push_back({table, risks ? "INICIO_VIG" : "D_AVISO", "", "1", "8", "0", "1", "0", "0", "5"});
    rows.push_back({table, risks ? "PREMIO" : "INDENIZ", "", "6", "0", "0", "1", "0", "0", "6"});
  }
  testing::WriteTabelas(dir.File("tabelas.dbf"), rows);
  testing::WriteAnexos(dir.File("anexos.dbf"), {});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "EXEMPLO", "0", "0", "0", "0", "20220701", "20230630"}});
  for (const char* name : {"r.dbf", "s.dbf"}) {
    const bool risks = name[0] == 'r';
    testing::DbfStreamWriter writer(dir.File(name), {{"COD_SEG", 'C', 5},
                                                     {"APOLICE", 'C', 10},
                                                     {"ITEM", 'C', 4},
                                                     {"COD_MOD", 'N', 2},
                                                     {risks ? "INICIO_VIG" : "D_AVISO", 'C', 8},
                                                     {risks ? "PREMIO" : "INDENIZ", 'N', 14, 2}});
    for (int i = 0; i < records; ++i)
      writer.AddRecord({"05631", std::to_string(int64_t{i} * 7919 % records), "0001", "61", "20230101", "1.00"});
    writer.Finish();
  }
}

// The report without its two lines that hold the time of the run.
inline std::string WithoutTimes(const std::string& report) {
  std::istringstream in(report);
  std::string kept;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Início do processamento: ", 0) != 0 && line.rfind("Fim do processamento: ", 0) != 0)
      kept += line + "\n";
  return kept;
}

}  // namespace tarvelo::clitest
