#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "values/field_type.h"

namespace tarvelo {

namespace os {
class TextCollation;
}

/// One value slot of a record of a MemTable.
struct MemCell {
  std::string text;
  double real = 0;
  int32_t integer = 0;
  bool present = false;
};

/// A record of a MemTable: its cells by field number.
struct MemRecord {
  std::vector<MemCell> cells;
  int64_t appendNumber = 0;
};

/// A record's place in an index, with its key encoded so that keys compare
/// as their bytes compare (see MemKeyEncoder).
struct MemIndexEntry {
  std::string key;
  MemRecord* record = nullptr;
};

/// A named index of a MemTable over a composite key.
struct MemIndex {
  std::string name;
  std::vector<int> fields;             // field numbers of the key, in order
  std::vector<FieldTypeCode> types;    // their types
  std::vector<MemIndexEntry> entries;  // in key order
  // Records appended since the index was last used, in append order. They
  // join entries in one sort and merge when the index is next read, so
  // that filling a table costs n log n instead of n squared.
  std::vector<MemIndexEntry> appended;

  /// The position of the first entry whose key is equal to or greater than
  /// key (the number of entries when there is none).
  size_t InsertPosition(const std::string& key) const;
  /// Moves the appended entries into entries, in key order; among equal
  /// keys the record appended later stands first.
  void MergeAppended();
};

/// Makes the keys of a MemTable's indexes. Each key field adds its bytes so
/// that whole keys compare as unsigned byte strings in key order: Null is
/// the byte 0, a present value the byte 1 and its encoding. Integers and
/// reals are encoded in the order of their values (-0 equal to 0, NaN after
/// every number); a text by its collation sort key, then its own bytes, so
/// that only identical texts are equal keys.
class MemKeyEncoder {
 public:
  /// Texts compare by the collation of the locale name (os::TextCollation).
  explicit MemKeyEncoder(const std::string& collationLocale);
  ~MemKeyEncoder();
  MemKeyEncoder(const MemKeyEncoder&) = delete;
  MemKeyEncoder& operator=(const MemKeyEncoder&) = delete;

  /// Writes into key the key of the index's fields in cells (a record's
  /// cells by field number). Raises DatabaseError "Invalid locale." when the
  /// collation fails.
  void Encode(const MemIndex& index, const std::vector<MemCell>& cells, std::string& key);
  /// As Encode, for the keys of searches, which repeat a few texts per
  /// field: the sort keys of recent texts are kept.
  void EncodeSearch(const MemIndex& index, const std::vector<MemCell>& cells, std::string& key);
  /// Forgets the sort keys kept, for a table of fieldCount fields.
  void ResetSearches(size_t fieldCount);

 private:
  // A slot of the sort keys kept for searches: a text and its sort key.
  static constexpr size_t kSlots = 64;  // per field, chosen by a hash of the text
  struct CachedSortKey {
    std::string text;
    std::string sortKey;
    bool valid = false;
  };
  void AppendKey(const MemIndex& index, const std::vector<MemCell>& cells, std::string& key, bool search);
  /// The sort key of a search's text of field f, from the slots when kept.
  const std::string& SearchSortKey(size_t f, const std::string& text);

  std::unique_ptr<os::TextCollation> collation_;
  std::vector<CachedSortKey> searches_;
  std::string sortKeyBuffer_;
};

}  // namespace tarvelo
