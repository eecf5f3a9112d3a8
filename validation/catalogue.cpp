#include "validation/catalogue.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "os/text_collation.h"
#include "values/errors.h"
#include "values/text.h"
#include "values/variant_operators.h"

namespace tarvelo {
namespace {

// A catalogue value as the rules keep it: a text cut at a NUL byte and to
// width characters, or an integer; a value that does not convert is
// reported by the name of what it was to fill.
std::optional<std::string> StoredText(const Variant& value, size_t width, const char* name,
                                      const RegionalSettings& settings) {
  if (value.IsNull()) return std::nullopt;
  std::string text;
  try {
    text = ToText(value, settings);
  } catch (const VariantError&) {
    throw DatabaseError(std::string("Invalid value for field '") + name + "'");
  }
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  if (text.size() > width) text.resize(width);
  return text;
}

std::optional<int32_t> StoredInteger(const Variant& value, const char* name, const RegionalSettings& settings) {
  if (value.IsNull()) return std::nullopt;
  try {
    return ToInteger(value, settings);
  } catch (const VariantError&) {
    throw DatabaseError(std::string("Invalid value for field '") + name + "'");
  }
}

// Sort keys of the rows: a null part is less than any value; an integer
// compares as a number; a text by the collation of the settings' locale,
// and texts it holds equal by their bytes, so that only identical texts
// are equal keys.
class SortKeys {
 public:
  explicit SortKeys(const RegionalSettings& settings) : collation_(settings.collationLocale) {}

  void Integer(std::string& key, const std::optional<int32_t>& value) {
    if (!value) {
      key.push_back('\0');
      return;
    }
    key.push_back('\1');
    const uint32_t biased = static_cast<uint32_t>(*value) ^ 0x80000000u;
    for (int shift = 24; shift >= 0; shift -= 8) key.push_back(static_cast<char>((biased >> shift) & 0xFF));
  }

  void Text(std::string& key, const std::string& text) {
    key.push_back('\1');
    collation_.SortKey(text, buffer_);
    key.append(buffer_);
    key.push_back('\0');
    key.append(text);
    key.push_back('\0');
  }

 private:
  os::TextCollation collation_;
  std::string buffer_;
};

// Puts rows in the order of their keys; of equal keys, the row added later
// first.
template <class Row>
void SortByKeys(std::vector<Row>& rows, const std::vector<std::string>& keys) {
  std::vector<size_t> order(rows.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const int c = keys[a].compare(keys[b]);
    return c != 0 ? c < 0 : a > b;
  });
  std::vector<Row> sorted;
  sorted.reserve(rows.size());
  for (const size_t at : order) sorted.push_back(std::move(rows[at]));
  rows.swap(sorted);
}

}  // namespace

namespace {

CatalogueTable ReferenceTable(const std::string& folder, const RegionalSettings& settings) {
  return CatalogueTable(folder, "DadosQdp.DBF", "tbDadosQdp", settings);
}

}  // namespace

AnalysisPeriod ReferencePeriod(const std::string& folder, const RegionalSettings& settings) {
  return PeriodOfReferenceTable(ReferenceTable(folder, settings), settings);
}

CatalogueTable::CatalogueTable(const std::string& folder, const char* file, const char* component,
                               const RegionalSettings& settings)
    : file_(file), path_(folder + file) {
  std::optional<uint64_t> size;
  FileSizeAndDate(path_, size, modified_);
  try {
    table_ = std::make_unique<DbfTable>(component, settings);
    table_->SetDBFFileName(path_);
    table_->Open();
    declared_ = table_->DeclaredRecordCount();
    length_ = static_cast<size_t>(table_->RecordLength());
    const int64_t count = table_->PhysicalRecordCount();
    records_.resize(static_cast<size_t>(count) * length_);
    rows_ = count > 0 ? table_->ReadRecords(1, static_cast<size_t>(count), records_.data()) : 0;
    records_.resize(rows_ * length_);
    table_->ReleaseFile();
  } catch (const TarveloError&) {
    error_ = std::current_exception();
    try {
      if (table_) table_->Close();
    } catch (const TarveloError&) {
    }
    rows_ = 0;
    declared_ = 0;
    records_.clear();
  }
}

