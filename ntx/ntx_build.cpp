#include "ntx/ntx_build.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "dbf/dbf_table.h"
#include "ntx/ntx_expression.h"
#include "ntx/ntx_format.h"
#include "ntx/ntx_page_cache.h"
#include "os/memory_pages.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using namespace ntx;  // the file's layout

// Bytes the runs on file are read back through, shared among them.
constexpr size_t kMergeBytes = size_t{2} << 20;
// Bytes written to a file at once.
constexpr size_t kWriteBytes = size_t{256} << 10;
// Bytes of records a scan reads at once.
constexpr size_t kScanBytes = size_t{256} << 10;
// Fewest records that a scan gives a thread of its own, and the most
// threads it uses (each reads through buffers of its own).
constexpr int64_t kRecordsPerThread = 16384;
constexpr int kMostScanThreads = 8;

[[noreturn]] void ThrowSortError(const char* what, const std::string& shownName, int error) {
  DbfError failure(std::string("NtxIndex.SortKeys: ") + what + " error \"" + shownName + "\"");
  failure.SetReason(os::SystemReason(error));
  throw failure;
}

}  // namespace

namespace {

// A stretch of the table that one thread reads: the keys of records first
// to last (to the end of the file when last is 0) go to a sorter of its
// own, and its deleted records, up to a limit, to deleted.
struct ScanPart {
  int64_t first = 1;
  int64_t last = 0;
  std::unique_ptr<NtxKeySorter> sorter;
  std::vector<uint32_t> deleted;
  int64_t deletedNotKept = 0;  // the first deleted record past the limit; 0 for none
  int64_t lastRecno = 0;       // the last record read
  std::exception_ptr error;
};

// Reads the records of part and sorts their keys; an error is kept in the
// part.
void ScanPartKeys(const DbfTable& table, const NtxExpression& key, const NtxExpression& sharedFilter,
                  const NtxScanOptions& options, ScanPart& part) {
  try {
    // A filter keeps the texts it compares in itself: each thread has its own.
    const NtxExpression filter = sharedFilter;
    const bool filtered = !filter.IsEmpty();
    const size_t length = static_cast<size_t>(table.RecordLength());
    const size_t blockRecords = std::max<size_t>(1, kScanBytes / length);
    std::vector<char> block(blockRecords * length);
    for (int64_t recno = part.first; part.last == 0 || recno <= part.last;) {
      if (options.stopRequested && options.stopRequested()) throw RunStoppedError();
      const size_t wanted =
          part.last == 0 ? blockRecords : static_cast<size_t>(std::min<int64_t>(blockRecords, part.last - recno + 1));
      const size_t got = table.ReadRecords(recno, wanted, block.data());
      for (size_t i = 0; i < got; ++i, ++recno) {
        const std::string_view record(block.data() + i * length, length);
        if (recno > static_cast<int64_t>(UINT32_MAX))
          throw DbfError("NtxIndex.CreateIndex: Record " + std::to_string(recno) + " beyond the index's range");
        part.lastRecno = recno;
        if (record[0] == '*' && part.deletedNotKept == 0) {
          if (part.deleted.size() < options.deletedRecordsKept) {
            part.deleted.push_back(static_cast<uint32_t>(recno));
          } else {
            part.deletedNotKept = recno;
          }
        }
        if (filtered && !filter.IsTrue(record)) continue;
        key.WriteKey(record, reinterpret_cast<char*>(part.sorter->NextKey()));
        part.sorter->Add(static_cast<uint32_t>(recno));
      }
      if (got < wanted) break;
    }
    part.sorter->Sort();
  } catch (...) {
    part.error = std::current_exception();
  }
}

// Joins what the parts learnt, in record order: the deleted records kept
// are the first ones of the whole table.
void JoinParts(std::vector<ScanPart>& parts, size_t deletedRecordsKept, NtxTableScan& scan) {
  for (const ScanPart& part : parts) scan.recordCount = std::max(scan.recordCount, part.lastRecno);
  scan.deletedKnownThrough = scan.recordCount;
  bool allDeletedKept = true;
  for (const ScanPart& part : parts) {
    for (const uint32_t recno : part.deleted) {
      if (scan.deleted.size() == deletedRecordsKept) {
        allDeletedKept = false;
        scan.deletedKnownThrough = recno - 1;
        break;
      }
      scan.deleted.push_back(recno);
    }
    if (allDeletedKept && part.deletedNotKept != 0) {
      allDeletedKept = false;
      scan.deletedKnownThrough = part.deletedNotKept - 1;
    }
    if (!allDeletedKept) break;
  }
  scan.sorter = std::move(parts[0].sorter);
  for (size_t t = 1; t < parts.size(); ++t) scan.sorter->Append(std::move(parts[t].sorter));
}

}  // namespace

