#include "validation/validation_run.h"
#include "validation/detail_listing.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <new>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "os/held_file.h"
#include "os/temporary_file.h"
#include "testing/catalogue_fixture.h"
#include "validation/export_path_check.h"
#include "validation/record_loop.h"
#include "validation/report_export.h"
#include "validation/report_format.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using testing::DbfFieldSpec;
using testing::DbfWriter;
using testing::DomainRow;
using testing::FakeHost;
using testing::FieldRuleRow;
using testing::QdpRow;
using Lines = std::vector<std::string>;

const std::string kRule(80, '=');
const std::string kFieldHeader = "Tabela              Campo               ErroNulo  %         ErroDom   %         ";

Lines Header() {
  return {
      "In\xED"
      "cio do processamento: 07/12/2026 08:05:09",
      "Per\xEDodo de an\xE1lise: 01/07/2022 a 30/06/2023", ""};
}

Lines Closing() { return {"", kRule, "", "Fim do processamento: 07/12/2026 08:05:09", "", kRule}; }

Lines RisksBlock() { return {kRule, "", "Arquivo de riscos vazio ou n\xE3o selecionado.", ""}; }
Lines ClaimsBlock() { return {kRule, "", "Arquivo de sinistros vazio ou n\xE3o selecionado.", ""}; }

Lines PremiumsSection(const Lines& rows) {
  Lines lines{kRule, "", "Teste de Pr\xEAmios Emitidos:",
              "Modalidade     Valor QDP                Valor Arquivo            Diferen\xE7"
              "a (%)",
              ""};
  lines.insert(lines.end(), rows.begin(), rows.end());
  const Lines tail{"",
                   kRule,
                   "",
                   "Observa\xE7\xF5"
                   "es:",
                   "O item Total informado de Pr\xEAmios considera somente as ap\xF3lices com in\xED"
                   "cio de vig\xEAncia "
                   "no per\xED"
                   "odo considerado: 01/07/2022 a 30/06/2023",
                   "A companhia dever\xE1 apresentar justificativas para as difere\xE7"
                   "as em rela\xE7\xE3o ao ",
                   "QDP, em anexo a este relat\xF3rio, quando:",
                   "1 - A diferen\xE7"
                   "a, em m\xF3"
                   "dulo, for maior que 10%",
                   "2 - Existir valor no arquivo, mas n\xE3o no QDP",
                   "3 - N\xE3o existir valor no arquivo, mas existir no QDP",
                   ""};
  lines.insert(lines.end(), tail.begin(), tail.end());
  return lines;
}

Lines ClaimsSection(const Lines& rows) {
  Lines lines{kRule, "", "Teste de Sinistros Pagos:",
              "Modalidade     Valor QDP                Valor Arquivo            Diferen\xE7"
              "a (%)",
              ""};
  lines.insert(lines.end(), rows.begin(), rows.end());
  const Lines tail{kRule,
                   "",
                   "Cr\xEDticas no arquivo de Sinistros",
                   "Observa\xE7\xF5"
                   "es:",
                   "A companhia dever\xE1 apresentar justificativas para as difere\xE7"
                   "as em rela\xE7\xE3o ao QDP,",
                   "em anexo a este relat\xF3rio, quando:",
                   "1 - A diferen\xE7"
                   "a, em m\xF3"
                   "dulo, for maior que 10%",
                   "2 - Existir valor no arquivo, mas n\xE3o no QDP",
                   "3 - N\xE3o existir valor no arquivo, mas existir no QDP",
                   "As justificativas devem ser baseadas em valores, n\xE3o apenas em car\xE1ter subjetivo.",
                   ""};
  lines.insert(lines.end(), tail.begin(), tail.end());
  return lines;
}

Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string Pad(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string FieldRow(const std::string& table, const std::string& field, const std::string& nulls,
                     const std::string& nullShare, const std::string& invalid, const std::string& invalidShare) {
  return Pad(table, 20) + Pad(field, 20) + Pad(nulls, 10) + Pad(nullShare + "%", 10) + Pad(invalid, 10) +
         Pad(invalidShare + "%", 10);
}

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A small rural catalogue: risks (COD_SEG, APOLICE, ITEM, COD_MOD,
// INICIO_VIG, PREMIO) and claims (COD_SEG, APOLICE, ITEM, COD_MOD, D_AVISO,
// INDENIZ), without rules unless a test adds them.
class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.folder = dir.Path();
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
    testing::WriteTabelas(dir.File("tabelas.dbf"), rows);
    testing::WriteAnexos(dir.File("anexos.dbf"), domain);
    testing::WriteQdp(dir.File("DadosQdp.DBF"), qdp);
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
    ValidationRun run(host);
    run.Execute();
    state = run.State();
    totals = run.Totals();
    return host.log.Lines();
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
    ValidationRun run(host);
    const Failure failure = RunFailing<Error>(run);
    state = run.State();
    return failure;
  }

  testing::TempDir dir;
  FakeHost host;
  RunTotals totals;
  std::vector<FieldRuleRow> risksRules, claimsRules;
  std::vector<DomainRow> domain;
  std::vector<QdpRow> qdp;
  RunState state;
};

TEST_F(RunTest, BothBoxesEmptyWritesHeaderBlocksAndClosing) {
  host.claim = "   ";
  EXPECT_EQ(Run(), Concat({Header(), RisksBlock(), ClaimsBlock(), Closing()}));
  EXPECT_EQ(host.progress, (std::vector<int>{75, 90}));
}

// The worked example of the result section: 1500 records; PREMIO is a
// text field here so that it can be both empty and too short.
TEST_F(RunTest, ResultSectionWorkedExample) {
  risksRules = {{"RISCOS", "COD_SEG", "", "1", "5", "0", "0", "0", "0", "1"},
                {"RISCOS", "PREMIO", "", "1", "10", "0", "0", "0", "0", "2", "1"},
                {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "0", "1", "1", "3"},
                {"RISCOS", "COD_MOD", "", "3", "0", "0", "1", "0", "0", "4"}};
  DbfWriter risks({{"COD_SEG", 'C', 5}, {"PREMIO", 'C', 10}, {"INICIO_VIG", 'C', 8}, {"COD_MOD", 'N', 2}});
  for (int i = 0; i < 1500; ++i) {
    // 3 empty premiums (empty, so also of the wrong length) and 9 more of
    // the wrong length; 1250 impossible dates, which also fall after the
    // window, so only the 250 good records are summed: 250 x 12,50.
    const std::string premium = i < 3 ? "" : i < 12 ? "12,50" : "0000012,50";
    risks.AddRecord({"05631", premium, i < 1250 ? "20231301" : "20230115", "61"});
  }
  host.risk = Write(risks, "RISCOS.DBF");
  EXPECT_EQ(Run(),
            Concat({{"In\xED"
                     "cio do processamento: 07/12/2026 08:05:09",
                     "Per\xEDodo de an\xE1lise: 01/07/2022 a 30/06/2023",
                     "Empresa: 05631 - " + Pad("SEGURADORA EXEMPLO S.A.", 40)},
                    {kRule, "Arquivo: " + host.risk, "Total de Registros: 1500", "", kFieldHeader,
                     "RISCOS              COD_SEG             0         0,00%     0         0,00%     ",
                     "RISCOS              PREMIO              3         0,20%     12        0,80%     ",
                     "RISCOS              INICIO_VIG          0         0,00%     1250      83,33%    ",
                     "RISCOS              COD_MOD             0         0,00%     0         0,00%     ", kRule, ""},
                    PremiumsSection({"Rural          1.000.000                3.125                    -99,69",
                                     "Animal         0                        0                        div por zero"}),
                    ClaimsBlock(),
                    Closing()}));
  EXPECT_EQ(state.riskCount, 1500);
  EXPECT_EQ(host.progress, (std::vector<int>{25, 75, 90}));
}

// Section lines of one file (from the rule line to the end of its field
// table) found in a log.
Lines SectionRows(const Lines& log, const std::string& table) {
  Lines rows;
  for (const auto& line : log)
    if (line.rfind(Pad(table, 20), 0) == 0) rows.push_back(line);
  return rows;
}

class StructureTest : public RunTest {
 protected:
  Lines RunRisks(const DbfWriter& risks) {
    host.risk = Write(risks, "r.dbf");
    return Run();
  }
  void ExpectStructureError(const Lines& log) {
    EXPECT_TRUE(Contains(log, "Erro: estrutura incorreta na tabela " + Pad("RISCOS", 20)));
    EXPECT_EQ(state.riskCount, 0);
    EXPECT_TRUE(Contains(log, "Arquivo de riscos vazio ou n\xE3o selecionado."));
    EXPECT_TRUE(SectionRows(log, "RISCOS").empty());
  }
};

