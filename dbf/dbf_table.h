#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_field.h"
#include "os/file_system.h"
#include "values/regional_settings.h"
#include "values/variant.h"

namespace tarvelo {

class DbfTable;
class NtxIndex;
struct DbfDescriptor;

/// File dialect, from the version byte.
enum class DbfVersion { xUnknown, xClipper, xBaseIII, xBaseIV, xBaseV, xBaseVII, xFoxPro, xVisualFoxPro };

/// The NTX indexes of a table, in the order they were added (include
/// "dbf/ntx_index.h" to use them).
class NtxIndexList {
 public:
  explicit NtxIndexList(DbfTable& table);
  ~NtxIndexList();
  NtxIndexList(const NtxIndexList&) = delete;
  NtxIndexList& operator=(const NtxIndexList&) = delete;

  /// Appends a new index with that name, neither built nor active, and
  /// returns it.
  NtxIndex& Add(std::string name);
  /// Removes the index at a 0-based position: its file is flushed and closed
  /// (the file stays on disk) and, when it was active, the table is left
  /// without an active index. ListIndexError "List index out of bounds (%d)"
  /// outside 0..Count()-1.
  void Delete(int position);
  int Count() const { return static_cast<int>(items_.size()); }
  /// The index at a 0-based position; ListIndexError outside 0..Count()-1.
  NtxIndex& operator[](int position);

 private:
  DbfTable& table_;
  std::vector<std::unique_ptr<NtxIndex>> items_;
};

/// One recorded index file of a table.
struct DbfIndexDef {
  /// The index file name without folder and extension.
  std::string name;
  /// The index file path.
  std::string path;
};

/// The recorded index files of a table: Open reopens each of them.
class DbfIndexDefList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  /// The entry at a 0-based position; ListIndexError outside 0..Count()-1.
  const DbfIndexDef& operator[](int position) const;
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
  std::vector<DbfIndexDef> items_;
};

/// Read-only, forward access to one dBase III table file, opened under a
/// shared lock: other readers may hold it at once, a writer's exclusive
/// lock keeps it out. Reads records in blocks of BufferSize bytes; never
/// loads the whole file.
class DbfTable {
 public:
  /// name is the component name used as the prefix of table errors
  /// ("tbDados"); it may be empty.
  DbfTable(std::string name, const RegionalSettings& settings);
  ~DbfTable();
  DbfTable(const DbfTable&) = delete;
  DbfTable& operator=(const DbfTable&) = delete;

  const std::string& Name() const { return name_; }
  const RegionalSettings& Settings() const { return settings_; }

  /// Sets the path to open: the file system's name, bytes as given (error
  /// messages show it in code page 1252, PathText). While open:
  /// DatabaseError "<name>: Cannot perform this operation on an open
  /// dataset".
  void SetDBFFileName(std::string path);
  const std::string& DBFFileName() const { return fileName_; }
  /// Hides records whose deletion flag is "*" when true.
  void SetDeleted(bool hide) { hideDeleted_ = hide; }
  bool Deleted() const { return hideDeleted_; }
  /// Record block size in bytes (4096 by default); only while closed.
  void SetBufferSize(int bytes) { bufferSize_ = bytes; }
  int BufferSize() const { return bufferSize_; }

  /// Opens the file (and its memo file) read-only under a shared lock
  /// (os::OpenLockedFile), reads and checks header and
  /// descriptors, reopens the file of every recorded index (DBFIndexDefs)
  /// and stands on the first visible record. Raises DbfError or
  /// DatabaseError with the table left closed; a file that cannot be opened
  /// gives DbfError "DbfTable.InternalOpen: Open error \"<path>\"" with the
  /// system's reason (Reason(): "No such file or directory", kFileInUse
  /// when another open file holds it exclusively). Does nothing when open.
  void Open();
  /// Releases the file and the fields, and flushes and closes the files of
  /// the attached indexes (which stay in Indexes, as do their recorded
  /// entries). Does nothing when closed.
  void Close();
  bool IsOpen() const;

