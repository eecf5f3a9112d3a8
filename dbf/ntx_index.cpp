#include "dbf/ntx_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <numeric>

#include "dbf/locked_file.h"
#include "dbf/ntx_expression.h"
#include "dbf/ntx_page_cache.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {
namespace {

constexpr uint32_t kPageSize = NtxPageCache::kPageSize;
constexpr int kMaxKeyLength = 256;
// The header keeps each expression NUL-terminated in 256 bytes.
constexpr size_t kMaxExpressionLength = 255;
constexpr size_t kMaxDepth = 64;
// Descents made ahead of the insertions of a build.
constexpr size_t kLookAhead = 2;
// Pairs of one sorted batch: this many bytes div (key length + 8).
constexpr int kBatchBytes = 65536;

// Header fields.
constexpr size_t kSignatureAt = 0;
constexpr size_t kVersionAt = 2;
constexpr size_t kRootAt = 4;
constexpr size_t kFreePageAt = 8;
constexpr size_t kEntrySizeAt = 12;
constexpr size_t kKeySizeAt = 14;
constexpr size_t kDecimalsAt = 16;
constexpr size_t kMaxKeysAt = 18;
constexpr size_t kHalfPageAt = 20;
constexpr size_t kKeyExpressionAt = 22;
constexpr size_t kUniqueAt = 278;
constexpr size_t kDescendingAt = 280;
constexpr size_t kForExpressionAt = 282;
constexpr size_t kExpressionBytes = 256;

uint16_t Get16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

uint32_t Get32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) | (static_cast<uint32_t>(at[2]) << 16) |
         (static_cast<uint32_t>(at[3]) << 24);
}

void Put16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value & 0xFF);
  at[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

void Put32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value & 0xFF);
  at[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
  at[2] = static_cast<uint8_t>((value >> 16) & 0xFF);
  at[3] = static_cast<uint8_t>((value >> 24) & 0xFF);
}

// Eight key bytes as one number whose order is theirs as unsigned bytes
// (the first byte most significant).
uint64_t Word(const uint8_t* at) {
  uint64_t value;
  std::memcpy(&value, at, sizeof value);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  return value;
}

// Keys compare as unsigned bytes: memcmp's order, eight bytes at a time
// (the last word ends with the keys, overlapping the one before).
inline int CompareBytes(const uint8_t* a, const uint8_t* b, size_t length) {
  if (length < 8) return std::memcmp(a, b, length);
  size_t i = 0;
  for (; i + 8 < length; i += 8) {
    const uint64_t x = Word(a + i);
    const uint64_t y = Word(b + i);
    if (x != y) return x < y ? -1 : 1;
  }
  const uint64_t x = Word(a + length - 8);
  const uint64_t y = Word(b + length - 8);
  return x == y ? 0 : (x < y ? -1 : 1);
}

// True when one of the eight bytes of value is 0.
bool HasZeroByte(uint64_t value) { return ((value - 0x0101010101010101u) & ~value & 0x8080808080808080u) != 0; }

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 32; });
}

// The text of a NUL-terminated header field of at most width bytes.
std::string HeaderText(const uint8_t* at, size_t width) {
  const void* nul = std::memchr(at, '\0', width);
  const size_t length = nul == nullptr ? width : static_cast<size_t>(static_cast<const uint8_t*>(nul) - at);
  return std::string(reinterpret_cast<const char*>(at), length);
}

[[noreturn]] void ThrowDamaged(uint32_t page, const std::string& path) {
  throw DbfError("NtxIndex.ReadPage: Page " + std::to_string(page) + " of \"" + path + "\" is damaged");
}