TEST_F(StructureTest, ExactLayoutPasses) {
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  const Lines log = RunRisks(risks);
  EXPECT_FALSE(Contains(log, "Erro: estrutura incorreta na tabela " + Pad("RISCOS", 20)));
  EXPECT_EQ(state.riskCount, 1);
  EXPECT_EQ(SectionRows(log, "RISCOS").size(), 6u);
}

TEST_F(StructureTest, ExtraFieldFails) {
  DbfWriter risks({{"COD_SEG", 'C', 5},
                   {"APOLICE", 'C', 10},
                   {"ITEM", 'C', 4},
                   {"COD_MOD", 'N', 2},
                   {"INICIO_VIG", 'C', 8},
                   {"PREMIO", 'N', 14, 2},
                   {"FIM_VIG", 'C', 8}});
  risks.AddRecord({"05631"});
  ExpectStructureError(RunRisks(risks));
}

TEST_F(StructureTest, OtherWidthFails) {
  DbfWriter risks({{"COD_SEG", 'C', 5},
                   {"APOLICE", 'C', 10},
                   {"ITEM", 'C', 4},
                   {"COD_MOD", 'N', 2},
                   {"INICIO_VIG", 'C', 10},
                   {"PREMIO", 'N', 14, 2}});
  ExpectStructureError(RunRisks(risks));
}

TEST_F(StructureTest, MissingFieldAtARowsPositionFails) {
  DbfWriter risks(
      {{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 10}, {"ITEM", 'C', 4}, {"COD_MOD", 'N', 2}, {"INICIO_VIG", 'C', 8}});
  ExpectStructureError(RunRisks(risks));
}

TEST_F(StructureTest, OtherOrderFails) {
  DbfWriter risks({{"APOLICE", 'C', 10},
                   {"COD_SEG", 'C', 5},
                   {"ITEM", 'C', 4},
                   {"COD_MOD", 'N', 2},
                   {"INICIO_VIG", 'C', 8},
                   {"PREMIO", 'N', 14, 2}});
  ExpectStructureError(RunRisks(risks));
}

TEST_F(StructureTest, TypesFollowTheReaderMapping) {
  // A numeric field of width 10 without decimals is type 25, not 3.
  DbfWriter risks({{"COD_SEG", 'C', 5},
                   {"APOLICE", 'C', 10},
                   {"ITEM", 'C', 4},
                   {"COD_MOD", 'N', 10},
                   {"INICIO_VIG", 'C', 8},
                   {"PREMIO", 'N', 14, 2}});
  ExpectStructureError(RunRisks(risks));
}

TEST_F(StructureTest, LowerCaseCatalogueNameNeverMatches) {
  risksRules[0].campo = "cod_seg";
  DbfWriter risks = RisksWriter();
  ExpectStructureError(RunRisks(risks));
}

TEST_F(StructureTest, BlankTypeOrOrderNeverMatches) {
  risksRules[1].tipo = "";
  ExpectStructureError(RunRisks(RisksWriter()));
  risksRules[1].tipo = "1";
  risksRules[2].ordem = "0";
  ExpectStructureError(RunRisks(RisksWriter()));
}

