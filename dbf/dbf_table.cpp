#include "dbf/dbf_table.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <vector>

#include "dbf/dbf_header.h"
#include "dbf/ntx_index.h"
#include "os/file_system.h"
#include "os/path.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {
namespace {

// The open error of a file the table reads, with the system's reason.
[[noreturn]] void ThrowOpenError(const std::string& path, std::string reason) {
  DbfError error("DbfTable.InternalOpen: Open error \"" + PathText(path) + "\"");
  error.SetReason(std::move(reason));
  throw error;
}

// The files the tables of this process have open. Runs of several
// processes read a file together, but a table cannot open a file that
// another table of the same process holds (the same file named for both
// data files of a run, say): each table of a run has its file to itself.
std::mutex openFilesMutex;
std::vector<os::FileIdentity> openFiles;

// Adds identity to the open files; false when a table has it open already.
bool TakeOpenFile(const os::FileIdentity& identity) {
  const std::lock_guard<std::mutex> lock(openFilesMutex);
  if (std::find(openFiles.begin(), openFiles.end(), identity) != openFiles.end()) return false;
  openFiles.push_back(identity);
  return true;
}

void ReleaseOpenFile(const os::FileIdentity& identity) {
  const std::lock_guard<std::mutex> lock(openFilesMutex);
  const auto at = std::find(openFiles.begin(), openFiles.end(), identity);
  if (at != openFiles.end()) openFiles.erase(at);
}

// The size of an open file; 0 when it cannot be known.
int64_t FileSize(os::FileHandle file) { return std::max<int64_t>(os::FileSize(file), 0); }

// Raises the error of a type letter that belongs to a later dialect than
// the file's.
void CheckLetterForDialect(char letter, DbfVersion version) {
  const char* const prefix = "DbfTable.HiddenInitFieldDefs: DBF Version must be ";
  switch (letter) {
    case 'B':
    case 'G':
      if (version == DbfVersion::xClipper || version == DbfVersion::xBaseIII)
        throw DbfError(std::string(prefix) + "greater then xBaseIII for field type \"B\" and \"G\"!");
      break;
    case 'P':
      if (version < DbfVersion::xFoxPro)
        throw DbfError(std::string(prefix) + "xFoxPro or greater for field type \"P\"!");
      break;
    case 'T':
    case 'Y':
      if (version != DbfVersion::xVisualFoxPro)
        throw DbfError(std::string(prefix) + "xVisualFoxPro or greater for field type \"" + letter + "\"!");
      break;
    case '+':
    case 'I':
    case 'O':
    case '@':
      if (version != DbfVersion::xBaseVII && version != DbfVersion::xVisualFoxPro)
        throw DbfError(std::string(prefix) + "greater then xBaseV for field type \"+\", \"I\", \"O\" and \"@\"!");
      break;
    default:
      break;
  }
}

// Type, size, precision and width of a descriptor by the dBase III rules;
// false for a letter outside them (the field is skipped, its width kept).
struct FieldLayout {
  FieldTypeCode type = ftUnknown;
  int size = 0;
  int precision = 0;
  int width = 0;
};

bool MapDescriptor(const DbfDescriptor& descriptor, FieldLayout& layout) {
  switch (descriptor.letter) {
    case 'C':
      layout.type = ftString;
      layout.width = descriptor.length | (descriptor.decimals << 8);
      layout.size = layout.width;
      return true;
    case 'N':
    case 'F':
      layout.width = descriptor.length;
      if (descriptor.decimals > 0) {
        layout.type = ftFloat;
        layout.precision = descriptor.decimals;
      } else {
        layout.type = descriptor.length <= 9 ? ftInteger : ftLargeint;
      }
      return true;
    case 'D':
      layout.type = ftDate;
      layout.width = 8;
      return true;
    case 'L':
      layout.type = ftBoolean;
      layout.width = 1;
      return true;
    case 'M':
      layout.type = ftMemo;
      layout.width = 10;
      return true;
    default:
      layout.width = descriptor.length;
      return false;
  }
}

}  // namespace

DbfTable::DbfTable(std::string name, const RegionalSettings& settings) : name_(std::move(name)), settings_(settings) {}

DbfTable::~DbfTable() {
  try {
    Close();
  } catch (const TarveloError&) {
    // A failed index write cannot be reported from here.
  }
}

std::string DbfTable::ErrorPrefix() const { return name_.empty() ? std::string() : name_ + ": "; }

