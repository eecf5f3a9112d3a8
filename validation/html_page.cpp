#include "validation/html_page.h"

#include <charconv>
#include <cmath>

#include "validation/html_page_parts.h"
#include "validation/html_page_template.h"
#include "validation/line_of_business.h"
#include "validation/report_format.h"
#include "values/cp1252_literal.h"
#include "values/text.h"

namespace tarvelo {
namespace html_page {

std::string Count(int64_t value, const RegionalSettings& settings) {
  return FormatNumber(static_cast<double>(value), 0, settings);
}

std::string Fixed2(double value, const RegionalSettings& settings) { return FormatNumber(value, 2, settings); }

Markup NumberCell(double value, const std::string& shown) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return Element("td", {{"class", "n"}, {"data-v", std::string(buffer, end)}}, Text(shown));
}

const TableRules* RulesOf(const PageFacts& facts, const std::string& table) {
  for (const TableRules& rules : facts.rules)
    if (Trim(rules.table) == Trim(table)) return &rules;
  return nullptr;
}

const FieldRules* FieldRulesOf(const TableRules* rules, const std::string& field) {
  if (!rules) return nullptr;
  for (const FieldRules& candidate : rules->fields)
    if (SameName(Trim(candidate.field), Trim(field))) return &candidate;
  return nullptr;
}

const char* KindName(const FileResult& file) { return file.tableNumber == kRisksTable ? "Riscos" : "Sinistros"; }

std::string FileId(const char* prefix, size_t index) { return prefix + ("-" + std::to_string(index)); }

namespace {

enum class State { Passed, Attention, NotChecked };

struct Check {
  const char* anchor;
  const char* label;  // code page 1252
  State state;
};

State StateOf(bool checked, bool problem) {
  return !checked ? State::NotChecked : problem ? State::Attention : State::Passed;
}

std::vector<Check> Checks(const RunResults& results) {
  bool files = !results.files.empty(), structure = results.riskFileMissing || results.claimFileMissing;
  bool values = false, valuesChecked = false, company = false, totals = false, totalsChecked = false;
  for (const FileResult& file : results.files) {
    structure = structure || !file.structureOk || MissingRecords(file) > 0;
    company = company || file.secondCompany;
    valuesChecked = valuesChecked || !file.fields.empty();
    for (const FieldResult& field : file.fields) values = values || field.nullCount != 0 || field.domainCount != 0;
    totalsChecked = totalsChecked || !file.totals.empty();
    for (const TotalsResult& row : file.totals)
      totals = totals || (row.difference ? std::fabs(*row.difference) > 10 : row.fileTotal != 0);
  }
  totals = totals || (totalsChecked && results.companyNotFound);
  const bool claims = results.claims.has_value();
  return {{"campos", "Estrutura dos arquivos", StateOf(files || structure, structure)},
          {"registros", "Valores vazios e inválidos"_cp1252, StateOf(valuesChecked, values)},
          {"campos", "Uma só empresa nos arquivos"_cp1252, StateOf(files, company)},
          {"totais", "Prêmios e sinistros comparados com o QDP"_cp1252, StateOf(totalsChecked, totals)},
          {"sem-apolice", "Sinistros sem apólice"_cp1252, StateOf(claims, claims && results.claims->misses > 0)}};
}

Markup Verdict(const RunResults& results, const PageFacts& facts) {
  const bool problems = HasDataProblems(results);
  const char* cls = facts.error || !results.completed ? "veredito erro" : problems ? "veredito atencao" : "veredito ok";
  const char* text =
      facts.error ? "A validação foi interrompida por um erro; veja abaixo o que foi verificado antes dele."_cp1252
      : !results.completed ? "A validação não terminou."_cp1252
      : problems           ? "Os dados requerem atenção nos pontos marcados abaixo."_cp1252
                           : "Nenhum problema encontrado nos dados."_cp1252;
  Markup items;
  for (const Check& check : Checks(results)) {
    const char* mark = check.state == State::Passed      ? "aprovado"
                       : check.state == State::Attention ? "requer atenção"_cp1252
                                                         : "não verificado"_cp1252;
    items += Element("li",
                     {{"class", check.state == State::Passed      ? "ok"
                                : check.state == State::Attention ? "atencao"
                                                                  : ""}},
                     Element("a", {{"href", std::string("#") + check.anchor}}, T(check.label)) + T(": ") +
                         Element("span", {{"class", "marca"}}, T(mark)));
  }
  return Element("section", {{"id", "resultado"}},
                 Element("h2", T("Resultado")) + Element("p", {{"class", cls}}, T(text)) +
                     Element("ul", {{"class", "verificacoes"}}, items));
}

Markup ErrorSection(const std::string& error) {
  Markup lines;
  size_t at = 0;
  while (at <= error.size()) {
    const size_t end = std::min(error.find('\n', at), error.size());
    lines += Element("p", Text(error.substr(at, end - at)));
    at = end + 1;
  }
  return Element("section", {{"id", "erro"}},
                 Element("h2", T("Erro")) + Element("div", {{"class", "veredito erro"}}, lines));
}

Markup FilesTable(const RunResults& results, const RegionalSettings& settings) {
  Markup rows;
  for (const FileResult& file : results.files) {
    const std::string size = file.size ? Count(static_cast<int64_t>(*file.size), settings) + " bytes" : "";
    const std::string date = file.modified ? FormatDateTime(*file.modified, settings) : "";
    rows +=
        Element("tr", Element("th", {{"scope", "row"}}, T(KindName(file))) + Element("td", Text(PathText(file.path))) +
                          Element("td", Text(file.table)) + Element("td", {{"class", "n"}}, Text(size)) +
                          NumberCell(file.recordCount, Count(file.recordCount, settings)) +
                          Element("td", {{"class", "n"}}, Text(date)));
  }
  if (results.files.empty()) return Markup();
  const auto col = [](const char* label, bool number) {
    return Element("th", {{"scope", "col"}, {"class", number ? "n" : ""}}, T(label));
  };
  // A file cut short: what its header declares and what was read of it.
  Markup notes;
  for (const FileResult& file : results.files) {
    const int64_t missing = MissingRecords(file);
    if (missing == 0) continue;
    notes += Element("p", {{"class", "obs"}},
                     T("O arquivo ") + Text(PathText(file.path)) + T(" está cortado: o cabeçalho declara "_cp1252) +
                         Text(Count(file.declaredRecords, settings)) + T(" registros e ele traz ") +
                         Text(Count(file.recordsInFile, settings)) + T(" (faltam ") + Text(Count(missing, settings)) +
                         T("); só os registros que ele traz foram verificados."_cp1252));
  }
  return Element("div", {{"class", "tabela"}},
                 Element("table", Element("caption", T("Arquivos validados")) +
                                      Element("thead", Element("tr", col("Arquivo", false) + col("Nome", false) +
                                                                         col("Tabela", false) + col("Tamanho", true) +
                                                                         col("Registros", true) +
                                                                         col("Data do arquivo", true))) +
                                      Element("tbody", rows))) +
         notes;
}

Markup Header(const RunResults& results, const RegionalSettings& settings) {
  // A run an error ended before the first record has learnt no company.
  Markup company = results.companyCode.empty() ? T("não identificada"_cp1252) : Text(results.companyCode);
  if (!Trim(results.companyName).empty()) company += T(" — "_cp1252) + Text(Trim(results.companyName));
  if (results.companyNotFound) company += T(" (não encontrada no QDP)"_cp1252);
  Markup facts_ = Element("dt", T("Empresa")) + Element("dd", company) + Element("dt", T("Período de análise"_cp1252)) +
                  Element("dd", Text(results.period.empty() ? kAnalysisPeriod : results.period));
  if (!results.catalogueFiles.empty()) {
    // The catalogue the run used: its folder, each table's records and date.
    Markup tables;
    for (const CatalogueFileFacts& file : results.catalogueFiles) {
      std::string line =
          file.file + ": " +
          (file.records ? Count(*file.records, settings) + " registros" : std::string("ilegível"_cp1252));
      if (file.modified) line += ", " + FormatDateTime(*file.modified, settings);
      tables += Element("li", Text(line));
    }
    facts_ += Element("dt", T("Catálogo"_cp1252)) +
              Element("dd", Text(PathText(results.catalogueFolder)) + Element("ul", tables));
  }
  if (results.started)
    facts_ += Element("dt", T("Processamento")) + Element("dd", Text(FormatDateTime(*results.started, settings)));
  return Element("dl", {{"class", "fatos"}}, facts_) + FilesTable(results, settings);
}

Markup ClaimsSection(const RunResults& results, const HtmlPageRows& rows, const RegionalSettings& settings) {
  Markup out = Element("h2", T("Sinistros sem apólice"_cp1252));
  if (!results.claims) {
    out += Element("p", T("A busca de sinistros sem apólice não foi feita."_cp1252));
    return Element("section", {{"id", "sem-apolice"}}, out);
  }
  out += Element("p", Text(Count(results.claims->misses, settings)) +
                          T(" sinistros sem apólice no período, num total de "_cp1252) +
                          Text(Count(results.claims->claimCount, settings)) + T(" sinistros (") +
                          Text(Fixed2(results.claims->share, settings)) + T("%)."));
  Markup list;
  int64_t more = 0;
  for (const FileFailures& file : rows.Files()) {
    more += file.moreClaims;
    for (const ListedClaim& claim : file.claims)
      list += Element("tr", NumberCell(static_cast<double>(claim.record), Count(claim.record, settings)) +
                                Element("td", {{"class", "v"}}, Text(claim.policy)) +
                                Element("td", {{"class", "v"}}, Text(claim.item)));
  }
  if (!list.Bytes().empty()) {
    const auto col = [](const char* label) { return Element("th", {{"scope", "col"}}, T(label)); };
    out += Element("div", {{"class", "tabela"}},
                   Element("table", {{"class", "longa"}},
                           Element("thead", Element("tr", col("Registro") + col("Apólice"_cp1252) + col("Item"))) +
                               Element("tbody", list)));
  }
  if (more > 0)
    out += Element("p", {{"class", "mais"}},
                   T("e mais ") + Text(Count(more, settings)) +
                       T(" sinistros sem apólice; a listagem de detalhes (--detalhes) traz todos."_cp1252));
  return Element("section", {{"id", "sem-apolice"}}, out);
}

}  // namespace
}  // namespace html_page

