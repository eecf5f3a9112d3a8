#include "dbf/dbf_table.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <vector>

#include "dbf/dbf_header.h"
#include "os/file_system.h"
#include "os/path.h"
#include "values/date_time.h"
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
    // A listener's failure (an index's write) cannot be reported from here.
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
    for (DbfTableListener* listener : listeners_) listener->TableOpened();
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
  declaredRecords_ = header.recordCount;

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
  for (DbfTableListener* listener : listeners_) {
    try {
      listener->TableClosing();
    } catch (const TarveloError&) {
      if (!failure) failure = std::current_exception();
    }
  }
  ReleaseFile();
  fields_.clear();
  declaredRecords_ = 0;
  if (failure) std::rethrow_exception(failure);
}

void DbfTable::ReleaseFile() {
  if (openIdentity_) ReleaseOpenFile(*openIdentity_);
  openIdentity_.reset();
  file_.Close();
  memoFile_.Close();
  block_.clear();
  block_.shrink_to_fit();
  blockFirstRecno_ = 0;
  blockRecords_ = 0;
  SetCurrent(0);
  recordsPerBlock_ = 0;
  atEnd_ = true;
}

void DbfTable::AddListener(DbfTableListener& listener) { listeners_.push_back(&listener); }

void DbfTable::RemoveListener(DbfTableListener& listener) {
  const auto at = std::find(listeners_.begin(), listeners_.end(), &listener);
  if (at != listeners_.end()) listeners_.erase(at);
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

bool DbfTable::LoadVisible(int64_t recno) {
  if (recno < 1) return false;
  if (!InBlock(recno) && !ReadBlockFor(recno)) return false;
  return !hideDeleted_ ||
         block_[static_cast<size_t>(recno - blockFirstRecno_) * static_cast<size_t>(recordLength_)] != '*';
}

void DbfTable::First() {
  if (!IsOpen()) return;
  SetCurrent(0);
  atEnd_ = !MoveToVisible(1);
}

void DbfTable::Next() {
  if (!IsOpen()) return;
  if (currentRecno_ == 0) {
    atEnd_ = true;
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

// The reads of a field on the table's current record, which need the table.

Variant DbfField::AsVariant() const {
  const char* record = table_.RecordData();
  return record == nullptr ? Variant::Null() : AsVariant(record);
}

std::string DbfField::AsText() const {
  if (IsNull()) return std::string();
  const std::string_view bytes = RawBytes();
  switch (type_) {
    case ftString:
      return DecodeCharacter(bytes);
    case ftInteger: {
      const auto value = DecodeInteger(bytes);
      return value ? std::to_string(*value) : std::string();
    }
    case ftLargeint: {
      const auto value = DecodeLargeint(bytes);
      return value ? std::to_string(*value) : std::string();
    }
    case ftFloat: {
      const auto value = DecodeFloat(bytes);
      return value ? FormatGeneral(*value, table_.Settings().decimalSeparator) : std::string();
    }
    case ftDate: {
      const auto days = DecodeDate(bytes);
      return days ? FormatShortDate(*days, table_.Settings()) : std::string();
    }
    case ftBoolean: {
      const auto value = DecodeLogical(bytes);
      return value ? (*value ? "True" : "False") : std::string();
    }
    default:
      return std::string();
  }
}

double DbfField::AsFloat() const {
  const char* record = table_.RecordData();
  return record == nullptr ? 0 : AsFloat(record);
}

double DbfField::AsFloat(const char* record) const {
  const std::string_view bytes = RawBytes(record);
  if (type_ == ftString) {
    const std::string text = DecodeCharacter(bytes);
    const auto value = ParseDecimal(text, table_.Settings().decimalSeparator);
    if (!value) throw ConvertError("'" + text + "' is not a valid floating point value");
    return *value;
  }
  if (IsNullField(type_, bytes)) return 0;
  switch (type_) {
    case ftInteger:
      return DecodeInteger(bytes).value_or(0);
    case ftLargeint:
      return static_cast<double>(DecodeLargeint(bytes).value_or(0));
    case ftFloat:
      return DecodeFloat(bytes).value_or(0);
    case ftDate:
      return DecodeDate(bytes).value_or(0);
    case ftBoolean:
      // As a Boolean Variant converts: true is -1.
      return DecodeLogical(bytes).value_or(false) ? -1 : 0;
    default:
      return 0;
  }
}

}  // namespace tarvelo
