#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "memtable/mem_index.h"
#include "values/field_type.h"
#include "values/regional_settings.h"
#include "values/variant.h"

namespace tarvelo {

class MemTable;

/// One field definition: name, logical type, size (characters of a text
/// field; 0 for the other types) and the required flag (kept, not enforced).
struct MemFieldDef {
  std::string name;
  FieldTypeCode type = ftUnknown;
  int size = 0;
  bool required = false;
};

/// The ordered field definitions of a MemTable. They take effect at the
/// next CreateTable or Open and survive Close.
class MemFieldDefs {
 public:
  explicit MemFieldDefs(const MemTable& table) : table_(table) {}

  void Clear() { defs_.clear(); }
  /// Adds a definition at the end. An empty name fails with DatabaseError
  /// "<table>: Field name missing". Any type code is accepted here; only
  /// text (1), integer (3) and real (6) fields can be created.
  void Add(std::string name, FieldTypeCode type, int size = 0, bool required = false);
  int Count() const { return static_cast<int>(defs_.size()); }
  /// The definition at a 0-based position; ListIndexError outside the list.
  const MemFieldDef& At(int position) const;

 private:
  const MemTable& table_;
  std::vector<MemFieldDef> defs_;
};

/// One index definition: name and field list ("tabela;campo"). No index
/// option is supported; the options value is kept and ignored.
struct MemIndexDef {
  std::string name;
  std::string fields;
  unsigned options = 0;
};

/// The ordered index definitions of a MemTable. They take effect at the
/// next CreateTable or Open and survive Close.
class MemIndexDefs {
 public:
  explicit MemIndexDefs(const MemTable& table) : table_(table) {}

  void Clear() { defs_.clear(); }
  /// Adds a definition at the end. A name already defined (ASCII letter case
  /// ignored) fails with DatabaseError "<table>: Duplicate index name '%s'".
  void Add(std::string name, std::string fields, unsigned options = 0);
  int Count() const { return static_cast<int>(defs_.size()); }
  /// The definition at a 0-based position; ListIndexError outside the list.
  const MemIndexDef& At(int position) const;

 private:
  const MemTable& table_;
  std::vector<MemIndexDef> defs_;
};

/// A field of a MemTable. It reads the table's current record (or the
/// record being appended or edited) and writes the record being appended or
/// edited. Valid until the next CreateTable or Open of its table.
class MemField {
 public:
  MemField(MemTable& table, std::string name, FieldTypeCode type, int size, int number)
      : table_(table), name_(std::move(name)), type_(type), size_(size), number_(number) {}

  const std::string& FieldName() const { return name_; }
  FieldTypeCode DataType() const { return type_; }
  /// Characters of a text field; 0 for the other types.
  int Size() const { return size_; }
  /// 0-based position of the field in the record.
  int FieldNo() const { return number_; }

  /// The value: kind Integer, Double or String, or Null when the field holds
  /// none or the table has no record to read.
  Variant AsVariant() const;
  /// True when AsVariant() would give Null.
  bool IsNull() const;
  /// Sets the field of the record being appended or edited. Null clears it;
  /// any other value is converted to the field's type (text cut to Size()
  /// characters and at a character of code 0). A value that cannot be
  /// converted fails with DatabaseError "Invalid value for field '%s'" and
  /// the field keeps its value; outside insert and edit state the set fails
  /// with DatabaseError "<table>: Dataset is not in edit mode.".
  void SetAsVariant(const Variant& value);

 private:
  MemTable& table_;
  std::string name_;
  FieldTypeCode type_;
  int size_;
  int number_;
};

/// A small keyed table held in memory: typed fields, records appended and
/// edited through a cursor, named indexes over composite keys kept sorted as
/// records are posted, exact key search on the current index and navigation
/// in its order. Text keys follow the case-sensitive collation of the
/// settings' collation locale; two texts are equal keys only when identical.
/// Table errors are DatabaseError; those about the table itself carry the
/// prefix "<name>: ".
class MemTable {
 public:
  enum class State { Closed, Browse, Insert, Edit };

  /// name is the component name used as the prefix of table errors
  /// ("mtEstrutTab"); an empty name gives messages without prefix.
  MemTable(std::string name, const RegionalSettings& settings);
  ~MemTable();
  MemTable(const MemTable&) = delete;
  MemTable& operator=(const MemTable&) = delete;

  const std::string& Name() const { return name_; }
  State CurrentState() const { return state_; }
  bool IsOpen() const { return state_ != State::Closed; }

  MemFieldDefs& FieldDefs() { return fieldDefs_; }
  const MemFieldDefs& FieldDefs() const { return fieldDefs_; }
  MemIndexDefs& IndexDefs() { return indexDefs_; }
  const MemIndexDefs& IndexDefs() const { return indexDefs_; }

