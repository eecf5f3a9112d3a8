#include "validation/rule_catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/run_fixture.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using testing::DbfWriter;
using testing::FieldRuleRow;
using testing::Header;
using testing::RunTest;

TEST_F(RunTest, CatalogueWithoutATableOfTheLineEndsTheRun) {
  for (auto& row : risksRules) row.ramo = "ANIMAL";
  for (auto& row : claimsRules) row.ramo = "ANIMAL";
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  setup.risk = Write(risks, "r.dbf");
  const std::string message =
      "Catalogue file \"" + dir.File("tabelas.dbf") + "\" defines no table for the line of business \"RURAL\"";
  EXPECT_EQ(RunFailing<TarveloError>().message, message);
  risksRules.clear();
  claimsRules.clear();
  EXPECT_EQ(RunFailing<TarveloError>().message, message);
  EXPECT_EQ(setup.lines, Header());
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
  setup.risk = Write(onlyCode, "r.dbf");
  // The file passes the SINISTROS layout (number 1), and as the file of
  // number 1 its premiums are summed: INICIO_VIG is missing.
  WriteCatalogue();
  ValidationRun run = setup.NewRun();
  EXPECT_EQ(RunFailing<DatabaseError>(run).message, "tbDados: Field 'INICIO_VIG' not found");
  // "OUTRO", of the line "Rural", was not numbered; the deleted row was
  // loaded; the value of an unknown table was left out.
  EXPECT_EQ(run.Catalogue().TableOrder().RecordCount(), 2);
  EXPECT_EQ(run.Catalogue().Structure().RecordCount(), 2);
  EXPECT_EQ(run.Catalogue().Domain().RecordCount(), 0);
}

}  // namespace
}  // namespace tarvelo
