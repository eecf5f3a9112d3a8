#include "dbf/ntx_index.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "dbf/ntx_build.h"
#include "dbf/ntx_expression.h"
#include "dbf/ntx_format.h"
#include "dbf/ntx_page_cache.h"
#include "os/file_system.h"
#include "os/path.h"
#include "os/process.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {
namespace {

using namespace ntx;  // the file's layout

// The header keeps each expression NUL-terminated.
constexpr size_t kMaxExpressionLength = kExpressionBytes - 1;
constexpr size_t kMaxDepth = 64;
// Most records whose deletion flags a build keeps as bits (8 MiB of them;
// 1.2 MiB for 10,000,000 records).
constexpr int64_t kBitmapRecords = int64_t{1} << 26;

// Whether the header page of a file of fileSize bytes has the layout of an
// index: signature, key and entry sizes, keys per page and root page.
bool HeaderFits(const uint8_t* header, int64_t fileSize) {
  const int signature = Get16(header + kSignatureAt);
  const int entrySize = Get16(header + kEntrySizeAt);
  const int keyLength = Get16(header + kKeySizeAt);
  const int maxKeys = Get16(header + kMaxKeysAt);
  const uint32_t root = Get32(header + kRootAt);
  const bool layoutFits = maxKeys >= 2 && 2 + (maxKeys + 1) * (2 + entrySize) <= static_cast<int>(kPageSize);
  return (signature == 6 || signature == 7) && keyLength >= 1 && keyLength <= kMaxKeyLength &&
         entrySize == keyLength + 8 && layoutFits && root >= kPageSize && root % kPageSize == 0 &&
         static_cast<int64_t>(root) + kPageSize <= fileSize;
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

}  // namespace

// The open index file: its layout, the page cache and the working buffers
// of builds and searches.
struct NtxIndex::OpenFile {
  os::FileHandle handle = os::kNoFile;
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
    entrySize = keyBytes + kKeyAt;
    maxKeys = maxKeysPerPage;
    halfPage = maxKeys / 2;
    slotBase = EntriesAt(maxKeys);
    probe.assign(static_cast<size_t>(keyLength), 0);
  }

  int Count(const uint8_t* page) const { return Get16(page + kCountAt); }
  uint16_t SlotOf(const uint8_t* page, int i) const { return Get16(page + kSlotsAt + 2 * i); }
  uint32_t ChildAt(const uint8_t* page, int i) const { return Get32(page + SlotOf(page, i) + kChildAt); }
  uint32_t RecnoAt(const uint8_t* page, int i) const { return Get32(page + SlotOf(page, i) + kRecnoAt); }
  const uint8_t* KeyAt(const uint8_t* page, int i) const { return page + SlotOf(page, i) + kKeyAt; }
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
  std::string name = os::FileNameOf(fileName_);
  const size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  name_ = std::move(name);
}

void NtxIndex::SetCreateNow(bool create) {
  if (create) CreateIndex();
}

bool NtxIndex::IsFileOpen() const { return file_ != nullptr; }

bool NtxIndex::IsActive() const { return table_.ActiveIndex() == this; }

int NtxIndex::KeyLength() const { return file_ ? file_->keyLength : 0; }

void NtxIndex::CloseFile() {
  if (!file_) return;
  std::unique_ptr<OpenFile> file = std::move(file_);
  try {
    file->cache->Flush();
  } catch (...) {
    os::CloseFile(file->handle);
    throw;
  }
  os::CloseFile(file->handle);
}