TEST_F(StructureTest, TwoRowsForOnePositionCountTwiceAgainstAnExtraField) {
  risksRules.push_back({"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "6"});
  DbfWriter risks({{"COD_SEG", 'C', 5},
                   {"APOLICE", 'C', 10},
                   {"ITEM", 'C', 4},
                   {"COD_MOD", 'N', 2},
                   {"INICIO_VIG", 'C', 8},
                   {"PREMIO", 'N', 14, 2},
                   {"EXTRA", 'C', 1}});
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00", "X"});
  const Lines log = RunRisks(risks);
  EXPECT_FALSE(Contains(log, "Erro: estrutura incorreta na tabela " + Pad("RISCOS", 20)));
  EXPECT_EQ(state.riskCount, 1);
  // The unmatched position 7 has no row of its own: it is simply not checked.
  EXPECT_EQ(SectionRows(log, "RISCOS").size(), 7u);
}

TEST_F(StructureTest, TwoRowsForOnePositionFailAnExactFile) {
  // Seven matches against six fields: no more matches than fields pass.
  risksRules.push_back({"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "6"});
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  ExpectStructureError(RunRisks(risks));
}

TEST_F(StructureTest, TableNumberWithoutRowsGetsTheErrorLine) {
  // R, S, R: the name R gets numbers 1 and 3, and every R row takes 3.
  // Number 1 (the risks box) then has no row at all.
  std::vector<FieldRuleRow> split = {risksRules[0], claimsRules[0], risksRules[1]};
  risksRules = split;
  claimsRules.clear();
  DbfWriter risks({{"COD_SEG", 'C', 5}});
  risks.AddRecord({"05631"});
  host.risk = Write(risks, "r.dbf");
  const Lines log = Run();
  EXPECT_TRUE(Contains(log, "Erro: estrutura incorreta na tabela " + Pad("RISCOS", 20)));
  EXPECT_EQ(state.riskCount, 0);
}

// Every rule of a field, on a small table of its own.
class RulesTest : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    risksRules = {
        {"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
        {"RISCOS", "DT", "", "1", "8", "0", "0", "1", "1", "2", "1"},    // null, length, date
        {"RISCOS", "DT2", "", "1", "8", "0", "1", "1", "0", "3"},        // data 1 but zeros 0
        {"RISCOS", "CODE", "", "1", "5", "0", "1", "0", "0", "4", "1"},  // exact length 5
        {"RISCOS", "UF", "MOD", "1", "4", "1", "1", "0", "0", "5"},      // domain qualified by MOD
        {"RISCOS", "MOD", "", "1", "1", "0", "1", "0", "0", "6"},
        {"RISCOS", "QTD", "", "3", "0", "0", "0", "0", "0", "7"},  // integer, null rule
        {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "1", "0", "0", "8"},
        {"RISCOS", "COD_MOD", "", "3", "0", "0", "1", "0", "0", "9"},
        {"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "10"},
    };
    domain = {{"RISCOS", "UF", "AB", "5"}, {"RISCOS", "UF", "CD", ""}, {"RISCOS", "UF", "ef", ""}};
  }
  DbfWriter Writer() const {
    return DbfWriter({{"COD_SEG", 'C', 5},
                      {"DT", 'C', 8},
                      {"DT2", 'C', 8},
                      {"CODE", 'C', 5},
                      {"UF", 'C', 4},
                      {"MOD", 'C', 1},
                      {"QTD", 'N', 5},
                      {"INICIO_VIG", 'C', 8},
                      {"COD_MOD", 'N', 2},
                      {"PREMIO", 'N', 10, 2}});
  }
  static constexpr int kQtdOffset = 1 + 5 + 8 + 8 + 5 + 4 + 1;
};

TEST_F(RulesTest, EachRuleCountsItsFailures) {
  DbfWriter risks = Writer();
  risks.AddRecord({"05631", "", "20231301", "123", " ab ", "5", "", "20230101", "61", "1.00"});
  risks.AddRecord({"05631", "00000000", "20231301", "00123", "cd", " ", "7", "20230101", "61", "1.00"});
  std::string leftAligned =
      risks.EncodeRecord({"05631", "20231301", "x", "00123", "ef", "", "", "20230101", "61", "1.00"});
  leftAligned.replace(kQtdOffset, 5, "12   ");
  risks.AddRawRecord(leftAligned);
  host.risk = Write(risks, "r.dbf");
  const Lines rows = SectionRows(Run(), "RISCOS");
  ASSERT_EQ(rows.size(), 10u);
  // DT: blank = 1 empty + wrong length + not a date; month 13 = not a date.
  EXPECT_EQ(rows[1], FieldRow("RISCOS", "DT", "1", "33,33", "3", "100,00"));
  // DT2: data 1 without zeros 1 is no date rule at all.
  EXPECT_EQ(rows[2], FieldRow("RISCOS", "DT2", "0", "0,00", "0", "0,00"));
  // CODE: "123" padded with blanks has 3 characters, not 5.
  EXPECT_EQ(rows[3], FieldRow("RISCOS", "CODE", "0", "0,00", "1", "33,33"));
  // UF: " ab " qualified by 5 is AB/5; "cd" with a blank qualifier is CD;
  // the lower-case catalogue value "ef" is never found.
  EXPECT_EQ(rows[4], FieldRow("RISCOS", "UF", "0", "0,00", "1", "33,33"));
  // QTD: all blanks is empty; digits written left-aligned are not.
  EXPECT_EQ(rows[6], FieldRow("RISCOS", "QTD", "1", "33,33", "0", "0,00"));
}

TEST_F(RulesTest, BlankTextWithNullAllowedIsNotCounted) {
  risksRules[1].nulo = "1";
  DbfWriter risks = Writer();
  risks.AddRecord({"05631", "", "", "00123", "CD", "", "1", "20230101", "61", "1.00"});
  host.risk = Write(risks, "r.dbf");
  const Lines rows = SectionRows(Run(), "RISCOS");
  EXPECT_EQ(rows[1], FieldRow("RISCOS", "DT", "0", "0,00", "2", "200,00"));
}

TEST_F(RulesTest, LeftAlignedDigitsWithTheDomainRuleEndTheRun) {
  risksRules[6].dominio = "1";
  DbfWriter risks = Writer();
  risks.AddRecord({"05631", "20230101", "", "00123", "CD", "", "1", "20230101", "61", "1.00"});
  std::string leftAligned =
      risks.EncodeRecord({"05631", "20230101", "", "00123", "CD", "", "", "20230101", "61", "1.00"});
  leftAligned.replace(kQtdOffset, 5, "12   ");
  risks.AddRawRecord(leftAligned);
  host.risk = Write(risks, "r.dbf");
  const Failure failure = RunFailing<VariantError>();
  EXPECT_EQ(failure.message, "Could not convert variant of type (Null) into type (Integer)");
  EXPECT_EQ(failure.where, "Arquivo: " + host.risk + ", registro 2, campo QTD");
  // The lines written before the error stay; there are no closing lines.
  EXPECT_EQ(host.log.Lines(), Header());
}

TEST_F(RulesTest, DependOnAMissingFieldEndsTheRun) {
  risksRules[4].depende = "NOPE";
  DbfWriter risks = Writer();
  risks.AddRecord({"05631", "20230101", "", "00123", "CD", "", "1", "20230101", "61", "1.00"});
  host.risk = Write(risks, "r.dbf");
  const Failure failure = RunFailing<DatabaseError>();
  EXPECT_EQ(failure.message, "tbDados: Field 'NOPE' not found");
  EXPECT_EQ(failure.where, "Arquivo: " + host.risk + ", registro 1, campo UF");
}

TEST_F(RunTest, SecondCompanyStopsTheFileAtItsFirstRecord) {
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  DbfWriter claims = ClaimsWriter();
  claims.AddRecord({"05632", "P1", "0001", "61", "20230101", "10.00"});
  claims.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  host.risk = Write(risks, "r.dbf");
  host.claim = Write(claims, "s.dbf");
  const Lines log = Run();
  EXPECT_TRUE(Contains(log, "Erro: mais de uma empresa encontrada no arquivo da tabela " + Pad("SINISTROS", 20)));
  EXPECT_TRUE(SectionRows(log, "SINISTROS").empty());
  EXPECT_EQ(state.claimCount, 1);
  EXPECT_FALSE(state.recordsOk);
  EXPECT_EQ(SectionRows(log, "RISCOS").size(), 6u);
}

TEST_F(RunTest, CompanyCodesAreComparedExactly) {
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"0563A", "P1", "0001", "61", "20230101", "10.00"});
  risks.AddRecord({"0563a", "P1", "0001", "61", "20230101", "10.00"});
  host.risk = Write(risks, "r.dbf");
  const Lines log = Run();
  EXPECT_TRUE(Contains(log, "Erro: mais de uma empresa encontrada no arquivo da tabela " + Pad("RISCOS", 20)));
  EXPECT_EQ(state.riskCount, 2);
  EXPECT_EQ(log[2], "");  // no section: the company line is never written
}

TEST_F(RunTest, FirstFileWithoutRecordsLeavesTheCompanyToTheNext) {
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"}, true);  // deleted: no visible record
  DbfWriter claims = ClaimsWriter();
  claims.AddRecord({"05631", "P1", "0001", "64", "20230101", "40.00"});
  host.risk = Write(risks, "r.dbf");
  host.claim = Write(claims, "s.dbf");
  const Lines log = Run();
  const Lines expectedStart = {
      kRule, "Arquivo: " + host.risk,  "Total de Registros: 0", "", kFieldHeader, "", "Arquivo sem registros.....", "",
      kRule, "Arquivo: " + host.claim, "Total de Registros: 1"};
  EXPECT_EQ(Lines(log.begin() + 3, log.begin() + 14), expectedStart);
  EXPECT_EQ(log[2], "Empresa: 05631 - " + Pad("SEGURADORA EXEMPLO S.A.", 40));
  EXPECT_EQ(state.companyCode, "05631");
  EXPECT_TRUE(Contains(log, "Animal         50                       40                       -20,00"));
  // Step 12 still reports the empty risks file.
  EXPECT_TRUE(Contains(log, "Arquivo de riscos vazio ou n\xE3o selecionado."));
}

TEST_F(RunTest, ReferenceTableErrorsEndTheRunWhileDataFileErrorsAreCaught) {
  // A null first code in the data file is caught: no company, no error.
  DbfWriter risks({{"COD_SEG", 'N', 5},
                   {"APOLICE", 'C', 10},
                   {"ITEM", 'C', 4},
                   {"COD_MOD", 'N', 2},
                   {"INICIO_VIG", 'C', 8},
                   {"PREMIO", 'N', 14, 2}});
  risksRules[0].tipo = "3";
  risksRules[0].tamanho = "0";
  risks.AddRecord({"", "P1", "0001", "61", "20230101", "10.00"});
  host.risk = Write(risks, "r.dbf");
  const Lines log = Run();
  EXPECT_EQ(Lines(log.end() - 6, log.end()), Closing());
  EXPECT_EQ(state.companyCode, "");

  // Errors of "DadosQdp.DBF" itself end the run with their message.
  risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  host.risk = Write(risks, "r.dbf");
  risksRules[0].tipo = "1";
  risksRules[0].tamanho = "5";
  WriteCatalogue();
  DbfWriter noName({{"COD_SEG", 'C', 5}, {"PR_RURAL", 'N', 16, 2}});
  noName.AddRecord({"05631", "1"});
  Write(noName, "DadosQdp.DBF");
  {
    // The run goes before the file is written again: on Windows the table
    // that the failed run left open shares its file for reading only.
    ValidationRun run(host);
    EXPECT_EQ(RunFailing<DatabaseError>(run).message, "tbDadosQdp: Field 'empresa' not found");
  }
  DbfWriter textAmount({{"COD_SEG", 'C', 5}, {"EMPRESA", 'C', 40}, {"PR_RURAL", 'C', 16}});
  textAmount.AddRecord({"05631", "SEGURADORA", "abc"});
  Write(textAmount, "DadosQdp.DBF");
  ValidationRun run(host);
  EXPECT_EQ(RunFailing<ConvertError>(run).message, "'abc             ' is not a valid floating point value");
}

TEST_F(RunTest, CatalogueWithoutATableOfTheLineEndsTheRun) {
  for (auto& row : risksRules) row.ramo = "ANIMAL";
  for (auto& row : claimsRules) row.ramo = "ANIMAL";
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  host.risk = Write(risks, "r.dbf");
  const std::string message =
      "Catalogue file \"" + dir.File("tabelas.dbf") + "\" defines no table for the line of business \"RURAL\"";
  EXPECT_EQ(RunFailing<TarveloError>().message, message);
  risksRules.clear();
  claimsRules.clear();
  EXPECT_EQ(RunFailing<TarveloError>().message, message);
  EXPECT_EQ(host.log.Lines(), Header());
}

TEST_F(RunTest, UnknownCompanyGivesAnEmptyNameAndNoWindow) {
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"99999", "P1", "0001", "61", "20230101", "10.00"});
  host.risk = Write(risks, "r.dbf");
  const Lines log = Run();
  EXPECT_EQ(log[2], "Empresa: 99999 - ");
  EXPECT_TRUE(Contains(log, "Rural          0                        0                        div por zero"));
}

#ifndef _WIN32  // Windows allows no control character in a file name
TEST_F(RunTest, ControlCharactersOfAFileNameAreEscapedOnItsReportLine) {
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  host.risk = Write(risks, "r\n\x1b[2J\x7f.dbf");
  const Lines log = Run();
  EXPECT_TRUE(Contains(log, "Arquivo: " + dir.Path() + "r\\x0A\\x1B[2J\\x7F.dbf"));
  for (const std::string& line : log) EXPECT_EQ(line.find_first_of("\n\x1b\x7f"), std::string::npos) << line;
}
#endif

