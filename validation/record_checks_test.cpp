#include "validation/record_checks.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <typeinfo>
#include <vector>

#include "testing/catalogue_fixture.h"
#include "testing/run_fixture.h"
#include "validation/catalogue.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

TEST(IsValidDate, YearWindowLeapYearsAndForm) {
  EXPECT_TRUE(IsValidDate("20240229", 2026));
  EXPECT_TRUE(IsValidDate("19000101", 2026));
  EXPECT_TRUE(IsValidDate("20311231", 2026));
  EXPECT_FALSE(IsValidDate("20230229", 2026));
  EXPECT_FALSE(IsValidDate("18991231", 2026));
  EXPECT_FALSE(IsValidDate("20320101", 2026));
  EXPECT_TRUE(IsValidDate("20320101", 2027));  // the window moves with the current year
  EXPECT_FALSE(IsValidDate("        ", 2026));
  EXPECT_FALSE(IsValidDate("2023-01-15", 2026));
  EXPECT_FALSE(IsValidDate("20231301", 2026));
  EXPECT_FALSE(IsValidDate("20230100", 2026));
  EXPECT_TRUE(IsValidDate("2023011", 2026));       // a shorter text gives shorter parts: day 1
  EXPECT_TRUE(IsValidDate("202301011234", 2026));  // characters after the 8th are ignored
  EXPECT_TRUE(IsValidDate("2023 1 1", 2026));      // leading blanks of a part are skipped
  EXPECT_FALSE(IsValidDate("20231 1 ", 2026));     // a trailing blank fails it
  EXPECT_FALSE(IsValidDate("", 2026));
}

// The empty and exact length rules read a text trimmed of the characters
// of code 32 or below only: an accented letter (above 127) counts, and a
// NUL ends a field's text.
TEST(TextRules, EmptyAndExactLengthTrimOnlyCodesUpTo32) {
  EXPECT_TRUE(HasExactLength("00123", 5));
  EXPECT_FALSE(HasExactLength("123  ", 5));
  EXPECT_TRUE(HasExactLength("  123  ", 3));
  EXPECT_TRUE(HasExactLength("     ", 0));
  EXPECT_FALSE(HasExactLength("abc", -3));
  EXPECT_TRUE(HasExactLength("\t\xC7\xE7\x1F", 2));
  EXPECT_TRUE(IsEmptyText(""));
  EXPECT_TRUE(IsEmptyText(" \t\x1F "));
  EXPECT_TRUE(IsEmptyText(std::string_view(" \0AB", 4)));
  EXPECT_FALSE(IsEmptyText("  \xE7 "));
  EXPECT_FALSE(IsEmptyText("  a "));
}