NtxTableScan ScanTableKeys(const DbfTable& table, const NtxExpression& key, const NtxExpression& filter,
                           const NtxScanOptions& options) {
  // Each stretch is sorted apart in its share of the budget; the sorted
  // pairs then come out in the order one thread would give, equal keys in
  // record order.
  const int64_t records = table.PhysicalRecordCount();
  const int count = static_cast<int>(
      std::clamp<int64_t>(records / kRecordsPerThread, 1, std::clamp(options.threads, 1, kMostScanThreads)));
  const int64_t perPart = (records + count - 1) / count;
  std::vector<ScanPart> parts(static_cast<size_t>(count));
  for (int t = 0; t < count; ++t) {
    ScanPart& part = parts[static_cast<size_t>(t)];
    part.first = 1 + t * perPart;
    part.last = t + 1 == count ? 0 : (t + 1) * perPart;
    // No more memory than the stretch's keys need.
    const int64_t partRecords = std::max<int64_t>(std::min(perPart, records - t * perPart), 0);
    const size_t budget = std::min(options.sortBytes / static_cast<size_t>(count),
                                   NtxKeySorter::BytesFor(options.keyLength, static_cast<uint64_t>(partRecords)));
    part.sorter = std::make_unique<NtxKeySorter>(options.keyLength, options.descending, budget, options.folder,
                                                 options.shownName);
  }
  const auto scan = [&](ScanPart& part) { ScanPartKeys(table, key, filter, options, part); };
  {
    // A stretch whose thread the system refuses (its stack is memory too)
    // is read by the calling thread after its own.
    std::vector<std::thread> helpers;
    size_t started = 1;
    try {
      for (; started < parts.size(); ++started) helpers.emplace_back(scan, std::ref(parts[started]));
    } catch (const std::system_error&) {
    } catch (...) {
      for (std::thread& helper : helpers) helper.join();
      throw;
    }
    scan(parts[0]);
    for (size_t t = started; t < parts.size(); ++t) scan(parts[t]);
    for (std::thread& helper : helpers) helper.join();
  }
  // The first error in record order is the one a single reader meets.
  for (const ScanPart& part : parts)
    if (part.error) std::rethrow_exception(part.error);
  NtxTableScan result;
  JoinParts(parts, options.deletedRecordsKept, result);
  return result;
}

// A sorted run in the run file.
struct NtxKeySorter::Run {
  uint64_t offset;
  uint64_t count;
};

// Where a pass stands in one run, the one in memory or one on file, read
// through its share of readSpace_.
struct NtxKeySorter::Cursor {
  NtxKeySorter* owner;  // the sorter whose run it is
  size_t run;           // order of the run: by sorter, runs on file first, the buffer last
  bool inMemory = false;
  uint64_t left = 0;         // pairs of the run not yet read into space
  uint64_t nextOffset = 0;   // where the next pair to read is: its file offset, or its place in the sorted items
  uint8_t* space = nullptr;  // its share of readSpace_
  size_t spacePairs = 0;
  size_t inSpace = 0;  // pairs read into space
  size_t at = 0;       // the current pair's place in space
  const uint8_t* current = nullptr;
};

size_t NtxKeySorter::BytesFor(int keyLength, uint64_t count) {
  const uint64_t pairBytes = static_cast<uint64_t>(keyLength) + 4 + 2 * sizeof(Item);
  return static_cast<size_t>(std::min<uint64_t>(count, SIZE_MAX / pairBytes) * pairBytes);
}