void CloseDescriptor(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace

// The open index file: its layout, the page cache and the working buffers
// of builds and searches.
struct NtxIndex::OpenFile {
  int fd = -1;
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

  // Descents of the insertion under way and of the keys after it (inner
  // pages with their positions, then the leaf), each in slot key number mod
  // kLookAhead + 1 and valid while pathValid says so; the cursor of
  // searches and key-order walks.
  std::vector<std::vector<Step>> paths = std::vector<std::vector<Step>>(kLookAhead + 1);
  std::vector<uint8_t> pathValid = std::vector<uint8_t>(kLookAhead + 1, 0);
  std::vector<int> bounding;
  int height = 0;  // levels of the tree being built
  std::vector<Step> cursor;
  std::vector<Step> savedCursor;
  std::string search;
  size_t searchLength = 0;
  std::vector<uint8_t> probe;

  // Build buffers: one batch of keys (flat), their record numbers and the
  // sorted order; the entries and children of a page being split.
  std::vector<uint8_t> batchKeys;
  std::vector<uint32_t> batchRecnos;
  std::vector<uint32_t> order;
  struct SortItem {
    uint64_t prefix;
    uint32_t at;
  };
  std::vector<SortItem> sortItems;
  std::vector<SortItem> sortSpare;
  std::vector<uint8_t> splitEntries;  // record number (4 bytes) and key each
  std::vector<uint32_t> splitChildren;
  std::vector<uint8_t> carryKey;
  uint32_t carryRecno = 0;

  // What the build's scan learnt of the table: its number of records and,
  // in ascending order, the deleted ones among records 1 to
  // deletedKnownThrough (all of them unless there were too many).
  bool knowsRecords = false;
  int64_t recordCount = 0;
  std::vector<uint32_t> deleted;
  int64_t deletedKnownThrough = 0;

  void SetLayout(int keyBytes, int maxKeysPerPage) {
    keyLength = keyBytes;
    entrySize = keyBytes + 8;
    maxKeys = maxKeysPerPage;
    halfPage = maxKeys / 2;
    slotBase = 2 + 2 * (maxKeys + 1);
    probe.assign(static_cast<size_t>(keyLength), 0);
    carryKey.assign(static_cast<size_t>(keyLength), 0);
  }

  int Count(const uint8_t* page) const { return Get16(page); }
  uint16_t SlotOf(const uint8_t* page, int i) const { return Get16(page + 2 + 2 * i); }
  uint32_t ChildAt(const uint8_t* page, int i) const { return Get32(page + SlotOf(page, i)); }
  uint32_t RecnoAt(const uint8_t* page, int i) const { return Get32(page + SlotOf(page, i) + 4); }
  const uint8_t* KeyAt(const uint8_t* page, int i) const { return page + SlotOf(page, i) + 8; }

  // A page with no keys whose offset table lists the slots in order.
  void InitPage(uint8_t* page) const {
    std::memset(page, 0, kPageSize);
    for (int i = 0; i <= maxKeys; ++i) Put16(page + 2 + 2 * i, static_cast<uint32_t>(slotBase + i * entrySize));
  }

  void WriteEntry(uint8_t* page, int i, uint32_t child, uint32_t recno, const uint8_t* keyBytes) const {
    uint8_t* slot = page + SlotOf(page, i);
    Put32(slot, child);
    Put32(slot + 4, recno);
    std::memcpy(slot + 8, keyBytes, static_cast<size_t>(keyLength));
  }

  void SetChild(uint8_t* page, int i, uint32_t child) const { Put32(page + SlotOf(page, i), child); }

  // Inserts an entry at position pos of a page that is not full: its left
  // child is left, and the entry after it gets right as its child.
  void InsertInPage(uint8_t* page, int pos, uint32_t left, uint32_t recno, const uint8_t* keyBytes,
                    uint32_t right) const {
    const int n = Count(page);
    const uint16_t freeSlot = SlotOf(page, n + 1);
    std::memmove(page + 2 + 2 * (pos + 1), page + 2 + 2 * pos, static_cast<size_t>(2 * (n - pos + 1)));
    Put16(page + 2 + 2 * pos, freeSlot);
    WriteEntry(page, pos, left, recno, keyBytes);
    SetChild(page, pos + 1, right);
    Put16(page, static_cast<uint32_t>(n + 1));
  }

  // Splits a full page around an entry inserted at pos (with children left
  // and right as in InsertInPage): entries before position split stay in
  // page, the entry at split goes up (carryKey, carryRecno), the rest moves
  // to upper, a new page.
  void SplitPage(uint8_t* page, uint8_t* upper, int pos, uint32_t left, uint32_t recno, const uint8_t* keyBytes,
                 uint32_t right, int split) {
    const size_t width = 4 + static_cast<size_t>(keyLength);
    const int n = maxKeys;
    uint8_t* out = splitEntries.data();
    int child = 0;
    for (int i = 0; i <= n; ++i) {
      if (i == pos) {
        Put32(out, recno);
        std::memcpy(out + 4, keyBytes, static_cast<size_t>(keyLength));
        out += width;
        splitChildren[static_cast<size_t>(child++)] = left;
        splitChildren[static_cast<size_t>(child++)] = right;
      } else {
        splitChildren[static_cast<size_t>(child++)] = ChildAt(page, i);
      }
      if (i < n) {
        Put32(out, RecnoAt(page, i));
        std::memcpy(out + 4, KeyAt(page, i), static_cast<size_t>(keyLength));
        out += width;
      }
    }
    const auto entry = [&](int j) { return splitEntries.data() + static_cast<size_t>(j) * width; };

    InitPage(page);
    for (int j = 0; j < split; ++j)
      WriteEntry(page, j, splitChildren[static_cast<size_t>(j)], Get32(entry(j)), entry(j) + 4);
    SetChild(page, split, splitChildren[static_cast<size_t>(split)]);
    Put16(page, static_cast<uint32_t>(split));

    carryRecno = Get32(entry(split));
    std::memcpy(carryKey.data(), entry(split) + 4, static_cast<size_t>(keyLength));

    const int moved = n - split;
    for (int j = 0; j < moved; ++j) {
      const int from = split + 1 + j;
      WriteEntry(upper, j, splitChildren[static_cast<size_t>(from)], Get32(entry(from)), entry(from) + 4);
    }
    SetChild(upper, moved, splitChildren[static_cast<size_t>(n + 1)]);
    Put16(upper, static_cast<uint32_t>(moved));
  }
};

NtxIndex::NtxIndex(DbfTable& table, std::string name) : table_(table), name_(std::move(name)) {}

NtxIndex::~NtxIndex() {
  try {
    CloseFile();
  } catch (const TarveloError&) {
    // A failed write cannot be reported from here.
  }
}

void NtxIndex::SetKeyExpresion(std::string expression) {
  if (HasControlCharacter(expression)) expression.clear();
  keyExpression_ = std::move(expression);
  if (table_.IsOpen()) NtxExpression::ParseKey(keyExpression_, table_);
}

void NtxIndex::SetForExpresion(std::string expression) {
  if (HasControlCharacter(expression)) expression.clear();
  forExpression_ = std::move(expression);
  if (table_.IsOpen()) NtxExpression::ParseFilter(forExpression_, table_);
}

void NtxIndex::SetNTXFileName(std::string path) {
  fileName_ = std::move(path);
  const size_t slash = fileName_.rfind('/');
  std::string name = slash == std::string::npos ? fileName_ : fileName_.substr(slash + 1);
  const size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  name_ = std::move(name);
}

void NtxIndex::SetCreateNow(bool create) {
  if (create) CreateIndex();
}

bool NtxIndex::IsFileOpen() const { return file_ != nullptr; }

bool NtxIndex::IsActive() const { return table_.activeIndex_ == this; }

int NtxIndex::KeyLength() const { return file_ ? file_->keyLength : 0; }

void NtxIndex::CloseFile() {
  if (!file_) return;
  std::unique_ptr<OpenFile> file = std::move(file_);
  try {
    file->cache->Flush();
  } catch (...) {
    CloseDescriptor(file->fd);
    throw;
  }
  CloseDescriptor(file->fd);
}

uint8_t* NtxIndex::Page(uint32_t offset, bool forWrite) {
  OpenFile& f = *file_;
  if (offset < kPageSize || offset % kPageSize != 0) ThrowDamaged(offset, f.fileName);
  bool loaded = false;
  uint8_t* page = f.cache->Fetch(offset, forWrite, loaded);
  if (loaded) {
    // A page read from the file must stay inside its 1024 bytes.
    bool sound = f.Count(page) <= f.maxKeys;
    for (int i = 0; sound && i <= f.Count(page); ++i) {
      const int slot = f.SlotOf(page, i);
      sound = slot >= 2 && slot + f.entrySize <= static_cast<int>(kPageSize);
    }
    if (!sound) {
      f.cache->Clear();
      ThrowDamaged(offset, f.fileName);
    }
  }
  return page;
}

uint8_t* NtxIndex::NewPage() {
  OpenFile& f = *file_;
  if (f.nextPage > UINT32_MAX - kPageSize)
    throw DbfError("NtxIndex.AddPage: Index file \"" + f.fileName + "\" is full");
  uint8_t* page = f.cache->Allocate(f.nextPage);
  f.nextPage += kPageSize;
  f.InitPage(page);
  return page;
}

int NtxIndex::CompareKeys(const uint8_t* a, const uint8_t* b) const {
  const int result = CompareBytes(a, b, static_cast<size_t>(file_->keyLength));
  return file_->descending ? -result : result;
}

int NtxIndex::ComparePrefix(const uint8_t* key, const uint8_t* text, size_t length) const {
  int result = 0;
  // Whole words first, as long as they are equal and hold no NUL byte.
  size_t start = 0;
  while (start + 8 <= length) {
    const uint64_t word = Word(key + start);
    if (word != Word(text + start) || HasZeroByte(word)) break;
    start += 8;
  }
  for (size_t i = start; i < length; ++i) {
    const uint8_t a = key[i];
    if (a != text[i]) {
      // A NUL byte ends the key: what came before it decides.
      result = a == 0 ? 0 : (a < text[i] ? -1 : 1);
      break;
    }
    if (a == 0) break;
  }
  return file_->descending ? -result : result;
}

int NtxIndex::CreateFile() const {
  // Always a new file: a held one stays whole, a link is never followed.
  LockedFile file = CreateLockedFile(fileName_);
  if (file.fd < 0) {
    DbfError error("NtxIndex.CreateIndex: Create error \"" + PathText(name_) + "\"");
    error.SetReason(std::move(file.reason));
    throw error;
  }
  return file.fd;
}

void NtxIndex::CreateIndex() {
  if (!table_.IsOpen()) throw DbfError("NtxIndex.CreateIndex: Create index only on active DataSet");
  NtxExpression key = NtxExpression::ParseKey(keyExpression_, table_);
  if (key.IsEmpty()) throw DbfError("NtxIndex.ParseExpression: Invalid expression \"\"");
  NtxExpression filter = NtxExpression::ParseFilter(forExpression_, table_);
  if (key.KeyLength() < 1 || key.KeyLength() > kMaxKeyLength)
    throw DbfError("NtxIndex.CreateIndex: Key length " + std::to_string(key.KeyLength()) + " outside 1 to " +
                   std::to_string(kMaxKeyLength));
  if (keyExpression_.size() > kMaxExpressionLength || forExpression_.size() > kMaxExpressionLength)
    throw DbfError("NtxIndex.CreateIndex: Expression longer than " + std::to_string(kMaxExpressionLength) +
                   " characters");

  // A rebuild replaces this index's own file.
  if (IsActive()) table_.activeIndex_ = nullptr;
  CloseFile();
  ownFile_.Remove();
  int fd = -1;
  {
    // A signal must not fall between the file's making and its recording.
    const SignalsHeldOff heldOff;
    fd = CreateFile();
    if (temporary_) ownFile_ = TemporaryFile(fileName_, fd);
  }
  table_.indexDefs_.Record(fileName_);

  auto file = std::make_unique<OpenFile>();
  file->fd = fd;
  file->fileName = PathText(fileName_);
  const int entrySize = key.KeyLength() + 8;
  int maxKeys = (1020 - entrySize) / (entrySize + 2);
  maxKeys -= maxKeys % 2;
  file->SetLayout(key.KeyLength(), maxKeys);
  file->descending = descending_;
  file->unique = unique_;
  file->key = std::move(key);
  file->filter = std::move(filter);
  file->cache = std::make_unique<NtxPageCache>(fd, file->fileName, cachePages_);
  file_ = std::move(file);
  try {
    BuildTree();
    file_->cache->Flush();
    WriteHeader();
  } catch (...) {
    CloseDescriptor(file_->fd);
    file_.reset();
    ownFile_.Remove();
    throw;
  }

  table_.activeIndex_ = this;
  const int64_t recno = table_.RecordNumber();
  const std::string_view record = table_.CurrentRecord();
  const bool visible = !record.empty() && !(table_.Deleted() && record[0] == '*');
  if (visible && CursorToRecord(recno, record)) {
    table_.atEnd_ = false;
  } else {
    table_.First();
  }
}

void NtxIndex::BuildTree() {
  OpenFile& f = *file_;
  f.nextPage = kPageSize;
  f.root = f.nextPage;
  f.height = 1;
  NewPage();

  const size_t keyLength = static_cast<size_t>(f.keyLength);
  const size_t capacity = static_cast<size_t>(kBatchBytes / (f.keyLength + 8));
  f.batchKeys.assign(capacity * keyLength, 0);
  f.batchRecnos.assign(capacity, 0);
  f.order.assign(capacity, 0);
  f.sortItems.assign(capacity, {});
  f.sortSpare.assign(capacity, {});
  f.splitEntries.assign(static_cast<size_t>(f.maxKeys + 1) * (4 + keyLength), 0);
  f.splitChildren.assign(static_cast<size_t>(f.maxKeys + 2), 0);

  size_t count = 0;
  const bool filtered = !f.filter.IsEmpty();
  bool allDeletedKept = true;
  f.deleted.clear();
  table_.ScanRecords([&](int64_t recno, std::string_view record) {
    if (recno > static_cast<int64_t>(UINT32_MAX))
      throw DbfError("NtxIndex.CreateIndex: Record " + std::to_string(recno) + " beyond the index's range");
    f.recordCount = recno;
    if (record[0] == '*' && allDeletedKept) {
      if (f.deleted.size() < deletedRecordsKept_) {
        f.deleted.push_back(static_cast<uint32_t>(recno));
      } else {
        allDeletedKept = false;
        f.deletedKnownThrough = recno - 1;
      }
    }
    if (filtered && !f.filter.IsTrue(record)) return;
    f.key.WriteKey(record, reinterpret_cast<char*>(f.batchKeys.data() + count * keyLength));
    f.batchRecnos[count] = static_cast<uint32_t>(recno);
    if (++count == capacity) {
      InsertBatch(count);
      count = 0;
    }
  });
  if (count > 0) InsertBatch(count);
  if (allDeletedKept) f.deletedKnownThrough = f.recordCount;
  f.knowsRecords = true;
}

void NtxIndex::InsertBatch(size_t count) {
  OpenFile& f = *file_;
  const size_t keyLength = static_cast<size_t>(f.keyLength);
  const uint8_t* keys = f.batchKeys.data();
  const auto first = f.order.begin();
  const auto last = first + static_cast<std::ptrdiff_t>(count);
  std::iota(first, last, 0u);
  // Equal keys keep file order; a batch already in order is not sorted.
  const auto before = [&](uint32_t a, uint32_t b) {
    const int result = CompareKeys(keys + a * keyLength, keys + b * keyLength);
    return result != 0 ? result < 0 : a < b;
  };
  if (!std::is_sorted(first, last, before)) {
    // Sorted on the keys' first eight bytes (their order as a number, the
    // other way round for a descending index) by a radix sort, which
    // keeps equal beginnings in file order; the whole keys then order each
    // run of equal beginnings.
    const uint64_t flip = f.descending ? UINT64_MAX : 0;
    std::vector<OpenFile::SortItem>& items = f.sortItems;
    std::vector<OpenFile::SortItem>& spare = f.sortSpare;
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* key = keys + i * keyLength;
      uint64_t word = 0;
      for (size_t b = 0; b < 8; ++b) word = (word << 8) | (b < keyLength ? key[b] : 0);
      items[i] = {word ^ flip, static_cast<uint32_t>(i)};
    }
    for (int shift = 0; shift < 64; shift += 8) {
      size_t counts[257] = {};
      for (size_t i = 0; i < count; ++i) ++counts[((items[i].prefix >> shift) & 0xFF) + 1];
      // A byte every key shares orders nothing.
      if (counts[((items[0].prefix >> shift) & 0xFF) + 1] == count) continue;
      for (size_t digit = 1; digit <= 256; ++digit) counts[digit] += counts[digit - 1];
      for (size_t i = 0; i < count; ++i) spare[counts[(items[i].prefix >> shift) & 0xFF]++] = items[i];
      std::swap(items, spare);
    }
    for (size_t start = 0; start < count;) {
      size_t end = start + 1;
      while (end < count && items[end].prefix == items[start].prefix) ++end;
      if (end - start > 1) {
        std::sort(items.begin() + static_cast<std::ptrdiff_t>(start), items.begin() + static_cast<std::ptrdiff_t>(end),
                  [&](const OpenFile::SortItem& a, const OpenFile::SortItem& b) { return before(a.at, b.at); });
      }
      start = end;
    }
    for (size_t i = 0; i < count; ++i) f.order[i] = items[i].at;
  }

  // The keys come in order, so each descent starts from the one before.
  // Descents run kLookAhead keys ahead of the insertions, each fetching
  // its leaf into the processor's cache, so that the leaf is at hand when
  // its key goes in. A split makes the waiting descents through the pages
  // it changed start again. A unique index descends afresh for every key:
  // a key may have to be refused because of the one just inserted.
  const size_t ahead = f.unique ? 0 : kLookAhead;
  const auto keyOf = [&](size_t i) { return keys + f.order[i] * keyLength; };
  const auto slot = [&](size_t i) -> size_t { return i % (kLookAhead + 1); };
  size_t described = 0;  // keys whose descent was made
  for (size_t i = 0; i < count; ++i) {
    for (; described < count && described <= i + ahead; ++described) {
      const size_t to = slot(described);
      const bool follow = described > i && f.pathValid[slot(described - 1)] != 0;
      Descend(keyOf(described), follow ? &f.paths[slot(described - 1)] : nullptr, f.paths[to]);
      f.pathValid[to] = 1;
      if (described == i) continue;
      if (const uint8_t* leaf = f.cache->Peek(f.paths[to].back().page)) {
        for (uint32_t line = 0; line < kPageSize; line += 64) __builtin_prefetch(leaf + line);
      }
    }
    std::vector<Step>& path = f.paths[slot(i)];
    if (f.pathValid[slot(i)] == 0) Descend(keyOf(i), nullptr, path);
    const int top = InsertAtLeaf(path, keyOf(i), f.batchRecnos[f.order[i]]);
    if (top + 1 == static_cast<int>(path.size())) continue;
    for (size_t j = i + 1; j < described; ++j) {
      const std::vector<Step>& waiting = f.paths[slot(j)];
      if (top < 0 || waiting[static_cast<size_t>(top)].page == path[static_cast<size_t>(top)].page)
        f.pathValid[slot(j)] = 0;
    }
  }
}

