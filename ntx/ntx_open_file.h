#pragma once
// The state of an open index file, shared by the code that makes and opens
// it (ntx_index.cpp) and the code that searches it (ntx_search.cpp). Not
// for use outside the index.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ntx/ntx_expression.h"
#include "ntx/ntx_format.h"
#include "ntx/ntx_page_cache.h"
#include "os/file_system.h"

namespace tarvelo {

namespace ntx {
// The deepest a descent goes before the tree counts as damaged.
inline constexpr size_t kMaxDepth = 64;
/// Throws DbfError "NtxIndex.ReadPage: Page <page> of "<path>" is damaged".
[[noreturn]] void ThrowDamaged(uint32_t page, const std::string& path);

// One page of a search's descent: its offset and the position taken in it.
struct Step {
  uint32_t page;
  int pos;
};

// The open index file: its layout, the page cache and the working buffers
// of builds and searches.
struct OpenFile {
  os::File handle;  // declared first: closed after the cache that writes to it
  std::string fileName;
  int keyLength = 0;
  int entrySize = 0;
  int maxKeys = 0;
  int halfPage = 0;
  int slotBase = 0;  // offset of the first entry slot in a page
  uint32_t root = 0;
  uint32_t nextPage = 0;  // where the next new page goes
  bool descending = false;
  bool unique = false;
  NtxExpression key;
  NtxExpression filter;
  std::unique_ptr<NtxPageCache> cache;

  // The frames of the pages, by page number from 1, when a build left the
  // whole tree in the cache (nothing evicts them then: searches read only
  // pages that are cached); empty otherwise.
  std::vector<uint8_t*> resident;
  // The cursor of searches and key-order walks.
  std::vector<Step> cursor;
  std::vector<Step> savedCursor;
  std::string search;
  size_t searchLength = 0;
  std::vector<uint8_t> probe;
  // The last descent to a leaf, and the text it looked for: a text after
  // it that the same leaf's last key does not precede is looked for in that
  // leaf alone. Only for the keys of a build (no NUL byte in them, so their
  // beginnings come in key order too), in ascending order.
  bool keysInPrefixOrder = false;
  std::vector<Step> finger;
  std::string fingerText;
  // The pages met last while pages are read ahead (a search meets a few
  // of them again and again); forgotten when a read may evict them.
  static constexpr size_t kRecentPages = 4;
  uint32_t recentOffsets[kRecentPages] = {};
  uint8_t* recentPages[kRecentPages] = {};
  size_t recentNext = 0;

  // What the build's scan learnt of the table: its number of records and,
  // in ascending order, the deleted ones among records 1 to
  // deletedKnownThrough (all of them unless there were too many).
  bool knowsRecords = false;
  int64_t recordCount = 0;
  std::vector<uint32_t> deleted;
  int64_t deletedKnownThrough = 0;
  // The same as one bit a record (set when deleted), for tables of up to
  // kBitmapRecords records: a search asks it once rather than searching
  // the list.
  std::vector<uint64_t> deletedBits;

  void SetLayout(int keyBytes, int maxKeysPerPage) {
    keyLength = keyBytes;
    entrySize = keyBytes + ntx::kKeyAt;
    maxKeys = maxKeysPerPage;
    halfPage = maxKeys / 2;
    slotBase = ntx::EntriesAt(maxKeys);
    probe.assign(static_cast<size_t>(keyLength), 0);
  }

  int Count(const uint8_t* page) const { return ntx::Get16(page + ntx::kCountAt); }
  uint16_t SlotOf(const uint8_t* page, int i) const { return ntx::Get16(page + ntx::kSlotsAt + 2 * i); }
  uint32_t ChildAt(const uint8_t* page, int i) const { return ntx::Get32(page + SlotOf(page, i) + ntx::kChildAt); }
  uint32_t RecnoAt(const uint8_t* page, int i) const { return ntx::Get32(page + SlotOf(page, i) + ntx::kRecnoAt); }
  const uint8_t* KeyAt(const uint8_t* page, int i) const { return page + SlotOf(page, i) + ntx::kKeyAt; }
};

}  // namespace ntx

}  // namespace tarvelo