  /// Closes the table and rebuilds fields and indexes from the definitions;
  /// the table stays closed. Fails (DatabaseError) with "Too many fielddefs.
  /// Please raise MT_MAX_FIELDS value." above 256 definitions, with
  /// "Missing Name or FieldNames in IndexDef!" for an index without name or
  /// fields, with "<table>: Field '%s' not found" for an unknown index field
  /// and with "<table>: Field type %d of field '%s' is not supported" for a
  /// type other than text, integer and real.
  void CreateTable();
  /// Builds the structure as CreateTable does and stands before the first
  /// record of an empty table, on the append-order index (or on the index
  /// named while the table was closed). Without field definitions fails with
  /// "There must be at least one field". Does nothing when open.
  void Open();
  /// Drops every record and every defined index; a record being appended or
  /// edited is abandoned. Does nothing when closed.
  void Close();

  /// Makes the index of that name (ASCII case ignored) current, keeping the
  /// current record. An unknown name changes nothing. While closed the name
  /// is remembered for the next Open.
  void IndexName(std::string_view name);
  /// Name of the current index; empty for the append-order index.
  std::string CurrentIndexName() const;

  /// Starts a new record with every field Null (state insert).
  void Append();
  /// Starts changing the current record (state edit); on a table without
  /// records starts a new record instead. Does nothing in insert or edit.
  void Edit();
  /// Stores the record being appended or edited and returns to browse.
  /// Fails with "<table>: Dataset not in edit or insert mode" otherwise, and
  /// with "Bookmark counter is out of range. Please close and reopen table."
  /// when the append numbers are used up.
  void Post();

  /// Moves to the first record of the current index; AtEnd() is true when
  /// there is none.
  void First();
  /// Moves to the next record; on the last one sets AtEnd() and stays.
  void Next();
  /// True when the last move went past the last record or First() found no
  /// record (also while closed and right after Open).
  bool AtEnd() const { return atEnd_; }
  /// Number of stored records (0 while closed).
  int RecordCount() const { return static_cast<int>(records_.size()); }

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  /// The field at a 0-based position; ListIndexError outside the fields.
  MemField& FieldAt(int position);
  /// The first field whose name matches without regard to letter case;
  /// nullptr when none does.
  MemField* FindField(std::string_view name);
  /// As FindField; fails with "<table>: Field '%s' not found" when missing.
  MemField& FieldByName(std::string_view name);
  /// FieldByName(name).AsVariant().
  Variant FieldValue(std::string_view name);

  /// Searches the current index for the first record whose key equals the
  /// given values, assigned in order to the index's fields (extra values are
  /// ignored, missing ones leave their field Null, an Empty value leaves it
  /// Null, text is cut to the field's size). True with that record current;
  /// false with the cursor unchanged. Fails with "There must be at least one
  /// field" when no index was made current, and with "Invalid value for
  /// field '%s'" for a value that does not convert.
  bool FindKey(std::initializer_list<Variant> values);
  bool FindKey(const std::vector<Variant>& values);

 protected:
  /// Next append number; for tests of the counter limit.
  int64_t NextAppendNumber() const { return nextAppendNumber_; }
  void SetNextAppendNumber(int64_t number) { nextAppendNumber_ = number; }

 private:
  friend class MemField;
  friend class MemFieldDefs;
  friend class MemIndexDefs;

  using Cell = MemCell;
  using Record = MemRecord;
  using Entry = MemIndexEntry;
  using Index = MemIndex;

  std::string Prefixed(std::string_view message) const;
  void CheckActive() const;
  void BuildStructure();
  void SettlePending();
  void AbandonPending();
  void ResetBuffer();
  void SettleIndexes();
  void PostAppend();
  void PostEdit();
  bool FindKeyImpl(const Variant* values, size_t count);
  void ConvertInto(const MemField& field, const Variant& value, Cell& cell);
  const Cell* ReadCell(int fieldNo) const;
  void WriteField(const MemField& field, const Variant& value);
  Record* CurrentRecord() const;

  std::string name_;
  RegionalSettings settings_;
  MemKeyEncoder keys_;
  MemFieldDefs fieldDefs_;
  MemIndexDefs indexDefs_;

  State state_ = State::Closed;
  std::vector<std::unique_ptr<MemField>> fields_;
  std::vector<std::unique_ptr<Record>> records_;  // append order
  Index appendOrder_;                             // the internal index
  std::vector<std::unique_ptr<Index>> indexes_;   // one per index definition
  Index* current_ = &appendOrder_;
  std::string pendingIndexName_;  // named while closed, applied at Open

  int64_t position_ = -1;  // cursor in current_->entries; -1 before the first
  // The record just appended while the current index still holds it among
  // its appended entries: the cursor stands on it, and its place in the
  // index (found by its key) is settled by the next move or search.
  Record* appendedRecord_ = nullptr;
  std::string appendedKey_;
  bool atEnd_ = true;
  int64_t nextAppendNumber_ = 0;

  // The record being appended (all cells) or edited (cells flagged in
  // modified_; the others are read from editRecord_). A flag is set by
  // every successful set of the field.
  std::vector<Cell> buffer_;
  std::vector<char> modified_;
  Record* editRecord_ = nullptr;
  Cell scratch_;  // a value being converted before it enters buffer_

  std::vector<Cell> searchKey_;  // the key record of FindKey
  std::string searchBlob_;       // the encoded search key
};

}  // namespace tarvelo
