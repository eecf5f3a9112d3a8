// The page's tables: fields of each file, totals against the QDP, failing
// records.

#include <algorithm>
#include <charconv>
#include <cmath>

#include "validation/html_page_parts.h"
#include "validation/line_of_business.h"
#include "validation/report_format.h"
#include "values/cp1252_literal.h"
#include "values/text.h"

namespace tarvelo::html_page {
namespace {

// A number in the form SVG attributes take (".", no grouping).
std::string SvgNumber(double value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, std::round(value * 100) / 100).ptr;
  return std::string(buffer, end);
}

// A header cell that sorts its table by its column when the script runs.
Markup SortHeader(const char* label, bool number) {
  return Element("th", {{"scope", "col"}, {"class", number ? "n" : ""}},
                 Element("button", {{"type", "button"}}, T(label)));
}

Markup Rect(const char* cls, double x, double y, double width, double height) {
  return Element("rect",
                 {{"class", cls},
                  {"x", SvgNumber(x)},
                  {"y", SvgNumber(y)},
                  {"width", SvgNumber(std::max(0.0, width))},
                  {"height", SvgNumber(height)}},
                 Markup());
}

// Two thin bars of a field's shares of empty and invalid values (0 to
// 100%, longer shares drawn whole).
Markup ShareBars(const FieldResult& field, const std::string& label) {
  const double empty = std::clamp(field.nullShare, 0.0, 100.0);
  const double invalid = std::clamp(field.domainShare, 0.0, 100.0);
  return Element("svg",
                 {{"class", "barra"},
                  {"viewBox", "0 0 100 10"},
                  {"preserveAspectRatio", "none"},
                  {"role", "img"},
                  {"aria-label", label}},
                 Element("title", Text(label)) + Rect("fundo", 0, 0, 100, 10) + Rect("vazio", 0, 0, empty, 4.5) +
                     Rect("invalido", 0, 5.5, invalid, 4.5));
}

Markup FieldRow(const FieldResult& field, const char* rowClass, const RegionalSettings& settings) {
  const std::string emptyShare = Fixed2(field.nullShare, settings) + "%";
  const std::string invalidShare = Fixed2(field.domainShare, settings) + "%";
  const std::string label = "vazios " + emptyShare + "; inv\xE1lidos " + invalidShare;
  return Element(
      "tr", {{"class", rowClass}},
      Element("th", {{"scope", "row"}}, Text(field.field)) +
          NumberCell(static_cast<double>(field.nullCount), Count(field.nullCount, settings)) +
          NumberCell(field.nullShare, emptyShare) +
          NumberCell(static_cast<double>(field.domainCount), Count(field.domainCount, settings)) +
          NumberCell(field.domainShare, invalidShare) +
          Element("td", {{"data-v", SvgNumber(field.nullShare + field.domainShare)}}, ShareBars(field, label)));
}

Markup FieldsTable(const FileResult& file, size_t index, const RegionalSettings& settings) {
  int64_t worst = 0;
  for (const FieldResult& field : file.fields) worst = std::max(worst, field.nullCount + field.domainCount);
  Markup rows;
  for (const FieldResult& field : file.fields) {
    const int64_t failures = field.nullCount + field.domainCount;
    rows += FieldRow(field, failures == 0 ? "quieto" : failures == worst ? "mau pior" : "mau", settings);
  }
  const Markup head = Element("tr", SortHeader("Campo", false) + SortHeader("Vazios", true) +
                                        SortHeader("% vazios", true) + SortHeader("Inválidos"_cp1252, true) +
                                        SortHeader("% inválidos"_cp1252, true) + SortHeader("Proporção"_cp1252, true));
  return Element(
      "div", {{"class", "tabela"}},
      Element("table", {{"class", "ordenavel"}, {"id", FileId("tabela-campos", index)}},
              Element("caption",
                      T("Valores vazios e inválidos por campo, em registros e em % dos registros do arquivo"_cp1252)) +
                  Element("thead", head) + Element("tbody", rows)));
}

// The lines that say what stopped a file's checks.
Markup FileStatus(const FileResult& file, const RegionalSettings& settings) {
  Markup out = Element("p", T("Registros: ") + Text(Count(file.recordCount, settings)) + T("."));
  if (!file.structureOk)
    out += Element("p", {{"class", "obs"}},
                   T("A estrutura do arquivo não confere com a do catálogo: os valores não foram verificados."_cp1252));
  if (file.secondCompany)
    out += Element(
        "p", {{"class", "obs"}},
        T("Há registros de mais de uma empresa: a verificação do arquivo parou no primeiro de outra empresa."_cp1252));
  if (file.structureOk && !file.secondCompany && file.fields.empty())
    out += Element("p", T("O arquivo não tem registros a verificar."_cp1252));
  return out;
}

// The observations of a totals row, as the report makes them.
Markup TotalsNotes(const TotalsResult& row) {
  Markup notes;
  if (row.reference == 0 && row.fileTotal != 0) notes += Element("span", {{"class", "obs"}}, T("valor sem QDP. "));
  if (row.reference != 0 && row.fileTotal == 0) notes += Element("span", {{"class", "obs"}}, T("QDP sem valor. "));
  if (row.difference && std::fabs(*row.difference) > 10)
    notes += Element("span", {{"class", "obs"}}, T("diferença acima de 10%."_cp1252));
  if (notes.Bytes().empty()) notes = T("dentro da faixa de 10%.");
  return notes;
}

// The declared and the file's value as paired bars, with the band of 10%
// around the declared value.
Markup PairedBars(const TotalsResult& row, const std::string& label) {
  const double reference = std::max(0.0, row.reference), total = std::max(0.0, row.fileTotal);
  const double scale = std::max({reference * 1.1, total, 1e-9});
  const double width = 200;
  const auto at = [&](double value) { return value / scale * width; };
  Markup bars = Element("title", Text(label));
  if (reference > 0) bars += Rect("faixa", at(reference * 0.9), 0, at(reference * 1.1) - at(reference * 0.9), 40);
  bars += Rect("declarado", 0, 4, at(reference), 14) + Rect("arquivo", 0, 22, at(total), 14);
  return Element("svg", {{"class", "par"}, {"viewBox", "0 0 200 40"}, {"role", "img"}, {"aria-label", label}}, bars);
}

Markup TotalsTable(const FileResult& file, const RegionalSettings& settings) {
  const bool risks = file.tableNumber == kRisksTable;
  Markup rows;
  for (const TotalsResult& row : file.totals) {
    const std::string difference = row.difference ? Fixed2(*row.difference, settings) + "%" : "div por zero";
    const std::string label = "Declarado " + Fixed2(row.reference, settings) + "; no arquivo " +
                              Fixed2(row.fileTotal, settings) +
                              "; diferen\xE7"
                              "a " +
                              difference;
    rows += Element("tr", Element("th", {{"scope", "row"}}, Text(row.line)) +
                              NumberCell(row.reference, Fixed2(row.reference, settings)) +
                              NumberCell(row.fileTotal, Fixed2(row.fileTotal, settings)) +
                              (row.difference ? NumberCell(*row.difference, difference)
                                              : Element("td", {{"class", "n"}}, Text(difference))) +
                              Element("td", PairedBars(row, label)) + Element("td", TotalsNotes(row)));
  }
  const Markup head = Element("tr", Element("th", {{"scope", "col"}}, T("Modalidade")) +
                                        Element("th", {{"scope", "col"}, {"class", "n"}}, T("Declarado no QDP")) +
                                        Element("th", {{"scope", "col"}, {"class", "n"}}, T("No arquivo")) +
                                        Element("th", {{"scope", "col"}, {"class", "n"}}, T("Diferença"_cp1252)) +
                                        Element("th", {{"scope", "col"}}, T("Gráfico"_cp1252)) +
                                        Element("th", {{"scope", "col"}}, T("Observação"_cp1252)));
  return Element("h3", T(risks ? "Prêmios"_cp1252 : "Sinistros pagos")) +
         Element("div", {{"class", "tabela"}}, Element("table", Element("thead", head) + Element("tbody", rows)));
}

// A key of the totals' chart: its colour, then what it stands for.
Markup Swatch(const char* cls, const char* label) {
  return Element("span", Element("svg", {{"class", "cor"}, {"viewBox", "0 0 10 10"}, {"aria-hidden", "true"}},
                                 Rect(cls, 0, 0, 10, 10)) +
                             T(label));
}

// What is wrong with a listed value, with the rule behind it when known.
std::string WhatIsWrong(const ListedFailure& failure, const FieldRules* rules, const RegionalSettings& settings) {
  if (rules && failure.rule == DetailRule::Length)
    return "tamanho diferente de " + Count(rules->size, settings) + " caracteres";
  if (rules && failure.rule == DetailRule::Domain && !rules->dependsOn.empty())
    return "n\xE3o \xE9 um c\xF3"
           "digo permitido para o valor do campo " +
           rules->dependsOn + ": " + (failure.dependsValue.empty() ? "vazio" : failure.dependsValue);
  if (failure.rule == DetailRule::Domain)
    return "n\xE3o \xE9 um c\xF3"
           "digo do cat\xE1logo";
  return FailureText(failure.rule);
}

Markup FieldFailuresTable(const FieldFailures& field, const std::string& id, const FieldRules* rules,
                          const RegionalSettings& settings) {
  Markup rows;
  for (const ListedFailure& failure : field.rows) {
    Markup value = Text(failure.value);
    if (failure.valueLength > failure.value.size())
      value += Element("span", {{"class", "mais"}},
                       T(" (… "_cp1252) + Text(Count(failure.valueLength, settings)) + T(" bytes)"));
    rows += Element("tr", NumberCell(static_cast<double>(failure.record), Count(failure.record, settings)) +
                              Element("td", {{"class", "v"}}, value) +
                              Element("td", Text(WhatIsWrong(failure, rules, settings))));
  }
  const Markup head = Element(
      "tr", SortHeader("Registro", true) + SortHeader("Valor no arquivo", false) + SortHeader("Problema", false));
  Markup out;
  if (!field.rows.empty()) {
    out += Element("p", {{"class", "filtro"}},
                   Element("label", T("Filtrar: ") + html::ElementMaker::MakeVoid(
                                                         "input", {{"type", "search"}, {"aria-controls", id}})));
    out += Element(
        "div", {{"class", "tabela"}},
        Element("table", {{"class", "ordenavel longa"}, {"id", id}}, Element("thead", head) + Element("tbody", rows)));
  }
  if (field.more > 0)
    out += Element("p", {{"class", "mais"}},
                   T("e mais ") + Text(Count(field.more, settings)) +
                       T(" registros com falha neste campo; a listagem de detalhes (--detalhes) traz todos."));
  return out;
}

}  // namespace