void DbfTable::ThrowFieldPosition(int position) { throw ListIndexError(position); }

void DbfTable::SetDBFFileName(std::string path) {
  if (IsOpen()) throw DatabaseError(ErrorPrefix() + "Cannot perform this operation on an open dataset");
  fileName_ = std::move(path);
}

bool DbfTable::IsOpen() const { return file_.IsOpen(); }

void DbfTable::Open() {
  if (IsOpen()) return;
  try {
    InternalOpen();
    OpenRecordedIndexes();
  } catch (...) {
    Close();
    throw;
  }
}

void DbfTable::InternalOpen() {
  os::LockedFile file = os::OpenLockedFile(fileName_, os::FileAccess::kRead);
  if (!file.file.IsOpen()) ThrowOpenError(fileName_, std::move(file.reason));
  file_ = std::move(file.file);
  os::FileIdentity identity;
  if (os::IdentityOf(file_.Handle(), identity)) {
    if (!TakeOpenFile(identity)) ThrowOpenError(fileName_, kFileInUse);
    openIdentity_ = identity;
  }
  const std::string shownName = PathText(fileName_);

  const int64_t fileSize = FileSize(file_.Handle());
  std::string start(static_cast<size_t>(std::min<int64_t>(fileSize, kDbfHeaderScanLimit)), '\0');
  start.resize(ReadAt(0, start.data(), start.size(), "InternalOpen"));

  const DbfHeader header = ReadDbfHeader(start, fileSize, shownName);
  recordsPerBlock_ = CheckDbfHeader(header, bufferSize_, shownName);
  version_ = header.version;
  headerLength_ = header.headerLength;
  recordLength_ = header.recordLength;

  if (HasDbtMemo(header.versionByte)) OpenMemo();

  BuildFields(ReadDbfDescriptors(start, header, shownName));

  block_.assign(static_cast<size_t>(recordsPerBlock_) * static_cast<size_t>(recordLength_), '\0');
  blockFirstRecno_ = 0;
  blockRecords_ = 0;
  SetCurrent(0);
  First();
}

void DbfTable::OpenMemo() {
  const std::string name = os::FileNameOf(fileName_);
  const std::string base = os::FolderOf(fileName_) + name.substr(0, name.rfind('.'));
  for (const char* extension : {".dbt", ".DBT"}) {
    const std::string path = base + extension;
    os::LockedFile memo = os::OpenLockedFile(path, os::FileAccess::kRead);
    if (!memo.file.IsOpen() && os::IsNoSuchFile(memo.error)) continue;
    if (!memo.file.IsOpen()) ThrowOpenError(path, std::move(memo.reason));
    memoFile_ = std::move(memo.file);
    return;
  }
}

void DbfTable::BuildFields(const std::vector<DbfDescriptor>& descriptors) {
  fields_.clear();
  int offset = 1;
  for (const DbfDescriptor& descriptor : descriptors) {
    CheckLetterForDialect(descriptor.letter, version_);
    FieldLayout layout;
    if (MapDescriptor(descriptor, layout)) {
      std::string name = UpperAscii(Trim(descriptor.name));
      if (name.empty()) throw DatabaseError(ErrorPrefix() + "Field name missing");
      if (FindField(name) != nullptr) throw DatabaseError("A component named " + name + " already exists");
      if (offset + layout.width > recordLength_)
        throw DbfError("DbfTable.InternalOpen: Field \"" + name + "\" of file \"" + PathText(fileName_) +
                       "\" runs past the record length (" + std::to_string(recordLength_) + ")");
      fields_.push_back(std::make_unique<DbfField>(*this, std::move(name), layout.type, layout.size, layout.precision,
                                                   layout.width, offset, descriptor.letter));
    }
    offset += layout.width;
  }
}

