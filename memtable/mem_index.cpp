#include "memtable/mem_index.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <iterator>
#include <limits>

#include "os/text_collation.h"

namespace tarvelo {
namespace {

void AppendInteger(std::string& key, int32_t value) {
  const uint32_t biased = static_cast<uint32_t>(value) ^ 0x80000000u;
  for (int shift = 24; shift >= 0; shift -= 8) key.push_back(static_cast<char>((biased >> shift) & 0xFF));
}

void AppendReal(std::string& key, double value) {
  if (value == 0) value = 0;                                                // -0 equals 0
  if (std::isnan(value)) value = std::numeric_limits<double>::quiet_NaN();  // after every number
  uint64_t bits = std::bit_cast<uint64_t>(value);
  const uint64_t sign = uint64_t{1} << 63;
  bits = (bits & sign) != 0 ? ~bits : bits ^ sign;
  for (int shift = 56; shift >= 0; shift -= 8) key.push_back(static_cast<char>((bits >> shift) & 0xFF));
}

}  // namespace

size_t MemIndex::InsertPosition(const std::string& key) const {
  size_t low = 0;
  size_t high = entries.size();
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (entries[middle].key.compare(key) < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

void MemIndex::MergeAppended() {
  if (appended.empty()) return;
  // The batch is put in reverse append order, sorted stably, and placed
  // before the older entries of equal key.
  auto& batch = appended;
  std::reverse(batch.begin(), batch.end());
  const auto byKey = [](const MemIndexEntry& a, const MemIndexEntry& b) { return a.key < b.key; };
  std::stable_sort(batch.begin(), batch.end(), byKey);
  std::vector<MemIndexEntry> merged;
  merged.reserve(entries.size() + batch.size());
  std::merge(std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()),
             std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()),
             std::back_inserter(merged), byKey);
  entries.swap(merged);
  batch.clear();
}

MemKeyEncoder::MemKeyEncoder(const std::string& collationLocale)
    : collation_(std::make_unique<os::TextCollation>(collationLocale)) {}

MemKeyEncoder::~MemKeyEncoder() = default;

void MemKeyEncoder::Encode(const MemIndex& index, const std::vector<MemCell>& cells, std::string& key) {
  AppendKey(index, cells, key, false);
}

void MemKeyEncoder::EncodeSearch(const MemIndex& index, const std::vector<MemCell>& cells, std::string& key) {
  AppendKey(index, cells, key, true);
}

void MemKeyEncoder::ResetSearches(size_t fieldCount) { searches_.assign(fieldCount * kSlots, CachedSortKey{}); }

const std::string& MemKeyEncoder::SearchSortKey(size_t f, const std::string& text) {
  uint32_t hash = 2166136261u;
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  CachedSortKey& entry = searches_[f * kSlots + (hash & (kSlots - 1))];
  if (!entry.valid || entry.text != text) {
    entry.valid = false;
    collation_->SortKey(text, entry.sortKey);
    entry.text = text;
    entry.valid = true;
  }
  return entry.sortKey;
}

// Text adds its collation sort key, the byte 0, its own bytes and the byte
// 0: the collation decides, and texts it holds equal are ordered by their
// bytes, so that only identical texts are equal keys. Neither a sort key nor
// a stored text holds the byte 0, so a shorter text that is a prefix of a
// longer one sorts first and the following fields stay aligned.
void MemKeyEncoder::AppendKey(const MemIndex& index, const std::vector<MemCell>& cells, std::string& key, bool search) {
  key.clear();
  for (size_t i = 0; i < index.fields.size(); ++i) {
    const size_t f = static_cast<size_t>(index.fields[i]);
    const MemCell& cell = cells[f];
    if (!cell.present) {
      key.push_back('\0');
      continue;
    }
    key.push_back('\1');
    switch (index.types[i]) {
      case ftInteger:
        AppendInteger(key, cell.integer);
        break;
      case ftFloat:
        AppendReal(key, cell.real);
        break;
      default: {
        if (search) {
          key.append(SearchSortKey(f, cell.text));
        } else {
          collation_->SortKey(cell.text, sortKeyBuffer_);
          key.append(sortKeyBuffer_);
        }
        key.push_back('\0');
        key.append(cell.text);
        key.push_back('\0');
        break;
      }
    }
  }
}

}  // namespace tarvelo
