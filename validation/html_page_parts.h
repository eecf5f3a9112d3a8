#pragma once
// The pieces of the HTML page that its two source files share.

#include <cstdint>
#include <string>

#include "validation/html_page.h"
#include "validation/html_writer.h"

namespace tarvelo::html_page {

using html::Element;
using html::Markup;
using html::Text;

/// Text of a code page 1252 literal.
inline Markup T(const char* cp1252) { return Text(cp1252); }

/// A count in the settings' format, thousands grouped ("1.234").
std::string Count(int64_t value, const RegionalSettings& settings);
/// A number with two decimals in the settings' format ("12,50").
std::string Fixed2(double value, const RegionalSettings& settings);
/// A table cell of a number: right-aligned, shown as shown, with the exact
/// value in "data-v" for sorting (and for machines).
Markup NumberCell(double value, const std::string& shown);
/// The rules of table in facts, or nullptr.
const TableRules* RulesOf(const PageFacts& facts, const std::string& table);
/// The rules of field in rules (nullptr for none).
const FieldRules* FieldRulesOf(const TableRules* rules, const std::string& field);
/// "Riscos" for the risks file's table, "Sinistros" otherwise.
const char* KindName(const FileResult& file);
/// The id of a file's section ("campos-1").
std::string FileId(const char* prefix, size_t index);

/// The page's section on the fields of each file (structure, single company,
/// empty and invalid values), id "campos".
Markup FieldsSection(const RunResults& results, const RegionalSettings& settings);
/// The totals against the QDP, id "totais".
Markup TotalsSection(const RunResults& results, const RegionalSettings& settings);
/// The failing records per field, id "registros".
Markup FailuresSection(const HtmlPageRows& rows, const PageFacts& facts, const RegionalSettings& settings);

}  // namespace tarvelo::html_page

namespace tarvelo::html_page {

/// The rules of each field from the catalogue, id "regras".
Markup RulesSection(const PageFacts& facts, const RegionalSettings& settings);

}  // namespace tarvelo::html_page
