#include "os/temporary_file.h"

#include <atomic>
#include <cstring>
#include <utility>

namespace tarvelo::os {
namespace {

// The files a signal handler removes: a fixed list, so that the handler
// neither allocates nor locks. A file whose path does not fit, or that
// finds no free place, is removed only by its owner.
constexpr int kSlots = 8;
constexpr size_t kPathBytes = 4096;

struct Slot {
  // 0 free, 1 being filled or emptied, 2 holding a file.
  std::atomic<int> state{0};
  char path[kPathBytes];
  os::FileIdentity identity;
};

Slot slots[kSlots];

int TakeSlot(const std::string& path, const os::FileIdentity& identity) {
  if (path.size() >= kPathBytes) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (!slots[i].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].identity = identity;
    slots[i].state.store(2);
    return i;
  }
  return -1;
}

}  // namespace

TemporaryFile::TemporaryFile(std::string path, os::FileHandle file) {
  if (path.empty() || !os::IdentityOf(file, identity_)) return;
  path_ = std::move(path);
  slot_ = TakeSlot(path_, identity_);
}

TemporaryFile::~TemporaryFile() { Remove(); }

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : path_(std::move(other.path_)), identity_(other.identity_), slot_(other.slot_) {
  other.path_.clear();
  other.slot_ = -1;
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
  if (this == &other) return *this;
  Remove();
  path_ = std::move(other.path_);
  identity_ = other.identity_;
  slot_ = other.slot_;
  other.path_.clear();
  other.slot_ = -1;
  return *this;
}

void TemporaryFile::Release() noexcept {
  if (slot_ >= 0) slots[slot_].state.store(0);
  slot_ = -1;
  path_.clear();
}

void TemporaryFile::Remove() noexcept {
  if (!Holds()) return;
  // Out of the signal handler's list first, so that the two never race.
  if (slot_ >= 0) {
    int expected = 2;
    slots[slot_].state.compare_exchange_strong(expected, 1);
  }
  os::RemoveIfSameFile(path_.c_str(), identity_);
  Release();
}

void RemoveTemporaryFiles() noexcept {
  for (Slot& slot : slots) {
    int expected = 2;
    if (!slot.state.compare_exchange_strong(expected, 1)) continue;
    // The place stays taken until its owner lets it go: were it freed here,
    // another file could take it and the owner's Remove would then free
    // that file's place.
    os::RemoveIfSameFile(slot.path, slot.identity);
  }
}

}  // namespace tarvelo::os
