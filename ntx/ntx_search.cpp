// Searches of an open index: the descent to the first key not before a
// text, and the cursor that walks the keys from there in key order.

#include "ntx/ntx_index.h"

#include <cstring>
#include <string>
#include <vector>

#include "dbf/dbf_table.h"
#include "ntx/ntx_build.h"
#include "ntx/ntx_open_file.h"
#include "values/errors.h"

namespace tarvelo {
namespace {

using namespace ntx;  // the file's layout

// True when one of the eight bytes of value is 0.
bool HasZeroByte(uint64_t value) { return ((value - 0x0101010101010101u) & ~value & 0x8080808080808080u) != 0; }

}  // namespace

int NtxIndex::CompareKeys(const uint8_t* a, const uint8_t* b) const {
  const int result = CompareKeyBytes(a, b, static_cast<size_t>(file_->keyLength));
  return file_->descending ? -result : result;
}

int NtxIndex::ComparePrefix(const uint8_t* key, const uint8_t* text, size_t length) const {
  // An empty text (the first key is wanted) stands before every key; it may
  // come as a null pointer, which memcmp must not see.
  if (length == 0) return 0;
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

int NtxIndex::FirstSlotNotBefore(const uint8_t* bytes, int low, int high, const uint8_t* text, size_t length) const {
  while (low < high) {
    const int middle = (low + high) / 2;
    if (ComparePrefix(file_->KeyAt(bytes, middle), text, length) < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
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
      leaf.pos = FirstSlotNotBefore(bytes, leaf.pos, count, text, length);
      f.cursor = f.finger;
      f.fingerText.assign(reinterpret_cast<const char*>(text), length);
      return;
    }
  }
  f.cursor.clear();
  uint32_t page = f.root;
  while (true) {
    const uint8_t* bytes = Page(page);
    const int low = FirstSlotNotBefore(bytes, 0, f.Count(bytes), text, length);
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

bool NtxIndex::KeyRecordVisible(int64_t recno) {
  const int known = KnownVisibility(recno, table_.Deleted());
  return known >= 0 ? known > 0 : table_.LoadVisible(recno);
}

bool NtxIndex::FindKey(const std::vector<Variant>& values) {
  if (!table_.IsOpen() || !file_) return false;
  SaveCursor();
  int64_t recno = 0;
  bool found = SeekFirst(values, recno);
  while (found && !KeyRecordVisible(recno)) found = SeekNext(recno);
  if (found) {
    table_.StandOn(recno, false);
    return true;
  }
  RestoreCursor();
  // The table stands again where it stood: its record is read again when
  // the searches took its block.
  table_.StandOn(table_.RecordNumber(), table_.AtEnd());
  return false;
}

void NtxIndex::First() {
  if (!table_.IsOpen() || !file_) return;
  int64_t recno = 0;
  bool found = CursorFirst(recno);
  while (found && !KeyRecordVisible(recno)) found = CursorNext(recno);
  table_.StandOn(found ? recno : 0, !found);
}

void NtxIndex::Next() {
  if (!table_.IsOpen() || !file_) return;
  if (table_.RecordNumber() == 0) {
    table_.StandOn(0, true);
    return;
  }
  int64_t recno = 0;
  bool found = CursorNext(recno);
  while (found && !KeyRecordVisible(recno)) found = CursorNext(recno);
  table_.StandOn(found ? recno : table_.RecordNumber(), !found);
}

void NtxIndex::StandAfterBuild() {
  const std::string_view record = table_.CurrentRecord();
  const bool visible = !record.empty() && !(table_.Deleted() && record[0] == '*');
  if (visible && CursorToRecord(table_.RecordNumber(), record)) {
    table_.StandOn(table_.RecordNumber(), false);
  } else {
    First();
  }
}

}  // namespace tarvelo
