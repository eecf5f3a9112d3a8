#include "validation/validation_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "os/held_file.h"
#include "testing/csv_reader.h"
#include "testing/run_fixture.h"
#include "validation/detail_listing.h"
#include "validation/record_loop.h"
#include "validation/report_export.h"
#include "validation/report_format.h"
#include "values/cp1252_literal.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using testing::Closing;
using testing::Contains;
using testing::DbfWriter;
using testing::Header;
using testing::kMissesSentence;
using testing::kRule;
using testing::Lines;
using testing::Pad;
using testing::ReadCsv;
using testing::RunTest;
using testing::SectionRows;

const std::string kFieldHeader = "Tabela              Campo               ErroNulo  %         ErroDom   %         ";

Lines RisksBlock() { return {kRule, "", "Arquivo de riscos vazio ou não selecionado."_cp1252, ""}; }
Lines ClaimsBlock() { return {kRule, "", "Arquivo de sinistros vazio ou não selecionado."_cp1252, ""}; }

Lines PremiumsSection(const Lines& rows) {
  Lines lines{kRule, "", "Teste de Prêmios Emitidos:"_cp1252,
              "Modalidade     Valor QDP                Valor Arquivo            Diferença (%)"_cp1252, ""};
  lines.insert(lines.end(), rows.begin(), rows.end());
  const Lines tail{"",
                   kRule,
                   "",
                   "Observações:"_cp1252,
                   "O item Total informado de Prêmios considera somente as apólices com início de vigência "
                   "no período considerado: 01/07/2022 a 30/06/2023"_cp1252,
                   "A companhia deverá apresentar justificativas para as difereças em relação ao "_cp1252,
                   "QDP, em anexo a este relatório, quando:"_cp1252,
                   "1 - A diferença, em módulo, for maior que 10%"_cp1252,
                   "2 - Existir valor no arquivo, mas não no QDP"_cp1252,
                   "3 - Não existir valor no arquivo, mas existir no QDP"_cp1252,
                   ""};
  lines.insert(lines.end(), tail.begin(), tail.end());
  return lines;
}

Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST_F(RunTest, BothBoxesEmptyWritesHeaderBlocksAndClosing) {
  setup.claim = "   ";
  EXPECT_EQ(Run(), Concat({Header(), RisksBlock(), ClaimsBlock(), Closing()}));
  EXPECT_EQ(setup.progress, (std::vector<int>{75, 90}));
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
  setup.risk = Write(risks, "RISCOS.DBF");
  EXPECT_EQ(Run(),
            Concat({{"Início do processamento: 07/12/2026 08:05:09"_cp1252,
                     "Período de análise: 01/07/2022 a 30/06/2023"_cp1252,
                     "Empresa: 05631 - " + Pad("SEGURADORA EXEMPLO S.A.", 40)},
                    {kRule, "Arquivo: " + setup.risk, "Total de Registros: 1500", "", kFieldHeader,
                     "RISCOS              COD_SEG             0         0,00%     0         0,00%     ",
                     "RISCOS              PREMIO              3         0,20%     12        0,80%     ",
                     "RISCOS              INICIO_VIG          0         0,00%     1250      83,33%    ",
                     "RISCOS              COD_MOD             0         0,00%     0         0,00%     ", kRule, ""},
                    PremiumsSection({"Rural          1.000.000                3.125                    -99,69",
                                     "Animal         0                        0                        div por zero"}),
                    ClaimsBlock(),
                    Closing()}));
  EXPECT_EQ(state.riskCount, 1500);
  EXPECT_EQ(setup.progress, (std::vector<int>{25, 75, 90}));
}

TEST_F(RunTest, SecondCompanyStopsTheFileAtItsFirstRecord) {
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  DbfWriter claims = ClaimsWriter();
  claims.AddRecord({"05632", "P1", "0001", "61", "20230101", "10.00"});
  claims.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  setup.risk = Write(risks, "r.dbf");
  setup.claim = Write(claims, "s.dbf");
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
  setup.risk = Write(risks, "r.dbf");
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
  setup.risk = Write(risks, "r.dbf");
  setup.claim = Write(claims, "s.dbf");
  const Lines log = Run();
  const Lines expectedStart = {
      kRule, "Arquivo: " + setup.risk,  "Total de Registros: 0", "", kFieldHeader, "", "Arquivo sem registros.....", "",
      kRule, "Arquivo: " + setup.claim, "Total de Registros: 1"};
  EXPECT_EQ(Lines(log.begin() + 3, log.begin() + 14), expectedStart);
  EXPECT_EQ(log[2], "Empresa: 05631 - " + Pad("SEGURADORA EXEMPLO S.A.", 40));
  EXPECT_EQ(state.companyCode, "05631");
  EXPECT_TRUE(Contains(log, "Animal         50                       40                       -20,00"));
  // Step 12 still reports the empty risks file.
  EXPECT_TRUE(Contains(log, "Arquivo de riscos vazio ou não selecionado."_cp1252));
}

