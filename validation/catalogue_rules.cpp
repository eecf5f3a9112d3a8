#include "validation/catalogue_rules.h"

#include <map>
#include <utility>

#include "values/text.h"

namespace tarvelo {

std::vector<TableRules> CatalogueRules(const Catalogue& catalogue) {
  std::vector<TableRules> tables;
  // Each table's number to its place in tables.
  std::map<int32_t, size_t> tableAt;
  for (const CatalogueTableName& table : catalogue.TableOrder()) {
    tableAt[table.number] = tables.size();
    tables.push_back({Trim(table.name), {}});
  }
  // Each field's table number and position (0 for a blank one), the key its
  // codes name it by, in the order fields are added.
  std::vector<std::pair<int32_t, int32_t>> keys;
  for (const CatalogueField& row : catalogue.FieldRows()) {
    const auto table = tableAt.find(row.table);
    if (table == tableAt.end()) continue;
    const auto flag = [](const std::optional<int32_t>& value) { return value.value_or(0); };
    FieldRules field;
    field.field = Trim(row.name);
    field.type = flag(row.type);
    field.size = flag(row.size);
    // A blank "nulo" is no rule, as the record checks read it.
    field.required = row.Is(row.nullable, 0);
    field.exactLength = flag(row.exactLength) == 1;
    field.date = flag(row.date) == 1 && flag(row.zeros) == 1;
    field.positive = flag(row.positive) == 1;
    field.domain = flag(row.coded) == 1;
    field.dependsOn = Trim(row.dependsOn);
    keys.emplace_back(table->first, flag(row.position));
    tables[table->second].fields.push_back(std::move(field));
  }
  // Pointers taken once every vector has its final size, in the order the
  // fields were added.
  std::map<std::pair<int32_t, int32_t>, FieldRules*> fieldAt;
  std::map<size_t, size_t> taken;
  for (const auto& key : keys) {
    const size_t at = tableAt[key.first];
    fieldAt.emplace(key, &tables[at].fields[taken[at]++]);
  }
  for (const CatalogueCode& code : catalogue.CodeRows()) {
    const auto field = fieldAt.find({code.table, code.position.value_or(0)});
    if (field == fieldAt.end()) continue;
    field->second->codes.emplace_back(Trim(code.value1), Trim(code.value2));
  }
  return tables;
}

}  // namespace tarvelo
