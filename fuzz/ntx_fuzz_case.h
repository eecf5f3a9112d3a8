#pragma once
// One input of ntx_index_fuzz: a small table (a numeric field, then one to
// three character key fields), the index's settings and the searches, read
// from the fuzzer's bytes; and the writing of such an input, for the seeds.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "testing/dbf_writer.h"

namespace tarvelo::fuzzing {

/// One FindKey: a text per value, nullopt for a Null value.
struct NtxSearch {
  std::vector<std::optional<std::string>> values;
};

struct NtxCase {
  bool hideDeleted = true;
  bool descending = false;
  bool reopen = false;         // close and open the table before searching
  bool smallCache = false;     // the smallest page cache
  bool forgetDeleted = false;  // remember one deleted record only
  bool reversed = false;       // key fields in the expression last to first
  int bufferSize = 4096;
  std::vector<int> widths;           // of the key fields K1, K2, K3
  std::vector<std::string> records;  // each record's bytes, deletion flag first
  std::vector<NtxSearch> searches;

  /// The table's fields: CODIGO (N 3), then K1 to Kn.
  std::vector<testing::DbfFieldSpec> Fields() const {
    std::vector<testing::DbfFieldSpec> fields = {{"CODIGO", 'N', 3, 0}};
    for (size_t i = 0; i < widths.size(); ++i) fields.push_back({"K" + std::to_string(i + 1), 'C', widths[i], 0});
    return fields;
  }
  int RecordLength() const {
    int length = 1 + 3;
    for (int width : widths) length += width;
    return length;
  }
  /// The key fields (0-based) in the order of the key expression.
  std::vector<size_t> ExpressionOrder() const {
    std::vector<size_t> order;
    for (size_t i = 0; i < widths.size(); ++i) order.push_back(reversed ? widths.size() - 1 - i : i);
    return order;
  }
  /// "k1+k2" in lower case, the names being looked up whatever their case.
  std::string Expression() const {
    std::string expression;
    for (size_t field : ExpressionOrder()) expression += (expression.empty() ? "k" : "+k") + std::to_string(field + 1);
    return expression;
  }
  /// Where key field i starts in a record.
  size_t FieldOffset(size_t field) const {
    size_t offset = 1 + 3;
    for (size_t i = 0; i < field; ++i) offset += static_cast<size_t>(widths[i]);
    return offset;
  }
  size_t KeyLength() const { return static_cast<size_t>(RecordLength() - 4); }
  /// The record's key as the index must hold it: the key fields' bytes in
  /// the expression's order, a field's text cut short by a NUL byte filled
  /// up with blanks.
  std::string KeyOf(const std::string& record) const {
    std::string key;
    for (size_t field : ExpressionOrder()) {
      std::string text = record.substr(FieldOffset(field), static_cast<size_t>(widths[field]));
      const size_t nul = text.find('\0');
      if (nul != std::string::npos) std::fill(text.begin() + static_cast<std::ptrdiff_t>(nul), text.end(), ' ');
      key += text;
    }
    return key;
  }
};

// Settings byte.
inline constexpr uint8_t kHideDeleted = 1;
inline constexpr uint8_t kDescending = 2;
inline constexpr uint8_t kReopen = 4;
inline constexpr uint8_t kSmallCache = 8;
inline constexpr uint8_t kForgetDeleted = 16;
inline constexpr uint8_t kReversed = 32;
inline constexpr uint8_t kRawBytes = 64;  // record and search bytes as given
inline constexpr int kBufferSizes[] = {4096, 1024, 128, 80};
inline constexpr int kMaxWidth = 24;
// A value byte: 0xFF is Null; with kFromRecord set the text is taken from a
// record's key (the next byte picks the record), else it follows; the low
// six bits are the text's length.
inline constexpr uint8_t kNullValue = 0xFF;
inline constexpr uint8_t kFromRecord = 0x80;

/// The input's bytes, then a repeatable stream of bytes past their end.
class FuzzBytes {
 public:
  FuzzBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Next() {
    if (at_ < size_) return data_[at_++];
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return static_cast<uint8_t>(state_ >> 56);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  uint64_t state_ = 0x9E3779B97F4A7C15u;
};

/// Reads a case: the settings byte; a byte of field count (1 + b % 3) and
/// buffer size (b / 3 % 4 picks kBufferSizes); three widths (1 + b %
/// kMaxWidth, as many as there are fields); the record count as two bytes
/// n and m (n times 1 + m % 4); the number of searches (b % 16) and each
/// search (its number of values, 1 + b % 4 up to one more than the key's
/// fields, then the value bytes); then the records. Without kRawBytes, the
/// bytes of texts are drawn from a few that keys share and a record byte's
/// low bit is its deletion flag.
inline NtxCase ReadCase(const uint8_t* data, size_t size) {
  // Few bytes, so that keys repeat and share beginnings: the blank, a NUL
  // byte (which ends a field's text) and bytes above 127 among them.
  static constexpr char kKeyBytes[] = {'A', 'B', 'a', ' ', '0', '\0', '\x80', '\xFF'};
  FuzzBytes bytes(data, size);
  NtxCase c;
  const uint8_t settings = bytes.Next();
  const bool raw = (settings & kRawBytes) != 0;
  c.hideDeleted = (settings & kHideDeleted) != 0;
  c.descending = (settings & kDescending) != 0;
  c.reopen = (settings & kReopen) != 0;
  c.smallCache = (settings & kSmallCache) != 0;
  c.forgetDeleted = (settings & kForgetDeleted) != 0;
  c.reversed = (settings & kReversed) != 0;
  const uint8_t shape = bytes.Next();
  const size_t fields = 1 + shape % 3;
  c.bufferSize = kBufferSizes[shape / 3 % 4];
  for (size_t i = 0; i < 3; ++i) {
    const int width = 1 + bytes.Next() % kMaxWidth;
    if (i < fields) c.widths.push_back(width);
  }
  const uint8_t n = bytes.Next();
  const size_t recordCount = static_cast<size_t>(n) * (1 + bytes.Next() % 4);
  const auto textByte = [&] {
    const uint8_t b = bytes.Next();
    return raw ? static_cast<char>(b) : kKeyBytes[b % sizeof kKeyBytes];
  };

  // Values taken from records wait for the records: (search, value, record
  // byte, length).
  struct FromRecord {
    size_t search, value;
    uint8_t record, length;
  };
  std::vector<FromRecord> fromRecords;
  const size_t searchCount = bytes.Next() % 16;
  for (size_t s = 0; s < searchCount; ++s) {
    NtxSearch search;
    const size_t valueCount = 1 + bytes.Next() % 4 % (fields + 1);
    for (size_t v = 0; v < valueCount; ++v) {
      const uint8_t kind = bytes.Next();
      const uint8_t length = kind & 0x3F;
      if (kind == kNullValue) {
        search.values.emplace_back();
      } else if (kind & kFromRecord) {
        fromRecords.push_back({s, v, bytes.Next(), length});
        search.values.emplace_back("");
      } else {
        std::string text;
        for (uint8_t i = 0; i < length; ++i) text.push_back(textByte());
        search.values.emplace_back(std::move(text));
      }
    }
    c.searches.push_back(std::move(search));
  }

  const size_t recordLength = static_cast<size_t>(c.RecordLength());
  for (size_t r = 0; r < recordCount; ++r) {
    std::string record;
    if (raw) {
      for (size_t i = 0; i < recordLength; ++i) record.push_back(static_cast<char>(bytes.Next()));
    } else {
      record = (bytes.Next() & 1) ? "*  1" : "   1";
      while (record.size() < recordLength) record.push_back(textByte());
    }
    c.records.push_back(std::move(record));
  }
  // A value from a record: its key from the value's key field on.
  const std::vector<size_t> order = c.ExpressionOrder();
  for (const FromRecord& from : fromRecords) {
    if (c.records.empty()) continue;
    const std::string key = c.KeyOf(c.records[from.record % c.records.size()]);
    size_t start = 0;
    for (size_t k = 0; k < from.value && k < order.size(); ++k) start += static_cast<size_t>(c.widths[order[k]]);
    c.searches[from.search].values[from.value] = key.substr(std::min(start, key.size()), from.length);
  }
  return c;
}

/// The input bytes that ReadCase reads back as c (records and texts as raw
/// bytes). c must have one to three key fields of widths 1 to kMaxWidth, at
/// most 255 records, at most 15 searches of at most one value more than
/// the key's fields, and texts of at most 63 bytes.
inline std::string WriteCase(const NtxCase& c) {
  std::string out;
  const auto put = [&](int b) { out.push_back(static_cast<char>(b)); };
  put((c.hideDeleted ? kHideDeleted : 0) | (c.descending ? kDescending : 0) | (c.reopen ? kReopen : 0) |
      (c.smallCache ? kSmallCache : 0) | (c.forgetDeleted ? kForgetDeleted : 0) | (c.reversed ? kReversed : 0) |
      kRawBytes);
  const int buffer = static_cast<int>(std::find(std::begin(kBufferSizes), std::end(kBufferSizes), c.bufferSize) -
                                      std::begin(kBufferSizes));
  put(static_cast<int>(c.widths.size()) - 1 + 3 * buffer);
  for (size_t i = 0; i < 3; ++i) put(i < c.widths.size() ? c.widths[i] - 1 : 0);
  put(static_cast<int>(c.records.size()));
  put(0);
  put(static_cast<int>(c.searches.size()));
  for (const NtxSearch& search : c.searches) {
    put(static_cast<int>(search.values.size()) - 1);
    for (const auto& value : search.values) {
      if (!value) {
        put(kNullValue);
        continue;
      }
      put(static_cast<int>(value->size()));
      out += *value;
    }
  }
  for (const std::string& record : c.records) out += record;
  return out;
}

}  // namespace tarvelo::fuzzing