  /// Stands on the first visible record (AtEnd when there is none), in
  /// file order, or in key order while an index is active. Reads a block
  /// when needed; does nothing when closed.
  void First();
  /// Moves to the next visible record (in key order while an index is
  /// active); at the last one sets AtEnd and stays on it. Does nothing when
  /// closed.
  void Next();
  /// True when there is no visible record, or Next() found no further one.
  bool AtEnd() const { return atEnd_; }

  DbfVersion Version() const { return version_; }
  int HeaderLength() const { return headerLength_; }
  int RecordLength() const { return recordLength_; }
  /// Number of the current record, counting from 1 in file order; 0 when
  /// there is none.
  int64_t RecordNumber() const { return currentRecno_; }
  /// The current record's bytes (deletion flag first); empty when none.
  /// The view lasts until the table moves.
  std::string_view CurrentRecord() const;
  /// The first byte of the current record (its deletion flag); nullptr when
  /// there is none. Reads the record's block when the table was positioned
  /// without reading it (a key search); nullptr when that read finds no
  /// record.
  const char* RecordData() const;

  /// Number of complete records the file holds after the header (deleted
  /// ones included); 0 when closed.
  int64_t PhysicalRecordCount() const;
  /// Reads up to count records from record first (counting from 1) into
  /// into (count times RecordLength() bytes) without moving the table; safe
  /// from several threads at once. Returns the number of complete records
  /// read, fewer than count only at the end of the file. Raises DbfError
  /// "DbfTable.ReadBlock: Read error \"<path>\"" with the system's reason.
  size_t ReadRecords(int64_t first, size_t count, char* into) const;

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  /// The field at a 0-based position; ListIndexError outside 0..FieldCount-1.
  DbfField& FieldAt(int position) {
    if (static_cast<size_t>(position) >= fields_.size()) ThrowFieldPosition(position);
    return *fields_[static_cast<size_t>(position)];
  }
  /// The first field whose name matches case-insensitively; nullptr if none.
  DbfField* FindField(std::string_view name);
  /// As FindField; DatabaseError "<name>: Field '%s' not found" when missing.
  DbfField& FieldByName(std::string_view name);
  /// FieldByName(name).AsVariant().
  Variant FieldValue(std::string_view name);

  /// The table's NTX indexes.
  NtxIndexList& Indexes() { return indexes_; }
  /// The table's recorded index files.
  DbfIndexDefList& DBFIndexDefs() { return indexDefs_; }
  /// The index FindKey uses; nullptr when none is active.
  NtxIndex* ActiveIndex() const { return activeIndex_; }
  /// Searches the active index. With fewer values than the key has fields
  /// the search is partial: the values' texts are joined, and a key whose
  /// first bytes (as many as the text has, at most the key length) equal
  /// the text matches. With a value for every key field it is exact: each
  /// text is cut or padded with blanks to its field's width. Deleted
  /// records are passed over when the table hides them. True when a record
  /// matches, the table then standing on the first in key order; false,
  /// position unchanged, otherwise and when the table is closed or has no
  /// active index with an open file.
  bool FindKey(const std::vector<Variant>& values);

  // What an index asks of its table, from its build and its removal.

  /// Makes index (one of Indexes(), its file open) the active one, as a
  /// build does at its end: the table stays on its record, from then on in
  /// key order, when that record is visible and the index holds it (AtEnd
  /// becomes false); else it goes to the first visible record in key order.
  void ActivateIndex(NtxIndex& index);
  /// Leaves the table without an active index when index is the active
  /// one, standing where it stands, from then on in file order; does
  /// nothing otherwise.
  void DeactivateIndex(const NtxIndex& index);

