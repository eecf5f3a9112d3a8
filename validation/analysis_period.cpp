#include "validation/analysis_period.h"

#include <utility>

#include "validation/catalogue.h"
#include "validation/report_format.h"
#include "values/cp1252_literal.h"
#include "values/date_time.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {
namespace {

struct Day {
  int year = 0, month = 0, day = 0;
  /// yyyymmdd as text: compares as the dates do.
  std::string key;
};

std::optional<Day> ParseDay(const std::string& text) {
  const std::string key = Trim(text);
  if (key.size() != 8) return std::nullopt;
  for (const char c : key)
    if (c < '0' || c > '9') return std::nullopt;
  const Day day{std::stoi(key.substr(0, 4)), std::stoi(key.substr(4, 2)), std::stoi(key.substr(6, 2)), key};
  if (!IsGregorianDate(day.year, day.month, day.day)) return std::nullopt;
  return day;
}

std::string DayText(const Day& day) {
  return day.key.substr(6, 2) + "/" + day.key.substr(4, 2) + "/" + day.key.substr(0, 4);
}

std::string Warning(const std::string& cause) {
  return "The analysis period could not be read from \"DadosQdp.DBF\" (" + cause + "): the report names the period " +
         kAnalysisPeriod + ".";
}

}  // namespace

AnalysisPeriod FixedAnalysisPeriod(std::string warning) { return {kAnalysisPeriod, 2023, std::move(warning)}; }

std::optional<std::string> WindowText(const std::string& start, const std::string& end) {
  const auto first = ParseDay(start);
  const auto last = ParseDay(end);
  if (!first || !last || first->key > last->key) return std::nullopt;
  return DayText(*first) + " a " + DayText(*last);
}

AnalysisPeriod PeriodOfReferenceTable(const CatalogueTable& table, const RegionalSettings& settings) {
  if (!table.Read()) return FixedAnalysisPeriod();
  try {
    if (table.FindField("INIVIG") == nullptr || table.FindField("FIMVIG") == nullptr)
      return FixedAnalysisPeriod(Warning("no field \"INIVIG\" or \"FIMVIG\""));
    std::optional<Day> earliest, latest;
    for (size_t row = 0; row < table.Rows(); ++row) {
      const std::string start = ToText(table.Value(row, "inivig"), settings);
      const std::string end = ToText(table.Value(row, "fimvig"), settings);
      if (!WindowText(start, end)) {
        const int64_t number = static_cast<int64_t>(row) + 1;
        AnalysisPeriod fixed = FixedAnalysisPeriod(Warning("row " + std::to_string(number) + " has the window \"" +
                                                           EscapeControlCharacters(Trim(start)) + "\" to \"" +
                                                           EscapeControlCharacters(Trim(end)) + "\""));
        fixed.unreadableRow = number;
        return fixed;
      }
      const Day first = *ParseDay(start), last = *ParseDay(end);
      if (!earliest || first.key < earliest->key) earliest = first;
      if (!latest || last.key > latest->key) latest = last;
    }
    // A table without rows has no window to give, and no company to
    // compare: the run says so by the company's warning.
    if (!earliest) return FixedAnalysisPeriod();
    return {DayText(*earliest) + " a " + DayText(*latest), latest->year, std::string()};
  } catch (const TarveloError& error) {
    return FixedAnalysisPeriod(Warning(error.what()));
  }
}

}  // namespace tarvelo
