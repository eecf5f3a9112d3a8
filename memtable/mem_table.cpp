#include "memtable/mem_table.h"

#include <algorithm>

#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {

namespace {

constexpr int kMaxFields = 256;
constexpr int64_t kMaxAppendNumber = 2147483599;
constexpr size_t kScanLimit = 20;

bool SameNameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// The names of a field list "a; b;c". A final ";" adds no name; an empty
// name between two ";" is kept (and then not found).
std::vector<std::string> SplitFieldList(std::string_view list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string_view::npos) end = list.size();
    names.push_back(Trim(list.substr(start, end - start)));
    start = end + 1;
  }
  return names;
}

}  // namespace

void MemFieldDefs::Add(std::string name, FieldTypeCode type, int size, bool required) {
  if (name.empty()) throw DatabaseError(table_.Prefixed("Field name missing"));
  defs_.push_back(MemFieldDef{std::move(name), type, size, required});
}

const MemFieldDef& MemFieldDefs::At(int position) const {
  if (position < 0 || position >= Count()) throw ListIndexError(position);
  return defs_[static_cast<size_t>(position)];
}

void MemIndexDefs::Add(std::string name, std::string fields, unsigned options) {
  for (const MemIndexDef& def : defs_) {
    if (SameNameAscii(def.name, name)) {
      throw DatabaseError(table_.Prefixed("Duplicate index name '" + name + "'"));
    }
  }
  defs_.push_back(MemIndexDef{std::move(name), std::move(fields), options});
}

const MemIndexDef& MemIndexDefs::At(int position) const {
  if (position < 0 || position >= Count()) throw ListIndexError(position);
  return defs_[static_cast<size_t>(position)];
}

Variant MemField::AsVariant() const {
  const auto* cell = table_.ReadCell(number_);
  if (cell == nullptr || !cell->present) return Variant::Null();
  switch (type_) {
    case ftInteger:
      return Variant::Integer(cell->integer);
    case ftFloat:
      return Variant::Double(cell->real);
    default:
      return Variant::String(cell->text);
  }
}

bool MemField::IsNull() const {
  const auto* cell = table_.ReadCell(number_);
  return cell == nullptr || !cell->present;
}

void MemField::SetAsVariant(const Variant& value) { table_.WriteField(*this, value); }

MemTable::MemTable(std::string name, const RegionalSettings& settings)
    : name_(std::move(name)),
      settings_(settings),
      keys_(settings.collationLocale),
      fieldDefs_(*this),
      indexDefs_(*this) {}

MemTable::~MemTable() = default;

std::string MemTable::Prefixed(std::string_view message) const {
  if (name_.empty()) return std::string(message);
  std::string text;
  text.reserve(name_.size() + 2 + message.size());
  text.append(name_).append(": ").append(message);
  return text;
}

void MemTable::CheckActive() const {
  if (state_ == State::Closed) throw DatabaseError(Prefixed("Cannot perform this operation on a closed dataset"));
}

void MemTable::BuildStructure() {
  if (fieldDefs_.Count() > kMaxFields) {
    throw DatabaseError("Too many fielddefs. Please raise MT_MAX_FIELDS value.");
  }
  std::vector<std::unique_ptr<MemField>> fields;
  for (int i = 0; i < fieldDefs_.Count(); ++i) {
    const MemFieldDef& def = fieldDefs_.At(i);
    if (def.type != ftString && def.type != ftInteger && def.type != ftFloat) {
      throw DatabaseError(Prefixed("Field type " + std::to_string(static_cast<int>(def.type)) + " of field '" +
                                   def.name + "' is not supported"));
    }
    const int size = def.type == ftString ? std::max(def.size, 0) : 0;
    fields.push_back(std::make_unique<MemField>(*this, def.name, def.type, size, i));
  }

  std::vector<std::unique_ptr<Index>> indexes;
  for (int i = 0; i < indexDefs_.Count(); ++i) {
    const MemIndexDef& def = indexDefs_.At(i);
    if (def.name.empty() || Trim(def.fields).empty()) throw DatabaseError("Missing Name or FieldNames in IndexDef!");
    auto index = std::make_unique<Index>();
    index->name = def.name;
    for (const std::string& fieldName : SplitFieldList(def.fields)) {
      MemField* found = nullptr;
      for (const auto& field : fields) {
        if (SameName(field->FieldName(), fieldName)) {
          found = field.get();
          break;
        }
      }
      if (found == nullptr) throw DatabaseError(Prefixed("Field '" + fieldName + "' not found"));
      // Text, integer and real fields can all be indexed; no other type is
      // ever created.
      index->fields.push_back(found->FieldNo());
      index->types.push_back(found->DataType());
    }
    indexes.push_back(std::move(index));
  }

  fields_ = std::move(fields);
  indexes_ = std::move(indexes);
  records_.clear();
  appendOrder_.entries.clear();
  current_ = &appendOrder_;
  const size_t count = fields_.size();
  buffer_.assign(count, Cell{});
  modified_.assign(count, 0);
  searchKey_.assign(count, Cell{});
  keys_.ResetSearches(count);
  scratch_ = Cell{};
}

