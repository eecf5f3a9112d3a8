// The page's section on the catalogue's rules of each field.

#include <algorithm>

#include "validation/html_page_parts.h"
#include "validation/rules_listing.h"
#include "values/cp1252_literal.h"
#include "values/field_type.h"

namespace tarvelo::html_page {
namespace {

// The checks of a field in words, one sentence each.
Markup RuleWords(const FieldRules& field, const RegionalSettings& settings) {
  Markup words;
  const auto add = [&](const Markup& sentence) { words += Element("li", sentence); };
  add(T(field.required ? "Obrigatório: um valor vazio é contado."_cp1252 : "Pode ficar vazio."));
  if (field.exactLength)
    add(T("Deve ter exatamente ") + Text(Count(field.size, settings)) +
        T(" caracteres (zeros à esquerda incluídos)."_cp1252));
  if (field.date) add(T("Deve ser uma data válida (AAAAMMDD), ou zeros em toda a largura."_cp1252));
  if (field.positive) add(T("Marcado como positivo no catálogo (não verificado)."_cp1252));
  if (field.domain && field.dependsOn.empty()) add(T("Deve ser um dos códigos do catálogo."_cp1252));
  if (field.domain && !field.dependsOn.empty())
    add(T("Deve ser um dos códigos que o catálogo permite para o valor do campo "_cp1252) + Text(field.dependsOn) +
        T("."));
  return Element("ul", words);
}

// The codes allowed, at most kCodesShown and codesLeft; codesLeft goes down
// by those listed.
Markup Codes(const FieldRules& field, size_t& codesLeft, const RegionalSettings& settings) {
  Markup codes;
  const size_t shown = std::min({field.codes.size(), kCodesShown, codesLeft});
  codesLeft -= shown;
  for (size_t i = 0; i < shown; ++i) {
    const auto& [code, qualifier] = field.codes[i];
    Markup one = Element("code", Text(code));
    if (!field.dependsOn.empty())
      one += T(" (") + Text(field.dependsOn) + T(" = ") + Element("code", Text(qualifier)) + T(")");
    codes += Element("li", one);
  }
  Markup out = codes.Bytes().empty() ? Markup() : Element("ul", codes);
  if (field.codes.size() > shown)
    out += Element(
        "p", {{"class", "mais"}},
        T("e mais ") + Text(Count(static_cast<int64_t>(field.codes.size() - shown), settings)) + T(" códigos."_cp1252));
  return out;
}

Markup RulesTable(const TableRules& table, size_t& codesLeft, const RegionalSettings& settings) {
  Markup rows;
  for (const FieldRules& field : table.fields) {
    rows += Element("tr",
                    Element("th", {{"scope", "row"}}, Text(field.field)) + Element("td", T(FieldTypeName(field.type))) +
                        Element("td", {{"class", "n"}}, Text(field.size > 0 ? Count(field.size, settings) : "")) +
                        Element("td", RuleWords(field, settings)) + Element("td", Codes(field, codesLeft, settings)));
  }
  const auto col = [](const char* label) { return Element("th", {{"scope", "col"}}, T(label)); };
  return Element("h3", Text(table.table)) +
         Element("div", {{"class", "tabela"}},
                 Element("table", {{"class", "longa"}},
                         Element("thead", Element("tr", col("Campo") + col("Tipo") + col("Tamanho") + col("Regras") +
                                                            col("Códigos permitidos"_cp1252))) +
                             Element("tbody", rows)));
}

}  // namespace

Markup RulesSection(const PageFacts& facts, const RegionalSettings& settings) {
  Markup out = Element("h2", T("Regras de cada campo, do catálogo"_cp1252));
  size_t codesLeft = kCodesShownInAll;
  for (const TableRules& table : facts.rules) out += RulesTable(table, codesLeft, settings);
  if (facts.rules.empty()) out += Element("p", T("As regras do catálogo não foram incluídas nesta página."_cp1252));
  return Element("section", {{"id", "regras"}}, out);
}

}  // namespace tarvelo::html_page