std::string HtmlPage(const RunResults& results, const HtmlPageRows& rows, const PageFacts& facts,
                     const RegionalSettings& settings) {
  using namespace html_page;
  Markup sections;
  if (facts.error) sections += ErrorSection(*facts.error);
  sections += Verdict(results, facts) + FieldsSection(results, settings) + TotalsSection(results, settings) +
              ClaimsSection(results, rows, settings) + FailuresSection(rows, facts, settings) +
              RulesSection(facts, settings);
  Markup title = T("Validação dos arquivos"_cp1252);
  if (!results.companyCode.empty()) title += T(": ") + Text(results.companyCode);
  if (!Trim(results.companyName).empty()) title += T(" — "_cp1252) + Text(Trim(results.companyName));
  const Markup page = html::kPageTemplate.Fill(
      {{"hash_estilo", Text(html::kPageStyleHash)},
       {"hash_script", Text(html::kPageScriptHash)},
       {"titulo", title},
       {"estilo", html::kPageStyle.Whole()},
       {"cabecalho", Header(results, settings)},
       {"secoes", sections},
       {"rodape",
        T("Feito pelo Tarvelo. Todas as falhas, registro a registro, estão na listagem de detalhes (--detalhes)."_cp1252)},
       {"script", html::kPageScript.Whole()}});
  return page.Bytes();
}

}  // namespace tarvelo
