#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_table.h"
#include "os/temporary_file.h"
#include "values/errors.h"
#include "values/variant.h"

namespace tarvelo {

class NtxIndex;
class NtxKeySorter;
class NtxPageCache;
namespace ntx {
struct OpenFile;
}

/// What keeps an index among the other indexes of its table
/// (NtxIndexList), told by the index of the steps of its builds.
class NtxIndexKeeper {
 public:
  /// A build of index begins: it is no longer the one searches go through.
  virtual void BuildStarting(const NtxIndex& index) = 0;
  /// The build made the index's file, at index.NTXFileName().
  virtual void FileMade(const NtxIndex& index) = 0;
  /// The build ended well.
  virtual void BuildEnded(NtxIndex& index) = 0;

 protected:
  ~NtxIndexKeeper() = default;
};

/// A build that found a file in its index file's place that it must not
/// remove: "NtxIndex.CreateIndex: Create error \"<name>\"", the file left
/// as it is, with the reason (kNotAnIndexInTheWay, kReadOnlyInTheWay) and
/// the file's path on its location line.
class IndexInTheWayError : public DbfError {
 public:
  using DbfError::DbfError;
};

/// A build whose file name another open file holds locked (another run
/// building its index there): "NtxIndex.CreateIndex: Create error
/// \"<name>\"", the file left as it is, with the reason kFileInUse and the
/// file's path on its location line. A caller may build under another name.
class IndexFileInUseError : public DbfError {
 public:
  using DbfError::DbfError;
};

/// The reasons of IndexInTheWayError: a file that holds no index header
/// (not a leftover of a build), and one marked read-only.
inline constexpr const char* kNotAnIndexInTheWay = "A file that is not an index is in its place; it was left as it is";
inline constexpr const char* kReadOnlyInTheWay = "A read-only file is in its place; it was left as it is";

/// Index file format version: the header signature is 6 for v500 and v501,
/// 7 for v520 and v530.
enum class ClipperVersion { v500, v501, v520, v530 };

/// A Clipper NTX key index over an open DbfTable, on its own or kept with
/// the table's other indexes by an NtxIndexList. Built from a key
/// expression over all records into an index file (CreateNow), it stands
/// the table on the records it finds: FindKey searches it and First/Next
/// walk the table's visible records in key order. Keys compare as unsigned
/// bytes.
class NtxIndex {
 public:
  /// Pages an index keeps in memory at most (1024 bytes each): 40 MiB, the
  /// whole index of 1,000,000 keys of 26 bytes (a build fills its pages).
  /// Memory is taken as pages come.
  static constexpr size_t kCachePages = 40960;
  /// Bytes a build sorts its keys in: 32 MiB, about 540,000 keys of 26
  /// bytes at once. The build's memory is given back before the searches
  /// fill the page cache, so the two never add up.
  static constexpr size_t kSortBytes = size_t{32} << 20;
  /// Deleted records a build remembers at most (4 bytes each), so that a
  /// search need not read the records its keys lead to.
  static constexpr size_t kDeletedRecordsKept = size_t{1} << 18;

  /// keeper, when given, is told of the index's builds and must outlive
  /// the index.
  NtxIndex(DbfTable& table, std::string name, NtxIndexKeeper* keeper = nullptr);
  ~NtxIndex();
  NtxIndex(const NtxIndex&) = delete;
  NtxIndex& operator=(const NtxIndex&) = delete;

  /// The index name, quoted in the create error.
  const std::string& Name() const { return name_; }
  DbfTable& Table() const { return table_; }