NtxKeySorter::NtxKeySorter(int keyLength, bool descending, size_t budgetBytes, std::string folder,
                           std::string shownName)
    : keyLength_(keyLength),
      entrySize_(static_cast<size_t>(keyLength) + 4),
      descending_(descending),
      folder_(std::move(folder)),
      shownName_(std::move(shownName)) {
  const size_t budget = std::max(budgetBytes, kMinBudget);
  capacity_ = std::max<size_t>(2, budget / (entrySize_ + 2 * sizeof(Item)));
  const size_t itemBytes = capacity_ * sizeof(Item);
  const size_t entryBytes = (capacity_ * entrySize_ + alignof(Item) - 1) / alignof(Item) * alignof(Item);
  // Pages of the mapping are touched only as pairs come.
  memory_ = std::make_unique<os::MemoryPages>(entryBytes + 2 * itemBytes);
  entries_ = memory_->Data();
  items_ = reinterpret_cast<Item*>(entries_ + entryBytes);
  spare_ = items_ + capacity_;
}

NtxKeySorter::~NtxKeySorter() = default;

size_t NtxKeySorter::RunsOnFile() const {
  size_t runs = runs_.size();
  for (const auto& later : later_) runs += later->RunsOnFile();
  return runs;
}

uint64_t NtxKeySorter::Count() const {
  uint64_t count = count_;
  for (const auto& later : later_) count += later->Count();
  return count;
}

void NtxKeySorter::Append(std::unique_ptr<NtxKeySorter> later) {
  for (auto& further : later->later_) later_.push_back(std::move(further));
  later->later_.clear();
  later_.push_back(std::move(later));
}

uint8_t* NtxKeySorter::NextKey() {
  if (buffered_ == capacity_) SpillBuffer();
  return entries_ + buffered_ * entrySize_;
}

void NtxKeySorter::Add(uint32_t recno) {
  Put32(entries_ + buffered_ * entrySize_ + static_cast<size_t>(keyLength_), recno);
  ++buffered_;
  ++count_;
  sorted_ = false;
}

namespace {

// The bytes of the keys of a buffer that its sort orders them by.
struct SortedBytes {
  static constexpr size_t kTaken = 12;
  // The first kTaken bytes that differ among the keys, in key order (eight
  // in a number for the radix sort, four more in a second one for the
  // ties); used of them.
  size_t positions[kTaken];
  size_t used = 0;
  // Where the bytes that order what those leave equal begin.
  size_t rest = 0;
};

// The bytes to sort keys of length bytes by, from differ, the bits in
// which keys differ from the first one, eight bytes of key a word (the
// first byte the lowest).
SortedBytes BytesThatDiffer(const std::vector<uint64_t>& differ, size_t length) {
  const auto differs = [&](size_t b) { return ((differ[b / 8] >> (8 * (b % 8))) & 0xFF) != 0; };
  SortedBytes taken;
  taken.rest = length;
  for (size_t b = 0; b < length; ++b) {
    if (!differs(b)) continue;
    if (taken.used == SortedBytes::kTaken) {
      taken.rest = b;
      break;
    }
    taken.positions[taken.used++] = b;
  }
  return taken;
}

}  // namespace

