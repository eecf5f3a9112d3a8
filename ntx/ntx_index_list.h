#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_table.h"
#include "ntx/ntx_index.h"
#include "values/variant.h"

namespace tarvelo {

/// One recorded index file of a table.
struct NtxIndexDef {
  /// The index file name without folder and extension.
  std::string name;
  /// The index file path.
  std::string path;
};

/// The recorded index files of a table: its Open reopens each of them.
class NtxIndexDefList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  /// The entry at a 0-based position; ListIndexError outside 0..Count()-1.
  const NtxIndexDef& operator[](int position) const;
  /// Removes the entry at a 0-based position; ListIndexError "List index
  /// out of bounds (%d)" outside 0..Count()-1.
  void Delete(int position);
  /// The position of the entry whose name equals name case-insensitively;
  /// -1 when there is none.
  int IndexOf(std::string_view name) const;
  /// Records path under the name of its file (without folder and
  /// extension), replacing the path of an entry of that name or appending a
  /// new entry; returns its position.
  int Record(const std::string& path);

 private:
  std::vector<NtxIndexDef> items_;
};

/// The NTX indexes of a table, in the order they were added, with the
/// files their builds made (DBFIndexDefs) and the one searches go through
/// (the active one: the last built). While the list lives, the table's
/// Close flushes and closes their files (the indexes stay, as do their
/// recorded entries) and its Open reopens the file of every recorded entry,
/// as an index of the list, then stands the table on the first visible
/// record in the active index's order.
class NtxIndexList : private DbfTableListener, private NtxIndexKeeper {
 public:
  /// The table must outlive the list.
  explicit NtxIndexList(DbfTable& table);
  ~NtxIndexList();
  NtxIndexList(const NtxIndexList&) = delete;
  NtxIndexList& operator=(const NtxIndexList&) = delete;

  DbfTable& Table() const { return table_; }
  /// Appends a new index with that name, neither built nor active, and
  /// returns it.
  NtxIndex& Add(std::string name);
  /// Removes the index at a 0-based position: its file is flushed and closed
  /// (the file stays on disk) and, when it was active, the list is left
  /// without an active index. ListIndexError "List index out of bounds (%d)"
  /// outside 0..Count()-1.
  void Delete(int position);
  int Count() const { return static_cast<int>(items_.size()); }
  /// The index at a 0-based position; ListIndexError outside 0..Count()-1.
  NtxIndex& operator[](int position);

  /// The recorded index files.
  NtxIndexDefList& DBFIndexDefs() { return defs_; }
  /// The index FindKey uses; nullptr when none is active.
  NtxIndex* ActiveIndex() const { return active_; }
  /// The active index's FindKey; false when there is none.
  bool FindKey(const std::vector<Variant>& values);

 private:
  void TableOpened() override;
  void TableClosing() override;
  void BuildStarting(const NtxIndex& index) override;
  void FileMade(const NtxIndex& index) override;
  void BuildEnded(NtxIndex& index) override;

  DbfTable& table_;
  std::vector<std::unique_ptr<NtxIndex>> items_;
  NtxIndexDefList defs_;
  NtxIndex* active_ = nullptr;
};

}  // namespace tarvelo