  /// Stores the key expression unchanged; a text holding any character
  /// below code 32 is stored empty. When the table is open the expression
  /// is parsed at once: DatabaseError "<table>: Field 'NAME' not found" for
  /// an unknown name (upper-cased), DbfError "NtxIndex.ParseExpression:
  /// Invalid expression \"text\"" for one that is not text.
  void SetKeyExpresion(std::string expression);
  const std::string& KeyExpresion() const { return keyExpression_; }
  /// Stores the filter expression (same rules; it must be logical): only
  /// records for which it is true get an entry. Empty for none.
  void SetForExpresion(std::string expression);
  const std::string& ForExpresion() const { return forExpression_; }
  /// Stores the index file path and renames the index after the file name
  /// without folder, up to its first dot.
  void SetNTXFileName(std::string path);
  const std::string& NTXFileName() const { return fileName_; }
  /// Setting true builds the index file over every record of the table
  /// (deleted ones included), telling the keeper (which records the file
  /// and makes the index its active one), and leaves the table on the
  /// record it stood on (on the first one in key order when the index
  /// lacks it or the record is hidden); false does
  /// nothing. The keys are sorted (see SetSortBytes) and the pages written
  /// bottom-up, each level's pages as full as the count allows; equal keys
  /// in record order. The file is always created new, only the user's,
  /// never through a symbolic link: an earlier entry of that name that no
  /// open file holds locked is removed first when it is a leftover index
  /// (it holds an index header; a build writes one as soon as it makes
  /// the file, so an empty file is one too), or a link; any other file,
  /// and a read-only one, is left as it is and the build raises
  /// IndexInTheWayError; one that another open file holds locked is left
  /// too, and the build raises IndexFileInUseError. Raises DbfError
  /// "NtxIndex.CreateIndex: Create index only on active DataSet" on a
  /// closed table; the errors of SetKeyExpresion (an empty expression is
  /// invalid); DbfError
  /// "NtxIndex.CreateIndex: Create error \"<name>\"", with the system's
  /// reason (Reason()) and the file's path on its location line (Where()),
  /// when the file cannot be created; the page write
  /// error when a write fails; DbfError "NtxIndex.SortKeys: Create error
  /// \"<file>\"" (or Write, Read) with the system's reason when the sort's
  /// own file cannot be made, written or read. Once the file is created, a
  /// failure leaves the index with no file open and inactive (and a
  /// temporary index without its file).
  void SetCreateNow(bool create);
  /// When true, the file a build creates belongs to the index: it is
  /// removed when the build fails, when the index is deleted or destroyed,
  /// and by RemoveTemporaryFiles should a signal end the process (see
  /// TemporaryFile). False by default: the file stays on disk.
  void SetTemporary(bool temporary) { temporary_ = temporary; }
  /// The open folder the next build makes its file in, under the last part
  /// of NTXFileName() (which should name a file of that folder), and
  /// removes it from; kept while the index lives. None by default: the
  /// file goes by its path.
  void SetFolder(std::shared_ptr<const os::Folder> folder) { folder_ = std::move(folder); }
  bool Temporary() const { return temporary_; }
  /// Always false.
  bool CreateNow() const { return false; }
  /// Keys pass through the table's text translation; the table translates
  /// nothing, so this changes nothing.
  void SetKeyTranslate(bool translate) { keyTranslate_ = translate; }
  bool KeyTranslate() const { return keyTranslate_; }
  /// The header signature of the next build.
  void SetClipperVer(ClipperVersion version) { clipperVersion_ = version; }
  ClipperVersion ClipperVer() const { return clipperVersion_; }
  /// When true, the next build adds a key already present only once.
  void SetUnique(bool unique) { unique_ = unique; }
  bool Unique() const { return unique_; }
  /// When true, the next build orders keys from the highest down.
  void SetDescending(bool descending) { descending_ = descending; }
  bool Descending() const { return descending_; }