void NtxKeySorter::SortBuffer() {
  const size_t n = buffered_;
  const size_t length = static_cast<size_t>(keyLength_);
  if (n == 0) return;
  // A byte that every key of the buffer has alike orders nothing: what is
  // sorted on is made of the first twelve bytes that differ somewhere; the
  // bytes from rest on order what they leave equal.
  std::vector<uint64_t> differ((length + 7) / 8, 0);
  const size_t whole = length / 8;  // words of eight bytes; the rest byte by byte
  for (size_t i = 1; i < n; ++i) {
    const uint8_t* key = entries_ + i * entrySize_;
    for (size_t w = 0; w < whole; ++w) {
      uint64_t a, b;
      std::memcpy(&a, entries_ + 8 * w, 8);
      std::memcpy(&b, key + 8 * w, 8);
      differ[w] |= a ^ b;
    }
    for (size_t b = 8 * whole; b < length; ++b)
      differ[whole] |= static_cast<uint64_t>(entries_[b] ^ key[b]) << (8 * (b % 8));
  }
  const SortedBytes taken = BytesThatDiffer(differ, length);
  constexpr size_t kTaken = SortedBytes::kTaken;
  const size_t* const positions = taken.positions;
  const size_t used = taken.used;
  const size_t rest = taken.rest;
  const uint64_t flip = descending_ ? UINT64_MAX : 0;
  size_t counts[8][256] = {};
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* key = entries_ + i * entrySize_;
    uint64_t word = 0;
    for (size_t p = 0; p < 8; ++p) word = (word << 8) | (p < used ? key[positions[p]] : 0);
    uint32_t tail = 0;
    for (size_t p = 8; p < kTaken; ++p) tail = (tail << 8) | (p < used ? key[positions[p]] : 0);
    word ^= flip;
    items_[i] = {word, static_cast<uint32_t>(i), tail ^ static_cast<uint32_t>(flip)};
    for (int d = 0; d < 8; ++d) ++counts[d][(word >> (8 * d)) & 0xFF];
  }
  // A radix sort, least significant byte first, keeps equal numbers in the
  // order added.
  for (int d = 0; d < 8; ++d) {
    const int shift = 8 * d;
    // A byte no key has (below the bytes taken) or every key has alike.
    if (static_cast<size_t>(d) < 8 - std::min<size_t>(used, 8) || counts[d][(items_[0].prefix >> shift) & 0xFF] == n)
      continue;
    size_t start[256];
    size_t sum = 0;
    for (int v = 0; v < 256; ++v) {
      start[v] = sum;
      sum += counts[d][v];
    }
    for (size_t i = 0; i < n; ++i) spare_[start[(items_[i].prefix >> shift) & 0xFF]++] = items_[i];
    std::swap(items_, spare_);
  }
  if (used <= 8) return;  // the first number held every byte that differs
  // Equal first numbers: the second decides, then the rest of the keys,
  // then the order added.
  const auto before = [&](const Item& a, const Item& b) {
    if (a.tail != b.tail) return a.tail < b.tail;
    if (rest < length) {
      int order = std::memcmp(entries_ + a.at * entrySize_ + rest, entries_ + b.at * entrySize_ + rest, length - rest);
      if (descending_) order = -order;
      if (order != 0) return order < 0;
    }
    return a.at < b.at;
  };
  for (size_t start = 0; start < n;) {
    size_t end = start + 1;
    while (end < n && items_[end].prefix == items_[start].prefix) ++end;
    if (end - start > 1) std::sort(items_ + start, items_ + end, before);
    start = end;
  }
}

void NtxKeySorter::WriteRunBytes(const uint8_t* bytes, size_t length) {
  const int error = os::WriteAt(file_.Handle(), static_cast<int64_t>(fileBytes_), bytes, length);
  if (error != 0) ThrowSortError("Write", shownName_, error);
  fileBytes_ += length;
}

void NtxKeySorter::SpillBuffer() {
  if (!file_.IsOpen()) {
    os::OpenedFile opened = os::CreateNamelessFile(folder_);
    if (!opened.file.IsOpen()) ThrowSortError("Create", shownName_, opened.error);
    file_ = std::move(opened.file);
  }
  SortBuffer();
  const uint64_t offset = fileBytes_;
  readSpace_.resize(kWriteBytes / entrySize_ * entrySize_);
  size_t filled = 0;
  for (size_t i = 0; i < buffered_; ++i) {
    if (i + 16 < buffered_) __builtin_prefetch(entries_ + items_[i + 16].at * entrySize_);
    std::memcpy(readSpace_.data() + filled, entries_ + items_[i].at * entrySize_, entrySize_);
    filled += entrySize_;
    if (filled == readSpace_.size()) {
      WriteRunBytes(readSpace_.data(), filled);
      filled = 0;
    }
  }
  if (filled > 0) WriteRunBytes(readSpace_.data(), filled);
  runs_.push_back({offset, buffered_});
  buffered_ = 0;
}

void NtxKeySorter::Sort() {
  if (sorted_) return;
  SortBuffer();
  sorted_ = true;
}

