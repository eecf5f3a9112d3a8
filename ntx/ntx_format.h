#pragma once

#include <cstddef>
#include <cstdint>

// The NTX index file as this program reads and writes it. The file is a
// row of 1024-byte pages, each named by its file offset; numbers are
// little-endian.
//
// Page 0, the header:
//
//   offset size  field
//        0    2  signature: 6, or 7 for the later versions
//        2    2  version: 1
//        4    4  root: offset of the root page
//        8    4  first free page: 0 (none)
//       12    2  entry size: key length + 8
//       14    2  key length: 1 to 256
//       16    2  decimals of a numeric key: 0
//       18    2  max keys: most keys a page holds, even
//       20    2  half page: max keys / 2
//       22  256  key expression, ended by a NUL byte
//      278    1  unique: 1 when a key is kept once, for its first record
//      279    1  zero
//      280    1  descending: 1 when keys go from the highest down
//      281    1  zero
//      282  256  filter ("for") expression, ended by a NUL byte; empty
//                for none
//      538  486  zeros
//
// Every other page is a node of the B-tree, keys ascending as unsigned
// bytes (descending when the header says so):
//
//   0       2                       2 + 2 (m + 1)
//   +-------+--------+-----+--------+---------+---------+-----+---------+
//   | count | slot 0 | ... | slot m | entry   | entry   | ... | entry   |
//   +-------+--------+-----+--------+---------+---------+-----+---------+
//
//   count   2  keys in the page, at most m (max keys)
//   slot i  2  offset in the page of its i-th entry in key order; the
//              entry of slot count holds only the child after the last key
//   entry      entry size bytes:
//                +0  4  child: offset of the page of the keys before this
//                       one; 0 in a leaf
//                +4  4  record number
//                +8  -  the key, key length bytes
namespace tarvelo::ntx {

inline constexpr uint32_t kPageSize = 1024;

// The header's fields.
inline constexpr size_t kSignatureAt = 0;
inline constexpr size_t kVersionAt = 2;
inline constexpr size_t kRootAt = 4;
inline constexpr size_t kFreePageAt = 8;
inline constexpr size_t kEntrySizeAt = 12;
inline constexpr size_t kKeySizeAt = 14;
inline constexpr size_t kDecimalsAt = 16;
inline constexpr size_t kMaxKeysAt = 18;
inline constexpr size_t kHalfPageAt = 20;
inline constexpr size_t kKeyExpressionAt = 22;
inline constexpr size_t kUniqueAt = 278;
inline constexpr size_t kDescendingAt = 280;
inline constexpr size_t kForExpressionAt = 282;
inline constexpr size_t kExpressionBytes = 256;
inline constexpr int kMaxKeyLength = 256;

// A node page: its key count, then its slots.
inline constexpr int kCountAt = 0;
inline constexpr int kSlotsAt = 2;
/// Where the entries of a page of maxKeys keys begin.
inline constexpr int EntriesAt(int maxKeys) { return kSlotsAt + 2 * (maxKeys + 1); }
// An entry's fields.
inline constexpr int kChildAt = 0;
inline constexpr int kRecnoAt = 4;
inline constexpr int kKeyAt = 8;

inline uint16_t Get16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

inline uint32_t Get32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) | (static_cast<uint32_t>(at[2]) << 16) |
         (static_cast<uint32_t>(at[3]) << 24);
}

inline void Put16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value & 0xFF);
  at[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

inline void Put32(uint8_t* at, uint32_t value) {
  Put16(at, value & 0xFFFF);
  Put16(at + 2, value >> 16);
}

}  // namespace tarvelo::ntx