  /// Pages the index keeps in memory at most from its next build or open
  /// (kCachePages by default; at least NtxPageCache::kMinCapacity); never
  /// more than the file has.
  void SetCachePages(size_t pages) { cachePages_ = pages; }
  size_t CachePages() const { return cachePages_; }
  /// Pages one read of the file brings at most (1 by default). Above 1, a
  /// page a search or walk needs that is not cached comes with those that
  /// follow it in the file, all in one read, and a build whose tree the
  /// cache cannot hold reads nothing beforehand. Meant for searches in
  /// ascending key order, which meet the pages of a built tree in the
  /// order of the file: each is then read once, whatever the cache's size.
  void SetReadAheadPages(size_t pages) { readAheadPages_ = pages; }
  size_t ReadAheadPages() const { return readAheadPages_; }
  /// Bytes the next build sorts its keys in at most (kSortBytes by
  /// default; no more than the table's keys need, at least
  /// NtxKeySorter::kMinBudget). Keys beyond what fits are sorted in
  /// runs written to a nameless file in the index's folder.
  void SetSortBytes(size_t bytes) { sortBytes_ = bytes; }
  size_t SortBytes() const { return sortBytes_; }
  /// Threads the next build reads and sorts the table's keys on (1 by
  /// default; at most 8, and one for every 16,384 records). The file is
  /// the same for any number.
  void SetThreads(int threads) { threads_ = threads; }
  int Threads() const { return threads_; }
  /// Asked, from the build's threads, before each block of records the
  /// next build reads: when it answers true the build ends by raising
  /// RunStoppedError (as any failed build, without its file). None by
  /// default.
  void SetStopCheck(std::function<bool()> stopRequested) { stopRequested_ = std::move(stopRequested); }
  /// Deleted records the next build remembers at most (kDeletedRecordsKept
  /// by default). Past that many, searches read the records their keys
  /// lead to from the first deleted record not remembered on, to learn
  /// their deletion flag.
  void SetDeletedRecordsKept(size_t count) { deletedRecordsKept_ = count; }
  size_t DeletedRecordsKept() const { return deletedRecordsKept_; }

  /// True while the index file is open: from a build (or OpenExisting)
  /// until CloseFile, the index's removal or, kept by a list, the table's
  /// Close.
  bool IsFileOpen() const;
  /// Key length of the open file; 0 when no file is open.
  int KeyLength() const;
  /// Writes the changed pages to the file and closes it (the file stays on
  /// disk); does nothing when no file is open. Raises the page write error
  /// after closing the file when a write fails.
  void CloseFile();

  /// Searches the index and stands the table on what it finds. With fewer
  /// values than the key has fields the search is partial: the values'
  /// texts are joined, and a key whose first bytes (as many as the text
  /// has, at most the key length) equal the text matches. With a value for
  /// every key field it is exact: each text is cut or padded with blanks
  /// to its field's width. Deleted records are passed over when the table
  /// hides them. True when a record matches, the table then standing on
  /// the first in key order; false, the table's position unchanged,
  /// otherwise and when the table is closed or no file is open.
  bool FindKey(const std::vector<Variant>& values);
  /// Stands the table on its first visible record in key order (AtEnd
  /// when there is none). Does nothing when the table is closed or no file
  /// is open.
  void First();
  /// Moves the table to the next visible record in key order; past the
  /// last one sets AtEnd and leaves it on that one. Does nothing when the
  /// table is closed or no file is open.
  void Next();

  /// Opens the existing index file NTXFileName() read-write and locked, and
  /// reads its header, taking key and filter expression, uniqueness, order
  /// and version from it. Does nothing when a file is open. Raises DbfError
  /// "NtxIndex.OpenIndex: Open error \"<file>\"" with the system's reason
  /// when it cannot be opened, "NtxIndex.OpenIndex: File \"<file>\" is not
  /// NTX file" when the header does not fit the table, and the errors of
  /// the expressions; no file is open then.
  void OpenExisting();

 private:
  using OpenFile = ntx::OpenFile;

  // The cursor's moves, through which FindKey, First and Next stand the
  // table; the table's position and the cursor agree.

