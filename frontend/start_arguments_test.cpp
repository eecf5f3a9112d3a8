#include "frontend/start_arguments.h"

#include <gtest/gtest.h>

namespace tarvelo {
namespace {

// Any number of files: the window, not the parser, leaves out those past
// the second (see WindowLogic's test of the start files).
TEST(WindowArguments, TakeTheCatalogueAndEveryFile) {
  std::string error;
  auto parsed = ParseWindowArguments({"--catalogo=c", "--", "-r.dbf", "s.dbf", "t.dbf"}, error);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->catalogueFolder.value(), "c");
  EXPECT_EQ(parsed->files, (std::vector<std::string>{"-r.dbf", "s.dbf", "t.dbf"}));
  EXPECT_FALSE(ParseWindowArguments({"--catalogo"}, error));
  EXPECT_EQ(error, "missing value for --catalogo");
  EXPECT_FALSE(ParseWindowArguments({"--catalogo", "a", "--catalogo=b"}, error));
  EXPECT_EQ(error, "option given twice: --catalogo");
  EXPECT_FALSE(ParseWindowArguments({"-x"}, error));
  EXPECT_EQ(error, "unknown option: -x");
  parsed = ParseWindowArguments({"a.dbf", "--version"}, error);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->textToPrint.rfind("tarvelo ", 0), 0u);
}

}  // namespace
}  // namespace tarvelo
