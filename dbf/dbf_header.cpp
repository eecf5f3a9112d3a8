#include "dbf/dbf_header.h"

#include <algorithm>
#include <climits>

#include "values/errors.h"

namespace tarvelo {
namespace {

// The header's fields and the descriptor's (see dbf_header.h).
constexpr size_t kRecordCountAt = 4;
constexpr size_t kHeaderLengthAt = 8;
constexpr size_t kRecordLengthAt = 10;
constexpr size_t kTableFlagsAt = 28;
constexpr size_t kNameBytes = 11;
constexpr size_t kLetterAt = 11;
constexpr size_t kLengthAt = 16;
constexpr size_t kDecimalsAt = 17;
// The same in the xBaseVII dialect.
constexpr size_t kSeventhNameBytes = 32;
constexpr size_t kSeventhLetterAt = 32;
constexpr size_t kSeventhLengthAt = 33;
constexpr size_t kSeventhDecimalsAt = 34;

int Byte(std::string_view bytes, size_t at) { return static_cast<unsigned char>(bytes[at]); }

int Le16(std::string_view bytes, size_t at) { return Byte(bytes, at) | (Byte(bytes, at + 1) << 8); }

int64_t Le32(std::string_view bytes, size_t at) {
  return static_cast<int64_t>(Le16(bytes, at)) | (static_cast<int64_t>(Le16(bytes, at + 2)) << 16);
}

std::string Quoted(const std::string& fileName) { return "\"" + fileName + "\""; }

[[noreturn]] void Fail(const std::string& fileName, const std::string& what) {
  throw DbfError("DbfTable.InternalOpen: File " + Quoted(fileName) + " " + what);
}

}  // namespace

DbfVersion DbfVersionOfByte(uint8_t versionByte) {
  switch (versionByte) {
    case 0x03:
    case 0x83:
      return DbfVersion::xBaseIII;
    case 0x07:
      return DbfVersion::xClipper;
    case 0x7B:
    case 0x8B:
    case 0x8E:
      return DbfVersion::xBaseIV;
    case 0x04:
    case 0x8C:
      return DbfVersion::xBaseVII;
    case 0xF5:
      return DbfVersion::xFoxPro;
    case 0x30:
    case 0x31:
      return DbfVersion::xVisualFoxPro;
    default:
      return DbfVersion::xUnknown;
  }
}

bool HasDbtMemo(uint8_t versionByte) {
  return versionByte == 0x83 || versionByte == 0x8B || versionByte == 0x8E || versionByte == 0x8C;
}

DbfHeader ReadDbfHeader(std::string_view start, int64_t fileSize, const std::string& fileName) {
  DbfHeader header;
  header.fileSize = fileSize;
  if (start.empty()) Fail(fileName, "is not DBF file");
  header.versionByte = static_cast<uint8_t>(start[0]);
  header.version = DbfVersionOfByte(header.versionByte);
  if (header.version == DbfVersion::xUnknown) Fail(fileName, "is not DBF file");
  if (header.version == DbfVersion::xBaseVII) {
    header.descriptorStart = 68;
    header.descriptorSize = 48;
  }
  if (start.size() < static_cast<size_t>(header.descriptorStart)) Fail(fileName, "has a truncated header");
  header.recordCount = Le32(start, kRecordCountAt);
  header.headerLength = Le16(start, kHeaderLengthAt);
  header.recordLength = Le16(start, kRecordLengthAt);
  header.tableFlags = static_cast<uint8_t>(Byte(start, kTableFlagsAt));
  return header;
}

int CheckDbfHeader(const DbfHeader& header, int bufferSize, const std::string& fileName) {
  if (header.recordLength == 0) Fail(fileName, "has a record length of 0");
  const int recordsPerBlock = bufferSize > 0 ? bufferSize / header.recordLength : 0;
  if (recordsPerBlock == 0) {
    DbfError error("DbfTable.InternalOpen: BufferSize too small!");
    error.SetWhere(FileLocation(fileName));
    throw error;
  }
  if (header.headerLength > header.fileSize)
    Fail(fileName, "has a header length (" + std::to_string(header.headerLength) + ") past the end of the file");
  return recordsPerBlock;
}

std::vector<DbfDescriptor> ReadDbfDescriptors(std::string_view start, const DbfHeader& header,
                                              const std::string& fileName) {
  const bool seventh = header.version == DbfVersion::xBaseVII;
  const size_t size = static_cast<size_t>(header.descriptorSize);
  const size_t nameWidth = seventh ? kSeventhNameBytes : kNameBytes;
  const size_t letterAt = seventh ? kSeventhLetterAt : kLetterAt;
  const size_t lengthAt = seventh ? kSeventhLengthAt : kLengthAt;
  const size_t decimalsAt = seventh ? kSeventhDecimalsAt : kDecimalsAt;

  std::vector<DbfDescriptor> descriptors;
  size_t at = static_cast<size_t>(header.descriptorStart);
  while (true) {
    if (at >= start.size()) Fail(fileName, "has no end mark (0x0D) after its field descriptors");
    if (start[at] == '\x0D') break;
    if (at + size > start.size()) Fail(fileName, "has no end mark (0x0D) after its field descriptors");
    const std::string_view bytes = start.substr(at, size);
    DbfDescriptor descriptor;
    const std::string_view name = bytes.substr(0, nameWidth);
    descriptor.name = std::string(name.substr(0, std::min(name.find('\0'), name.size())));
    descriptor.letter = bytes[letterAt];
    descriptor.length = static_cast<uint8_t>(bytes[lengthAt]);
    descriptor.decimals = static_cast<uint8_t>(bytes[decimalsAt]);
    descriptors.push_back(std::move(descriptor));
    at += size;
  }
  if (static_cast<int64_t>(at) >= header.headerLength)
    Fail(fileName,
         "has a header length (" + std::to_string(header.headerLength) + ") shorter than its field descriptors");
  return descriptors;
}

bool IsDbfHeader(std::string_view start, int64_t fileSize) {
  try {
    const DbfHeader header = ReadDbfHeader(start, fileSize, "");
    CheckDbfHeader(header, INT_MAX, "");
    ReadDbfDescriptors(start, header, "");
    return true;
  } catch (const DbfError&) {
    return false;
  }
}

}  // namespace tarvelo