// The checks that read a field's bytes count, note and raise what the
// checks through every value's Variant do, record by record, over values
// of every shape: blanks, NUL bytes, control and high characters, lower
// case, codes longer than a key, dates of every form, integers with blanks,
// signs, leading zeros, hexadecimal or left-aligned digits (which do not
// convert: the record's check raises), qualifiers from a text and from an
// integer field.
TEST(RecordChecker, ReadingBytesGivesWhatReadingValuesGives) {
  testing::TempDir dir;
  const RegionalSettings settings = RegionalSettings::Brazilian();
  // tabela, campo, depende, tipo, tamanho, dominio, nulo, data, zeros, ordem, zerosesq
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1", "0"},
                                                  {"RISCOS", "CODIGO", "QUAL", "1", "4", "1", "0", "0", "0", "2", "1"},
                                                  {"RISCOS", "DATA", "", "1", "8", "0", "0", "1", "1", "3", "1"},
                                                  {"RISCOS", "NUMERO", "INTQ", "3", "0", "1", "0", "0", "0", "4", "0"},
                                                  {"RISCOS", "QUAL", "", "1", "2", "0", "0", "0", "0", "5", "0"},
                                                  {"RISCOS", "INTQ", "", "3", "0", "1", "0", "0", "0", "6", "0"},
                                                  {"RISCOS", "VALOR", "", "6", "0", "0", "0", "0", "0", "7", "0"}});
  testing::WriteAnexos(dir.File("anexos.dbf"), {{"RISCOS", "CODIGO", "AB", "5"},
                                                {"RISCOS", "CODIGO", "ABCDEFGH", ""},
                                                {"RISCOS", "CODIGO",
                                                 "\xC7"
                                                 "A",
                                                 ""},
                                                {"RISCOS", "CODIGO", "x1", "A"},
                                                {"RISCOS", "NUMERO", "64", "1"},
                                                {"RISCOS", "NUMERO", "-5", ""},
                                                {"RISCOS", "NUMERO", "0", "-1"},
                                                {"RISCOS", "INTQ", "1", ""},
                                                {"RISCOS", "INTQ", "-1", ""}});
  const std::vector<std::vector<std::string>> values = {
      {"05631"},
      {"AB    ", "ab    ", " ab   ", "      ", "A\0B   ", std::string("\0AB   ", 6), "AB\x01   ",
       "\xC7"
       "A    ",
       "\xE7"
       "a    ",
       "abcdef", "abcdefgh", "x1    ", "\tAB\x1F  "},
      {"20230115", "00000000", "        ", "2023-1-1", "20231301", "2023 1 1", "0000000 ",
       std::string("2023\0"
                   "115",
                   8),
       "20240229", "18991231", "20321231", "$7E70101", "+2023011"},
      {" 64", "064", " -5", "-5 ", "+64", " -0", "  0", "   ", "6  ", "$40", " x1", "0x1", "- 5", "640"},
      {"5 ", " 5", "  ",
       std::string("\0"
                   "5",
                   2),
       "a ", "A ", "1 "},
      {" 1", "01", "-1", "-0", "  ", "1 ", "+1", " 2"},
      {"    1.50", "        ", "     1,5", "-0000.01"},
  };
  testing::DbfWriter writer({{"COD_SEG", 'C', 5},
                             {"CODIGO", 'C', 6},
                             {"DATA", 'C', 8},
                             {"NUMERO", 'N', 3},
                             {"QUAL", 'C', 2},
                             {"INTQ", 'N', 2},
                             {"VALOR", 'N', 8, 2}});
  constexpr int kRecords = 4000;
  const size_t primes[] = {1, 7, 11, 13, 17, 19, 23};
  for (int i = 0; i < kRecords; ++i) {
    std::string record = " ";
    for (size_t f = 0; f < values.size(); ++f)
      record += values[f][(static_cast<size_t>(i) * primes[f] / 3 + f) % values[f].size()];
    writer.AddRawRecord(record);
  }
  writer.WriteTo(dir.File("riscos.dbf"));

  DbfTable data("tbDados", settings);
  const Catalogue catalogue(dir.Path(), settings);
  catalogue.RaiseRulesError();
  data.SetDBFFileName(dir.File("riscos.dbf"));
  data.Open();
  std::vector<char> bytes(static_cast<size_t>(kRecords * data.RecordLength()));
  ASSERT_EQ(data.ReadRecords(1, kRecords, bytes.data()), static_cast<size_t>(kRecords));

  // What checking each record gives: its counts, notes and error.
  const auto outcomes = [&](CheckReading reading) {
    const RecordChecker checker(data, catalogue, kRisksTable, "05631", 2026, settings, reading);
    std::vector<std::string> seen;
    for (int i = 0; i < kRecords; ++i) {
      std::vector<FieldCounts> counts(static_cast<size_t>(checker.FieldCount()));
      FailureNotes notes;
      notes.recno = i + 1;
      const std::string* field = nullptr;
      std::string outcome;
      try {
        outcome =
            checker.Check(bytes.data() + static_cast<size_t>(i * data.RecordLength()), counts.data(), field, &notes)
                ? "checked"
                : "other company";
      } catch (const TarveloError& error) {
        outcome = std::string("error ") + typeid(error).name() + " " + error.what() + " in " + *field;
      }
      for (const FieldCounts& count : counts)
        outcome += " " + std::to_string(count.nulls) + "/" + std::to_string(count.invalid);
      for (const FailureNotes::Note& note : notes.notes)
        outcome += " " + note.field->FieldName() + ":" + DetailRuleName(note.rule);
      seen.push_back(outcome);
    }
    return seen;
  };
  const std::vector<std::string> direct = outcomes(CheckReading::kDirect);
  const std::vector<std::string> throughValues = outcomes(CheckReading::kValues);
  ASSERT_EQ(direct.size(), throughValues.size());
  std::map<std::string, int> kinds;
  for (size_t i = 0; i < direct.size(); ++i) {
    EXPECT_EQ(direct[i], throughValues[i]) << "record " << i + 1;
    ++kinds[direct[i].rfind("error", 0) == 0 ? "error" : direct[i].rfind("checked", 0) == 0 ? "checked" : "other"];
    for (const char* rule : {":vazio", ":tamanho", ":data", ":dominio"})
      if (direct[i].find(rule) != std::string::npos) ++kinds[rule];
  }
  // Every rule fails somewhere, and some records raise the errors of values
  // that do not convert.
  for (const char* kind : {"checked", "error", ":vazio", ":tamanho", ":data", ":dominio"})
    EXPECT_GT(kinds[kind], 50) << kind;
}

using testing::DbfWriter;
using testing::Header;
using testing::Lines;
using testing::Pad;
using testing::RunTest;
using testing::SectionRows;

