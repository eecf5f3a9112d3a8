#include "validation/catalogue_rules.h"

#include <map>
#include <utility>

#include "values/errors.h"
#include "values/text.h"
#include "values/variant.h"

namespace tarvelo {
namespace {

// The integer a catalogue cell holds, 0 for one that is null or does not
// convert.
int32_t IntegerOf(const Variant& value, const RegionalSettings& settings) {
  if (value.IsNull()) return 0;
  try {
    return ToInteger(value, settings);
  } catch (const TarveloError&) {
    return 0;
  }
}

std::string TextOf(const Variant& value, const RegionalSettings& settings) {
  return value.IsNull() ? std::string() : Trim(ToText(value, settings));
}

}  // namespace

std::vector<TableRules> CatalogueRules(RuleCatalogue& catalogue, const RegionalSettings& settings) {
  std::vector<TableRules> tables;
  MemTable& order = catalogue.TableOrder();
  MemTable& structure = catalogue.Structure();
  MemTable& domain = catalogue.Domain();
  if (!order.IsOpen() || !structure.IsOpen() || !domain.IsOpen()) return tables;
  // Each table's number (its "ordem") to its place in tables.
  std::map<int32_t, size_t> tableAt;
  for (order.First(); !order.AtEnd(); order.Next()) {
    const int32_t number = IntegerOf(order.FieldValue("ordem"), settings);
    tableAt[number] = tables.size();
    tables.push_back({TextOf(order.FieldValue("tabela"), settings), {}});
  }
  // Each field's table number and position ("ordem", which the DomainTable's
  // "campo" names), in the order fields are added.
  std::vector<std::pair<int32_t, int32_t>> keys;
  const std::string index = structure.CurrentIndexName();
  structure.IndexName(kStructureByPosition);
  for (structure.First(); !structure.AtEnd(); structure.Next()) {
    const auto table = tableAt.find(IntegerOf(structure.FieldValue("tabela"), settings));
    if (table == tableAt.end()) continue;
    const auto flag = [&](const char* name) { return IntegerOf(structure.FieldValue(name), settings); };
    FieldRules field;
    field.field = TextOf(structure.FieldValue("campo"), settings);
    field.type = flag("tipo");
    field.size = flag("tamanho");
    // A blank "nulo" is no rule, as the record checks read it.
    field.required = !structure.FieldValue("nulo").IsNull() && flag("nulo") == 0;
    field.exactLength = flag("zerosesq") == 1;
    field.date = flag("data") == 1 && flag("zeros") == 1;
    field.positive = flag("positivo") == 1;
    field.domain = flag("dominio") == 1;
    field.dependsOn = TextOf(structure.FieldValue("depende"), settings);
    keys.emplace_back(table->first, flag("ordem"));
    tables[table->second].fields.push_back(std::move(field));
  }
  structure.IndexName(index);
  // Pointers taken once every vector has its final size, in the order the
  // fields were added.
  std::map<std::pair<int32_t, int32_t>, FieldRules*> fieldAt;
  std::map<size_t, size_t> taken;
  for (const auto& key : keys) {
    const size_t at = tableAt[key.first];
    fieldAt.emplace(key, &tables[at].fields[taken[at]++]);
  }
  for (domain.First(); !domain.AtEnd(); domain.Next()) {
    const auto field = fieldAt.find(
        {IntegerOf(domain.FieldValue("tabela"), settings), IntegerOf(domain.FieldValue("campo"), settings)});
    if (field == fieldAt.end()) continue;
    field->second->codes.emplace_back(TextOf(domain.FieldValue("valor1"), settings),
                                      TextOf(domain.FieldValue("valor2"), settings));
  }
  return tables;
}

}  // namespace tarvelo