 private:
  /// Tells whether record recno exists and is visible, from what the
  /// active index learnt while it was built when it can (the table then
  /// stands on recno without reading it, see RecordData), else by loading
  /// the record's block.
  bool KeyRecordVisible(int64_t recno);
  /// Loads the block of record recno and tells whether the record exists
  /// and is visible; the current record may lose its block (it is read
  /// again when needed).
  bool LoadVisible(int64_t recno);
  /// Stands again on record recno (0 for none) with the given end flag; the
  /// record is read again when needed.
  void RestorePosition(int64_t recno, bool atEnd);
  /// Makes recno (0 for none) the current record, pointing current_ at its
  /// bytes when its block is loaded.
  void SetCurrent(int64_t recno) {
    currentRecno_ = recno;
    PointAtCurrent();
  }
  void PointAtCurrent() const {
    current_ =
        currentRecno_ != 0 && InBlock(currentRecno_)
            ? block_.data() + static_cast<size_t>(currentRecno_ - blockFirstRecno_) * static_cast<size_t>(recordLength_)
            : nullptr;
  }
  /// Reads the block of the current record, which is not loaded; returns
  /// current_.
  const char* LoadCurrent() const;
  /// True while First and Next follow the active index.
  bool InKeyOrder() const;
  /// Reopens the files of the recorded index entries.
  void OpenRecordedIndexes();
  void InternalOpen();
  /// Opens and locks the memo file beside the table when it exists.
  void OpenMemo();
  void BuildFields(const std::vector<DbfDescriptor>& descriptors);
  std::string ErrorPrefix() const;
  [[noreturn]] static void ThrowFieldPosition(int position);
  /// Reads up to count bytes at offset (fewer at the end of the file).
  size_t ReadAt(int64_t offset, char* into, size_t count, const char* step) const;
  bool InBlock(int64_t recno) const { return recno >= blockFirstRecno_ && recno < blockFirstRecno_ + blockRecords_; }
  /// Reads the block that starts at record recno: records records, or a
  /// whole block when records is 0. False when it holds no record. The
  /// current record keeps its bytes only when the new block holds it.
  bool ReadBlockAt(int64_t recno, int records = 0) const;
  /// Reads the block of record recno, a whole one when recno follows the
  /// loaded block closely (as when keys come in file order), else that
  /// record alone. False when the file holds no such record.
  bool ReadBlockFor(int64_t recno) const;
  bool MoveToVisible(int64_t recno);
  /// Reloads the block of the current record after a failed move.
  void RestoreCurrentBlock();

  std::string name_;
  const RegionalSettings& settings_;
  std::string fileName_;
  bool hideDeleted_ = false;
  int bufferSize_ = 4096;

  os::File file_;
  os::File memoFile_;
  /// The identity of file_ among the files this process's tables have open.
  std::optional<os::FileIdentity> openIdentity_;
  DbfVersion version_ = DbfVersion::xBaseIII;
  int headerLength_ = 0;
  int recordLength_ = 0;
  int recordsPerBlock_ = 0;
  std::vector<std::unique_ptr<DbfField>> fields_;

  // The block is a window on the file that reads of the current record may
  // move, hence mutable.
  mutable std::vector<char> block_;
  mutable int64_t blockFirstRecno_ = 0;  // record number of the block's first record
  mutable int blockRecords_ = 0;         // complete records in the block
  int64_t currentRecno_ = 0;
  // The current record's bytes in block_; nullptr when there is no current
  // record or its block is not loaded.
  mutable const char* current_ = nullptr;
  bool atEnd_ = true;

  NtxIndexList indexes_{*this};
  DbfIndexDefList indexDefs_;
  NtxIndex* activeIndex_ = nullptr;
};

inline const char* DbfTable::RecordData() const {
  if (current_ != nullptr || currentRecno_ == 0) return current_;
  return LoadCurrent();
}

inline std::string_view DbfTable::CurrentRecord() const {
  const char* record = RecordData();
  return record == nullptr ? std::string_view() : std::string_view(record, static_cast<size_t>(recordLength_));
}

// The reads of a field on the table's current record, which need the table.

inline std::string_view DbfField::RawBytes() const {
  const char* record = table_.RecordData();
  return record == nullptr ? std::string_view() : RawBytes(record);
}

inline std::string_view DbfField::CharacterText() const {
  const char* record = table_.RecordData();
  return record == nullptr ? std::string_view() : CharacterText(record);
}

inline bool DbfField::IsNull() const {
  const char* record = table_.RecordData();
  return record == nullptr || IsNull(record);
}

}  // namespace tarvelo