  /// Positions the cursor on the first entry matching values (see
  /// FindKey) and gives its record in recno; false when no entry
  /// matches or no file is open.
  bool SeekFirst(const std::vector<Variant>& values, int64_t& recno);
  /// Moves to the next entry that still matches the last SeekFirst; false
  /// past the last one or when no file is open.
  bool SeekNext(int64_t& recno);
  /// Positions the cursor on the first entry in key order; false when the
  /// index is empty or no file is open.
  bool CursorFirst(int64_t& recno);
  /// Moves to the entry after the cursor's; false past the last one or
  /// when no file is open.
  bool CursorNext(int64_t& recno);
  /// Positions the cursor on the entry of record recno, whose bytes are
  /// record; false when the index has none (the filter rejects the record)
  /// or no file is open.
  bool CursorToRecord(int64_t recno, std::string_view record);
  /// Keeps the cursor aside, and puts it back, around a search that fails;
  /// nothing when no file is open.
  void SaveCursor();
  void RestoreCursor();
  /// Whether record recno exists and is visible (not marked deleted, when
  /// hideDeleted), as the build's scan of the table found it: 1 visible,
  /// 0 not (recno below 1 included), -1 unknown (no file is open, the file
  /// was opened rather than built, the record lies past the records the
  /// build read, or there were too many deleted records to remember them
  /// all): the record must then be read.
  int KnownVisibility(int64_t recno, bool hideDeleted) const;

  /// Tells whether record recno exists and is visible, from what the
  /// build learnt when it can (the table then stands on recno without
  /// reading it, see DbfTable::RecordData), else by loading its block.
  bool KeyRecordVisible(int64_t recno);
  /// After a build: the table stays on its record when that record is
  /// visible and the index holds it (AtEnd becomes false); else it goes to
  /// the first visible record in key order.
  void StandAfterBuild();

  /// Builds the index file (CreateNow).
  void CreateIndex();
  /// Creates the file exclusively and returns it.
  os::File CreateFile() const;
  /// Writes the tree (SortAndWrite), then reads what the searches will
  /// want of it into the page cache.
  void BuildTree();
  /// Reads the keys of every record, sorts them and writes the tree's
  /// pages bottom-up; the offsets of the pages above the leaves go into
  /// innerPages.
  void SortAndWrite(std::vector<uint32_t>& innerPages);
  /// Writes the tree's pages from the sorted keys (SortAndWrite).
  void WritePages(NtxKeySorter& sorter, std::vector<uint32_t>& innerPages);
  void WriteHeader();
  /// The frames of a cache for a file of that many pages (the header
  /// not counted): enough to hold them all, at most CachePages().
  size_t CachePagesFor(uint64_t pages) const;

  // Cursor primitives; the cursor stays on the entry returned.
  void LowerBound(const uint8_t* text, size_t length);
  bool Settle(int64_t& recno);
  bool Advance(int64_t& recno);
  const uint8_t* CursorKey();

  uint8_t* Page(uint32_t offset, bool forWrite = false);
  int CompareKeys(const uint8_t* a, const uint8_t* b) const;
  int ComparePrefix(const uint8_t* key, const uint8_t* text, size_t length) const;
  // The first slot of page bytes, from low up to high, whose key does not
  // precede text (high when none).
  int FirstSlotNotBefore(const uint8_t* bytes, int low, int high, const uint8_t* text, size_t length) const;

  DbfTable& table_;
  NtxIndexKeeper* keeper_;
  std::string name_;
  std::string keyExpression_;
  std::string forExpression_;
  std::string fileName_;
  bool keyTranslate_ = true;
  ClipperVersion clipperVersion_ = ClipperVersion::v500;
  bool unique_ = false;
  bool descending_ = false;
  size_t cachePages_ = kCachePages;
  size_t readAheadPages_ = 1;
  size_t deletedRecordsKept_ = kDeletedRecordsKept;
  size_t sortBytes_ = kSortBytes;
  int threads_ = 1;
  std::function<bool()> stopRequested_;
  bool temporary_ = false;
  std::unique_ptr<OpenFile> file_;
  std::shared_ptr<const os::Folder> folder_;
  // The file the last build of a temporary index created (removed before
  // the folder goes).
  os::TemporaryFile ownFile_;
};

/// Whether start, the first bytes of a file of fileSize bytes, is the
/// header page of an index that OpenExisting would take (the layout only:
/// the key expression is not parsed, as it needs the table). False when
/// start holds less than a page.
bool IsNtxHeader(std::string_view start, int64_t fileSize);

}  // namespace tarvelo