// A listing whose every row needs memory that is not there.
class NoMemorySink : public DetailSink {
 public:
  void BeginFile(const std::string&, const std::string&) override {}
  void Row(const DetailRow&) override { throw std::bad_alloc(); }
};

TEST_F(RunTest, MemoryRunningOutNamesTheStepAndTheFile) {
  risksRules[1].nulo = "0";  // an empty APOLICE is counted, and listed
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "", "0001", "61", "20230101", "10.00"});
  host.risk = Write(risks, "r.dbf");
  NoMemorySink sink;
  host.details = &sink;
  WriteCatalogue();
  ValidationRun run(host);
  try {
    run.Execute();
    ADD_FAILURE() << "the run did not fail";
  } catch (const OutOfMemoryError& error) {
    EXPECT_EQ(ErrorText(error), "Out of memory while checking the records.\nArquivo: " + host.risk);
  }
}

// Totals: the window, the lines of business and the difference.
class TotalsTest : public RunTest {
 protected:
  Lines RunWith(const std::vector<std::vector<std::string>>& records) {
    DbfWriter risks = RisksWriter();
    for (const auto& r : records) risks.AddRecord(r);
    host.risk = Write(risks, "r.dbf");
    return Run();
  }
};

TEST_F(TotalsTest, WindowIncludesBothEndsOnly) {
  const Lines log = RunWith({{"05631", "P", "1", "61", "20220630", "1.00"},
                             {"05631", "P", "1", "61", "20220701", "10.00"},
                             {"05631", "P", "1", "61", "20230630", "100.00"},
                             {"05631", "P", "1", "61", "20230701", "1000.00"},
                             {"05631", "P", "1", "61", "", "10000.00"},
                             {"05631", "P", "1", "61", "2023", "100000.00"}});
  EXPECT_DOUBLE_EQ(totalsOf().ruralPremiums, 110.0 + 100000.0);  // "2023" sorts inside the window
}

TEST_F(TotalsTest, ModalityCodeSelectsTheLine) {
  qdp[1].pr_animal = "100";
  RunWith({{"05631", "P", "1", "64", "20230101", "40.00"},
           {"05631", "P", "1", "", "20230101", "2.00"},
           {"05631", "P", "1", "65", "20230101", "1.00"}});
  EXPECT_DOUBLE_EQ(totalsOf().animalPremiums, 40.0);
  EXPECT_DOUBLE_EQ(totalsOf().ruralPremiums, 3.0);
}

TEST_F(TotalsTest, NegativeAmountsAndDifferences) {
  qdp[1].pr_rural = "1500000";
  const Lines log = RunWith({{"05631", "P", "1", "61", "20230101", "-2000000.00"}});
  EXPECT_TRUE(Contains(log, "Rural          1.500.000                -2.000.000               -233,33"));
}

TEST_F(TotalsTest, EqualTotalsAndEmptyFile) {
  qdp[1].pr_rural = "1000000";
  const Lines log = RunWith({{"05631", "P", "1", "61", "20230101", "1000000.00"}});
  EXPECT_TRUE(Contains(log, "Rural          1.000.000                1.000.000                0,00"));
  EXPECT_TRUE(Contains(log, "Animal         0                        0                        div por zero"));
}

TEST_F(TotalsTest, NullAmountInsideTheWindowEndsTheRun) {
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P", "1", "61", "20230101", "10.00"});
  risks.AddRecord({"05631", "P", "1", "61", "20240101", ""});  // outside: never added
  risks.AddRecord({"05631", "P", "1", "61", "20230101", ""});
  host.risk = Write(risks, "r.dbf");
  const Failure failure = RunFailing<VariantError>();
  EXPECT_EQ(failure.message, "Could not convert variant of type (Null) into type (Double)");
  EXPECT_EQ(failure.where, "Arquivo: " + host.risk + ", registro 3, campo PREMIO");
}

TEST_F(TotalsTest, ClaimsSectionWorkedExampleValues) {
  qdp[1].sin_rural = "1000000";
  qdp[1].sin_animal = "0";
  DbfWriter claims = ClaimsWriter();
  claims.AddRecord({"05631", "P", "1", "61", "20230101", "1050000.50"});
  claims.AddRecord({"05631", "P", "1", "64", "20230101", "2345.67"});
  host.claim = Write(claims, "s.dbf");
  const Lines log = Run();
  const auto at = std::find(log.begin(), log.end(), "Teste de Sinistros Pagos:");
  ASSERT_NE(at, log.end());
  const Lines section(at - 2, at + 16);
  EXPECT_EQ(section, ClaimsSection({"Rural          1.000.000                1.050.001                5,00",
                                    "Animal         0                        2.346                    div por zero"}));
}

TEST_F(RunTest, CatalogueSelectsItsLineAndNumbersTablesInFileOrder) {
  // The claims table listed first becomes number 1: the risks box feeds it.
  std::vector<FieldRuleRow> rows = {claimsRules[0], risksRules[0]};
  rows[0].ramo = " RURAL ";  // trimmed: used
  rows[1].deleted = true;    // deleted catalogue rows are used like the others
  rows.push_back({"OUTRO", "X", "", "1", "5", "0", "1", "0", "0", "1", "0", "Rural"});  // not this line
  risksRules = rows;
  claimsRules.clear();
  domain = {{"NENHUMA", "COD_SEG", "05631", ""}};  // a table the line does not define: skipped
  DbfWriter onlyCode({{"COD_SEG", 'C', 5}});
  onlyCode.AddRecord({"05631"});
  host.risk = Write(onlyCode, "r.dbf");
  // The file passes the SINISTROS layout (number 1), and as the file of
  // number 1 its premiums are summed: INICIO_VIG is missing.
  WriteCatalogue();
  ValidationRun run(host);
  EXPECT_EQ(RunFailing<DatabaseError>(run).message, "tbDados: Field 'INICIO_VIG' not found");
  // "OUTRO", of the line "Rural", was not numbered; the deleted row was
  // loaded; the value of an unknown table was left out.
  EXPECT_EQ(run.Catalogue().TableOrder().RecordCount(), 2);
  EXPECT_EQ(run.Catalogue().Structure().RecordCount(), 2);
  EXPECT_EQ(run.Catalogue().Domain().RecordCount(), 0);
}
TEST_F(RunTest, TextModalityCodesNeverEndTheRun) {
  // COD_MOD as text: only a text that spells 64 is the animal line; an
  // empty or non-numeric code is rural, without a conversion error.
  risksRules[3].tipo = "1";
  risksRules[3].tamanho = "3";
  qdp[1].pr_animal = "100";
  DbfWriter risks({{"COD_SEG", 'C', 5},
                   {"APOLICE", 'C', 10},
                   {"ITEM", 'C', 4},
                   {"COD_MOD", 'C', 3},
                   {"INICIO_VIG", 'C', 8},
                   {"PREMIO", 'N', 14, 2}});
  risks.AddRecord({"05631", "P", "1", " 64", "20230101", "100.00"});
  risks.AddRecord({"05631", "P", "1", "", "20230101", "20.00"});
  risks.AddRecord({"05631", "P", "1", "ABC", "20230101", "3.00"});
  risks.AddRecord({"05631", "P", "1", "640", "20230101", "4.00"});
  host.risk = Write(risks, "r.dbf");
  const Lines log = Run();
  EXPECT_DOUBLE_EQ(totals.animalPremiums, 100.0);
  EXPECT_DOUBLE_EQ(totals.ruralPremiums, 27.0);
  EXPECT_TRUE(Contains(log, "Animal         100                      100                      0,00"));
}

TEST_F(RulesTest, DateRuleOnADateFieldEndsTheRun) {
  // The date rule is meant for YYYYMMDD text: on a DBF date field the
  // comparison with the text of zeros (empty: the size is 0) cannot convert.
  risksRules[1].tipo = "9";
  risksRules[1].tamanho = "0";
  risksRules[1].zerosesq = "0";
  DbfWriter risks({{"COD_SEG", 'C', 5},
                   {"DT", 'D', 8},
                   {"DT2", 'C', 8},
                   {"CODE", 'C', 5},
                   {"UF", 'C', 4},
                   {"MOD", 'C', 1},
                   {"QTD", 'N', 5},
                   {"INICIO_VIG", 'C', 8},
                   {"COD_MOD", 'N', 2},
                   {"PREMIO", 'N', 10, 2}});
  risks.AddRecord({"05631", "20230101", "", "00123", "CD", "", "1", "20230101", "61", "1.00"});
  host.risk = Write(risks, "r.dbf");
  const Failure failure = RunFailing<VariantError>();
  EXPECT_EQ(failure.message, "Could not convert variant of type (String) into type (Date)");
  EXPECT_EQ(failure.where, "Arquivo: " + host.risk + ", registro 1, campo DT");
}

