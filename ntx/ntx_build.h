#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "os/file_system.h"

namespace tarvelo {

class DbfTable;
class NtxExpression;
namespace os {
class MemoryPages;
}

/// Eight key bytes as one number whose order is theirs as unsigned bytes
/// (the first byte most significant).
inline uint64_t KeyWord(const uint8_t* at) {
  uint64_t value;
  std::memcpy(&value, at, sizeof value);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  return value;
}

/// Compares length key bytes as unsigned bytes (memcmp's order, its sign),
/// eight at a time; the last word ends with the keys, overlapping the one
/// before.
inline int CompareKeyBytes(const uint8_t* a, const uint8_t* b, size_t length) {
  if (length < 8) return std::memcmp(a, b, length);
  size_t i = 0;
  for (; i + 8 < length; i += 8) {
    const uint64_t x = KeyWord(a + i);
    const uint64_t y = KeyWord(b + i);
    if (x != y) return x < y ? -1 : 1;
  }
  const uint64_t x = KeyWord(a + length - 8);
  const uint64_t y = KeyWord(b + length - 8);
  return x == y ? 0 : (x < y ? -1 : 1);
}

/// Sorts the (key, record number) pairs of an index build within a fixed
/// number of bytes, whatever their count: in memory while they fit, else as
/// sorted runs written to a nameless file in the index's folder (gone when
/// closed, however the process ends) and merged as they are read back.
/// Keys compare as unsigned bytes, the other way round when descending;
/// equal keys come out in the order they were added.
class NtxKeySorter {
 public:
  /// Fewest bytes a sorter works in, whatever it is given.
  static constexpr size_t kMinBudget = 64 * 1024;

  /// The budget in which count pairs of keyLength-byte keys sort in
  /// memory, without a run file.
  static size_t BytesFor(int keyLength, uint64_t count);

  /// folder is where the run file goes (the file system's bytes; empty for
  /// the current folder); shownName names the index in errors.
  NtxKeySorter(int keyLength, bool descending, size_t budgetBytes, std::string folder, std::string shownName);
  ~NtxKeySorter();
  NtxKeySorter(const NtxKeySorter&) = delete;
  NtxKeySorter& operator=(const NtxKeySorter&) = delete;

  /// Room for the next key: write its keyLength bytes there, then call
  /// Add. Raises the errors of the run file when a full buffer has to be
  /// written out: DbfError "NtxIndex.SortKeys: Create error \"<name>\"" or
  /// "... Write error ...", with the system's reason.
  uint8_t* NextKey();
  /// Adds the key written at NextKey() with its record number.
  void Add(uint32_t recno);

  /// Sorts the pairs added since the buffer was last written out, as
  /// Rewind would: a thread of the adding may do it while others add.
  void Sort();
  /// Ends the adding and starts a pass over the pairs in order; may be
  /// called again to start another pass. Raises the errors of NextKey.
  void Rewind();
  /// The next pair of the pass: false after the last. key stays valid
  /// until the next call. Raises DbfError "NtxIndex.SortKeys: Read error
  /// \"<name>\"" when the run file cannot be read back.
  bool Next(const uint8_t*& key, uint32_t& recno);

  /// Takes in the pairs of a sorter that holds later records (whose adding
  /// is over): passes give them after this one's pairs of equal keys.
  void Append(std::unique_ptr<NtxKeySorter> later);

  /// Pairs added, those of the sorters appended included.
  uint64_t Count() const;
  /// Sorted runs written to the run file so far (0 while all fit in memory).
  size_t RunsOnFile() const;

 private:
  struct Run;
  struct Cursor;
  void SortBuffer();
  void SpillBuffer();
  void WriteRunBytes(const uint8_t* bytes, size_t length);
  bool Before(const Cursor& a, const Cursor& b) const;
  /// True when cursor a's pair comes before cursor b's (a run at its end
  /// comes after every pair).
  bool Wins(size_t a, size_t b) const;
  /// Moves cursor to the next pair of its run, reading its sorter's run
  /// file or buffer; false at the end of the run.
  static bool Advance(Cursor& cursor);

  int keyLength_;
  size_t entrySize_;  // key, then the record number (4 bytes, little-endian)
  bool descending_;
  std::string folder_;
  std::string shownName_;
  size_t capacity_;  // pairs the buffer holds
  uint64_t count_ = 0;
  bool sorted_ = false;

  // The buffer: pairs in the order added, then their sorted order.
  std::unique_ptr<os::MemoryPages> memory_;
  uint8_t* entries_ = nullptr;
  // A pair of the buffer in the sort: the first bytes of its key that
  // tell keys apart (see SortBuffer) and its place in the buffer.
  struct Item {
    uint64_t prefix;
    uint32_t at;
    uint32_t tail;
  };
  Item* items_ = nullptr;
  Item* spare_ = nullptr;
  size_t buffered_ = 0;