Markup FieldsSection(const RunResults& results, const RegionalSettings& settings) {
  Markup out = Element("h2", T("Campos de cada arquivo"));
  if (results.riskFileMissing)
    out += Element("p", {{"class", "obs"}}, T("Arquivo de riscos vazio ou não selecionado."_cp1252));
  if (results.claimFileMissing)
    out += Element("p", {{"class", "obs"}}, T("Arquivo de sinistros vazio ou não selecionado."_cp1252));
  for (size_t i = 0; i < results.files.size(); ++i) {
    const FileResult& file = results.files[i];
    out += Element("section", {{"id", FileId("campos", i + 1)}},
                   Element("h3", T(KindName(file)) + T(": ") + Text(file.table)) + FileStatus(file, settings) +
                       (file.fields.empty() ? Markup() : FieldsTable(file, i + 1, settings)));
  }
  return Element("section", {{"id", "campos"}}, out);
}

Markup TotalsSection(const RunResults& results, const RegionalSettings& settings) {
  Markup out = Element("h2", T("Totais comparados com o QDP"));
  if (results.companyNotFound)
    out += Element("p", {{"class", "obs"}},
                   T("A empresa não está no QDP (DadosQdp.DBF): os totais dos arquivos são comparados com 0."_cp1252));
  bool any = false;
  for (const FileResult& file : results.files) {
    if (file.totals.empty()) continue;
    out += TotalsTable(file, settings);
    any = true;
  }
  if (any)
    out += Element("p", {{"class", "legenda"}},
                   Swatch("declarado", "declarado no QDP") + Swatch("arquivo", "no arquivo") +
                       Swatch("faixa", "faixa de 10% em torno do declarado"));
  else
    out += Element("p", T("Os totais não foram comparados."_cp1252));
  return Element("section", {{"id", "totais"}}, out);
}

