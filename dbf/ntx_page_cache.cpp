#include "dbf/ntx_page_cache.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "values/errors.h"

namespace tarvelo {
namespace {

// Multiplicative hashing: the high bits of the product pick the slot.
uint32_t HashOf(uint32_t offset, int shift) { return ((offset / NtxPageCache::kPageSize) * 2654435761u) >> shift; }

}  // namespace

NtxPageCache::NtxPageCache(int fd, std::string path, size_t capacity)
    : fd_(fd), path_(std::move(path)), capacity_(std::max(capacity, kMinCapacity)) {
  frames_.reset(new uint8_t[capacity_ * kPageSize]);
  offsets_.assign(capacity_, 0);
  dirty_.assign(capacity_, 0);
  prev_.assign(capacity_, -1);
  next_.assign(capacity_, -1);
  size_t slots = 2;
  shift_ = 31;
  while (slots < capacity_ * 2) {
    slots *= 2;
    --shift_;
  }
  slots_.assign(slots, -1);
  mask_ = static_cast<uint32_t>(slots - 1);
}

int NtxPageCache::FindSlot(uint32_t offset) const {
  uint32_t at = HashOf(offset, shift_);
  while (slots_[at] >= 0) {
    if (offsets_[static_cast<size_t>(slots_[at])] == offset) return static_cast<int>(at);
    at = (at + 1) & mask_;
  }
  return -1;
}

void NtxPageCache::InsertSlot(int frame) {
  uint32_t at = HashOf(offsets_[static_cast<size_t>(frame)], shift_);
  while (slots_[at] >= 0) at = (at + 1) & mask_;
  slots_[at] = frame;
}

void NtxPageCache::EraseSlot(uint32_t offset) {
  const int found = FindSlot(offset);
  if (found < 0) return;
  // Backward-shift deletion keeps every probe chain unbroken.
  uint32_t hole = static_cast<uint32_t>(found);
  slots_[hole] = -1;
  uint32_t at = hole;
  while (true) {
    at = (at + 1) & mask_;
    if (slots_[at] < 0) return;
    const uint32_t home = HashOf(offsets_[static_cast<size_t>(slots_[at])], shift_);
    // The entry may move into the hole unless its home lies cyclically in
    // (hole, at].
    const bool stays = hole <= at ? (home > hole && home <= at) : (home > hole || home <= at);
    if (stays) continue;
    slots_[hole] = slots_[at];
    slots_[at] = -1;
    hole = at;
  }
}

void NtxPageCache::Unlink(int frame) {
  const int before = prev_[static_cast<size_t>(frame)];
  const int after = next_[static_cast<size_t>(frame)];
  if (before >= 0)
    next_[static_cast<size_t>(before)] = after;
  else
    head_ = after;
  if (after >= 0)
    prev_[static_cast<size_t>(after)] = before;
  else
    tail_ = before;
  prev_[static_cast<size_t>(frame)] = -1;
  next_[static_cast<size_t>(frame)] = -1;
}

void NtxPageCache::PushFront(int frame) {
  prev_[static_cast<size_t>(frame)] = -1;
  next_[static_cast<size_t>(frame)] = head_;
  if (head_ >= 0) prev_[static_cast<size_t>(head_)] = frame;
  head_ = frame;
  if (tail_ < 0) tail_ = frame;
}

void NtxPageCache::WriteFrame(int frame) {
  const uint8_t* data = FrameData(frame);
  const off_t offset = static_cast<off_t>(offsets_[static_cast<size_t>(frame)]);
  size_t done = 0;
  while (done < static_cast<size_t>(kPageSize)) {
    const ssize_t wrote = ::pwrite(fd_, data + done, kPageSize - done, offset + static_cast<off_t>(done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) throw DbfError("NtxIndex.WritePage: Write error \"" + path_ + "\"");
    done += static_cast<size_t>(wrote);
  }
  dirty_[static_cast<size_t>(frame)] = 0;
}

int NtxPageCache::TakeFrame() {
  if (static_cast<size_t>(used_) < capacity_) return used_++;
  const int victim = tail_;
  if (dirty_[static_cast<size_t>(victim)] != 0) WriteFrame(victim);
  EraseSlot(offsets_[static_cast<size_t>(victim)]);
  Unlink(victim);
  return victim;
}

uint8_t* NtxPageCache::Fetch(uint32_t offset, bool forWrite, bool& loaded) {
  loaded = false;
  const int slot = FindSlot(offset);
  int frame;
  if (slot >= 0) {
    frame = slots_[static_cast<size_t>(slot)];
    if (frame != head_) {
      Unlink(frame);
      PushFront(frame);
    }
  } else {
    frame = TakeFrame();
    uint8_t* data = FrameData(frame);
    size_t done = 0;
    while (done < static_cast<size_t>(kPageSize)) {
      const off_t at = static_cast<off_t>(offset) + static_cast<off_t>(done);
      const ssize_t got = ::pread(fd_, data + done, kPageSize - done, at);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        // The frame holds no page now: it goes back as the least recent,
        // outside the lookup table, to be taken first.
        offsets_[static_cast<size_t>(frame)] = UINT32_MAX;
        dirty_[static_cast<size_t>(frame)] = 0;
        if (tail_ >= 0) {
          prev_[static_cast<size_t>(frame)] = tail_;
          next_[static_cast<size_t>(tail_)] = frame;
          tail_ = frame;
        } else {
          PushFront(frame);
        }
        throw DbfError("NtxIndex.ReadPage: Read error \"" + path_ + "\"");
      }
      done += static_cast<size_t>(got);
    }
    offsets_[static_cast<size_t>(frame)] = offset;
    dirty_[static_cast<size_t>(frame)] = 0;
    InsertSlot(frame);
    PushFront(frame);
    loaded = true;
  }
  if (forWrite) dirty_[static_cast<size_t>(frame)] = 1;
  return FrameData(frame);
}

uint8_t* NtxPageCache::Allocate(uint32_t offset) {
  const int frame = TakeFrame();
  offsets_[static_cast<size_t>(frame)] = offset;
  dirty_[static_cast<size_t>(frame)] = 1;
  InsertSlot(frame);
  PushFront(frame);
  uint8_t* data = FrameData(frame);
  std::memset(data, 0, kPageSize);
  return data;
}

void NtxPageCache::Flush() {
  std::vector<int> changed;
  for (int frame = 0; frame < used_; ++frame) {
    if (dirty_[static_cast<size_t>(frame)] != 0) changed.push_back(frame);
  }
  std::sort(changed.begin(), changed.end(),
            [this](int a, int b) { return offsets_[static_cast<size_t>(a)] < offsets_[static_cast<size_t>(b)]; });
  for (const int frame : changed) WriteFrame(frame);
}

void NtxPageCache::Clear() {
  used_ = 0;
  head_ = -1;
  tail_ = -1;
  std::fill(slots_.begin(), slots_.end(), -1);
  std::fill(dirty_.begin(), dirty_.end(), 0);
}

}  // namespace tarvelo
