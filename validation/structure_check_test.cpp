#include "validation/structure_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/run_fixture.h"
#include "values/cp1252_literal.h"

namespace tarvelo {
namespace {

using testing::Contains;
using testing::DbfWriter;
using testing::FieldRuleRow;
using testing::Lines;
using testing::Pad;
using testing::RunTest;
using testing::SectionRows;

// The layout of a data file against the catalogue's rows of its table.
class StructureTest : public RunTest {
 protected:
  Lines RunRisks(const DbfWriter& risks) {
    setup.risk = Write(risks, "r.dbf");
    return Run();
  }
  void ExpectStructureError(const Lines& log) {
    EXPECT_TRUE(Contains(log, "Erro: estrutura incorreta na tabela " + Pad("RISCOS", 20)));
    EXPECT_EQ(state.riskCount, 0);
    EXPECT_TRUE(Contains(log, "Arquivo de riscos vazio ou não selecionado."_cp1252));
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
  setup.risk = Write(risks, "r.dbf");
  const Lines log = Run();
  EXPECT_TRUE(Contains(log, "Erro: estrutura incorreta na tabela " + Pad("RISCOS", 20)));
  EXPECT_EQ(state.riskCount, 0);
}

}  // namespace
}  // namespace tarvelo