// A row of the report's field table.
std::string FieldRow(const std::string& table, const std::string& field, const std::string& nulls,
                     const std::string& nullShare, const std::string& invalid, const std::string& invalidShare) {
  return Pad(table, 20) + Pad(field, 20) + Pad(nulls, 10) + Pad(nullShare + "%", 10) + Pad(invalid, 10) +
         Pad(invalidShare + "%", 10);
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
  setup.risk = Write(risks, "r.dbf");
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

// The code rule, one small run per record: a code that fills its field
// (each length from 1 to 8, the width of the catalogue's values) is found
// as any other and one that differs in its last character is not; lower
// case letters anywhere in the code or its qualifier are compared upper
// cased, and other characters as they are.
TEST_F(RunTest, CodesThatFillTheirFieldAndLowerCaseLettersAreComparedAsTheCatalogueHoldsThem) {
  risksRules = {
      {"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
      {"RISCOS", "CODIGO", "QUAL", "1", "", "1", "1", "0", "0", "2"},  // tamanho: the field's width
      {"RISCOS", "QUAL", "", "1", "2", "0", "1", "0", "0", "3"},
      {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "1", "0", "0", "4"},
      {"RISCOS", "COD_MOD", "", "3", "0", "0", "1", "0", "0", "5"},
      {"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "6"},
  };
  domain = {{"RISCOS", "CODIGO", "A", ""},       {"RISCOS", "CODIGO", "BC", ""},
            {"RISCOS", "CODIGO", "DEF", ""},     {"RISCOS", "CODIGO", "GHIJ", ""},
            {"RISCOS", "CODIGO", "KLMNO", ""},   {"RISCOS", "CODIGO", "PQRSTU", ""},
            {"RISCOS", "CODIGO", "VWXYZAB", ""}, {"RISCOS", "CODIGO", "CDEFGHIJ", ""},
            {"RISCOS", "CODIGO", "Q", "AZ"},     {"RISCOS", "CODIGO", "@[", ""}};
  struct Case {
    std::string code, qualifier;
    const char* invalid;  // the count of the field's row: 0 or 1
  };
  const Case cases[] = {
      {"A", "", "0"},       {"BC", "", "0"},       {"DEF", "", "0"},      {"GHIJ", "", "0"},    {"KLMNO", "", "0"},
      {"PQRSTU", "", "0"},  {"VWXYZAB", "", "0"},  {"CDEFGHIJ", "", "0"}, {"VWXYZAC", "", "1"}, {"CDEFGHIX", "", "1"},
      {"vwxyzab", "", "0"}, {"cDEFGHIj", "", "0"}, {"CDEfGHIJ", "", "0"}, {"Q", "az", "0"},     {"Q", "Az", "0"},
      {"Q", "aZ", "0"},     {"Q", "AZ", "0"},      {"Q", "AX", "1"},      {"`{", "", "1"},
  };
  for (const Case& one : cases) {
    SCOPED_TRACE(one.code + "/" + one.qualifier);
    const int width = static_cast<int>(one.code.size());
    risksRules[1].tamanho = std::to_string(width);
    DbfWriter risks({{"COD_SEG", 'C', 5},
                     {"CODIGO", 'C', width},
                     {"QUAL", 'C', 2},
                     {"INICIO_VIG", 'C', 8},
                     {"COD_MOD", 'N', 2},
                     {"PREMIO", 'N', 10, 2}});
    risks.AddRecord({"05631", one.code, one.qualifier, "20230101", "61", "1.00"});
    setup.risk = Write(risks, "r.dbf");
    const Lines rows = SectionRows(Run(), "RISCOS");
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[1], FieldRow("RISCOS", "CODIGO", "0", "0,00", one.invalid,
                                std::string(one.invalid) == "0" ? "0,00" : "100,00"));
  }
}

TEST_F(RulesTest, BlankTextWithNullAllowedIsNotCounted) {
  risksRules[1].nulo = "1";
  DbfWriter risks = Writer();
  risks.AddRecord({"05631", "", "", "00123", "CD", "", "1", "20230101", "61", "1.00"});
  setup.risk = Write(risks, "r.dbf");
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
  setup.risk = Write(risks, "r.dbf");
  const Failure failure = RunFailing<VariantError>();
  EXPECT_EQ(failure.message, "Could not convert variant of type (Null) into type (Integer)");
  EXPECT_EQ(failure.where, "Arquivo: " + setup.risk + ", registro 2, campo QTD");
  // The lines written before the error stay; there are no closing lines.
  EXPECT_EQ(setup.lines, Header());
}

TEST_F(RulesTest, DependOnAMissingFieldEndsTheRun) {
  risksRules[4].depende = "NOPE";
  DbfWriter risks = Writer();
  risks.AddRecord({"05631", "20230101", "", "00123", "CD", "", "1", "20230101", "61", "1.00"});
  setup.risk = Write(risks, "r.dbf");
  const Failure failure = RunFailing<DatabaseError>();
  EXPECT_EQ(failure.message, "tbDados: Field 'NOPE' not found");
  EXPECT_EQ(failure.where, "Arquivo: " + setup.risk + ", registro 1, campo UF");
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
  setup.risk = Write(risks, "r.dbf");
  const Failure failure = RunFailing<VariantError>();
  EXPECT_EQ(failure.message, "Could not convert variant of type (String) into type (Date)");
  EXPECT_EQ(failure.where, "Arquivo: " + setup.risk + ", registro 1, campo DT");
}

}  // namespace
}  // namespace tarvelo