TEST_F(RunTest, CountsAreOfVisibleRecordsOnly) {
  DbfWriter risks = RisksWriter();
  for (int i = 0; i < 300; ++i)
    risks.AddRecord({"05631", "P", "1", "61", i % 3 ? "20230101" : "", "1.00"}, i % 10 == 0);
  host.risk = Write(risks, "r.dbf");
  const Lines log = Run();
  EXPECT_EQ(state.riskCount, 270);
  // Deleted records are neither counted nor summed: 270 visible, 180 dated.
  EXPECT_DOUBLE_EQ(totals.ruralPremiums, 180.0);
  EXPECT_TRUE(Contains(log, "Total de Registros: 270"));
}
const char* const kMissesSentence =
    " sinistros sem ap\xF3lices no per\xED"
    "odo, num total de ";

TEST(ClaimsWithoutPolicySentence, WordingAndShareWithoutOverflow) {
  const auto br = RegionalSettings::Brazilian();
  EXPECT_EQ(ClaimsWithoutPolicySentence(12, 1500, br), std::string("12") + kMissesSentence + "1500 sinistros (0,80%).");
  EXPECT_EQ(ClaimsWithoutPolicySentence(0, 7, br), std::string("0") + kMissesSentence + "7 sinistros (0,00%).");
  // Past 21,474,836 misses the product by 100 leaves 32 bits.
  EXPECT_EQ(ClaimsWithoutPolicySentence(30000000, 40000000, br),
            std::string("30000000") + kMissesSentence + "40000000 sinistros (75,00%).");
}

// Claims against risks through the temporary index.
class ClaimsTest : public RunTest {
 protected:
  void AddRisk(const std::string& policy, const std::string& item, bool deleted = false) {
    risks.AddRecord({"05631", policy, item, "61", "20230101", "1.00"}, deleted);
  }
  void AddClaim(const std::string& policy, const std::string& item, bool deleted = false) {
    claims.AddRecord({"05631", policy, item, "61", "20230101", "1.00"}, deleted);
  }
  Lines RunBoth() {
    host.risk = Write(risks, "r.dbf");
    host.claim = Write(claims, "s.dbf");
    return Run();
  }
  std::string Sentence(int misses, int claimCount, const std::string& share) {
    return std::to_string(misses) + kMissesSentence + std::to_string(claimCount) + " sinistros (" + share + "%).";
  }
  bool IndexFileExists() const { return std::filesystem::exists(dir.File("apolice.ntx")); }

  DbfWriter risks = RisksWriter();
  DbfWriter claims = ClaimsWriter();
};

TEST_F(ClaimsTest, EveryClaimFoundGivesZeroAndLeavesNoIndexFile) {
  AddRisk("P1", "0001");
  AddRisk("P1", "0002");
  AddClaim("P1", "0002");
  AddClaim("P1", "0001");
  const Lines log = RunBoth();
  const Lines tail(log.end() - 10, log.end() - 6);
  EXPECT_EQ(tail, (Lines{kRule, "", Sentence(0, 2, "0,00"), ""}));
  EXPECT_EQ(Lines(log.end() - 6, log.end()), Closing());
  EXPECT_FALSE(IndexFileExists());
}

TEST_F(ClaimsTest, MissesAreCountedPerClaim) {
  AddRisk("P1", "0001");
  AddRisk("P2", "0001", true);  // only in a deleted record: not found
  AddRisk("P3", "0001", true);  // deleted duplicate before a live one: found
  AddRisk("P3", "0001");
  AddClaim("P1", "0002");  // policy exists with another item
  AddClaim("P9", "0001");  // two claims on the same missing item
  AddClaim("P9", "0001");
  AddClaim("P2", "0001");
  AddClaim("P3", "0001");
  AddClaim("p1", "0001");  // keys are case-sensitive
  AddClaim("P1", "0001");
  AddClaim("P8", "0001", true);  // a deleted claim is in neither number
  EXPECT_TRUE(Contains(RunBoth(), Sentence(5, 7, "71,43")));
}

TEST_F(ClaimsTest, NarrowerClaimFieldsMatchByPrefix) {
  claimsRules[2].tamanho = "2";
  claims = DbfWriter({{"COD_SEG", 'C', 5},
                      {"APOLICE", 'C', 10},
                      {"ITEM", 'C', 2},
                      {"COD_MOD", 'N', 2},
                      {"D_AVISO", 'C', 8},
                      {"INDENIZ", 'N', 14, 2}});
  AddRisk("1234567890", "0001");
  AddClaim("1234567890", "00");  // "123456789000" begins the risks key
  AddClaim("1234567890", "01");
  EXPECT_TRUE(Contains(RunBoth(), Sentence(1, 2, "50,00")));
}

TEST_F(ClaimsTest, ClaimTextsPaddedWithNulBytesAreFilledWithBlanks) {
  AddRisk("P1", "01");
  AddRisk("P22", "0002");
  // APOLICE (10 bytes from 6) and ITEM (4 bytes from 16) padded with NULs.
  const auto nulPadded = [&](const std::string& policy, const std::string& item) {
    std::string record = claims.EncodeRecord({"05631", "", "", "61", "20230101", "1.00"});
    record.replace(6, 10, policy + std::string(10 - policy.size(), '\0'));
    record.replace(16, 4, item + std::string(4 - item.size(), '\0'));
    claims.AddRawRecord(record);
  };
  nulPadded("P1", "01");
  nulPadded("P22", "0002");
  nulPadded("P9", "01");  // no such policy: still a miss
  AddClaim("P1", "01");   // blank padding gives what it always gave
  AddClaim("P1", "0");
  EXPECT_TRUE(Contains(RunBoth(), Sentence(2, 5, "40,00")));
}

TEST_F(ClaimsTest, SkippedWithoutUsableRisksFile) {
  risks = DbfWriter({{"COD_SEG", 'C', 5}});  // wrong structure
  risks.AddRecord({"05631"});
  AddClaim("P1", "0001");
  const Lines log = RunBoth();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.find(kMissesSentence) != std::string::npos; }),
            0);
  EXPECT_FALSE(IndexFileExists());
}

TEST_F(ClaimsTest, RunsWhenOnlyAnEarlierFileHadAnotherCompany) {
  // The risks file stops at a second company, yet it was counted, and the
  // claims file (the last one opened) passed: the test runs.
  AddRisk("P1", "0001");
  risks.AddRecord({"99999", "P2", "0001", "61", "20230101", "1.00"});
  AddClaim("P2", "0001");
  const Lines log = RunBoth();
  EXPECT_TRUE(Contains(log, "Erro: mais de uma empresa encontrada no arquivo da tabela " + Pad("RISCOS", 20)));
  // Only the records the loop read were checked, but the index covers the
  // whole risks file.
  EXPECT_TRUE(Contains(log, Sentence(0, 1, "0,00")));
}

TEST_F(ClaimsTest, SameFileInBothBoxesCannotBeOpenedTwice) {
  // One file that passes both layouts (they are the same here) and has the
  // fields of both totals tests.
  DbfWriter both({{"COD_SEG", 'C', 5},
                  {"APOLICE", 'C', 10},
                  {"ITEM", 'C', 4},
                  {"INICIO_VIG", 'C', 8},
                  {"D_AVISO", 'C', 8},
                  {"COD_MOD", 'N', 2},
                  {"PREMIO", 'N', 14, 2},
                  {"INDENIZ", 'N', 14, 2}});
  both.AddRecord({"05631", "P1", "0001", "20230101", "20230101", "61", "1.00", "1.00"});
  risksRules.clear();
  claimsRules.clear();
  int position = 0;
  for (const auto& field : both.Fields()) {
    const std::string type = field.type == 'C' ? "1" : field.decimals > 0 ? "6" : "3";
    const std::string size = field.type == 'C' ? std::to_string(field.length) : "0";
    ++position;
    risksRules.push_back({"RISCOS", field.name, "", type, size, "0", "1", "0", "0", std::to_string(position)});
    claimsRules.push_back({"SINISTROS", field.name, "", type, size, "0", "1", "0", "0", std::to_string(position)});
  }
  host.risk = host.claim = Write(both, "both.dbf");
  const Failure failure = RunFailing<DbfError>();
  EXPECT_EQ(failure.message, "DbfTable.InternalOpen: Open error \"" + host.claim + "\"");
  EXPECT_EQ(state.riskCount, 1);
  EXPECT_EQ(state.claimCount, 1);
}

