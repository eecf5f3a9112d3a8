#include "validation/rules_listing.h"

#include <nlohmann/json.hpp>

#include "validation/line_of_business.h"
#include "validation/report_format.h"
#include "values/cp1252_literal.h"
#include "values/field_type.h"
#include "values/text.h"

namespace tarvelo {
namespace {

using json = nlohmann::ordered_json;

// The checks of a field, separated by "; ".
std::string Checks(const FieldRules& field) {
  std::string checks = field.required ? "obrigatório"_cp1252 : "pode ficar vazio";
  if (field.exactLength) checks += "; exatamente " + std::to_string(field.size) + " caracteres";
  if (field.date) checks += "; data AAAAMMDD ou zeros";
  if (field.positive) checks += "; positivo (não verificado)"_cp1252;
  if (field.domain)
    checks += field.dependsOn.empty() ? "; um dos códigos"_cp1252 : "; códigos conforme "_cp1252 + field.dependsOn;
  return checks;
}

// The codes, as many to a line as fit in the report's 80 columns, the
// comma after a code that others follow included.
void AppendCodes(ResultLog& log, const FieldRules& field) {
  const std::string indent(6, ' ');
  std::string line = indent + "Códigos: "_cp1252;
  const size_t count = field.codes.size();
  for (size_t i = 0; i < count; ++i) {
    const auto& [code, qualifier] = field.codes[i];
    const std::string one = field.dependsOn.empty() ? code : code + " (" + field.dependsOn + " = " + qualifier + ")";
    const size_t comma = i + 1 < count ? 1 : 0;
    if (i > 0 && line.size() + 2 + one.size() + comma > 80) {
      log.Append(line + ",");
      line = indent + "  " + one;
    } else {
      line += (i > 0 ? ", " : "") + one;
    }
  }
  if (count == 0) line += "nenhum (todo valor preenchido é contado)"_cp1252;
  log.Append(line);
}

}  // namespace

const char* FieldTypeName(int type) {
  switch (type) {
    case ftString:
      return "texto";
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
      return "inteiro";
    case ftBoolean:
      return "lógico"_cp1252;
    case ftFloat:
    case ftBCD:
      return "número"_cp1252;
    case ftCurrency:
      return "moeda";
    case ftDate:
      return "data";
    case ftTime:
      return "hora";
    case ftDateTime:
      return "data e hora";
    case ftMemo:
    case ftFmtMemo:
      return "memorando";
    default:
      return "outro";
  }
}

void WriteRulesListing(ResultLog& log, const std::string& folder, const std::vector<TableRules>& tables) {
  log.Append("Regras do catálogo: "_cp1252 + PathText(folder.empty() ? std::string("./") : folder));
  log.Append(std::string("Ramo: ") + kLineOfBusiness);
  for (const TableRules& table : tables) {
    log.Append("");
    log.Append(RuleLine());
    log.Append("");
    log.Append("Tabela: " + table.table);
    log.Append("");
    for (const FieldRules& field : table.fields) {
      std::string type = FieldTypeName(field.type);
      if (field.size != 0) type += "(" + std::to_string(field.size) + ")";
      log.Append(PadRight(field.field, 12) + PadRight(type, 14) + Checks(field));
      if (field.domain) AppendCodes(log, field);
    }
  }
  log.Append("");
  log.Append(RuleLine());
}

std::string RulesJson(const std::string& folder, const std::vector<TableRules>& tables) {
  json list = json::array();
  for (const TableRules& table : tables) {
    json fields = json::array();
    for (const FieldRules& field : table.fields) {
      json codes = json::array();
      for (const auto& [code, qualifier] : field.codes) {
        codes.push_back(field.dependsOn.empty()
                            ? json{{"code", Cp1252ToUtf8(code)}}
                            : json{{"code", Cp1252ToUtf8(code)}, {"when", Cp1252ToUtf8(qualifier)}});
      }
      fields.push_back({{"field", Cp1252ToUtf8(field.field)},
                        {"type", Cp1252ToUtf8(FieldTypeName(field.type))},
                        {"size", field.size},
                        {"required", field.required},
                        {"exact_length", field.exactLength},
                        {"date", field.date},
                        {"positive", field.positive},
                        {"coded", field.domain},
                        {"depends_on", field.dependsOn.empty() ? json(nullptr) : json(Cp1252ToUtf8(field.dependsOn))},
                        {"codes", codes}});
    }
    list.push_back({{"table", Cp1252ToUtf8(table.table)}, {"fields", fields}});
  }
  const json document = {{"schema", 1}, {"catalogue", folder}, {"line_of_business", kLineOfBusiness}, {"tables", list}};
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace tarvelo
