#include "validation/structure_check.h"

#include "values/errors.h"
#include "values/text.h"
#include "values/variant_operators.h"

namespace tarvelo {

std::pair<size_t, size_t> RowsOfTable(const Catalogue& catalogue, int32_t tableNumber) {
  const std::vector<CatalogueField>& rows = catalogue.FieldRows();
  size_t first = 0;
  while (first < rows.size() && rows[first].table != tableNumber) ++first;
  size_t last = first;
  while (last < rows.size() && rows[last].table == tableNumber) ++last;
  return {first, last};
}

bool CheckStructure(const Catalogue& catalogue, DbfTable& data, int32_t tableNumber, const RegionalSettings& settings) {
  const auto [first, last] = RowsOfTable(catalogue, tableNumber);
  if (first == last) return false;
  try {
    int32_t matchCount = 0;
    for (size_t i = first; i < last; ++i) {
      const CatalogueField& row = catalogue.FieldRows()[i];
      const Variant ordem = row.position ? Variant::Integer(*row.position) : Variant::Null();
      const int32_t position = ToInteger(Subtract(ordem, Variant::Byte(1), settings), settings);
      const DbfField& field = data.FieldAt(position);
      const bool matches = Trim(row.name) == Trim(field.FieldName()) && row.Is(row.type, field.DataType()) &&
                           row.Is(row.size, field.Size());
      if (matches) ++matchCount;
    }
    return matchCount == data.FieldCount();
  } catch (const TarveloError&) {
    return false;
  }
}

}  // namespace tarvelo
