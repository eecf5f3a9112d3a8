#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_table.h"

namespace tarvelo {

/// The fixed part of a DBF header, as read from the file (not yet checked).
struct DbfHeader {
  uint8_t versionByte = 0;
  DbfVersion version = DbfVersion::xUnknown;
  /// File offset of the first record.
  int headerLength = 0;
  /// Bytes per record, deletion flag included.
  int recordLength = 0;
  uint8_t tableFlags = 0;
  /// Offset of the first field descriptor (32, or 68 for xBaseVII).
  int descriptorStart = 32;
  /// Bytes per field descriptor (32, or 48 for xBaseVII).
  int descriptorSize = 32;
  int64_t fileSize = 0;
};

/// One field descriptor as stored: the name bytes up to the first NUL (not
/// trimmed), the type letter, the length byte and the decimal-count byte.
struct DbfDescriptor {
  std::string name;
  char letter = 0;
  uint8_t length = 0;
  uint8_t decimals = 0;
};

/// Most bytes of the start of a file that the descriptor scan looks at: the
/// header length is a 16-bit number, so no valid terminator lies beyond.
inline constexpr int kDbfHeaderScanLimit = 65536;

/// The dialect of a version byte; xUnknown when the byte names none.
DbfVersion DbfVersionOfByte(uint8_t versionByte);

/// True for the dialects whose memo file has the extension ".dbt"; false
/// for every other version byte.
bool HasDbtMemo(uint8_t versionByte);

/// Reads the fixed header from the first bytes of the file (start holds
/// min(file size, kDbfHeaderScanLimit) bytes). Raises DbfError "... is not
/// DBF file" for an empty file or an unknown version byte, and "... has a
/// truncated header" when the file ends inside the fixed header.
DbfHeader ReadDbfHeader(std::string_view start, int64_t fileSize, const std::string& fileName);

/// Checks the fixed header against the file and the block size, and returns
/// the number of records per block. Raises DbfError for a record length of
/// 0, a record longer than bufferSize ("BufferSize too small!") and a header
/// length past the end of the file.
int CheckDbfHeader(const DbfHeader& header, int bufferSize, const std::string& fileName);

/// Reads the field descriptors up to the 0x0D end mark. Raises DbfError when
/// no end mark lies within start, or when the end mark lies at or after the
/// header length (the header would overlap the descriptors).
std::vector<DbfDescriptor> ReadDbfDescriptors(std::string_view start, const DbfHeader& header,
                                              const std::string& fileName);

/// Whether start, the first bytes of a file of fileSize bytes (as for
/// ReadDbfHeader), is a header that the reader takes: ReadDbfHeader,
/// CheckDbfHeader (a record of any length) and ReadDbfDescriptors raise
/// nothing. Never raises.
bool IsDbfHeader(std::string_view start, int64_t fileSize);

}  // namespace tarvelo