CatalogueTable::~CatalogueTable() = default;
CatalogueTable::CatalogueTable(CatalogueTable&&) noexcept = default;
CatalogueTable& CatalogueTable::operator=(CatalogueTable&&) noexcept = default;

void CatalogueTable::Raise() const {
  if (error_) std::rethrow_exception(error_);
}

const DbfField* CatalogueTable::FindField(std::string_view name) const {
  return error_ ? nullptr : table_->FindField(name);
}

Variant CatalogueTable::Value(size_t row, std::string_view column) const {
  Raise();
  return table_->FieldByName(column).AsVariant(records_.data() + row * length_);
}

double CatalogueTable::Number(size_t row, std::string_view column) const {
  Raise();
  return table_->FieldByName(column).AsFloat(records_.data() + row * length_);
}

Catalogue::Catalogue(const std::string& folder, const RegionalSettings& settings)
    : settings_(settings),
      tables_{CatalogueTable(folder, "tabelas.dbf", "tbTabelas", settings_),
              CatalogueTable(folder, "anexos.dbf", "tbAnexos", settings_), ReferenceTable(folder, settings_)} {
  try {
    MakeRules();
  } catch (const TarveloError&) {
    rulesError_ = std::current_exception();
    order_.clear();
    fields_.clear();
    rowAt_.clear();
    codes_.clear();
  }
  period_ = PeriodOfReferenceTable(Reference(), settings_);
}

void Catalogue::RaiseRulesError() const {
  if (rulesError_) std::rethrow_exception(rulesError_);
}