TEST_F(ClaimsTest, LeftoverIndexIsReplacedAndAHeldOneIsNotOverwritten) {
  AddRisk("P1", "0001");
  AddClaim("P1", "0001");
  testing::WriteFile(dir.File("apolice.ntx"), "left over by an earlier run");
  EXPECT_TRUE(Contains(RunBoth(), Sentence(0, 1, "0,00")));
  EXPECT_FALSE(IndexFileExists());

  // Another run (here: another holder of the file) has it open.
  testing::WriteFile(dir.File("apolice.ntx"), "");
  ValidationRun run(host);
  {
    const os::HeldFile held(dir.File("apolice.ntx"));
    ASSERT_TRUE(held.Holds());
    const Failure failure = RunFailing<DbfError>(run);
    EXPECT_EQ(failure.message, "NtxIndex.CreateIndex: Create error \"apolice\"");
    EXPECT_EQ(failure.reason, kFileInUse);
    EXPECT_EQ(failure.where, "Arquivo: " + dir.File("apolice.ntx"));
  }
  // The holder's file was left alone, and the same run object works again.
  EXPECT_TRUE(IndexFileExists());
  run.Execute();
  EXPECT_TRUE(Contains(host.log.Lines(), Sentence(0, 1, "0,00")));
}

#ifndef _WIN32
// Not on Windows, where a file that the run holds open keeps its name until
// it is closed: no other can be made there meanwhile.
//
// The index file removed and another made at its name while the run
// searches (another run's, say): neither the run's own removal nor the
// cleanup a signal would make touches the newcomer.
TEST_F(ClaimsTest, RemovalLeavesAFileMadeAtTheIndexNameSinceTheBuild) {
  AddRisk("P1", "0001");
  AddClaim("P9", "0001");  // a miss: its row comes while the index exists
  struct Replacing : DetailSink {
    std::string index;
    bool replaced = false;
    std::string afterSignalCleanup;
    void BeginFile(const std::string&, const std::string&) override {}
    void Row(const DetailRow& row) override {
      if (row.rule != DetailRule::NoPolicy || replaced) return;
      replaced = std::filesystem::remove(index);
      testing::WriteFile(index, "another's");
      os::RemoveTemporaryFiles();
      afterSignalCleanup = testing::ReadFile(index);
    }
  } sink;
  sink.index = dir.File("apolice.ntx");
  host.details = &sink;
  EXPECT_TRUE(Contains(RunBoth(), Sentence(1, 1, "100,00")));
  EXPECT_TRUE(sink.replaced);
  EXPECT_EQ(sink.afterSignalCleanup, "another's");
  EXPECT_EQ(testing::ReadFile(dir.File("apolice.ntx")), "another's");
}
#endif

#ifndef _WIN32
// Not on Windows: the file size limit, and symbolic links, permissions and
// owners made the POSIX way (a symbolic link there needs a privilege users
// lack).
//
// Runs body while no file may grow past 8192 bytes: writes beyond fail
// as they would on a full disk.
void WithSmallFileSizeLimit(const std::function<void()>& body) {
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit small{8192, limit.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  body();
  ::setrlimit(RLIMIT_FSIZE, &limit);
  ::signal(SIGXFSZ, previous);
}

TEST_F(ClaimsTest, IndexIsCreatedNewNeverThroughALinkWhoeverOwnsTheLeftover) {
  AddRisk("P1", "0001");
  AddClaim("P1", "0001");
  // A link planted in the folder: its target outside stays as it was.
  testing::TempDir elsewhere;
  testing::WriteFile(elsewhere.File("target"), "not an index");
  ASSERT_EQ(::symlink(elsewhere.File("target").c_str(), dir.File("apolice.ntx").c_str()), 0);
  EXPECT_TRUE(Contains(RunBoth(), Sentence(0, 1, "0,00")));
  EXPECT_EQ(testing::ReadFile(elsewhere.File("target")), "not an index");
  EXPECT_FALSE(IndexFileExists());
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("apolice.ntx")));

  // A leftover of another user that this one may not write: removed.
  testing::WriteFile(dir.File("apolice.ntx"), "left over");
  ASSERT_EQ(::chmod(dir.File("apolice.ntx").c_str(), 0444), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(dir.File("apolice.ntx").c_str(), 65534, 65534), 0);
  }
  EXPECT_TRUE(Contains(RunBoth(), Sentence(0, 1, "0,00")));
  EXPECT_FALSE(IndexFileExists());
}
#endif

TEST_F(ClaimsTest, IndexFileIsRemovedWhenAnErrorEndsTheRun) {
  // A claims layout whose item field has another name passes its check,
  // then the search cannot join the key: the error comes with the index
  // built.
  const std::vector<FieldRuleRow> claimsLayout = claimsRules;
  claimsRules[2].campo = "ITEN";
  claims = DbfWriter({{"COD_SEG", 'C', 5},
                      {"APOLICE", 'C', 10},
                      {"ITEN", 'C', 4},
                      {"COD_MOD", 'N', 2},
                      {"D_AVISO", 'C', 8},
                      {"INDENIZ", 'N', 14, 2}});
  AddClaim("P1", "0001");
  for (int i = 0; i < 1000; ++i) AddRisk("P" + std::to_string(i), "0001");
  host.risk = Write(risks, "r.dbf");
  host.claim = Write(claims, "s.dbf");
  EXPECT_EQ(RunFailing<DatabaseError>().message, "tbSinistros: Field 'item' not found");
  EXPECT_FALSE(IndexFileExists());

#ifndef _WIN32  // no file size limit on Windows
  // A write that fails while the index is built (here: a file size limit,
  // as a full disk would): the partial file goes too.
  claimsRules = claimsLayout;
  claims = ClaimsWriter();
  AddClaim("P1", "0001");
  host.claim = Write(claims, "s.dbf");
  WriteCatalogue();
  ValidationRun run(host);
  std::string message, reason;
  WithSmallFileSizeLimit([&] {
    try {
      run.Execute();
    } catch (const DbfError& error) {
      message = error.what();
      reason = error.Reason();
    }
  });
  EXPECT_EQ(message, "NtxIndex.WritePage: Write error \"" + dir.File("apolice.ntx") + "\"");
  EXPECT_EQ(reason, "File too large");
  EXPECT_FALSE(IndexFileExists());
#endif
}

TEST_F(RunTest, OpenErrorsGiveTheSystemsReasonWithControlCharactersEscaped) {
  host.risk = dir.File("absent.dbf");
  Failure failure = RunFailing<DbfError>();
  EXPECT_EQ(failure.message, "DbfTable.InternalOpen: Open error \"" + host.risk + "\"");
  EXPECT_EQ(failure.reason, os::NoSuchFileReason());

  // A catalogue file that another run holds: the same exclusive opening,
  // and the message says why.
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  host.risk = Write(risks, "r.dbf");
  WriteCatalogue();
  ValidationRun run(host);
  {
    const os::HeldFile held(dir.File("DadosQdp.DBF"));
    ASSERT_TRUE(held.Holds());
    failure = RunFailing<DbfError>(run);
  }
  EXPECT_EQ(failure.message, "DbfTable.InternalOpen: Open error \"" + dir.File("DadosQdp.DBF") + "\"");
  EXPECT_EQ(failure.reason, kFileInUse);

  // A record longer than the read buffer: the message as it is, and the
  // file on the location line.
  DbfWriter wide({{"COD_SEG", 'C', 5}, {"FILL", 'C', 4095}});
  wide.AddRecord({"05631", "x"});
  host.risk = Write(wide, "wide.dbf");
  failure = RunFailing<DbfError>(run);
  EXPECT_EQ(failure.message, "DbfTable.InternalOpen: BufferSize too small!");
  EXPECT_EQ(failure.where, "Arquivo: " + host.risk);

  // Control characters of a name, DEL among them, reach no terminal raw.
  host.risk = dir.File("a\x1b[2J\tb\x7f.dbf");
  try {
    run.Execute();
    ADD_FAILURE() << "the run did not fail";
  } catch (const DbfError& error) {
#ifdef _WIN32
    // Windows refuses such a name before it looks for the file.
    const std::string reason = os::SystemReason(123);  // ERROR_INVALID_NAME
#else
    const std::string reason = "No such file or directory";
#endif
    EXPECT_EQ(ErrorText(error),
              "DbfTable.InternalOpen: Open error \"" + dir.Path() + "a\\x1B[2J\\x09b\\x7F.dbf\"\n" + reason);
  }
}