  os::File file_;
  uint64_t fileBytes_ = 0;
  std::vector<Run> runs_;
  std::vector<uint8_t> readSpace_;
  std::vector<Cursor> cursors_;
  std::vector<size_t> losers_;  // the merge's tree of matches (see Rewind)
  size_t last_ = SIZE_MAX;      // the cursor whose pair Next gave last
  std::vector<std::unique_ptr<NtxKeySorter>> later_;
};

/// How a build reads its table's keys (see ScanTableKeys).
struct NtxScanOptions {
  int keyLength = 0;
  bool descending = false;
  /// Bytes the keys are sorted in at most, shared among the threads (no
  /// more than their keys need).
  size_t sortBytes = 0;
  /// Threads asked for: at most 8 are used, and one for every 16,384
  /// records.
  int threads = 1;
  /// Deleted records remembered at most.
  size_t deletedRecordsKept = 0;
  /// Where the sort's run file goes (empty for the current folder), and the
  /// index's name in errors.
  std::string folder;
  std::string shownName;
  /// Asked before each block of records a thread reads; none when empty.
  std::function<bool()> stopRequested;
};

/// The keys of a table's records, read for an index build, and what the
/// reading learnt of the table.
struct NtxTableScan {
  /// The (key, record number) pairs of the records the filter lets
  /// through, sorted, equal keys in record order.
  std::unique_ptr<NtxKeySorter> sorter;
  /// The records read: the table's number of records.
  int64_t recordCount = 0;
  /// The deleted records among 1 to deletedKnownThrough, in ascending
  /// order: all of them unless there were more than the options keep.
  std::vector<uint32_t> deleted;
  int64_t deletedKnownThrough = 0;
};

/// Reads every record of table (deleted ones included) and sorts the key
/// that key makes of each record filter lets through (every record for an
/// empty filter). The table is read in stretches, one a thread, each
/// sorted apart in its share of the budget; the result is the same for any
/// number of threads. Raises DbfError "NtxIndex.CreateIndex: Record <n>
/// beyond the index's range" past record 4,294,967,295, the table's read
/// errors and the sorter's, and RunStoppedError when stopRequested answers
/// true; the first in record order.
NtxTableScan ScanTableKeys(const DbfTable& table, const NtxExpression& key, const NtxExpression& filter,
                           const NtxScanOptions& options);

/// Writes the pages of an NTX tree bottom-up, from its keys in order: each
/// level's pages are filled as evenly as the count allows, every one of
/// them full or short of one key, and every page goes to the file once,
/// at the offset after the one before. The tree's shape follows from the
/// number of keys alone, so that number must be known first.
class NtxPageWriter {
 public:
  /// file is the index file (not owned); pages go from offset firstPage
  /// on. shownName names the file in errors.
  NtxPageWriter(os::FileHandle file, std::string shownName, int keyLength, int maxKeys, uint64_t keyCount,
                uint32_t firstPage);
  /// Adds the next key in order. Raises DbfError "NtxIndex.WritePage:
  /// Write error ..." when a write fails, and "NtxIndex.AddPage: Index file
  /// \"<name>\" is full" past the 4 GiB an index can address.
  void Add(const uint8_t* key, uint32_t recno);
  /// Writes the last pages (after exactly keyCount keys) and returns the
  /// root's offset; for no keys the root is one empty leaf. Raises the
  /// errors of Add.
  uint32_t Finish();
  /// Where the next page would go.
  uint32_t NextPage() const { return nextPage_; }
  /// Offsets of the pages written above the leaves, in the order written.
  const std::vector<uint32_t>& InnerPages() const { return innerPages_; }

 private:
  struct Level {
    std::vector<uint8_t> page;
    int keys = 0;         // keys in the page being filled
    int target = 0;       // keys it gets
    uint64_t number = 0;  // its place in the level
    uint64_t pages = 0;   // pages of the level
    uint64_t base = 0;    // keys of the level's pages: base, or base + 1 for the first extra ones
    uint64_t extra = 0;
  };
  void StartPage(Level& level);
  void AddAt(size_t level, const uint8_t* key, uint32_t recno, uint32_t left);
  uint32_t Emit(const std::vector<uint8_t>& page);
  void FlushOut();

  os::FileHandle file_;
  std::string shownName_;
  int keyLength_;
  int entrySize_;
  int maxKeys_;
  int slotBase_;
  std::vector<Level> levels_;
  uint32_t nextPage_;
  uint32_t outStart_;  // file offset of the first page in out_
  std::vector<uint8_t> out_;
  std::vector<uint32_t> innerPages_;
};

}  // namespace tarvelo