TEST_F(RunTest, UnknownCompanyGivesAnEmptyNameAndNoWindow) {
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"99999", "P1", "0001", "61", "20230101", "10.00"});
  setup.risk = Write(risks, "r.dbf");
  const Lines log = Run();
  EXPECT_EQ(log[2], "Empresa: 99999 - ");
  EXPECT_TRUE(Contains(log, "Rural          0                        0                        div por zero"));
}

#ifndef _WIN32  // Windows allows no control character in a file name
TEST_F(RunTest, ControlCharactersOfAFileNameAreEscapedOnItsReportLine) {
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  setup.risk = Write(risks, "r\n\x1b[2J\x7f.dbf");
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
  setup.risk = Write(risks, "r.dbf");
  NoMemorySink sink;
  setup.details = &sink;
  WriteCatalogue();
  ValidationRun run = setup.NewRun();
  try {
    run.Execute();
    ADD_FAILURE() << "the run did not fail";
  } catch (const OutOfMemoryError& error) {
    EXPECT_EQ(ErrorText(error), "Out of memory while checking the records.\nArquivo: " + setup.risk);
  }
}

TEST_F(RunTest, CountsAreOfVisibleRecordsOnly) {
  DbfWriter risks = RisksWriter();
  for (int i = 0; i < 300; ++i)
    risks.AddRecord({"05631", "P", "1", "61", i % 3 ? "20230101" : "", "1.00"}, i % 10 == 0);
  setup.risk = Write(risks, "r.dbf");
  const Lines log = Run();
  EXPECT_EQ(state.riskCount, 270);
  // Deleted records are neither counted nor summed: 270 visible, 180 dated.
  EXPECT_DOUBLE_EQ(totals.ruralPremiums, 180.0);
  EXPECT_TRUE(Contains(log, "Total de Registros: 270"));
}

TEST_F(RunTest, OpenErrorsGiveTheSystemsReasonWithControlCharactersEscaped) {
  setup.risk = dir.File("absent.dbf");
  Failure failure = RunFailing<DbfError>();
  EXPECT_EQ(failure.message, "DbfTable.InternalOpen: Open error \"" + setup.risk + "\"");
  EXPECT_EQ(failure.reason, os::NoSuchFileReason());

  // A catalogue file that another run holds: the same exclusive opening,
  // and the message says why.
  DbfWriter risks = RisksWriter();
  risks.AddRecord({"05631", "P1", "0001", "61", "20230101", "10.00"});
  setup.risk = Write(risks, "r.dbf");
  WriteCatalogue();
  ValidationRun run = setup.NewRun();
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
  setup.risk = Write(wide, "wide.dbf");
  {
    // A run that an error ended holds its tables until it goes.
    ValidationRun wideRun = setup.NewRun();
    failure = RunFailing<DbfError>(wideRun);
  }
  EXPECT_EQ(failure.message, "DbfTable.InternalOpen: BufferSize too small!");
  EXPECT_EQ(failure.where, "Arquivo: " + setup.risk);

  // Control characters of a name, DEL among them, reach no terminal raw.
  setup.risk = dir.File("a\x1b[2J\tb\x7f.dbf");
  ValidationRun oddRun = setup.NewRun();
  try {
    oddRun.Execute();
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
    setup.threads = threads;
    DetailListing listing(dir.File("details.csv"), ',');
    setup.details = &listing;
    ValidationRun run = setup.NewRun();
    Outcome outcome;
    try {
      run.Execute();
    } catch (const TarveloError& error) {
      outcome.error = error.what();
      outcome.where = error.Where();
    }
    setup.details = nullptr;
    listing.Finish();
    outcome.details = testing::ReadFile(dir.File("details.csv"));
    outcome.log = setup.lines;
    SaveReport(run.Report(), dir.File("export.txt"));
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
    setup.risk = write(RisksWriter(), 30000, test.risks, "r.dbf");
    setup.claim = write(ClaimsWriter(), 10000, test.claims, "s.dbf");
    const Outcome one = runWith(1);
    const Outcome several = runWith(4);
    const bool inLog = std::any_of(one.log.begin(), one.log.end(), [&](const std::string& line) {
      return line.find(test.expected) != std::string::npos;
    });
    EXPECT_TRUE(inLog || one.where == "Arquivo: " + setup.risk + test.expected) << one.error << " " << one.where;
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
  setup.risk = Write(risks, "r.dbf");
  WriteCatalogue();

  for (const int threads : {1, 4}) {
    SCOPED_TRACE(threads);
    setup.threads = threads;
    DetailListing listing(dir.File("details.csv"), ',');
    setup.details = &listing;
    ValidationRun run = setup.NewRun();
    run.Execute();
    setup.details = nullptr;
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
      EXPECT_EQ(row[0], setup.risk);
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