void MemTable::CreateTable() {
  Close();
  BuildStructure();
}

void MemTable::Open() {
  if (state_ != State::Closed) return;
  if (fieldDefs_.Count() == 0) throw DatabaseError("There must be at least one field");
  BuildStructure();
  state_ = State::Browse;
  position_ = -1;
  atEnd_ = true;
  nextAppendNumber_ = 0;
  editRecord_ = nullptr;
  if (!pendingIndexName_.empty()) {
    const std::string name = std::move(pendingIndexName_);
    pendingIndexName_.clear();
    IndexName(name);
  }
}

void MemTable::Close() {
  if (state_ == State::Closed) return;
  AbandonPending();
  state_ = State::Closed;
  records_.clear();
  appendOrder_.entries.clear();
  indexes_.clear();
  current_ = &appendOrder_;
  appendedRecord_ = nullptr;
  position_ = -1;
  atEnd_ = true;
  nextAppendNumber_ = 0;
}

void MemTable::IndexName(std::string_view name) {
  if (state_ == State::Closed) {
    pendingIndexName_ = std::string(name);
    return;
  }
  SettlePending();
  SettleIndexes();
  Index* found = nullptr;
  for (const auto& index : indexes_) {
    if (SameNameAscii(index->name, name)) {
      found = index.get();
      break;
    }
  }
  if (found == nullptr || found == current_) return;
  Record* record = CurrentRecord();
  current_ = found;
  const auto& entries = current_->entries;
  auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& entry) { return entry.record == record; });
  if (record != nullptr && it != entries.end()) {
    position_ = it - entries.begin();
    atEnd_ = false;
  } else {
    position_ = entries.empty() ? -1 : 0;
    atEnd_ = entries.empty();
  }
}

std::string MemTable::CurrentIndexName() const { return current_->name; }

MemTable::Record* MemTable::CurrentRecord() const {
  if (appendedRecord_ != nullptr) return appendedRecord_;
  if (position_ < 0 || position_ >= static_cast<int64_t>(current_->entries.size())) return nullptr;
  return current_->entries[static_cast<size_t>(position_)].record;
}

void MemTable::ResetBuffer() {
  for (Cell& cell : buffer_) cell.present = false;
  std::fill(modified_.begin(), modified_.end(), 0);
}

void MemTable::AbandonPending() {
  if (state_ == State::Insert || state_ == State::Edit) {
    state_ = State::Browse;
    editRecord_ = nullptr;
    std::fill(modified_.begin(), modified_.end(), 0);
  }
}

void MemTable::SettlePending() {
  if (state_ != State::Insert && state_ != State::Edit) return;
  if (std::find(modified_.begin(), modified_.end(), 1) != modified_.end()) {
    Post();
  } else {
    AbandonPending();
  }
}

void MemTable::Append() {
  CheckActive();
  SettlePending();
  ResetBuffer();
  editRecord_ = nullptr;
  state_ = State::Insert;
}

void MemTable::Edit() {
  CheckActive();
  if (state_ == State::Insert || state_ == State::Edit) return;
  Record* record = CurrentRecord();
  if (record == nullptr) {
    ResetBuffer();
    editRecord_ = nullptr;
    state_ = State::Insert;
    return;
  }
  std::fill(modified_.begin(), modified_.end(), 0);
  editRecord_ = record;
  state_ = State::Edit;
}

void MemTable::Post() {
  if (state_ == State::Insert) {
    PostAppend();
  } else if (state_ == State::Edit) {
    PostEdit();
  } else {
    throw DatabaseError(Prefixed("Dataset not in edit or insert mode"));
  }
}

