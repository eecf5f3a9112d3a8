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
#include "dbf/dbf_header.h"
#include "os/file_system.h"
#include "values/regional_settings.h"
#include "values/variant.h"

namespace tarvelo {

class DbfTable;

/// What keeps state over a table's open file outside the table (an
/// index): told when the table has opened its file and when it is about to
/// close it. Added with DbfTable::AddListener.
class DbfTableListener {
 public:
  /// The table has opened its file and stands on its first visible record.
  /// An error raised here makes the table's Open close it and raise it.
  virtual void TableOpened() = 0;
  /// The table is about to release its file. An error raised here is
  /// raised by the table's Close once its file is closed.
  virtual void TableClosing() = 0;

 protected:
  ~DbfTableListener() = default;
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
  /// descriptors, stands on the first visible record and tells its
  /// listeners (TableOpened). Raises DbfError or DatabaseError, and what a
  /// listener raises, with the table left closed; a file that cannot be opened
  /// gives DbfError "DbfTable.InternalOpen: Open error \"<path>\"" with the
  /// system's reason (Reason(): "No such file or directory", kFileInUse
  /// when another open file holds it exclusively). Does nothing when open.
  void Open();
  /// Tells the listeners (TableClosing), then releases the file and the
  /// fields; raises the first error a listener raised once the file is
  /// released. On a closed table it only tells the listeners.
  void Close();
  /// Releases the file (and its lock) without telling the listeners, but
  /// keeps the fields: they go on reading records the caller holds
  /// (DbfField's reads of a record). The table then stands on no record;
  /// Open opens the file again, Close drops the fields.
  void ReleaseFile();
  bool IsOpen() const;

  /// Stands on the first visible record in file order (AtEnd when there is
  /// none). Reads a block when needed; does nothing when closed.
  void First();
  /// Moves to the next visible record in file order; at the last one sets
  /// AtEnd and stays on it. Does nothing when closed.
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
  /// The record count the header declares, as read when the file was
  /// opened; 0 when closed. A file cut short holds fewer
  /// (PhysicalRecordCount), and only those are read.
  int64_t DeclaredRecordCount() const { return declaredRecords_; }
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

  /// Adds listener, told from then on when the table opens and closes,
  /// in the order listeners were added; it must be removed before it goes.
  void AddListener(DbfTableListener& listener);
  /// Removes listener; nothing when it is not one.
  void RemoveListener(DbfTableListener& listener);

  // What an order of the records kept outside the table (an index) uses to
  // stand the table on the records it finds.

  /// Loads the block of record recno and tells whether the record exists
  /// and is visible (false below 1); the current record may lose its block
  /// (it is read again when needed).
  bool LoadVisible(int64_t recno);
  /// Stands on record recno (0 for none) with the given end flag; the
  /// record is read when needed.
  void StandOn(int64_t recno, bool atEnd) {
    SetCurrent(recno);
    atEnd_ = atEnd;
  }

 private:
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
  int64_t declaredRecords_ = 0;
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

  std::vector<DbfTableListener*> listeners_;
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
