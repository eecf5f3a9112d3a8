#include "validation/catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/catalogue_fixture.h"
#include "testing/run_fixture.h"
#include "testing/temp_dir.h"
#include "values/errors.h"
#include "values/text.h"

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
  ASSERT_NE(run.UsedCatalogue(), nullptr);
  EXPECT_EQ(run.UsedCatalogue()->TableOrder().size(), 2u);
  EXPECT_EQ(run.UsedCatalogue()->FieldRows().size(), 2u);
  EXPECT_EQ(run.UsedCatalogue()->CodeRows().size(), 0u);
}

// Tables are walked in the collation order of their names, not their bytes,
// and of equal names the later number first; of two rows at one position
// the later gives the field's rules; codes come in the collation order of
// their texts.
TEST(Catalogue, WalksTablesAndCodesInCollationOrderAndTakesTheLaterOfEqualRows) {
  testing::TempDir dir;
  const auto field = [](const char* table, const char* name, const char* size, const char* coded) {
    return FieldRuleRow{table, name, "", "1", size, coded, "1", "0", "0", "1"};
  };
  testing::WriteTabelas(dir.File("tabelas.dbf"),
                        {field("b", "F1", "5", "0"), field("B", "F1", "5", "0"), field("a", "F1", "5", "0"),
                         field("a", "F2", "3", "1"), field("b", "F1", "5", "0")});
  testing::WriteAnexos(dir.File("anexos.dbf"), {{"a", "F2", "b", ""}, {"a", "F2", "A", ""}, {"a", "F2", "a", ""}});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {});
  const Catalogue catalogue(dir.Path(), RegionalSettings::Brazilian());
  ASSERT_TRUE(catalogue.HasRules());
  std::vector<std::pair<int32_t, std::string>> order;
  for (const CatalogueTableName& table : catalogue.TableOrder()) order.emplace_back(table.number, Trim(table.name));
  EXPECT_EQ(order, (std::vector<std::pair<int32_t, std::string>>{{3, "a"}, {4, "b"}, {1, "b"}, {2, "B"}}));
  const int row = catalogue.FieldRowAt(3, 1);
  ASSERT_GE(row, 0);
  EXPECT_EQ(Trim(catalogue.FieldRows()[static_cast<size_t>(row)].name), "F2");
  EXPECT_EQ(catalogue.FieldRowAt(3, 2), -1);
  std::vector<std::string> codes;
  for (const CatalogueCode& code : catalogue.CodeRows()) codes.push_back(Trim(code.value1));
  EXPECT_EQ(codes, (std::vector<std::string>{"a", "A", "b"}));
}

}  // namespace
}  // namespace tarvelo