void NtxKeySorter::Rewind() {
  std::vector<NtxKeySorter*> sorters{this};
  for (const auto& later : later_) sorters.push_back(later.get());
  size_t runs = 0;
  for (NtxKeySorter* sorter : sorters) {
    sorter->Sort();
    runs += sorter->runs_.size() + 1;
  }
  cursors_.clear();
  losers_.clear();
  last_ = SIZE_MAX;
  // Every run is read through a share of readSpace_, those in memory too:
  // gathering their pairs in sorted order there, many at a time, spares
  // the merge a wait for memory at every pair.
  const size_t share = std::max<size_t>(1, kMergeBytes / runs / entrySize_);
  readSpace_.assign(share * entrySize_ * runs, 0);
  for (NtxKeySorter* sorter : sorters) {
    for (size_t r = 0; r <= sorter->runs_.size(); ++r) {
      Cursor cursor;
      cursor.owner = sorter;
      cursor.run = cursors_.size();
      cursor.inMemory = r == sorter->runs_.size();
      cursor.left = cursor.inMemory ? sorter->buffered_ : sorter->runs_[r].count;
      cursor.nextOffset = cursor.inMemory ? 0 : sorter->runs_[r].offset;
      cursor.space = readSpace_.data() + cursor.run * share * entrySize_;
      cursor.spacePairs = share;
      cursors_.push_back(cursor);
    }
  }
  for (Cursor& cursor : cursors_)
    if (!Advance(cursor)) cursor.current = nullptr;
  // A tree of matches: leaf c + k is cursor c, node n above leaves 2n and
  // 2n + 1 keeps the loser of their match, node 0 the winner of all.
  const size_t k = cursors_.size();
  losers_.assign(std::max<size_t>(k, 1), 0);
  const std::function<size_t(size_t)> play = [&](size_t node) -> size_t {
    if (node >= k) return node - k;
    const size_t left = play(2 * node), right = play(2 * node + 1);
    const bool leftWins = Wins(left, right);
    losers_[node] = leftWins ? right : left;
    return leftWins ? left : right;
  };
  losers_[0] = k > 1 ? play(1) : 0;
}

bool NtxKeySorter::Wins(size_t a, size_t b) const {
  const Cursor& x = cursors_[a];
  const Cursor& y = cursors_[b];
  // A run at its end loses to any other; two of them, by their order.
  if (x.current == nullptr || y.current == nullptr) return y.current == nullptr && (x.current != nullptr || a < b);
  return Before(x, y);
}

bool NtxKeySorter::Advance(Cursor& cursor) {
  const NtxKeySorter& from = *cursor.owner;
  const size_t entrySize = from.entrySize_;
  if (cursor.at + 1 < cursor.inSpace) {
    cursor.current = cursor.space + ++cursor.at * entrySize;
    return true;
  }
  if (cursor.left == 0) return false;
  const size_t pairs = static_cast<size_t>(std::min<uint64_t>(cursor.left, cursor.spacePairs));
  const size_t bytes = pairs * entrySize;
  if (cursor.inMemory) {
    constexpr size_t kAhead = 16;
    for (size_t i = 0; i < pairs; ++i) {
      if (i + kAhead < pairs)
        __builtin_prefetch(from.entries_ + from.items_[cursor.nextOffset + i + kAhead].at * entrySize);
      std::memcpy(cursor.space + i * entrySize, from.entries_ + from.items_[cursor.nextOffset + i].at * entrySize,
                  entrySize);
    }
    cursor.nextOffset += pairs;
  } else {
    const os::ReadResult got =
        os::ReadAt(from.file_.Handle(), static_cast<int64_t>(cursor.nextOffset), cursor.space, bytes);
    if (got.bytes < bytes) ThrowSortError("Read", from.shownName_, got.error != 0 ? got.error : EIO);
    cursor.nextOffset += bytes;
  }
  cursor.left -= pairs;
  cursor.inSpace = pairs;
  cursor.at = 0;
  cursor.current = cursor.space;
  return true;
}

bool NtxKeySorter::Before(const Cursor& a, const Cursor& b) const {
  int order = CompareKeyBytes(a.current, b.current, static_cast<size_t>(keyLength_));
  if (descending_) order = -order;
  return order != 0 ? order < 0 : a.run < b.run;
}

bool NtxKeySorter::Next(const uint8_t*& key, uint32_t& recno) {
  if (cursors_.empty()) return false;
  // The pair given last stays valid until now: only then does its run move
  // on, and the new pair plays the matches on the way up from its leaf.
  if (last_ != SIZE_MAX) {
    Cursor& moved = cursors_[last_];
    if (!Advance(moved)) moved.current = nullptr;
    size_t winner = last_;
    for (size_t node = (last_ + cursors_.size()) / 2; node >= 1; node /= 2)
      if (Wins(losers_[node], winner)) std::swap(losers_[node], winner);
    losers_[0] = winner;
    last_ = SIZE_MAX;
  }
  const Cursor& first = cursors_[losers_[0]];
  if (first.current == nullptr) return false;
  last_ = losers_[0];
  key = first.current;
  recno = Get32(key + keyLength_);
  return true;
}

