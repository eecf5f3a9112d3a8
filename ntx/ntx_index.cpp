#include "ntx/ntx_index.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "ntx/ntx_build.h"
#include "ntx/ntx_expression.h"
#include "ntx/ntx_format.h"
#include "ntx/ntx_open_file.h"
#include "ntx/ntx_page_cache.h"
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

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 32; });
}

// The text of a NUL-terminated header field of at most width bytes.
std::string HeaderText(const uint8_t* at, size_t width) {
  const void* nul = std::memchr(at, '\0', width);
  const size_t length = nul == nullptr ? width : static_cast<size_t>(static_cast<const uint8_t*>(nul) - at);
  return std::string(reinterpret_cast<const char*>(at), length);
}

}  // namespace

void ntx::ThrowDamaged(uint32_t page, const std::string& path) {
  throw DbfError("NtxIndex.ReadPage: Page " + std::to_string(page) + " of \"" + path + "\" is damaged");
}

NtxIndex::NtxIndex(DbfTable& table, std::string name, NtxIndexKeeper* keeper)
    : table_(table), keeper_(keeper), name_(std::move(name)) {}

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

int NtxIndex::KeyLength() const { return file_ ? file_->keyLength : 0; }

void NtxIndex::CloseFile() {
  if (!file_) return;
  const std::unique_ptr<OpenFile> file = std::move(file_);
  file->cache->Flush();
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

os::File NtxIndex::CreateFile() const {
  // Always a new file: a held one stays whole, a link is never followed,
  // and only a leftover index that is not marked read-only is replaced.
  const os::EntryCheck keep = [](os::FileHandle file, bool readOnly) -> std::string {
    if (readOnly) return kReadOnlyInTheWay;
    uint8_t header[kPageSize];
    const os::ReadResult got = os::ReadAt(file, 0, header, kPageSize);
    const std::string_view start(reinterpret_cast<const char*>(header), got.error == 0 ? got.bytes : 0);
    // An empty file is a build's that ended before its header, or another
    // run's made an instant ago and not yet locked: that run then finds its
    // lock taken and builds under another name.
    const int64_t size = os::FileSize(file);
    return size == 0 || IsNtxHeader(start, size) ? std::string() : kNotAnIndexInTheWay;
  };
  const std::string name = os::FileNameOf(fileName_);
  os::LockedFile file = folder_ ? folder_->CreateLockedFile(name, keep) : os::CreateLockedFile(fileName_, keep);
  if (!file.file.IsOpen()) {
    const auto raise = [&](auto error) {
      error.SetReason(std::move(file.reason));
      error.SetWhere(FileLocation(PathText(fileName_)));
      throw error;
    };
    const std::string message = "NtxIndex.CreateIndex: Create error \"" + PathText(name_) + "\"";
    if (file.error == os::kEntryKept) raise(IndexInTheWayError(message));
    if (file.reason == kFileInUse) raise(IndexFileInUseError(message));
    raise(DbfError(message));
  }
  return std::move(file.file);
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
  if (keeper_) keeper_->BuildStarting(*this);
  CloseFile();
  ownFile_.Remove();
  os::File handle;
  {
    // A signal must not fall between the file's making and its recording.
    const os::SignalsHeldOff heldOff;
    handle = CreateFile();
    if (temporary_) {
      ownFile_ = folder_ ? os::TemporaryFile(*folder_, os::FileNameOf(fileName_), handle.Handle())
                         : os::TemporaryFile(fileName_, handle.Handle());
    }
  }
  if (keeper_) keeper_->FileMade(*this);

  auto file = std::make_unique<OpenFile>();
  file->handle = std::move(handle);
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
  file->cache = std::make_unique<NtxPageCache>(file->handle.Handle(), file->fileName, 0);
  file_ = std::move(file);
  try {
    // A header and an empty root first, so that a build that never ends
    // (the machine stopped) leaves a file that the next one knows for a
    // leftover index and replaces.
    file_->root = kPageSize;
    WriteHeader();
    const uint8_t emptyRoot[kPageSize] = {};
    const int error = os::WriteAt(file_->handle.Handle(), kPageSize, emptyRoot, kPageSize);
    if (error != 0) ThrowPageWriteError(file_->fileName, error);
    BuildTree();
    file_->cache->Flush();
    WriteHeader();
  } catch (...) {
    file_.reset();
    ownFile_.Remove();
    throw;
  }

  if (keeper_) keeper_->BuildEnded(*this);
  StandAfterBuild();
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
  f.cache = std::make_unique<NtxPageCache>(f.handle.Handle(), f.fileName, CachePagesFor(pages));
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
  NtxPageWriter writer(f.handle.Handle(), f.fileName, f.keyLength, f.maxKeys, count, kPageSize);
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
  const int error = os::WriteAt(f.handle.Handle(), 0, header, kPageSize);
  if (error != 0) ThrowPageWriteError(f.fileName, error);
}

void NtxIndex::OpenExisting() {
  if (file_) return;
  const std::string shownName = PathText(fileName_);
  const std::string formatError = "NtxIndex.OpenIndex: File \"" + shownName + "\" is not NTX file";
  os::LockedFile opened = os::OpenLockedFile(fileName_, os::FileAccess::kReadWrite);
  if (!opened.file.IsOpen()) {
    DbfError error("NtxIndex.OpenIndex: Open error \"" + shownName + "\"");
    error.SetReason(std::move(opened.reason));
    throw error;
  }
  const os::FileHandle handle = opened.file.Handle();
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
  file->handle = std::move(opened.file);
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
}

bool IsNtxHeader(std::string_view start, int64_t fileSize) {
  return start.size() >= kPageSize && HeaderFits(reinterpret_cast<const uint8_t*>(start.data()), fileSize);
}

}  // namespace tarvelo
