#include "dbf/ntx_page_cache.h"

#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "values/errors.h"

namespace tarvelo {

namespace {

// After a read or write of bytes into or from parts[first..count): the
// parts done whole are passed, a part done in part keeps what is left.
// Returns the first part not done.
size_t PassParts(iovec* parts, size_t count, size_t first, size_t bytes) {
  while (first < count && bytes >= parts[first].iov_len) bytes -= parts[first++].iov_len;
  if (first < count) {
    parts[first].iov_base = static_cast<uint8_t*>(parts[first].iov_base) + bytes;
    parts[first].iov_len -= bytes;
  }
  return first;
}

}  // namespace

void ThrowPageWriteError(const std::string& path, long wrote) {
  DbfError error("NtxIndex.WritePage: Write error \"" + path + "\"");
  error.SetReason(SystemReason(wrote < 0 ? errno : ENOSPC));
  throw error;
}

MappedMemory::MappedMemory(size_t bytes) : length_(std::max<size_t>(bytes, 1)) {
  void* mapping = ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  data_ = static_cast<uint8_t*>(mapping);
}

MappedMemory::~MappedMemory() { ::munmap(data_, length_); }

NtxPageCache::NtxPageCache(int fd, std::string path, size_t capacity)
    : fd_(fd), path_(std::move(path)) {
  const size_t sets = std::min<size_t>(std::max(capacity, kMinCapacity) / kWays, UINT32_MAX);
  capacity_ = sets * kWays;
  frames_ = std::make_unique<MappedMemory>(capacity_ * kPageSize);
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
  size_t done = 0;
  while (done < static_cast<size_t>(kPageSize)) {
    const ssize_t wrote =
        ::pwrite(fd_, data + done, kPageSize - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) ThrowPageWriteError(path_, wrote);
    done += static_cast<size_t>(wrote);
  }
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
  size_t done = 0;
  while (done < static_cast<size_t>(kPageSize)) {
    const off_t at = static_cast<off_t>(offset) + static_cast<off_t>(done);
    const ssize_t got = ::pread(fd_, data + done, kPageSize - done, at);
    if (got < 0 && errno == EINTR) continue;
    // The frame, left empty, stays the least recently used of its set.
    if (got <= 0) throw DbfError("NtxIndex.ReadPage: Read error \"" + path_ + "\"");
    done += static_cast<size_t>(got);
  }
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
    iovec parts[kMaxRun];
    std::pair<Set*, int> frames[kMaxRun];
    for (size_t i = 0; i < run; ++i) {
      const uint32_t page = offset + static_cast<uint32_t>(i * kPageSize);
      Set& set = SetOf(page);
      const int way = TakeWay(set);
      Touch(set, way);
      frames[i] = {&set, way};
      parts[i].iov_base = FrameData(set, way);
      parts[i].iov_len = kPageSize;
    }
    const size_t total = run * kPageSize;
    size_t done = 0;
    size_t first = 0;
    while (done < total) {
      const ssize_t got = ::preadv(fd_, parts + first, static_cast<int>(run - first),
                                   static_cast<off_t>(offset) + static_cast<off_t>(done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) throw DbfError("NtxIndex.ReadPage: Read error \"" + path_ + "\"");
      done += static_cast<size_t>(got);
      first = PassParts(parts, run, first, static_cast<size_t>(got));
    }
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
  iovec parts[kMaxRun];
  for (size_t i = 0; i < count; ++i) {
    parts[i].iov_base = frames_->Data() + static_cast<size_t>(run[i].second) * kPageSize;
    parts[i].iov_len = kPageSize;
  }
  const size_t total = count * kPageSize;
  size_t done = 0;
  size_t first = 0;  // the part where the write goes on
  while (done < total) {
    const ssize_t wrote = ::pwritev(fd_, parts + first, static_cast<int>(count - first),
                                    static_cast<off_t>(run[0].first) + static_cast<off_t>(done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) ThrowPageWriteError(path_, wrote);
    done += static_cast<size_t>(wrote);
    first = PassParts(parts, count, first, static_cast<size_t>(wrote));
  }
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
