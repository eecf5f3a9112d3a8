#include "frontend/run_session.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <ctime>
#include <filesystem>
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

// The moment of a local date and time, as the C library reads it.
std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

// Gives the file at path the last modification moment.
void SetModified(const std::string& path, std::time_t moment) {
  std::filesystem::last_write_time(path,
                                   std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(moment)));
}

// The page and the JSON give the run's start, the first reading of its
// clock (the report's first line gives it too), and each file's own size
// and date, and each catalogue table's own
// date: each day after the 12th and unlike its month, so that a month or a
// day out of place shows, and each file far smaller than what it takes on
// disk. On POSIX systems the claims file is named through a symbolic link
// of another date: the facts are those of the file it leads to.
TEST_F(RunSessionTest, ThePageAndTheJsonGiveTheStartAndEachFilesOwnSizeAndDate) {
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "1", "0001", "61", "20230101", "10.00"});
  setup.risk = Write(risks, "r.dbf");
  DbfWriter claims = ClaimsWriter();
  claims.AddRecord({"05631", "1", "0001", "61", "20230101", "5.00"});
  claims.AddRecord({"05631", "1", "0001", "61", "20230102", "5.00"});
  setup.claim = Write(claims, "s.dbf");
  WriteCatalogue();
  SetModified(setup.risk, LocalMoment(2021, 3, 25, 14, 37, 52));
  SetModified(setup.claim, LocalMoment(2020, 8, 17, 9, 8, 7));
  SetModified(dir.File("tabelas.dbf"), LocalMoment(2019, 2, 28, 23, 59, 58));
  SetModified(dir.File("anexos.dbf"), LocalMoment(2018, 1, 13, 0, 1, 2));
  SetModified(dir.File("DadosQdp.DBF"), LocalMoment(2017, 11, 30, 12, 0, 0));
#ifndef _WIN32
  const std::string link = dir.File("link.dbf");
  ASSERT_EQ(::symlink("s.dbf", link.c_str()), 0);
  const timespec linkTimes[2] = {{0, UTIME_OMIT}, {LocalMoment(2016, 10, 20, 10, 10, 10), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, link.c_str(), linkTimes, AT_SYMLINK_NOFOLLOW), 0);
  setup.claim = link;
#endif

  // A clock a minute later at each reading.
  RunInputs inputs = setup.Inputs();
  int readings = 0;
  inputs.now = [&readings] { return CivilDateTime{2026, 12, 7, 8, 5 + readings++, 9}; };
  RunSession session(inputs);
  session.AskOutput(OutputKind::kHtml, dir.File("r.html"));
  session.AskOutput(OutputKind::kJson, dir.File("r.json"));
  ASSERT_TRUE(session.MakeOutputs({}));
  session.Run();
  ASSERT_TRUE(session.SaveOutputs());
  ASSERT_FALSE(session.Ended()) << *session.EndText();
  ASSERT_GT(readings, 1);

  EXPECT_EQ(session.Report().Lines().at(0), "Início do processamento: 07/12/2026 08:05:09"_cp1252);
  const std::string page = testing::ReadFile(dir.File("r.html"));
  const auto shows = [&](const std::string& text) {
    EXPECT_NE(page.find(text), std::string::npos) << text << "\n" << page;
  };
  shows("<dt>Processamento</dt><dd>07/12/2026 08:05:09</dd>");
  shows("<td>" + setup.risk + "</td><td>RISCOS</td><td class=\"n\">270 bytes</td>");
  shows("<td class=\"n\">25/03/2021 14:37:52</td>");
  shows("<td>" + setup.claim + "</td><td>SINISTROS</td><td class=\"n\">314 bytes</td>");
  shows("<td class=\"n\">17/08/2020 09:08:07</td>");
  shows("<li>tabelas.dbf: 12 registros, 28/02/2019 23:59:58</li>");
  shows("<li>anexos.dbf: 0 registros, 13/01/2018 00:01:02</li>");
  shows("<li>DadosQdp.DBF: 2 registros, 30/11/2017 12:00:00</li>");

  const auto json = nlohmann::json::parse(testing::ReadFile(dir.File("r.json")));
  const nlohmann::json& tables = json["catalogue"]["files"];
  ASSERT_EQ(tables.size(), 3u) << json.dump(2);
  EXPECT_EQ(tables[0]["modified"], "2019-02-28T23:59:58");
  EXPECT_EQ(tables[1]["modified"], "2018-01-13T00:01:02");
  EXPECT_EQ(tables[2]["modified"], "2017-11-30T12:00:00");
}

// A run that an error ends after the risks file: each output is saved all
// the same, the listing with the rows the run had listed, the report with
// the lines written so far, the results and the page saying the run did
// not complete and what ended it; the exit status is 1.
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
  session.AskOutput(OutputKind::kHtml, dir.File("r.html"));
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
  const std::string page = testing::ReadFile(dir.File("r.html"));
  const std::string section =
      "<section id=\"erro\"><h2>Erro</h2><div class=\"veredito erro\">"
      "<p>DbfTable.InternalOpen: Open error &quot;" +
      setup.claim + "&quot;</p><p>" + os::NoSuchFileReason() + "</p></div></section>";
  EXPECT_NE(page.find(section), std::string::npos) << page;
}

}  // namespace
}  // namespace tarvelo