void MemTable::SettleIndexes() {
  for (const auto& index : indexes_) index->MergeAppended();
  if (appendedRecord_ == nullptr) return;
  // The cursor's record among the entries of its key.
  const auto& entries = current_->entries;
  size_t at = current_->InsertPosition(appendedKey_);
  while (at < entries.size() && entries[at].record != appendedRecord_) ++at;
  position_ = static_cast<int64_t>(at);
  appendedRecord_ = nullptr;
}

void MemTable::PostAppend() {
  if (nextAppendNumber_ > kMaxAppendNumber) {
    throw DatabaseError("Bookmark counter is out of range. Please close and reopen table.");
  }
  std::vector<std::string> keys(indexes_.size());
  for (size_t i = 0; i < indexes_.size(); ++i) keys_.Encode(*indexes_[i], buffer_, keys[i]);

  auto record = std::make_unique<Record>();
  record->cells = buffer_;
  record->appendNumber = nextAppendNumber_;
  Record* stored = record.get();
  records_.push_back(std::move(record));
  appendOrder_.entries.push_back(Entry{std::string(), stored});
  appendedRecord_ = nullptr;
  position_ = static_cast<int64_t>(appendOrder_.entries.size()) - 1;
  for (size_t i = 0; i < indexes_.size(); ++i) {
    if (indexes_[i].get() == current_) {
      appendedRecord_ = stored;
      appendedKey_ = keys[i];
    }
    indexes_[i]->appended.push_back(Entry{std::move(keys[i]), stored});
  }
  ++nextAppendNumber_;
  atEnd_ = false;
  state_ = State::Browse;
  std::fill(modified_.begin(), modified_.end(), 0);
}

void MemTable::PostEdit() {
  SettleIndexes();
  Record* record = editRecord_;
  std::vector<Cell>& stored = record->cells;
  // Fields whose value really changed; only their indexes move the record.
  std::vector<char>& changed = modified_;
  bool anyChange = false;
  for (size_t f = 0; f < buffer_.size(); ++f) {
    if (!changed[f]) continue;
    const Cell& a = buffer_[f];
    const Cell& b = stored[f];
    bool same = a.present == b.present;
    if (same && a.present) {
      switch (fields_[f]->DataType()) {
        case ftInteger:
          same = a.integer == b.integer;
          break;
        case ftFloat:
          same = a.real == b.real;
          break;
        default:
          same = a.text == b.text;
          break;
      }
    }
    changed[f] = same ? 0 : 1;
    anyChange = anyChange || !same;
  }
  if (anyChange) {
    std::vector<Index*> moved;
    for (const auto& index : indexes_) {
      for (int f : index->fields) {
        if (changed[static_cast<size_t>(f)]) {
          moved.push_back(index.get());
          break;
        }
      }
    }
    if (moved.empty()) {
      for (size_t f = 0; f < buffer_.size(); ++f) {
        if (changed[f]) std::swap(stored[f], buffer_[f]);
      }
    } else {
      // The new keys are made from the edited values before anything
      // changes, so that a failure leaves the record as it was.
      std::vector<Cell> edited = stored;
      for (size_t f = 0; f < buffer_.size(); ++f) {
        if (changed[f]) edited[f] = buffer_[f];
      }
      std::vector<std::string> keys(moved.size());
      for (size_t i = 0; i < moved.size(); ++i) keys_.Encode(*moved[i], edited, keys[i]);

      stored.swap(edited);
      for (size_t i = 0; i < moved.size(); ++i) {
        Index& index = *moved[i];
        auto it = std::find_if(index.entries.begin(), index.entries.end(),
                               [&](const Entry& entry) { return entry.record == record; });
        if (it != index.entries.end()) index.entries.erase(it);
        const size_t at = index.InsertPosition(keys[i]);
        index.entries.insert(index.entries.begin() + static_cast<std::ptrdiff_t>(at),
                             Entry{std::move(keys[i]), record});
        if (&index == current_) position_ = static_cast<int64_t>(at);
      }
    }
  }
  atEnd_ = false;
  editRecord_ = nullptr;
  state_ = State::Browse;
  std::fill(modified_.begin(), modified_.end(), 0);
}

void MemTable::First() {
  CheckActive();
  SettlePending();
  SettleIndexes();
  if (current_->entries.empty()) {
    position_ = -1;
    atEnd_ = true;
  } else {
    position_ = 0;
    atEnd_ = false;
  }
}

void MemTable::Next() {
  CheckActive();
  SettlePending();
  SettleIndexes();
  const int64_t count = static_cast<int64_t>(current_->entries.size());
  if (count == 0) {
    atEnd_ = true;
  } else if (position_ < 0) {
    position_ = 0;
    atEnd_ = false;
  } else if (position_ + 1 < count) {
    ++position_;
    atEnd_ = false;
  } else {
    atEnd_ = true;
  }
}