#ifndef _WIN32
// Not on Windows, where a byte that is no UTF-8 is no part of a file name
// (the command line's tests open names outside the code page there).
TEST_F(ClaimsTest, NamesOutsideTheCodePageOpenAndShowQuestionMarks) {
  // A catalogue folder and a risks file whose names hold characters code
  // page 1252 lacks, and a byte that is no UTF-8.
  const std::string folder = dir.File("cat-\xe4\xb8\xad/");
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  host.folder = folder;
  std::vector<FieldRuleRow> rows = risksRules;
  rows.insert(rows.end(), claimsRules.begin(), claimsRules.end());
  testing::WriteTabelas(folder + "tabelas.dbf", rows);
  testing::WriteAnexos(folder + "anexos.dbf", domain);
  testing::WriteQdp(folder + "DadosQdp.DBF", qdp);
  AddRisk("P1", "0001");
  AddClaim("P1", "0001");
  host.risk = folder + "riscos-\xd1\x88-\xe9.dbf";
  risks.WriteTo(host.risk);
  host.claim = Write(claims, "s.dbf");
  ValidationRun run(host);
  run.Execute();
  const Lines& log = host.log.Lines();
  EXPECT_TRUE(Contains(log, "Arquivo: " + dir.Path() + "cat-?/riscos-?-?.dbf"));
  EXPECT_TRUE(Contains(log, "Arquivo: " + host.claim));
  EXPECT_TRUE(Contains(log, Sentence(0, 1, "0,00")));
  EXPECT_FALSE(std::filesystem::exists(folder + "apolice.ntx"));
}
#endif

// Completed and failed runs of every kind leave every data and catalogue
// file as it was, and no index file.
TEST_F(ClaimsTest, NoRunChangesAFileOrLeavesTheIndex) {
  for (int i = 0; i < 1000; ++i) AddRisk("P" + std::to_string(i), "0001");
  AddClaim("P1", "0001");
  AddClaim("P9", "0002");
  const std::string riskPath = Write(risks, "r.dbf");
  const std::string claimPath = Write(claims, "s.dbf");
  WriteCatalogue();
  std::map<std::string, std::string> files;
  for (const char* name : {"r.dbf", "s.dbf", "tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"})
    files[name] = testing::ReadFile(dir.File(name));
  const std::string index = dir.File("apolice.ntx");

  ValidationRun run(host);
  std::string ended;  // how the last run ended: its error, or "completed"
  const auto runOnce = [&](const std::string& risk, const std::string& claim) {
    host.risk = risk;
    host.claim = claim;
    try {
      run.Execute();
      ended = "completed";
    } catch (const TarveloError& error) {
      ended = error.what();
    }
  };
  const auto holding = [&](const std::string& path, const std::function<void()>& body) {
    const os::HeldFile held(path, true);
    ASSERT_TRUE(held.Holds());
    body();
  };
  // Each kind of run, with the beginning of how it ends.
  const std::vector<std::tuple<std::string, std::string, std::function<void()>>> kinds = {
      {"completed", "completed", [&] { runOnce(riskPath, claimPath); }},
      {"only the risks file", "completed", [&] { runOnce(riskPath, ""); }},
      {"a missing claims file", "DbfTable.InternalOpen: Open error",
       [&] { runOnce(riskPath, dir.File("absent.dbf")); }},
      {"one file in both boxes", "completed", [&] { runOnce(riskPath, riskPath); }},
      {"a held catalogue file", "DbfTable.InternalOpen: Open error",
       [&] { holding(dir.File("anexos.dbf"), [&] { runOnce(riskPath, claimPath); }); }},
      {"a held index file", "NtxIndex.CreateIndex: Create error",
       [&] {
         holding(index, [&] { runOnce(riskPath, claimPath); });
         std::filesystem::remove(index);
       }},
#ifndef _WIN32  // no symbolic links nor file size limit made on Windows
      {"a planted link", "completed",
       [&] {
         ASSERT_EQ(::symlink(dir.File("tabelas.dbf").c_str(), index.c_str()), 0);
         runOnce(riskPath, claimPath);
       }},
      {"a failed index write", "NtxIndex.WritePage: Write error",
       [&] { WithSmallFileSizeLimit([&] { runOnce(riskPath, claimPath); }); }},
#endif
  };
  for (const auto& [kind, end, body] : kinds) {
    body();
    EXPECT_EQ(ended.rfind(end, 0), 0u) << kind << ": " << ended;
    for (const auto& [name, bytes] : files) EXPECT_EQ(testing::ReadFile(dir.File(name)), bytes) << kind << ": " << name;
    EXPECT_FALSE(std::filesystem::exists(index) || std::filesystem::is_symlink(index)) << kind;
  }
}