void NtxIndex::Descend(const uint8_t* key, const std::vector<Step>* last,
                       std::vector<Step>& path) {
  OpenFile& f = *file_;
  const int inner = f.height - 1;
  int level = 0;
  uint32_t page = f.root;
  int low = 0;
  if (last != nullptr) {
    // The last descent was for a key not above this one: at every level
    // this key's position is at or after the last one's. It stays in the
    // subtree of the last descent's page at a level as long as it sorts
    // below the nearest separator to the right of that subtree: the entry
    // at the position of the deepest page above that did not go to its
    // end. Climb to the deepest such level.
    f.bounding.resize(static_cast<size_t>(inner));
    int bound = -1;
    for (int i = 0; i < inner; ++i) {
      f.bounding[static_cast<size_t>(i)] = bound;
      if ((*last)[static_cast<size_t>(i)].pos < (*last)[static_cast<size_t>(i)].count) bound = i;
    }
    level = inner > 0 ? inner - 1 : 0;
    while (inner > 0) {
      const int above = f.bounding[static_cast<size_t>(level)];
      if (above < 0) break;
      const Step& step = (*last)[static_cast<size_t>(above)];
      if (CompareKeys(key, f.KeyAt(Page(step.page), step.pos)) < 0) break;
      level = above;
    }
    path.assign(last->begin(), last->begin() + level);
    page = (*last)[static_cast<size_t>(level)].page;
    low = inner > 0 ? (*last)[static_cast<size_t>(level)].pos : 0;
  } else {
    path.clear();
  }
  for (; level < inner; ++level) {
    const uint8_t* bytes = Page(page);
    const int n = f.Count(bytes);
    int high = n;
    while (low < high) {
      const int middle = (low + high) / 2;
      if (CompareKeys(f.KeyAt(bytes, middle), key) <= 0) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    path.push_back({page, low, n});
    const uint32_t child = f.ChildAt(bytes, low);
    if (child == 0 || path.size() > kMaxDepth) ThrowDamaged(page, f.fileName);
    page = child;
    low = 0;
  }
  path.push_back({page, 0, 0});
}

int NtxIndex::InsertAtLeaf(std::vector<Step>& path, const uint8_t* key, uint32_t recno) {
  OpenFile& f = *file_;
  const int leafLevel = static_cast<int>(path.size()) - 1;
  // A unique index refuses a key present in a page of the descent.
  if (f.unique) {
    for (int level = 0; level < leafLevel; ++level) {
      const Step& step = path[static_cast<size_t>(level)];
      if (step.pos > 0 && CompareKeys(f.KeyAt(Page(step.page), step.pos - 1), key) == 0) return leafLevel;
    }
  }
  Step& leafStep = path.back();
  uint8_t* const leaf = Page(leafStep.page, true);
  {
    const int n = f.Count(leaf);
    int low = 0;
    int high = n;
    while (low < high) {
      const int middle = (low + high) / 2;
      if (CompareKeys(f.KeyAt(leaf, middle), key) <= 0) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    if (f.unique && low > 0 && CompareKeys(f.KeyAt(leaf, low - 1), key) == 0) return leafLevel;
    leafStep.pos = low;
    leafStep.count = n;
  }
  // True while the descent keeps to the last position of every page: keys
  // arriving in order then split pages unevenly, leaving them full.
  const bool rightmost =
      std::all_of(path.begin(), path.end(), [](const Step& step) { return step.pos == step.count; });

  uint32_t left = 0;
  uint32_t right = 0;
  for (int level = leafLevel; level >= 0; --level) {
    const Step step = path[static_cast<size_t>(level)];
    uint8_t* bytes = level == leafLevel ? leaf : Page(step.page, true);
    if (f.Count(bytes) < f.maxKeys) {
      f.InsertInPage(bytes, step.pos, left, recno, key, right);
      return level;
    }
    const int split = rightmost && step.pos == f.maxKeys ? f.maxKeys - 1 : f.halfPage;
    const uint32_t upperOffset = f.nextPage;
    uint8_t* upper = NewPage();
    f.SplitPage(bytes, upper, step.pos, left, recno, key, right, split);
    key = f.carryKey.data();
    recno = f.carryRecno;
    left = step.page;
    right = upperOffset;
  }
  // The root split: a new root holds the entry that went up.
  const uint32_t rootOffset = f.nextPage;
  uint8_t* root = NewPage();
  f.WriteEntry(root, 0, left, recno, key);
  f.SetChild(root, 1, right);
  Put16(root, 1);
  f.root = rootOffset;
  ++f.height;
  return -1;
}

void NtxIndex::WriteHeader() {
  const OpenFile& f = *file_;
  uint8_t header[kPageSize] = {};
  const bool laterVersion = clipperVersion_ == ClipperVersion::v520 || clipperVersion_ == ClipperVersion::v530;
  Put16(header + kSignatureAt, laterVersion ? 7 : 6);
  Put16(header + kVersionAt, 1);
  Put32(header + kRootAt, f.root);
  Put32(header + kFreePageAt, 0);
  Put16(header + kEntrySizeAt, static_cast<uint32_t>(f.entrySize));
  Put16(header + kKeySizeAt, static_cast<uint32_t>(f.keyLength));
  Put16(header + kDecimalsAt, 0);
  Put16(header + kMaxKeysAt, static_cast<uint32_t>(f.maxKeys));
  Put16(header + kHalfPageAt, static_cast<uint32_t>(f.halfPage));
  std::memcpy(header + kKeyExpressionAt, keyExpression_.data(), keyExpression_.size());
  header[kUniqueAt] = f.unique ? 1 : 0;
  header[kDescendingAt] = f.descending ? 1 : 0;
  std::memcpy(header + kForExpressionAt, forExpression_.data(), forExpression_.size());
  size_t done = 0;
  while (done < kPageSize) {
    const ssize_t wrote = ::pwrite(f.fd, header + done, kPageSize - done, static_cast<off_t>(done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) ThrowPageWriteError(f.fileName, wrote);
    done += static_cast<size_t>(wrote);
  }
}

void NtxIndex::OpenExisting() {
  if (file_) return;
  const std::string shownName = PathText(fileName_);
  const std::string formatError = "NtxIndex.OpenIndex: File \"" + shownName + "\" is not NTX file";
  LockedFile opened = OpenLockedFile(fileName_, O_RDWR);
  if (opened.fd < 0) {
    DbfError error("NtxIndex.OpenIndex: Open error \"" + shownName + "\"");
    error.SetReason(std::move(opened.reason));
    throw error;
  }
  const int fd = opened.fd;
  try {
    uint8_t header[kPageSize];
    size_t got = 0;
    while (got < kPageSize) {
      const ssize_t read = ::pread(fd, header + got, kPageSize - got, static_cast<off_t>(got));
      if (read < 0 && errno == EINTR) continue;
      if (read <= 0) break;
      got += static_cast<size_t>(read);
    }
    struct stat info {};
    if (got < kPageSize || ::fstat(fd, &info) != 0) throw DbfError(formatError);
    const int signature = Get16(header + kSignatureAt);
    const int entrySize = Get16(header + kEntrySizeAt);
    const int keyLength = Get16(header + kKeySizeAt);
    const int maxKeys = Get16(header + kMaxKeysAt);
    const uint32_t root = Get32(header + kRootAt);
    const bool layoutFits = maxKeys >= 2 && 2 + (maxKeys + 1) * (2 + entrySize) <= static_cast<int>(kPageSize);
    if ((signature != 6 && signature != 7) || keyLength < 1 || keyLength > kMaxKeyLength ||
        entrySize != keyLength + 8 || !layoutFits || root < kPageSize || root % kPageSize != 0 ||
        static_cast<int64_t>(root) + kPageSize > static_cast<int64_t>(info.st_size))
      throw DbfError(formatError);

    std::string keyText = HeaderText(header + kKeyExpressionAt, kExpressionBytes);
    std::string forText = HeaderText(header + kForExpressionAt, kExpressionBytes);
    NtxExpression key = NtxExpression::ParseKey(keyText, table_);
    if (key.IsEmpty() || key.KeyLength() != keyLength) throw DbfError(formatError);
    NtxExpression filter = NtxExpression::ParseFilter(forText, table_);

    auto file = std::make_unique<OpenFile>();
    file->fd = fd;
    file->fileName = shownName;
    file->SetLayout(keyLength, maxKeys);
    file->root = root;
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    file->nextPage = static_cast<uint32_t>(
        std::min<uint64_t>((size + kPageSize - 1) / kPageSize * kPageSize, UINT32_MAX - kPageSize + 1));
    file->unique = header[kUniqueAt] != 0;
    file->descending = header[kDescendingAt] != 0;
    file->key = std::move(key);
    file->filter = std::move(filter);
    file->cache = std::make_unique<NtxPageCache>(fd, shownName, cachePages_);
    keyExpression_ = std::move(keyText);
    forExpression_ = std::move(forText);
    unique_ = file->unique;
    descending_ = file->descending;
    clipperVersion_ = signature == 7 ? ClipperVersion::v520 : ClipperVersion::v500;
    file_ = std::move(file);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

void NtxIndex::LowerBound(const uint8_t* text, size_t length) {
  OpenFile& f = *file_;
  f.cursor.clear();
  uint32_t page = f.root;
  while (true) {
    const uint8_t* bytes = Page(page);
    int low = 0;
    int high = f.Count(bytes);
    while (low < high) {
      const int middle = (low + high) / 2;
      if (ComparePrefix(f.KeyAt(bytes, middle), text, length) < 0) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    f.cursor.push_back({page, low});
    const uint32_t child = f.ChildAt(bytes, low);
    if (child == 0) return;
    if (f.cursor.size() > kMaxDepth) ThrowDamaged(child, f.fileName);
    page = child;
  }
}

bool NtxIndex::Settle(int64_t& recno) {
  OpenFile& f = *file_;
  while (!f.cursor.empty()) {
    const Step step = f.cursor.back();
    const uint8_t* bytes = Page(step.page);
    if (step.pos < f.Count(bytes)) {
      recno = f.RecnoAt(bytes, step.pos);
      return true;
    }
    f.cursor.pop_back();
  }
  return false;
}

bool NtxIndex::Advance(int64_t& recno) {
  OpenFile& f = *file_;
  if (f.cursor.empty()) return false;
  const Step step = f.cursor.back();
  f.cursor.back().pos = step.pos + 1;
  uint32_t child = f.ChildAt(Page(step.page), step.pos + 1);
  while (child != 0) {
    if (f.cursor.size() > kMaxDepth) ThrowDamaged(child, f.fileName);
    f.cursor.push_back({child, 0});
    child = f.ChildAt(Page(child), 0);
  }
  return Settle(recno);
}

const uint8_t* NtxIndex::CursorKey() {
  OpenFile& f = *file_;
  const Step step = f.cursor.back();
  return f.KeyAt(Page(step.page), step.pos);
}

bool NtxIndex::CursorFirst(int64_t& recno) {
  if (!file_) return false;
  LowerBound(nullptr, 0);
  return Settle(recno);
}

bool NtxIndex::CursorNext(int64_t& recno) {
  if (!file_) return false;
  return Advance(recno);
}

bool NtxIndex::SeekFirst(const std::vector<Variant>& values, int64_t& recno) {
  if (!file_) return false;
  OpenFile& f = *file_;
  std::string& search = f.search;
  search.clear();
  const size_t fields = static_cast<size_t>(f.key.FieldCount());
  const bool exact = fields > 0 && values.size() >= fields;
  size_t k = 0;
  std::string converted;
  for (const NtxSegment& segment : f.key.Segments()) {
    if (!segment.isField) {
      search += segment.text;
      continue;
    }
    const Variant* value = k < values.size() ? &values[k] : nullptr;
    ++k;
    const std::string* text = nullptr;
    if (value != nullptr && !value->IsNull()) {
      if (value->Type() == VariantType::String || value->Type() == VariantType::OleStr) {
        text = &value->TextPayload();
      } else {
        converted = ToText(*value, table_.Settings());
        text = &converted;
      }
    }
    if (!exact) {
      if (text != nullptr) search += *text;
      continue;
    }
    const size_t width = static_cast<size_t>(segment.width);
    const size_t start = search.size();
    if (text != nullptr) search.append(*text, 0, std::min(width, text->size()));
    search.resize(start + width, ' ');
  }
  const size_t keyLength = static_cast<size_t>(f.keyLength);
  if (exact && search.size() < keyLength) return false;
  f.searchLength = std::min(search.size(), keyLength);
  LowerBound(reinterpret_cast<const uint8_t*>(search.data()), f.searchLength);
  if (!Settle(recno)) return false;
  return ComparePrefix(CursorKey(), reinterpret_cast<const uint8_t*>(search.data()), f.searchLength) == 0;
}

bool NtxIndex::SeekNext(int64_t& recno) {
  if (!file_ || !Advance(recno)) return false;
  const OpenFile& f = *file_;
  return ComparePrefix(CursorKey(), reinterpret_cast<const uint8_t*>(f.search.data()), f.searchLength) == 0;
}

bool NtxIndex::CursorToRecord(int64_t recno, std::string_view record) {
  if (!file_) return false;
  OpenFile& f = *file_;
  if (!f.filter.IsTrue(record)) return false;
  f.key.WriteKey(record, reinterpret_cast<char*>(f.probe.data()));
  const size_t length = static_cast<size_t>(f.keyLength);
  LowerBound(f.probe.data(), length);
  int64_t found = 0;
  bool more = Settle(found);
  while (more && ComparePrefix(CursorKey(), f.probe.data(), length) == 0) {
    if (found == recno) return true;
    more = Advance(found);
  }
  return false;
}

int NtxIndex::KnownVisibility(int64_t recno, bool hideDeleted) const {
  if (!file_ || !file_->knowsRecords) return -1;
  const OpenFile& f = *file_;
  if (recno < 1) return 0;
  if (recno > f.recordCount) return -1;
  if (!hideDeleted) return 1;
  if (recno > f.deletedKnownThrough) return -1;
  return std::binary_search(f.deleted.begin(), f.deleted.end(), static_cast<uint32_t>(recno)) ? 0 : 1;
}

void NtxIndex::SaveCursor() {
  if (file_) file_->savedCursor = file_->cursor;
}

void NtxIndex::RestoreCursor() {
  if (file_) file_->cursor = file_->savedCursor;
}

}  // namespace tarvelo