uint8_t* NtxIndex::Page(uint32_t offset, bool forWrite) {
  OpenFile& f = *file_;
  if (offset < kPageSize || offset % kPageSize != 0) ThrowDamaged(offset, f.fileName);
  const size_t number = offset / kPageSize - 1;
  if (!forWrite && number < f.resident.size()) {
    // The binary search reaches lines all over the page: asking for them
    // all at once waits for memory once rather than at every step.
    uint8_t* page = f.resident[number];
    for (uint32_t line = 0; line < kPageSize; line += 64) __builtin_prefetch(page + line);
    return page;
  }
  // A page read from the file must stay inside its 1024 bytes.
  const auto sound = [&](const uint8_t* page) {
    bool fits = f.Count(page) <= f.maxKeys;
    for (int i = 0; fits && i <= f.Count(page); ++i) {
      const int slot = f.SlotOf(page, i);
      fits = slot >= 2 && slot + f.entrySize <= static_cast<int>(kPageSize);
    }
    return fits;
  };
  if (!forWrite && readAheadPages_ > 1) {
    for (size_t i = 0; i < OpenFile::kRecentPages; ++i)
      if (f.recentOffsets[i] == offset) return f.recentPages[i];
    uint8_t* page = f.cache->Find(offset);
    if (page == nullptr) {
      std::fill(std::begin(f.recentOffsets), std::end(f.recentOffsets), 0);
      NtxPageCache::LoadedPage loaded[NtxPageCache::kMaxRun];
      const size_t count = f.cache->ReadAhead(offset, readAheadPages_, f.nextPage, loaded);
      for (size_t i = 0; i < count; ++i) {
        if (sound(loaded[i].data)) continue;
        f.cache->Clear();
        ThrowDamaged(loaded[i].offset, f.fileName);
      }
      page = f.cache->Find(offset);
    }
    f.recentOffsets[f.recentNext] = offset;
    f.recentPages[f.recentNext] = page;
    f.recentNext = (f.recentNext + 1) % OpenFile::kRecentPages;
    return page;
  }
  bool loaded = false;
  uint8_t* page = f.cache->Fetch(offset, forWrite, loaded);
  if (loaded && !sound(page)) {
    f.cache->Clear();
    ThrowDamaged(offset, f.fileName);
  }
  return page;
}

int NtxIndex::CompareKeys(const uint8_t* a, const uint8_t* b) const {
  const int result = CompareKeyBytes(a, b, static_cast<size_t>(file_->keyLength));
  return file_->descending ? -result : result;
}

