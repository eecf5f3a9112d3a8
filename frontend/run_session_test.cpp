#include "frontend/run_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "os/held_file.h"
#include "testing/run_fixture.h"
#include "values/cp1252_literal.h"

namespace tarvelo {
namespace {

using testing::DbfWriter;

class RunSessionTest : public testing::RunTest {};

// A run that an error ends after the risks file: each output is saved all
// the same, the listing with the rows the run had listed, the report with
// the lines written so far, the results saying the run did not complete;
// the exit status is 1.
TEST_F(RunSessionTest, AnErrorThatEndsTheRunLeavesEveryOutputSavedWithWhatItHad) {
  risksRules[1].nulo = "0";  // an empty APOLICE is counted, and listed
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "", "0001", "61", "20230101", "10.00"});
  setup.risk = Write(risks, "r.dbf");
  setup.claim = dir.File("absent.dbf");
  WriteCatalogue();

  RunSession session(setup.Inputs());
  session.AskOutput(OutputKind::kReport, dir.File("r.txt"));
  session.AskOutput(OutputKind::kListing, dir.File("r.csv"));
  session.AskOutput(OutputKind::kJson, dir.File("r.json"));
  std::vector<std::string> said;
  const auto say = [&](const std::string& text) { said.push_back(text); };
  ASSERT_TRUE(session.MakeOutputs(say));
  session.Run();
  EXPECT_TRUE(session.SaveOutputs(say));
  EXPECT_EQ(said, std::vector<std::string>{});

  const std::string error = "DbfTable.InternalOpen: Open error \"" + setup.claim + "\"\n" + os::NoSuchFileReason();
  EXPECT_EQ(session.EndText(), error);
  EXPECT_EQ(session.ExitStatus(false, false), 1);
  const std::string listing = testing::ReadFile(dir.File("r.csv"));
  EXPECT_NE(listing.find(";RISCOS;1;;0001;APOLICE;vazio;\r\n"), std::string::npos) << listing;
  const std::string report = testing::ReadFile(dir.File("r.txt"));
  EXPECT_EQ(report.rfind("Início do processamento: 07/12/2026 08:05:09\r\n"_cp1252, 0), 0u) << report;
  EXPECT_EQ(report.find("Fim do processamento"), std::string::npos);
  const auto json = nlohmann::json::parse(testing::ReadFile(dir.File("r.json")));
  EXPECT_FALSE(json["completed"].get<bool>());
  EXPECT_EQ(json["error"].get<std::string>(), error);
}

}  // namespace
}  // namespace tarvelo