void DbfTable::Close() {
  std::exception_ptr failure;
  for (int i = 0; i < indexes_.Count(); ++i) {
    try {
      indexes_[i].CloseFile();
    } catch (const TarveloError&) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (openIdentity_) ReleaseOpenFile(*openIdentity_);
  openIdentity_.reset();
  file_.Close();
  memoFile_.Close();
  fields_.clear();
  block_.clear();
  block_.shrink_to_fit();
  blockFirstRecno_ = 0;
  blockRecords_ = 0;
  SetCurrent(0);
  recordsPerBlock_ = 0;
  atEnd_ = true;
  if (failure) std::rethrow_exception(failure);
}

void DbfTable::OpenRecordedIndexes() {
  for (int i = 0; i < indexDefs_.Count(); ++i) {
    const DbfIndexDef& def = indexDefs_[i];
    NtxIndex* index = nullptr;
    for (int j = 0; j < indexes_.Count() && index == nullptr; ++j) {
      if (indexes_[j].NTXFileName() == def.path) index = &indexes_[j];
    }
    if (index != nullptr && index->IsFileOpen()) continue;
    if (index == nullptr) {
      index = &indexes_.Add(def.name);
      index->SetNTXFileName(def.path);
    }
    index->OpenExisting();
  }
  if (InKeyOrder()) First();
}

size_t DbfTable::ReadAt(int64_t offset, char* into, size_t count, const char* step) const {
  const os::ReadResult got = os::ReadAt(file_.Handle(), offset, into, count);
  if (got.error != 0) {
    DbfError error(std::string("DbfTable.") + step + ": Read error \"" + PathText(fileName_) + "\"");
    error.SetReason(os::SystemReason(got.error));
    throw error;
  }
  return got.bytes;
}

bool DbfTable::ReadBlockAt(int64_t recno, int records) const {
  blockFirstRecno_ = recno;
  blockRecords_ = 0;
  current_ = nullptr;
  const int64_t offset = headerLength_ + (recno - 1) * static_cast<int64_t>(recordLength_);
  const size_t wanted = records > 0 && records < recordsPerBlock_
                            ? static_cast<size_t>(records) * static_cast<size_t>(recordLength_)
                            : block_.size();
  const size_t got = ReadAt(offset, block_.data(), wanted, "ReadBlock");
  blockRecords_ = static_cast<int>(got / static_cast<size_t>(recordLength_));
  PointAtCurrent();
  return blockRecords_ > 0;
}

bool DbfTable::ReadBlockFor(int64_t recno) const {
  // Records a key leads to are read one by one, unless they follow the
  // loaded block closely, as they do when keys come in file order.
  const int64_t blockEnd = blockFirstRecno_ + blockRecords_;
  const bool near = blockRecords_ > 0 && recno >= blockEnd && recno < blockEnd + recordsPerBlock_;
  return ReadBlockAt(recno, near ? 0 : 1);
}

const char* DbfTable::LoadCurrent() const {
  if (!IsOpen()) return nullptr;
  ReadBlockFor(currentRecno_);
  return current_;
}

bool DbfTable::MoveToVisible(int64_t recno) {
  while (true) {
    if (!InBlock(recno) && !ReadBlockAt(recno)) return false;
    const char flag = block_[static_cast<size_t>(recno - blockFirstRecno_) * static_cast<size_t>(recordLength_)];
    if (!hideDeleted_ || flag != '*') {
      SetCurrent(recno);
      return true;
    }
    ++recno;
  }
}

void DbfTable::RestoreCurrentBlock() {
  if (currentRecno_ > 0 && !InBlock(currentRecno_) && !ReadBlockAt(currentRecno_)) SetCurrent(0);
}

bool DbfTable::InKeyOrder() const { return activeIndex_ != nullptr && activeIndex_->IsFileOpen(); }

bool DbfTable::LoadVisible(int64_t recno) {
  if (recno < 1) return false;
  if (!InBlock(recno) && !ReadBlockFor(recno)) return false;
  return !hideDeleted_ ||
         block_[static_cast<size_t>(recno - blockFirstRecno_) * static_cast<size_t>(recordLength_)] != '*';
}

bool DbfTable::KeyRecordVisible(int64_t recno) {
  const int known = activeIndex_->KnownVisibility(recno, hideDeleted_);
  return known >= 0 ? known > 0 : LoadVisible(recno);
}

void DbfTable::RestorePosition(int64_t recno, bool atEnd) {
  SetCurrent(recno);
  atEnd_ = atEnd;
}

void DbfTable::First() {
  if (!IsOpen()) return;
  SetCurrent(0);
  if (InKeyOrder()) {
    int64_t recno = 0;
    bool found = activeIndex_->CursorFirst(recno);
    while (found && !KeyRecordVisible(recno)) found = activeIndex_->CursorNext(recno);
    if (found) SetCurrent(recno);
    atEnd_ = !found;
    return;
  }
  atEnd_ = !MoveToVisible(1);
}

void DbfTable::Next() {
  if (!IsOpen()) return;
  if (currentRecno_ == 0) {
    atEnd_ = true;
    return;
  }
  if (InKeyOrder()) {
    int64_t recno = 0;
    bool found = activeIndex_->CursorNext(recno);
    while (found && !KeyRecordVisible(recno)) found = activeIndex_->CursorNext(recno);
    if (found) {
      SetCurrent(recno);
      atEnd_ = false;
      return;
    }
    atEnd_ = true;
    PointAtCurrent();
    return;
  }
  if (MoveToVisible(currentRecno_ + 1)) {
    atEnd_ = false;
    return;
  }
  atEnd_ = true;
  RestoreCurrentBlock();
}

int64_t DbfTable::PhysicalRecordCount() const {
  if (!IsOpen()) return 0;
  const int64_t size = FileSize(file_.Handle());
  return size > headerLength_ ? (size - headerLength_) / recordLength_ : 0;
}

size_t DbfTable::ReadRecords(int64_t first, size_t count, char* into) const {
  if (!IsOpen() || first < 1 || count == 0) return 0;
  const size_t length = static_cast<size_t>(recordLength_);
  const int64_t offset = headerLength_ + (first - 1) * static_cast<int64_t>(recordLength_);
  return ReadAt(offset, into, count * length, "ReadBlock") / length;
}

DbfField* DbfTable::FindField(std::string_view name) {
  for (const auto& field : fields_) {
    if (SameName(field->FieldName(), name)) return field.get();
  }
  return nullptr;
}

DbfField& DbfTable::FieldByName(std::string_view name) {
  DbfField* field = FindField(name);
  if (field == nullptr) throw DatabaseError(ErrorPrefix() + "Field '" + std::string(name) + "' not found");
  return *field;
}

Variant DbfTable::FieldValue(std::string_view name) { return FieldByName(name).AsVariant(); }

bool DbfTable::FindKey(const std::vector<Variant>& values) {
  if (!IsOpen() || !InKeyOrder()) return false;
  const int64_t savedRecno = currentRecno_;
  const bool savedAtEnd = atEnd_;
  activeIndex_->SaveCursor();
  int64_t recno = 0;
  bool found = activeIndex_->SeekFirst(values, recno);
  while (found && !KeyRecordVisible(recno)) found = activeIndex_->SeekNext(recno);
  if (found) {
    SetCurrent(recno);
    atEnd_ = false;
    return true;
  }
  activeIndex_->RestoreCursor();
  RestorePosition(savedRecno, savedAtEnd);
  return false;
}

void DbfTable::ActivateIndex(NtxIndex& index) {
  activeIndex_ = &index;
  const std::string_view record = CurrentRecord();
  const bool visible = !record.empty() && !(hideDeleted_ && record[0] == '*');
  if (visible && index.CursorToRecord(currentRecno_, record)) {
    atEnd_ = false;
  } else {
    First();
  }
}

void DbfTable::DeactivateIndex(const NtxIndex& index) {
  if (activeIndex_ == &index) activeIndex_ = nullptr;
}

NtxIndexList::NtxIndexList(DbfTable& table) : table_(table) {}

NtxIndexList::~NtxIndexList() = default;

NtxIndex& NtxIndexList::Add(std::string name) {
  items_.push_back(std::make_unique<NtxIndex>(table_, std::move(name)));
  return *items_.back();
}

void NtxIndexList::Delete(int position) {
  if (position < 0 || position >= Count()) throw ListIndexError(position);
  const auto at = items_.begin() + position;
  std::unique_ptr<NtxIndex> index = std::move(*at);
  items_.erase(at);
  table_.DeactivateIndex(*index);
  index->CloseFile();
}

NtxIndex& NtxIndexList::operator[](int position) {
  if (position < 0 || position >= Count()) throw ListIndexError(position);
  return *items_[static_cast<size_t>(position)];
}

const DbfIndexDef& DbfIndexDefList::operator[](int position) const {
  if (position < 0 || position >= Count()) throw ListIndexError(position);
  return items_[static_cast<size_t>(position)];
}

void DbfIndexDefList::Delete(int position) {
  if (position < 0 || position >= Count()) throw ListIndexError(position);
  items_.erase(items_.begin() + position);
}

int DbfIndexDefList::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (SameName(items_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

int DbfIndexDefList::Record(const std::string& path) {
  std::string name = os::FileNameOf(path);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  const int found = IndexOf(name);
  if (found >= 0) {
    items_[static_cast<size_t>(found)].path = path;
    return found;
  }
  items_.push_back({std::move(name), path});
  return Count() - 1;
}

}  // namespace tarvelo
