#include "validation/validation_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/dbf_writer.h"
#include "tools/temp_dir.h"
#include "validation/report_format.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using testing::DbfFieldSpec;
using testing::DbfWriter;

class FakeHost : public RunHost {
 public:
  std::string risk, claim, folder;
  RegionalSettings settings = RegionalSettings::Brazilian();
  ResultLog log;
  std::vector<int> progress;
  CivilDateTime now{2026, 12, 7, 8, 5, 9};

  std::string RiskPath() const override { return risk; }
  std::string ClaimPath() const override { return claim; }
  std::string ProgramFolder() const override { return folder; }
  const RegionalSettings& Settings() const override { return settings; }
  ResultLog& Log() override { return log; }
  void SetProgress(int position) override { progress.push_back(position); }
  CivilDateTime Now() const override { return now; }
};

const std::string kRule(80, '=');

std::vector<std::string> EmptyFileBlocks(bool risks, bool claims) {
  std::vector<std::string> lines;
  if (risks) lines.insert(lines.end(), {kRule, "", "Arquivo de riscos vazio ou n\xE3o selecionado.", ""});
  if (claims) lines.insert(lines.end(), {kRule, "", "Arquivo de sinistros vazio ou n\xE3o selecionado.", ""});
  return lines;
}

std::vector<std::string> Header() {
  return {"In\xED" "cio do processamento: 07/12/2026 08:05:09",
          "Per\xEDodo de an\xE1lise: 01/07/2022 a 30/06/2023", ""};
}

std::vector<std::string> Closing() {
  return {"", kRule, "", "Fim do processamento: 07/12/2026 08:05:09", "", kRule};
}

std::vector<std::string> Concat(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

class ValidationRunTest : public ::testing::Test {
 protected:
  void SetUp() override { host.folder = dir.Path(); }

  std::string WriteRisks(const std::string& name, int records, int deleted = 0) {
    DbfWriter writer({{"COD_SEG", 'C', 5}, {"APOLICE", 'C', 20}, {"ITEM", 'C', 6}, {"PREMIO", 'N', 14, 2}});
    for (int i = 0; i < records; ++i) writer.AddRecord({"05631", "P" + std::to_string(i), "000001", "10.50"}, i < deleted);
    writer.WriteTo(dir.File(name));
    return dir.File(name);
  }

  testing::TempDir dir;
  FakeHost host;
};

TEST_F(ValidationRunTest, BothBoxesEmptyWritesHeaderBlocksAndClosing) {
  host.risk = "";
  host.claim = "   ";
  ValidationRun run(host);
  run.Execute();
  EXPECT_EQ(host.log.Lines(), Concat({Header(), EmptyFileBlocks(true, true), Closing()}));
  EXPECT_EQ(host.progress, (std::vector<int>{75, 90}));
}

TEST_F(ValidationRunTest, DeletedRecordsAreNotCounted) {
  host.risk = WriteRisks("r.dbf", 3, 3);
  ValidationRun run(host);
  run.Execute();
  EXPECT_EQ(run.State().riskCount, 0);
  EXPECT_EQ(host.log.Lines(), Concat({Header(), EmptyFileBlocks(true, true), Closing()}));
}

TEST_F(ValidationRunTest, CountsVisibleRecordsOfEachFile) {
  host.risk = WriteRisks("r.dbf", 5000, 2);
  host.claim = WriteRisks("s.dbf", 7);
  ValidationRun run(host);
  run.Execute();
  EXPECT_EQ(run.State().riskCount, 4998);
  EXPECT_EQ(run.State().claimCount, 7);
  EXPECT_EQ(host.log.Lines(), Concat({Header(), Closing()}));
}

TEST_F(ValidationRunTest, MissingFileEndsTheRunKeepingTheLinesWritten) {
  host.risk = dir.File("absent.dbf");
  ValidationRun run(host);
  try {
    run.Execute();
    FAIL() << "expected an error";
  } catch (const DbfError& error) {
    EXPECT_EQ(std::string(error.what()), "DbfTable.InternalOpen: Open error \"" + host.risk + "\"");
  }
  EXPECT_EQ(host.log.Lines(), Header());
  // The same object runs again normally once the box is fixed.
  host.risk = WriteRisks("r.dbf", 2);
  run.Execute();
  EXPECT_EQ(run.State().riskCount, 2);
}

TEST_F(ValidationRunTest, PathWithLeadingBlankIsUsedAsTyped) {
  WriteRisks("r.dbf", 1);
  host.risk = " " + dir.File("r.dbf");
  ValidationRun run(host);
  EXPECT_THROW(run.Execute(), DbfError);
  EXPECT_EQ(host.log.Lines(), Header());
}

TEST_F(ValidationRunTest, FileThatIsNotADbfEndsTheRun) {
  testing::WriteFile(dir.File("notes.dbf"), "Hello, this is a text file.\n");
  host.claim = dir.File("notes.dbf");
  ValidationRun run(host);
  try {
    run.Execute();
    FAIL() << "expected an error";
  } catch (const DbfError& error) {
    EXPECT_EQ(std::string(error.what()), "DbfTable.InternalOpen: File \"" + host.claim + "\" is not DBF file");
  }
}

}  // namespace
}  // namespace tarvelo