NtxPageWriter::NtxPageWriter(os::FileHandle file, std::string shownName, int keyLength, int maxKeys, uint64_t keyCount,
                             uint32_t firstPage)
    : file_(file),
      shownName_(std::move(shownName)),
      keyLength_(keyLength),
      entrySize_(keyLength + kKeyAt),
      maxKeys_(maxKeys),
      slotBase_(EntriesAt(maxKeys)),
      nextPage_(firstPage),
      outStart_(firstPage) {
  // Leaves: as few as hold every key, one key going up between two of
  // them; each level above has one child per page below, one key fewer
  // than children, until a level of one page, the root.
  const uint64_t fanOut = static_cast<uint64_t>(maxKeys) + 1;
  uint64_t pages = keyCount <= static_cast<uint64_t>(maxKeys) ? 1 : (keyCount + 1 + fanOut - 1) / fanOut;
  uint64_t keys = keyCount - (pages - 1);
  while (true) {
    Level level;
    level.page.assign(kPageSize, 0);
    level.pages = pages;
    level.base = keys / pages;
    level.extra = keys % pages;
    levels_.push_back(std::move(level));
    StartPage(levels_.back());
    if (pages == 1) break;
    const uint64_t above = (pages + fanOut - 1) / fanOut;
    keys = pages - above;
    pages = above;
  }
  out_.reserve(kWriteBytes);
}

void NtxPageWriter::StartPage(Level& level) {
  std::fill(level.page.begin(), level.page.end(), 0);
  for (int i = 0; i <= maxKeys_; ++i)
    Put16(level.page.data() + kSlotsAt + 2 * i, static_cast<uint32_t>(slotBase_ + i * entrySize_));
  level.keys = 0;
  level.target = static_cast<int>(level.base + (level.number < level.extra ? 1 : 0));
}

void NtxPageWriter::Add(const uint8_t* key, uint32_t recno) { AddAt(0, key, recno, 0); }

void NtxPageWriter::AddAt(size_t at, const uint8_t* key, uint32_t recno, uint32_t left) {
  Level& level = levels_[at];
  uint8_t* page = level.page.data();
  if (level.keys < level.target) {
    uint8_t* slot = page + slotBase_ + level.keys * entrySize_;
    Put32(slot + kChildAt, left);
    Put32(slot + kRecnoAt, recno);
    std::memcpy(slot + kKeyAt, key, static_cast<size_t>(keyLength_));
    Put16(page + kCountAt, static_cast<uint32_t>(++level.keys));
    return;
  }
  // The page is complete: the page below that just ended is its last
  // child, and this key goes up with the page as its left child.
  if (at + 1 == levels_.size()) throw std::logic_error("NtxPageWriter: more keys than planned");
  Put32(page + slotBase_ + level.keys * entrySize_, left);
  const uint32_t offset = Emit(level.page);
  if (at > 0) innerPages_.push_back(offset);
  ++level.number;
  StartPage(level);
  AddAt(at + 1, key, recno, offset);
}

uint32_t NtxPageWriter::Emit(const std::vector<uint8_t>& page) {
  if (nextPage_ > UINT32_MAX - kPageSize) throw DbfError("NtxIndex.AddPage: Index file \"" + shownName_ + "\" is full");
  const uint32_t offset = nextPage_;
  out_.insert(out_.end(), page.begin(), page.end());
  nextPage_ += kPageSize;
  if (out_.size() >= kWriteBytes) FlushOut();
  return offset;
}

void NtxPageWriter::FlushOut() {
  const int error = os::WriteAt(file_, outStart_, out_.data(), out_.size());
  if (error != 0) ThrowPageWriteError(shownName_, error);
  out_.clear();
  outStart_ = nextPage_;
}

uint32_t NtxPageWriter::Finish() {
  uint32_t child = 0;
  for (size_t at = 0; at < levels_.size(); ++at) {
    Level& level = levels_[at];
    if (level.number + 1 != level.pages || level.keys != level.target)
      throw std::logic_error("NtxPageWriter: fewer keys than planned");
    Put32(level.page.data() + slotBase_ + level.keys * entrySize_, child);
    child = Emit(level.page);
    if (at > 0) innerPages_.push_back(child);
  }
  FlushOut();
  return child;
}

}  // namespace tarvelo
