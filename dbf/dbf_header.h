#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The DBF (dBase III) table file as this program reads it; numbers are
// little-endian.
//
// The header, 32 bytes:
//
//   offset size  field
//        0    1  version byte: the dialect (DbfVersionOfByte) and whether
//                a memo file goes with the table (HasDbtMemo)
//        1    3  date of the last change, YY MM DD: not read
//        4    4  record count: what the header declares; the records read
//                follow from the file's size, and a file that holds fewer
//                than declared is told of (DbfTable::DeclaredRecordCount)
//        8    2  header length: the offset of the first record
//       10    2  record length, the deletion flag included
//       12   16  reserved
//       28    1  table flags: kept, not used
//       29    3  code page mark and reserved: not read
//
// Then, from offset 32, one descriptor of 32 bytes for each field in the
// order of the record, ended by the byte 0x0D; the header may go on after
// it up to the header length:
//
//   offset size  field
//        0   11  name, ended by a NUL byte when shorter
//       11    1  type letter: C, N, F, D, L or M; another letter's field
//                is skipped, or refused when of a later dialect
//       12    4  reserved
//       16    1  length
//       17    1  decimal count; of a C field, the high byte of its length
//       18   14  reserved
//
// (The xBaseVII dialect has a 68-byte header and 48-byte descriptors:
// name at 0 in 32 bytes, letter 32, length 33, decimal count 34.)
//
// The records, from the header length to the end of the file, record
// length bytes each (an incomplete last one, as an end mark 0x1A, is no
// record):
//
//   +------+---------+---------+-----+---------+
//   | flag | field 1 | field 2 | ... | field n |
//   +------+---------+---------+-----+---------+
//
//   flag   1  "*" when the record is deleted
//   field     text, as many bytes as its width: the length (for C with the
//             decimal count as high byte), for D 8 (YYYYMMDD), L 1 ("T" or
//             "F"), M 10 (a block of the memo file, never read); a field of
//             any type but C is empty when all its bytes are blanks
namespace tarvelo {

/// File dialect, from the version byte.
enum class DbfVersion { xUnknown, xClipper, xBaseIII, xBaseIV, xBaseV, xBaseVII, xFoxPro, xVisualFoxPro };

/// The fixed part of a DBF header, as read from the file (not yet checked).
struct DbfHeader {
  uint8_t versionByte = 0;
  DbfVersion version = DbfVersion::xUnknown;
  /// File offset of the first record.
  int headerLength = 0;
  /// Bytes per record, deletion flag included.
  int recordLength = 0;
  uint8_t tableFlags = 0;
  /// The record count the header declares (it may differ from what the
  /// file holds).
  int64_t recordCount = 0;
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
/// 0, a record longer than bufferSize ("BufferSize too small!", with the
/// file on its location line) and a header length past the end of the file.
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