MemField& MemTable::FieldAt(int position) {
  if (position < 0 || position >= FieldCount()) throw ListIndexError(position);
  return *fields_[static_cast<size_t>(position)];
}

MemField* MemTable::FindField(std::string_view name) {
  for (const auto& field : fields_) {
    if (SameName(field->FieldName(), name)) return field.get();
  }
  return nullptr;
}

MemField& MemTable::FieldByName(std::string_view name) {
  MemField* field = FindField(name);
  if (field == nullptr) throw DatabaseError(Prefixed("Field '" + std::string(name) + "' not found"));
  return *field;
}

Variant MemTable::FieldValue(std::string_view name) { return FieldByName(name).AsVariant(); }

const MemTable::Cell* MemTable::ReadCell(int fieldNo) const {
  const size_t f = static_cast<size_t>(fieldNo);
  switch (state_) {
    case State::Insert:
      return &buffer_[f];
    case State::Edit:
      return modified_[f] ? &buffer_[f] : &editRecord_->cells[f];
    case State::Browse: {
      const Record* record = CurrentRecord();
      return record != nullptr ? &record->cells[f] : nullptr;
    }
    default:
      return nullptr;
  }
}

void MemTable::ConvertInto(const MemField& field, const Variant& value, Cell& cell) {
  if (value.IsNull()) {
    cell.present = false;
    return;
  }
  try {
    switch (field.DataType()) {
      case ftInteger:
        cell.integer = ToInteger(value, settings_);
        break;
      case ftFloat:
        cell.real = ToDouble(value, settings_);
        break;
      default: {
        std::string text = ToText(value, settings_);
        const size_t zero = text.find('\0');
        if (zero != std::string::npos) text.resize(zero);
        if (text.size() > static_cast<size_t>(field.Size())) text.resize(static_cast<size_t>(field.Size()));
        cell.text.assign(text);
        break;
      }
    }
  } catch (const VariantError&) {
    throw DatabaseError("Invalid value for field '" + field.FieldName() + "'");
  }
  cell.present = true;
}

void MemTable::WriteField(const MemField& field, const Variant& value) {
  // The value is converted first, so a bad value reports itself even
  // outside edit mode; the target keeps its value on either failure.
  ConvertInto(field, value, scratch_);
  if (state_ != State::Insert && state_ != State::Edit) {
    throw DatabaseError(Prefixed("Dataset is not in edit mode."));
  }
  const size_t f = static_cast<size_t>(field.FieldNo());
  std::swap(buffer_[f], scratch_);
  modified_[f] = 1;
}

bool MemTable::FindKey(std::initializer_list<Variant> values) { return FindKeyImpl(values.begin(), values.size()); }

bool MemTable::FindKey(const std::vector<Variant>& values) { return FindKeyImpl(values.data(), values.size()); }

bool MemTable::FindKeyImpl(const Variant* values, size_t count) {
  CheckActive();
  SettlePending();
  SettleIndexes();
  if (current_ == &appendOrder_) throw DatabaseError("There must be at least one field");
  const Index& index = *current_;

  for (int f : index.fields) searchKey_[static_cast<size_t>(f)].present = false;
  const size_t given = std::min(count, index.fields.size());
  for (size_t i = 0; i < given; ++i) {
    if (values[i].IsEmpty()) continue;
    const MemField& field = *fields_[static_cast<size_t>(index.fields[i])];
    ConvertInto(field, values[i], searchKey_[static_cast<size_t>(field.FieldNo())]);
  }
  keys_.EncodeSearch(index, searchKey_, searchBlob_);

  const auto& entries = index.entries;
  size_t found = entries.size();
  if (entries.size() <= kScanLimit) {
    for (size_t i = 0; i < entries.size(); ++i) {
      const int c = entries[i].key.compare(searchBlob_);
      if (c == 0) {
        found = i;
        break;
      }
      if (c > 0) break;  // the index is sorted: no equal key further on
    }
  } else {
    // Bisection to the first key not less than the search key, which is the
    // first of the equal keys when there are any.
    const size_t at = index.InsertPosition(searchBlob_);
    if (at < entries.size() && entries[at].key == searchBlob_) found = at;
  }
  if (found == entries.size()) return false;
  position_ = static_cast<int64_t>(found);
  atEnd_ = false;
  return true;
}

}  // namespace tarvelo