Markup FailuresSection(const HtmlPageRows& rows, const PageFacts& facts, const RegionalSettings& settings) {
  Markup out = Element("h2", T("Registros com falha"));
  out += Element("p", T("Até 1.000 registros por campo; a listagem de detalhes (--detalhes) traz todos."_cp1252));
  bool any = false;
  for (size_t f = 0; f < rows.Files().size(); ++f) {
    const FileFailures& file = rows.Files()[f];
    const TableRules* rules = RulesOf(facts, file.table);
    for (size_t i = 0; i < file.fields.size(); ++i) {
      const FieldFailures& field = file.fields[i];
      const int64_t total = static_cast<int64_t>(field.rows.size()) + field.more;
      out += Element("h3", Text(Trim(file.table)) + T(" · "_cp1252) + Text(field.field) + T(": ") +
                               Text(Count(total, settings)) + T(total == 1 ? " falha" : " falhas"));
      out += FieldFailuresTable(field, FileId("falhas", f + 1) + "-" + std::to_string(i + 1),
                                FieldRulesOf(rules, field.field), settings);
      any = true;
    }
  }
  if (!any) out += Element("p", T("Nenhum registro com falha."));
  return Element("section", {{"id", "registros"}}, out);
}

}  // namespace tarvelo::html_page
