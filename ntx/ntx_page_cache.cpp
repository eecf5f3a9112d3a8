#include "ntx/ntx_page_cache.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "values/errors.h"

namespace tarvelo {

void ThrowPageWriteError(const std::string& path, int error) {
  DbfError failure("NtxIndex.WritePage: Write error \"" + path + "\"");
  failure.SetReason(os::SystemReason(error));
  throw failure;
}

NtxPageCache::NtxPageCache(os::FileHandle file, std::string path, size_t capacity)
    : file_(file), path_(std::move(path)) {
  const size_t sets = std::min<size_t>(std::max(capacity, kMinCapacity) / kWays, UINT32_MAX);
  capacity_ = sets * kWays;
  frames_ = std::make_unique<os::MemoryPages>(capacity_ * kPageSize);
  sets_.resize(sets);
  setReciprocal_ = UINT64_MAX / sets + 1;
  Clear();
}

void NtxPageCache::Touch(Set& set, int way) {
  const uint8_t rank = set.ranks[way];
  for (int w = 0; w < kWays; ++w) {
    if (set.ranks[w] < rank) ++set.ranks[w];
  }
  set.ranks[way] = 0;
}

void NtxPageCache::WriteFrame(const uint8_t* data, uint32_t offset) {
  const int error = os::WriteAt(file_, offset, data, kPageSize);
  if (error != 0) ThrowPageWriteError(path_, error);
}

int NtxPageCache::TakeWay(Set& set) {
  int way = 0;
  while (set.ranks[way] != kWays - 1) ++way;
  const uint32_t tag = set.tags[way];
  if ((tag & kChanged) != 0) {
    WriteFrame(FrameData(set, way), tag & ~kFlags);
  }
  set.tags[way] = 0;
  return way;
}

uint8_t* NtxPageCache::Fetch(uint32_t offset, bool forWrite, bool& loaded) {
  loaded = false;
  Set& set = SetOf(offset);
  for (int way = 0; way < kWays; ++way) {
    if ((set.tags[way] & ~kFlags) != offset) continue;
    Touch(set, way);
    if (forWrite) set.tags[way] |= kChanged;
    uint8_t* data = FrameData(set, way);
    // A page found here was likely used long ago: ask for all its lines at
    // once rather than one by one as a search reaches them. (The loop stays
    // here: a function doing nothing but prefetch may be dropped whole by
    // the compiler.)
    for (int line = 0; line < kPageSize; line += 64) __builtin_prefetch(data + line);
    return data;
  }
  const int way = TakeWay(set);
  uint8_t* data = FrameData(set, way);
  // The frame, left empty, stays the least recently used of its set.
  if (os::ReadAt(file_, offset, data, kPageSize).bytes < static_cast<size_t>(kPageSize))
    throw DbfError("NtxIndex.ReadPage: Read error \"" + path_ + "\"");
  set.tags[way] = offset | (forWrite ? kChanged : 0);
  Touch(set, way);
  loaded = true;
  return data;
}

uint8_t* NtxPageCache::Allocate(uint32_t offset) {
  Set& set = SetOf(offset);
  int way = 0;
  while (way < kWays && (set.tags[way] & ~kFlags) != offset) ++way;
  if (way == kWays) way = TakeWay(set);
  set.tags[way] = offset | kChanged;
  Touch(set, way);
  return FrameData(set, way);
}

void NtxPageCache::Load(uint32_t offset, size_t count) {
  while (count > 0) {
    // No two pages of one read fall into the same set.
    const size_t run = std::min({count, kMaxRun, sets_.size()});
    os::FilePiece parts[kMaxRun];
    std::pair<Set*, int> frames[kMaxRun];
    for (size_t i = 0; i < run; ++i) {
      const uint32_t page = offset + static_cast<uint32_t>(i * kPageSize);
      Set& set = SetOf(page);
      const int way = TakeWay(set);
      Touch(set, way);
      frames[i] = {&set, way};
      parts[i] = {FrameData(set, way), kPageSize};
    }
    if (os::ReadPiecesAt(file_, offset, parts, run).bytes < run * kPageSize)
      throw DbfError("NtxIndex.ReadPage: Read error \"" + path_ + "\"");
    for (size_t i = 0; i < run; ++i)
      frames[i].first->tags[frames[i].second] = offset + static_cast<uint32_t>(i * kPageSize);
    offset += static_cast<uint32_t>(run * kPageSize);
    count -= run;
  }
}

const uint8_t* NtxPageCache::Peek(uint32_t offset) const {
  if (offset == 0) return nullptr;  // the tag of an empty frame
  const Set& set = SetOf(offset);
  for (int way = 0; way < kWays; ++way) {
    if ((set.tags[way] & ~kFlags) == offset) return FrameData(set, way);
  }
  return nullptr;
}

uint8_t* NtxPageCache::Find(uint32_t offset) {
  if (offset == 0) return nullptr;  // the tag of an empty frame
  Set& set = SetOf(offset);
  for (int way = 0; way < kWays; ++way) {
    if ((set.tags[way] & ~kFlags) != offset) continue;
    Touch(set, way);
    return FrameData(set, way);
  }
  return nullptr;
}

size_t NtxPageCache::ReadAhead(uint32_t offset, size_t count, uint32_t fileEnd, LoadedPage* loaded) {
  // No two pages of one read fall into the same set.
  const size_t inFile = fileEnd > offset ? (fileEnd - offset) / kPageSize : 0;
  const size_t run = std::max<size_t>(1, std::min({count, kMaxRun, sets_.size(), inFile}));
  readSpace_.resize(run * kPageSize);
  const size_t got = os::ReadAt(file_, offset, readSpace_.data(), run * kPageSize).bytes / kPageSize;
  if (got == 0) throw DbfError("NtxIndex.ReadPage: Read error \"" + path_ + "\"");
  size_t filled = 0;
  for (size_t i = 0; i < got; ++i) {
    const uint32_t page = offset + static_cast<uint32_t>(i * kPageSize);
    if (Peek(page) != nullptr) continue;  // the cached page may be newer than the file's
    Set& set = SetOf(page);
    const int way = TakeWay(set);
    uint8_t* data = FrameData(set, way);
    std::memcpy(data, readSpace_.data() + i * kPageSize, kPageSize);
    set.tags[way] = page;
    Touch(set, way);
    loaded[filled++] = {page, data};
  }
  return filled;
}

void NtxPageCache::Flush() {
  std::vector<std::pair<uint32_t, uint32_t>> changed;  // offset, frame
  for (size_t s = 0; s < sets_.size(); ++s) {
    for (int way = 0; way < kWays; ++way) {
      const uint32_t tag = sets_[s].tags[way];
      if ((tag & kChanged) != 0) changed.emplace_back(tag & ~kFlags, static_cast<uint32_t>(s * kWays + way));
    }
  }
  std::sort(changed.begin(), changed.end());
  size_t start = 0;
  while (start < changed.size()) {
    size_t end = start + 1;
    while (end < changed.size() && end - start < kMaxRun &&
           changed[end].first == changed[end - 1].first + static_cast<uint32_t>(kPageSize))
      ++end;
    WriteRun(changed.data() + start, end - start);
    start = end;
  }
}

void NtxPageCache::WriteRun(const std::pair<uint32_t, uint32_t>* run, size_t count) {
  os::FilePiece parts[kMaxRun] = {};
  for (size_t i = 0; i < count; ++i)
    parts[i] = {frames_->Data() + static_cast<size_t>(run[i].second) * kPageSize, kPageSize};
  const int error = os::WritePiecesAt(file_, run[0].first, parts, count);
  if (error != 0) ThrowPageWriteError(path_, error);
  for (size_t i = 0; i < count; ++i) sets_[run[i].second / kWays].tags[run[i].second % kWays] &= ~kChanged;
}

void NtxPageCache::Clear() {
  for (Set& set : sets_) {
    for (int way = 0; way < kWays; ++way) {
      set.tags[way] = 0;
      set.ranks[way] = static_cast<uint8_t>(way);
    }
  }
}

}  // namespace tarvelo
