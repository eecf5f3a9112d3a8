#include "validation/reference_totals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testing/run_fixture.h"
#include "values/cp1252_literal.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using testing::Closing;
using testing::Contains;
using testing::DbfWriter;
using testing::kRule;
using testing::Lines;
using testing::RunTest;

// The claims section of the report with the rows of its table.
Lines ClaimsSection(const Lines& rows) {
  Lines lines{kRule, "", "Teste de Sinistros Pagos:",
              "Modalidade     Valor QDP                Valor Arquivo            Diferença (%)"_cp1252, ""};
  lines.insert(lines.end(), rows.begin(), rows.end());
  const Lines tail{kRule,
                   "",
                   "Críticas no arquivo de Sinistros"_cp1252,
                   "Observações:"_cp1252,
                   "A companhia deverá apresentar justificativas para as difereças em relação ao QDP,"_cp1252,
                   "em anexo a este relatório, quando:"_cp1252,
                   "1 - A diferença, em módulo, for maior que 10%"_cp1252,
                   "2 - Existir valor no arquivo, mas não no QDP"_cp1252,
                   "3 - Não existir valor no arquivo, mas existir no QDP"_cp1252,
                   "As justificativas devem ser baseadas em valores, não apenas em caráter subjetivo."_cp1252,
                   ""};
  lines.insert(lines.end(), tail.begin(), tail.end());
  return lines;
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
  setup.risk = Write(risks, "r.dbf");
  const Lines log = Run();
  EXPECT_EQ(Lines(log.end() - 6, log.end()), Closing());
  EXPECT_EQ(state.companyCode, "");

  // Errors of "DadosQdp.DBF" itself end the run with their message.
  risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  setup.risk = Write(risks, "r.dbf");
  risksRules[0].tipo = "1";
  risksRules[0].tamanho = "5";
  WriteCatalogue();
  DbfWriter noName({{"COD_SEG", 'C', 5}, {"PR_RURAL", 'N', 16, 2}});
  noName.AddRecord({"05631", "1"});
  Write(noName, "DadosQdp.DBF");
  {
    // The run goes before the file is written again: on Windows the table
    // that the failed run left open shares its file for reading only.
    ValidationRun run = setup.NewRun();
    EXPECT_EQ(RunFailing<DatabaseError>(run).message, "tbDadosQdp: Field 'empresa' not found");
  }
  DbfWriter textAmount({{"COD_SEG", 'C', 5}, {"EMPRESA", 'C', 40}, {"PR_RURAL", 'C', 16}});
  textAmount.AddRecord({"05631", "SEGURADORA", "abc"});
  Write(textAmount, "DadosQdp.DBF");
  ValidationRun run = setup.NewRun();
  EXPECT_EQ(RunFailing<ConvertError>(run).message, "'abc             ' is not a valid floating point value");
}

// Totals: the window, the lines of business and the difference.
class TotalsTest : public RunTest {
 protected:
  Lines RunWith(const std::vector<std::vector<std::string>>& records) {
    DbfWriter risks = RisksWriter();
    for (const auto& r : records) risks.AddRecord(r);
    setup.risk = Write(risks, "r.dbf");
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
  setup.risk = Write(risks, "r.dbf");
  const Failure failure = RunFailing<VariantError>();
  EXPECT_EQ(failure.message, "Could not convert variant of type (Null) into type (Double)");
  EXPECT_EQ(failure.where, "Arquivo: " + setup.risk + ", registro 3, campo PREMIO");
}

TEST_F(TotalsTest, ClaimsSectionWorkedExampleValues) {
  qdp[1].sin_rural = "1000000";
  qdp[1].sin_animal = "0";
  DbfWriter claims = ClaimsWriter();
  claims.AddRecord({"05631", "P", "1", "61", "20230101", "1050000.50"});
  claims.AddRecord({"05631", "P", "1", "64", "20230101", "2345.67"});
  setup.claim = Write(claims, "s.dbf");
  const Lines log = Run();
  const auto at = std::find(log.begin(), log.end(), "Teste de Sinistros Pagos:");
  ASSERT_NE(at, log.end());
  const Lines section(at - 2, at + 16);
  EXPECT_EQ(section, ClaimsSection({"Rural          1.000.000                1.050.001                5,00",
                                    "Animal         0                        2.346                    div por zero"}));
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
  setup.risk = Write(risks, "r.dbf");
  const Lines log = Run();
  EXPECT_DOUBLE_EQ(totals.animalPremiums, 100.0);
  EXPECT_DOUBLE_EQ(totals.ruralPremiums, 27.0);
  EXPECT_TRUE(Contains(log, "Animal         100                      100                      0,00"));
}

}  // namespace
}  // namespace tarvelo
