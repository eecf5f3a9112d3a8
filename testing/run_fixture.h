#pragma once
// The fixture of the tests that drive whole validation runs: a small rural
// catalogue and data files written into a temporary folder, a run over
// them, and the report lines those tests compare.

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "testing/catalogue_fixture.h"
#include "validation/validation_run.h"
#include "values/cp1252_literal.h"

namespace tarvelo::testing {

using Lines = std::vector<std::string>;

/// The report's rule line.
inline const std::string kRule(80, '=');
/// The claims-without-policy sentence between the number of misses and the
/// number of claims.
inline constexpr const char* kMissesSentence = " sinistros sem apólices no período, num total de "_cp1252;

/// The report's first three lines at the fixture's clock.
inline Lines Header() {
  return {"Início do processamento: 07/12/2026 08:05:09"_cp1252, "Período de análise: 01/07/2022 a 30/06/2023"_cp1252,
          ""};
}

/// The report's closing lines at the fixture's clock.
inline Lines Closing() { return {"", kRule, "", "Fim do processamento: 07/12/2026 08:05:09", "", kRule}; }

/// text followed by blanks up to width characters; text itself when it is
/// that long already.
inline std::string Pad(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

/// True when one of lines equals line.
inline bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

/// The rows of the field table of table found in a log: the lines that
/// begin with its name padded to 20 characters.
inline Lines SectionRows(const Lines& log, const std::string& table) {
  Lines rows;
  for (const auto& line : log)
    if (line.rfind(Pad(table, 20), 0) == 0) rows.push_back(line);
  return rows;
}

// A small rural catalogue: risks (COD_SEG, APOLICE, ITEM, COD_MOD,
// INICIO_VIG, PREMIO) and claims (COD_SEG, APOLICE, ITEM, COD_MOD, D_AVISO,
// INDENIZ), without rules unless a test adds them.
class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setup.folder = dir.Path();
    risksRules = {
        {"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
        {"RISCOS", "APOLICE", "", "1", "10", "0", "1", "0", "0", "2"},
        {"RISCOS", "ITEM", "", "1", "4", "0", "1", "0", "0", "3"},
        {"RISCOS", "COD_MOD", "", "3", "0", "0", "1", "0", "0", "4"},
        {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "1", "0", "0", "5"},
        {"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "6"},
    };
    claimsRules = {
        {"SINISTROS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
        {"SINISTROS", "APOLICE", "", "1", "10", "0", "1", "0", "0", "2"},
        {"SINISTROS", "ITEM", "", "1", "4", "0", "1", "0", "0", "3"},
        {"SINISTROS", "COD_MOD", "", "3", "0", "0", "1", "0", "0", "4"},
        {"SINISTROS", "D_AVISO", "", "1", "8", "0", "1", "0", "0", "5"},
        {"SINISTROS", "INDENIZ", "", "6", "0", "0", "1", "0", "0", "6"},
    };
    qdp = {{"01111", "OUTRA", "5", "5", "5", "5", "20220701", "20230630"},
           {"05631", "SEGURADORA EXEMPLO S.A.", "1000000", "200", "0", "50", "20220701", "20230630"}};
  }

  void WriteCatalogue() {
    std::vector<FieldRuleRow> rows = risksRules;
    rows.insert(rows.end(), claimsRules.begin(), claimsRules.end());
    WriteTabelas(dir.File("tabelas.dbf"), rows);
    WriteAnexos(dir.File("anexos.dbf"), domain);
    WriteQdp(dir.File("DadosQdp.DBF"), qdp);
  }

  static DbfWriter RisksWriter() {
    return DbfWriter({{"COD_SEG", 'C', 5},
                      {"APOLICE", 'C', 10},
                      {"ITEM", 'C', 4},
                      {"COD_MOD", 'N', 2},
                      {"INICIO_VIG", 'C', 8},
                      {"PREMIO", 'N', 14, 2}});
  }
  static DbfWriter ClaimsWriter() {
    return DbfWriter({{"COD_SEG", 'C', 5},
                      {"APOLICE", 'C', 10},
                      {"ITEM", 'C', 4},
                      {"COD_MOD", 'N', 2},
                      {"D_AVISO", 'C', 8},
                      {"INDENIZ", 'N', 14, 2}});
  }

  std::string Write(const DbfWriter& writer, const std::string& name) {
    writer.WriteTo(dir.File(name));
    return dir.File(name);
  }

  // Runs and returns the log; fails the test on an error.
  Lines Run() {
    WriteCatalogue();
    ValidationRun run = setup.NewRun();
    run.Execute();
    state = run.State();
    totals = run.Totals();
    return setup.lines;
  }

  const RunTotals& totalsOf() const { return totals; }

  struct Failure {
    std::string message, where, reason;
  };
  // Runs run expecting an error of type Error; its message and place.
  template <typename Error>
  Failure RunFailing(ValidationRun& run) {
    try {
      run.Execute();
      ADD_FAILURE() << "the run did not fail";
    } catch (const Error& error) {
      return {error.what(), error.Where(), error.Reason()};
    } catch (const std::exception& error) {
      ADD_FAILURE() << "another error: " << error.what();
    }
    return {};
  }
  // The same with a new run object over the catalogue of the test.
  template <typename Error>
  Failure RunFailing() {
    WriteCatalogue();
    ValidationRun run = setup.NewRun();
    const Failure failure = RunFailing<Error>(run);
    state = run.State();
    return failure;
  }

  TempDir dir;
  RunSetup setup;
  RunTotals totals;
  std::vector<FieldRuleRow> risksRules, claimsRules;
  std::vector<DomainRow> domain;
  std::vector<QdpRow> qdp;
  RunState state;
};

}  // namespace tarvelo::testing