void Catalogue::MakeRules() {
  const RegionalSettings& settings = settings_;
  const CatalogueTable& tabelas = Fields();
  const CatalogueTable& anexos = Codes();
  const auto text = [&](const CatalogueTable& table, size_t row, const char* column) {
    return ToText(table.Value(row, column), settings);
  };
  const auto ofLine = [&](const CatalogueTable& table, size_t row) {
    return Trim(text(table, row, "ramo")) == kLineOfBusiness;
  };

  // The tables, numbered in the order of the rows: a table gets the next
  // number each time its name follows a different name among the rows of
  // the line of business.
  tabelas.Raise();
  std::vector<CatalogueTableName> numbered;
  Variant previous = Variant::String("");
  for (size_t row = 0; row < tabelas.Rows(); ++row) {
    if (!ofLine(tabelas, row)) continue;
    const Variant name = tabelas.Value(row, "tabela");
    if (!Compare(name, CompareOp::NotEqual, previous, settings)) continue;
    const int32_t number = static_cast<int32_t>(numbered.size()) + 1;
    numbered.push_back({number, StoredText(name, 20, "tabela", settings).value_or(std::string())});
    previous = Variant::String(ToText(name, settings));
  }
  // Without a table the run would report both files as not chosen.
  if (numbered.empty())
    throw TarveloError("Catalogue file \"" + PathText(tabelas.Path()) +
                       "\" defines no table for the line of business \"" + kLineOfBusiness + "\"");

  // A name is looked up among the numbered tables, the later of equal ones
  // found; one not found (a null name) takes the number of the table found
  // or numbered last.
  size_t current = numbered.size() - 1;
  const auto findTable = [&](const Variant& name) -> std::optional<size_t> {
    const std::optional<std::string> key = StoredText(name, 20, "tabela", settings);
    if (!key) return std::nullopt;
    for (size_t i = numbered.size(); i-- > 0;) {
      if (numbered[i].name == *key) {
        current = i;
        return i;
      }
    }
    return std::nullopt;
  };

  std::vector<CatalogueField> fields;
  for (size_t row = 0; row < tabelas.Rows(); ++row) {
    if (!ofLine(tabelas, row)) continue;
    const Variant name = tabelas.Value(row, "tabela");
    findTable(name);
    CatalogueField& field = fields.emplace_back();
    field.table = numbered[current].number;
    field.name = *StoredText(Variant::String(LeftText(text(tabelas, row, "campo"), 10)), 10, "campo", settings);
    field.dependsOn =
        *StoredText(Variant::String(LeftText(text(tabelas, row, "depende"), 10)), 10, "depende", settings);
    const std::pair<const char*, std::optional<int32_t> CatalogueField::*> flags[] = {
        {"tipo", &CatalogueField::type},
        {"tamanho", &CatalogueField::size},
        {"dominio", &CatalogueField::coded},
        {"nulo", &CatalogueField::nullable},
        {"data", &CatalogueField::date},
        {"positivo", &CatalogueField::positive},
        {"zeros", &CatalogueField::zeros},
        {"ordem", &CatalogueField::position},
        {"zerosesq", &CatalogueField::exactLength},
        {"soma", &CatalogueField::sum}};
    for (const auto& [column, flag] : flags) field.*flag = StoredInteger(tabelas.Value(row, column), column, settings);
    StoredText(name, 20, "nometab", settings);
  }

  // The codes of the fields the line of business defines.
  anexos.Raise();
  std::vector<CatalogueCode> codes;
  for (size_t row = 0; row < anexos.Rows(); ++row) {
    if (!ofLine(anexos, row)) continue;
    // A code of a table or field that the line of business does not define
    // has no number to be filed under: it is left out.
    const auto table = findTable(anexos.Value(row, "tabela"));
    if (!table) continue;
    const int32_t number = numbered[*table].number;
    const std::string field =
        *StoredText(Variant::String(LeftText(text(anexos, row, "campo"), 10)), 10, "campo", settings);
    const CatalogueField* found = nullptr;
    for (size_t i = fields.size(); i-- > 0;) {
      if (fields[i].table == number && fields[i].name == field) {
        found = &fields[i];
        break;
      }
    }
    if (found == nullptr) continue;
    CatalogueCode& code = codes.emplace_back();
    code.table = number;
    code.position = found->position;
    code.value1 = *StoredText(Variant::String(LeftText(text(anexos, row, "valor1"), 8)), 8, "valor1", settings);
    code.value2 = *StoredText(Variant::String(LeftText(text(anexos, row, "valor2"), 2)), 2, "valor2", settings);
  }

  // Each in the order the run walks it.
  SortKeys sortKeys(settings);
  std::vector<std::string> keys;
  for (const CatalogueTableName& table : numbered) sortKeys.Text(keys.emplace_back(), table.name);
  SortByKeys(numbered, keys);
  keys.clear();
  for (const CatalogueField& field : fields) {
    std::string& key = keys.emplace_back();
    sortKeys.Integer(key, field.table);
    sortKeys.Integer(key, field.position);
  }
  SortByKeys(fields, keys);
  keys.clear();
  for (const CatalogueCode& code : codes) {
    std::string& key = keys.emplace_back();
    sortKeys.Integer(key, code.table);
    sortKeys.Integer(key, code.position);
    sortKeys.Text(key, code.value1);
    sortKeys.Text(key, code.value2);
  }
  SortByKeys(codes, keys);

  order_ = std::move(numbered);
  fields_ = std::move(fields);
  codes_ = std::move(codes);
  // The first row of each (table, position) in the walking order is the
  // later of equal ones.
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (!fields_[i].position) continue;
    const std::pair<int32_t, int32_t> key(fields_[i].table, *fields_[i].position);
    if (rowAt_.empty() || rowAt_.back().first != key) rowAt_.emplace_back(key, static_cast<int>(i));
  }
}

int Catalogue::FieldRowAt(int32_t table, int32_t position) const {
  const std::pair<int32_t, int32_t> key(table, position);
  const auto at = std::lower_bound(rowAt_.begin(), rowAt_.end(), key,
                                   [](const auto& entry, const auto& wanted) { return entry.first < wanted; });
  return at != rowAt_.end() && at->first == key ? at->second : -1;
}

std::vector<CatalogueFileFacts> Catalogue::FileFacts() const {
  std::vector<CatalogueFileFacts> files;
  for (const CatalogueTable& table : tables_) {
    CatalogueFileFacts& one = files.emplace_back();
    one.file = table.File();
    one.modified = table.Modified();
    if (table.Read()) one.records = static_cast<int64_t>(table.Rows());
  }
  return files;
}

}  // namespace tarvelo