int NtxIndex::ComparePrefix(const uint8_t* key, const uint8_t* text, size_t length) const {
  if (file_->keysInPrefixOrder && !file_->descending) {
    // No NUL byte ends a key: the bytes decide.
    const int order = std::memcmp(key, text, length);
    return (order > 0) - (order < 0);
  }
  int result = 0;
  // Whole words first, as long as they are equal and hold no NUL byte.
  size_t start = 0;
  while (start + 8 <= length) {
    const uint64_t word = KeyWord(key + start);
    if (word != KeyWord(text + start) || HasZeroByte(word)) break;
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

os::FileHandle NtxIndex::CreateFile() const {
  // Always a new file: a held one stays whole, a link is never followed.
  os::LockedFile file = os::CreateLockedFile(fileName_);
  if (file.file == os::kNoFile) {
    DbfError error("NtxIndex.CreateIndex: Create error \"" + PathText(name_) + "\"");
    error.SetReason(std::move(file.reason));
    error.SetWhere(FileLocation(PathText(fileName_)));
    throw error;
  }
  return file.file;
}

size_t NtxIndex::CachePagesFor(uint64_t pages) const {
  // A cache of at least as many frames as the file has pages holds it whole.
  const uint64_t whole = (pages + NtxPageCache::kWays - 1) / NtxPageCache::kWays * NtxPageCache::kWays;
  return static_cast<size_t>(std::min<uint64_t>(cachePages_, whole));
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
  table_.DeactivateIndex(*this);
  CloseFile();
  ownFile_.Remove();
  os::FileHandle handle = os::kNoFile;
  {
    // A signal must not fall between the file's making and its recording.
    const os::SignalsHeldOff heldOff;
    handle = CreateFile();
    if (temporary_) ownFile_ = os::TemporaryFile(fileName_, handle);
  }
  table_.DBFIndexDefs().Record(fileName_);

  auto file = std::make_unique<OpenFile>();
  file->handle = handle;
  file->fileName = PathText(fileName_);
  const int entrySize = key.KeyLength() + 8;
  int maxKeys = (1020 - entrySize) / (entrySize + 2);
  maxKeys -= maxKeys % 2;
  file->SetLayout(key.KeyLength(), maxKeys);
  file->descending = descending_;
  file->unique = unique_;
  file->key = std::move(key);
  file->filter = std::move(filter);
  // The build writes its pages itself; the searches' cache comes after it,
  // sized to the tree.
  file->cache = std::make_unique<NtxPageCache>(handle, file->fileName, 0);
  file_ = std::move(file);
  try {
    BuildTree();
    file_->cache->Flush();
    WriteHeader();
  } catch (...) {
    os::CloseFile(file_->handle);
    file_.reset();
    ownFile_.Remove();
    throw;
  }

  table_.ActivateIndex(*this);
}

void NtxIndex::BuildTree() {
  std::vector<uint32_t> innerPages;
  SortAndWrite(innerPages);
  // The searches that follow a build read its pages: the whole tree when
  // the cache holds it, else the pages above the leaves, read now in few
  // reads rather than one by one later (unless pages are read ahead,
  // which brings them in file order). The sort's memory is gone by now.
  OpenFile& f = *file_;
  const size_t pages = (f.nextPage - kPageSize) / kPageSize;
  f.cache = std::make_unique<NtxPageCache>(f.handle, f.fileName, CachePagesFor(pages));
  if (pages <= f.cache->Capacity()) {
    f.cache->Load(kPageSize, pages);
    f.resident.resize(pages);
    for (size_t i = 0; i < pages; ++i)
      f.resident[i] = const_cast<uint8_t*>(f.cache->Peek(static_cast<uint32_t>((i + 1) * kPageSize)));
  } else if (readAheadPages_ <= 1) {
    for (const uint32_t page : innerPages) f.cache->Load(page, 1);
  }
}

void NtxIndex::SortAndWrite(std::vector<uint32_t>& innerPages) {
  OpenFile& f = *file_;
  NtxScanOptions options;
  options.keyLength = f.keyLength;
  options.descending = f.descending;
  options.sortBytes = sortBytes_;
  options.threads = threads_;
  options.deletedRecordsKept = deletedRecordsKept_;
  options.folder = os::FolderOf(fileName_);
  options.shownName = f.fileName;
  options.stopRequested = stopRequested_;
  NtxTableScan scan = ScanTableKeys(table_, f.key, f.filter, options);

  f.recordCount = scan.recordCount;
  f.deleted = std::move(scan.deleted);
  f.deletedKnownThrough = scan.deletedKnownThrough;
  f.deletedBits.clear();
  if (f.recordCount <= kBitmapRecords) {
    f.deletedBits.assign(static_cast<size_t>(f.recordCount / 64 + 1), 0);
    for (const uint32_t recno : f.deleted) f.deletedBits[recno / 64] |= uint64_t{1} << (recno % 64);
  }
  f.knowsRecords = true;
  // A key is the fields' bytes up to a NUL, then blanks, and the
  // expression's literal texts, which hold no control character.
  f.keysInPrefixOrder = true;
  WritePages(*scan.sorter, innerPages);
}

void NtxIndex::WritePages(NtxKeySorter& sorter, std::vector<uint32_t>& innerPages) {
  // Equal keys come in record order; a unique index keeps the first of
  // them. The shape of the tree needs the number of keys first: for a
  // unique index, a pass that counts them.
  OpenFile& f = *file_;
  const size_t keyLength = static_cast<size_t>(f.keyLength);
  std::vector<uint8_t> previous(keyLength);
  bool any = false;
  const auto repeated = [&](const uint8_t* key) {
    if (any && std::memcmp(previous.data(), key, keyLength) == 0) return true;
    std::memcpy(previous.data(), key, keyLength);
    any = true;
    return false;
  };
  const uint8_t* key = nullptr;
  uint32_t keyRecno = 0;
  uint64_t count = sorter.Count();
  if (f.unique) {
    count = 0;
    for (sorter.Rewind(); sorter.Next(key, keyRecno);)
      if (!repeated(key)) ++count;
    any = false;
  }
  NtxPageWriter writer(f.handle, f.fileName, f.keyLength, f.maxKeys, count, kPageSize);
  for (sorter.Rewind(); sorter.Next(key, keyRecno);) {
    if (f.unique && repeated(key)) continue;
    writer.Add(key, keyRecno);
  }
  f.root = writer.Finish();
  f.nextPage = writer.NextPage();
  innerPages = writer.InnerPages();
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
  const int error = os::WriteAt(f.handle, 0, header, kPageSize);
  if (error != 0) ThrowPageWriteError(f.fileName, error);
}

void NtxIndex::OpenExisting() {
  if (file_) return;
  const std::string shownName = PathText(fileName_);
  const std::string formatError = "NtxIndex.OpenIndex: File \"" + shownName + "\" is not NTX file";
  os::LockedFile opened = os::OpenLockedFile(fileName_, os::FileAccess::kReadWrite);
  if (opened.file == os::kNoFile) {
    DbfError error("NtxIndex.OpenIndex: Open error \"" + shownName + "\"");
    error.SetReason(std::move(opened.reason));
    throw error;
  }
  const os::FileHandle handle = opened.file;
  try {
    uint8_t header[kPageSize];
    const size_t got = os::ReadAt(handle, 0, header, kPageSize).bytes;
    const int64_t fileSize = os::FileSize(handle);
    if (got < kPageSize || fileSize < 0) throw DbfError(formatError);
    if (!HeaderFits(header, fileSize)) throw DbfError(formatError);
    const int signature = Get16(header + kSignatureAt);
    const int keyLength = Get16(header + kKeySizeAt);
    const int maxKeys = Get16(header + kMaxKeysAt);
    const uint32_t root = Get32(header + kRootAt);

    std::string keyText = HeaderText(header + kKeyExpressionAt, kExpressionBytes);
    std::string forText = HeaderText(header + kForExpressionAt, kExpressionBytes);
    NtxExpression key = NtxExpression::ParseKey(keyText, table_);
    if (key.IsEmpty() || key.KeyLength() != keyLength) throw DbfError(formatError);
    NtxExpression filter = NtxExpression::ParseFilter(forText, table_);

    auto file = std::make_unique<OpenFile>();
    file->handle = handle;
    file->fileName = shownName;
    file->SetLayout(keyLength, maxKeys);
    file->root = root;
    const uint64_t size = static_cast<uint64_t>(fileSize);
    file->nextPage = static_cast<uint32_t>(
        std::min<uint64_t>((size + kPageSize - 1) / kPageSize * kPageSize, UINT32_MAX - kPageSize + 1));
    file->unique = header[kUniqueAt] != 0;
    file->descending = header[kDescendingAt] != 0;
    file->key = std::move(key);
    file->filter = std::move(filter);
    file->cache = std::make_unique<NtxPageCache>(handle, shownName, CachePagesFor(file->nextPage / kPageSize - 1));
    keyExpression_ = std::move(keyText);
    forExpression_ = std::move(forText);
    unique_ = file->unique;
    descending_ = file->descending;
    clipperVersion_ = signature == 7 ? ClipperVersion::v520 : ClipperVersion::v500;
    file_ = std::move(file);
  } catch (...) {
    os::CloseFile(handle);
    throw;
  }
}

void NtxIndex::LowerBound(const uint8_t* text, size_t length) {
  OpenFile& f = *file_;
  // The descent to a text that follows the last one, up to the last key of
  // the leaf it reached, takes the same entries of the pages above (their
  // keys before it precede the last text, those after it follow that leaf's
  // keys), so only the leaf is searched again, from where the last text
  // stood in it.
  const bool ascending = f.keysInPrefixOrder && length > 0 && !f.finger.empty() && length == f.fingerText.size() &&
                         std::memcmp(text, f.fingerText.data(), length) >= 0;
  if (ascending) {
    Step& leaf = f.finger.back();
    const uint8_t* bytes = Page(leaf.page);
    const int count = f.Count(bytes);
    if (count > 0 && ComparePrefix(f.KeyAt(bytes, count - 1), text, length) >= 0) {
      int low = leaf.pos;
      int high = count;
      while (low < high) {
        const int middle = (low + high) / 2;
        if (ComparePrefix(f.KeyAt(bytes, middle), text, length) < 0) {
          low = middle + 1;
        } else {
          high = middle;
        }
      }
      leaf.pos = low;
      f.cursor = f.finger;
      f.fingerText.assign(reinterpret_cast<const char*>(text), length);
      return;
    }
  }
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
    if (child == 0) {
      if (f.keysInPrefixOrder && length > 0 && !f.descending) {
        f.finger = f.cursor;
        f.fingerText.assign(reinterpret_cast<const char*>(text), length);
      }
      return;
    }
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
  if (!f.deletedBits.empty()) return (f.deletedBits[static_cast<size_t>(recno / 64)] >> (recno % 64)) & 1 ? 0 : 1;
  return std::binary_search(f.deleted.begin(), f.deleted.end(), static_cast<uint32_t>(recno)) ? 0 : 1;
}

void NtxIndex::SaveCursor() {
  if (file_) file_->savedCursor = file_->cursor;
}

void NtxIndex::RestoreCursor() {
  if (file_) file_->cursor = file_->savedCursor;
}

bool IsNtxHeader(std::string_view start, int64_t fileSize) {
  return start.size() >= kPageSize && HeaderFits(reinterpret_cast<const uint8_t*>(start.data()), fileSize);
}

}  // namespace tarvelo
