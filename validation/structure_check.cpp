#include "validation/structure_check.h"

#include "values/errors.h"
#include "values/text.h"
#include "values/variant_operators.h"

namespace tarvelo {

bool OnRowOfTable(MemTable& structure, int32_t tableNumber, const RegionalSettings& settings) {
  return !structure.AtEnd() &&
         Compare(structure.FieldValue("tabela"), CompareOp::Equal, Variant::Integer(tableNumber), settings);
}

bool GoToFirstRowOfTable(MemTable& structure, int32_t tableNumber, const RegionalSettings& settings) {
  structure.First();
  while (!structure.AtEnd() &&
         Compare(structure.FieldValue("tabela"), CompareOp::NotEqual, Variant::Integer(tableNumber), settings))
    structure.Next();
  return !structure.AtEnd();
}

bool CheckStructure(MemTable& structure, DbfTable& data, int32_t tableNumber, const RegionalSettings& settings) {
  if (!GoToFirstRowOfTable(structure, tableNumber, settings)) return false;
  try {
    int32_t matchCount = 0;
    while (OnRowOfTable(structure, tableNumber, settings)) {
      const int32_t position = ToInteger(Subtract(structure.FieldValue("ordem"), Variant::Byte(1), settings), settings);
      const DbfField& field = data.FieldAt(position);
      const bool matches =
          Trim(ToText(structure.FieldValue("campo"), settings)) == Trim(field.FieldName()) &&
          Compare(structure.FieldValue("tipo"), CompareOp::Equal, Variant::Integer(field.DataType()), settings) &&
          Compare(structure.FieldValue("tamanho"), CompareOp::Equal, Variant::Integer(field.Size()), settings);
      if (matches) ++matchCount;
      structure.Next();
    }
    return matchCount == data.FieldCount();
  } catch (const TarveloError&) {
    return false;
  }
}

}  // namespace tarvelo