// The record checks run on several threads give the report, the exported
// bytes, the counts, the totals to the last bit, the stop and the error
// (with its place) of one thread. The files span several chunks of the
// record loop (about 6,000 records of 44 bytes each), with deleted
// records, failures of every rule and amounts whose sum depends on the
// order of the additions; each case puts its events in later chunks.
TEST_F(RunTest, OneThreadAndSeveralGiveTheSameReport) {
  risksRules = {{"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
                {"RISCOS", "APOLICE", "", "1", "10", "0", "0", "0", "0", "2"},    // null rule
                {"RISCOS", "ITEM", "", "1", "4", "0", "1", "0", "0", "3", "1"},   // exact length
                {"RISCOS", "COD_MOD", "", "3", "0", "1", "1", "0", "0", "4"},     // domain
                {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "1", "1", "1", "5"},  // date
                {"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "6"}};
  claimsRules[3].dominio = "1";
  for (const char* table : {"RISCOS", "SINISTROS"})
    for (const char* code : {"61", "62", "64"}) domain.push_back({table, "COD_MOD", code, ""});
  WriteCatalogue();

  enum Event { kOtherCompany, kNullAmount, kUnreadableCode };
  using Events = std::map<int, Event>;
  const auto write = [&](DbfWriter writer, int records, const Events& events, const std::string& name) {
    char amount[32];
    for (int i = 0; i < records; ++i) {
      const auto event = events.find(i);
      const auto is = [&](Event kind) { return event != events.end() && event->second == kind; };
      // Large and small amounts: adding them in another order changes the sum.
      std::snprintf(amount, sizeof amount, "%.2f", i % 7 == 0 ? 12345678901.23 + i : 0.01 * (i % 1000) + 0.07);
      writer.AddRecord({is(kOtherCompany) ? "09999" : "05631", i % 53 == 0 ? "" : "P" + std::to_string(i / 3),
                        i % 31 == 0 ? "01" : "000" + std::to_string(1 + i % 3),
                        is(kUnreadableCode) ? "6 "
                        : i % 41 == 0       ? "99"
                        : i % 5 == 0        ? "64"
                                            : "61",
                        i % 37 == 0   ? "20231301"
                        : i % 11 == 0 ? "20240101"
                                      : "20230115",
                        is(kNullAmount) ? "" : amount},
                       i % 97 == 5);
    }
    return Write(writer, name);
  };

  struct Outcome {
    Lines log;
    std::string error, where, exported, details;
    RunState state;
    RunTotals totals;
  };
  const auto runWith = [&](int threads) {
    host.threads = threads;
    DetailListing listing(dir.File("details.csv"), ',');
    host.details = &listing;
    ValidationRun run(host);
    Outcome outcome;
    try {
      run.Execute();
    } catch (const TarveloError& error) {
      outcome.error = error.what();
      outcome.where = error.Where();
    }
    host.details = nullptr;
    listing.Finish();
    outcome.details = testing::ReadFile(dir.File("details.csv"));
    outcome.log = host.log.Lines();
    SaveReport(host.log, dir.File("export.txt"));
    outcome.exported = testing::ReadFile(dir.File("export.txt"));
    outcome.state = run.State();
    outcome.totals = run.Totals();
    return outcome;
  };

  struct Case {
    const char* name;
    Events risks, claims;
    std::string expected;  // a line of the report, or the error's place
  };
  const std::string stopLine = "Erro: mais de uma empresa encontrada no arquivo da tabela ";
  const Case cases[] = {
      {"no stop, no error", {}, {}, kMissesSentence},
      {"a claim of another company", {}, {{8000, kOtherCompany}, {9000, kNullAmount}}, stopLine + Pad("SINISTROS", 20)},
      {"a risk of another company, an error after it",
       {{20000, kOtherCompany}, {26000, kUnreadableCode}},
       {},
       stopLine + Pad("RISCOS", 20)},
      {"a null amount first",
       {{17000, kNullAmount}, {17500, kUnreadableCode}, {25000, kOtherCompany}},
       {},
       ", registro 17001, campo PREMIO"},
      {"an unreadable code first",
       {{9000, kUnreadableCode}, {9500, kNullAmount}},
       {},
       ", registro 9001, campo COD_MOD"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    host.risk = write(RisksWriter(), 30000, test.risks, "r.dbf");
    host.claim = write(ClaimsWriter(), 10000, test.claims, "s.dbf");
    const Outcome one = runWith(1);
    const Outcome several = runWith(4);
    const bool inLog = std::any_of(one.log.begin(), one.log.end(), [&](const std::string& line) {
      return line.find(test.expected) != std::string::npos;
    });
    EXPECT_TRUE(inLog || one.where == "Arquivo: " + host.risk + test.expected) << one.error << " " << one.where;
    EXPECT_EQ(several.log, one.log);
    EXPECT_EQ(several.exported, one.exported);
    EXPECT_GT(std::count(one.details.begin(), one.details.end(), '\n'), 500);
    EXPECT_EQ(several.details, one.details);
    EXPECT_EQ(several.error, one.error);
    EXPECT_EQ(several.where, one.where);
    EXPECT_EQ(
        std::tie(several.state.riskCount, several.state.claimCount, several.state.recordCount, several.state.recordsOk),
        std::tie(one.state.riskCount, one.state.claimCount, one.state.recordCount, one.state.recordsOk));
    EXPECT_EQ(std::memcmp(&several.totals, &one.totals, sizeof(RunTotals)), 0);
  }
}

// The rows of a CSV text as RFC 4180 reads them: cells separated by
// separator, a quoted cell with its quotes doubled, lines ended by CR LF. A
// malformed text fails the test.
std::vector<std::vector<std::string>> ReadCsv(std::string_view text, char separator) {
  std::vector<std::vector<std::string>> rows;
  size_t at = 0;
  while (at < text.size()) {
    std::vector<std::string>& row = rows.emplace_back();
    while (true) {
      std::string& cell = row.emplace_back();
      if (at < text.size() && text[at] == '"') {
        for (++at; at < text.size() && (text[at] != '"' || text.substr(at, 2) == "\"\""); ++at) {
          if (text[at] == '"') ++at;
          cell += text[at];
        }
        if (at++ == text.size()) {
          ADD_FAILURE() << "unclosed quote in row " << rows.size();
          return rows;
        }
      } else {
        while (at < text.size() && text[at] != separator && text[at] != '"' && text[at] != '\r') cell += text[at++];
      }
      if (at < text.size() && text[at] == separator) {
        ++at;
        continue;
      }
      if (text.substr(at, 2) != "\r\n") {
        ADD_FAILURE() << "malformed CSV at byte " << at << " of row " << rows.size();
        return rows;
      }
      at += 2;
      break;
    }
  }
  return rows;
}

// The detail listing of a risks file that spans several chunks of the
// record loop, with failures at the last and first records of chunks, at
// the last record counted before a deleted one and at the file's very last
// record, and values that a CSV row or a spreadsheet could take amiss. Read
// back as CSV, it holds one row per failure the report counts, each with
// the file's value.
TEST_F(RunTest, DetailListingHoldsEveryFailureWithItsValueOnOneThreadOrSeveral) {
  risksRules = {{"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
                {"RISCOS", "APOLICE", "", "1", "10", "0", "1", "0", "0", "2"},
                {"RISCOS", "ITEM", "", "1", "4", "0", "1", "0", "0", "3", "1"},  // exact length
                {"RISCOS", "COD_MOD", "", "3", "0", "0", "1", "0", "0", "4"},
                {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "1", "1", "1", "5"},  // date
                {"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "6"},
                {"RISCOS", "VALOR", "", "1", "250", "1", "0", "0", "0", "7"}};  // null, domain
  domain = {{"RISCOS", "VALOR", "OK", ""}};
  DbfWriter risks({{"COD_SEG", 'C', 5},
                   {"APOLICE", 'C', 10},
                   {"ITEM", 'C', 4},
                   {"COD_MOD", 'N', 2},
                   {"INICIO_VIG", 'C', 8},
                   {"PREMIO", 'N', 14, 2},
                   {"VALOR", 'C', 250}});
  const int chunk = static_cast<int>(RecordLoop::ChunkRecords(risks.RecordLength()));
  const int records = 3 * chunk + chunk / 2;
  // Each awkward value and the listing's text of it: a leading "'" only
  // before what a spreadsheet would take for a formula.
  const std::vector<std::pair<std::string, std::string>> awkward = {{"A\"B", "A\"B"}, {"a;b", "a;b"}, {"=1+2", "'=1+2"},
                                                                    {"-x", "'-x"},    {"-5", "-5"},   {"\"", "\""}};
  std::set<int> failing = {records, 2 * chunk - 1};
  for (int k = 1; k <= 3; ++k) failing.insert({k * chunk, k * chunk + 1});

  // The rows expected, "record;field;rule;value", and the file's values.
  std::multiset<std::string> expected;
  std::map<int64_t, std::string> items;
  for (int recno = 1; recno <= records; ++recno) {
    const bool deleted = recno == 2 * chunk;  // after the last record counted in the second chunk
    const bool fails = failing.count(recno) > 0 || recno % 97 == 0;
    const std::string value = recno == records ? "" : fails ? awkward[recno % awkward.size()].first : "OK";
    const std::string item = fails ? "01" : "0001";
    const std::string date = fails ? "20231301" : "20230115";
    risks.AddRecord({"05631", "P" + std::to_string(recno), item, "61", date, "1.00", value}, deleted);
    items[recno] = item;
    if (deleted || !fails) continue;
    const std::string at = std::to_string(recno) + ";";
    expected.insert(at + "ITEM;tamanho;01");
    expected.insert(at + "INICIO_VIG;data;20231301");
    const auto shown = std::find_if(awkward.begin(), awkward.end(), [&](const auto& a) { return a.first == value; });
    if (value.empty()) expected.insert(at + "VALOR;vazio;");
    expected.insert(at + "VALOR;dominio;" + (value.empty() ? "" : shown->second));
  }
  host.risk = Write(risks, "r.dbf");
  WriteCatalogue();

  for (const int threads : {1, 4}) {
    SCOPED_TRACE(threads);
    host.threads = threads;
    DetailListing listing(dir.File("details.csv"), ',');
    host.details = &listing;
    ValidationRun run(host);
    run.Execute();
    host.details = nullptr;
    listing.Finish();
    const std::string text = testing::ReadFile(dir.File("details.csv"));
    ASSERT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u);
    const auto rows = ReadCsv(std::string_view(text).substr(3), ';');
    ASSERT_GT(rows.size(), 1u);
    EXPECT_EQ(rows[0], (Lines{"arquivo", "tabela", "registro", "apolice", "item", "campo", "regra", "valor"}));

    std::multiset<std::string> listed;
    std::map<std::string, int64_t> nulls, invalid;  // per field
    for (size_t i = 1; i < rows.size(); ++i) {
      const Lines& row = rows[i];
      ASSERT_EQ(row.size(), 8u) << i;
      EXPECT_EQ(row[0], host.risk);
      EXPECT_EQ(row[1], "RISCOS");
      EXPECT_EQ(row[3], "P" + row[2]);
      EXPECT_EQ(row[4], items[std::stoll(row[2])]);
      listed.insert(row[2] + ";" + row[5] + ";" + row[6] + ";" + row[7]);
      ++(row[6] == "vazio" ? nulls : invalid)[row[5]];
    }
    EXPECT_EQ(listed, expected);
    const FileResult& file = run.Results().files.at(0);
    EXPECT_EQ(file.recordCount, records - 1);
    for (const FieldResult& field : file.fields) {
      EXPECT_EQ(nulls[field.field], field.nullCount) << field.field;
      EXPECT_EQ(invalid[field.field], field.domainCount) << field.field;
    }
  }
}

}  // namespace
}  // namespace tarvelo
