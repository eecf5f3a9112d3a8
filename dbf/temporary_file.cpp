#include "dbf/temporary_file.h"

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <utility>

namespace tarvelo {
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
  dev_t device;
  ino_t inode;
};

Slot slots[kSlots];

bool StillNames(const char* path, dev_t device, ino_t inode) {
  struct stat info {};
  return ::lstat(path, &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

int TakeSlot(const std::string& path, dev_t device, ino_t inode) {
  if (path.size() >= kPathBytes) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (!slots[i].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].device = device;
    slots[i].inode = inode;
    slots[i].state.store(2);
    return i;
  }
  return -1;
}

}  // namespace

TemporaryFile::TemporaryFile(std::string path, int fd) {
  struct stat info {};
  if (path.empty() || ::fstat(fd, &info) != 0) return;
  path_ = std::move(path);
  device_ = info.st_dev;
  inode_ = info.st_ino;
  slot_ = TakeSlot(path_, device_, inode_);
}

TemporaryFile::~TemporaryFile() { Remove(); }

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : path_(std::move(other.path_)), device_(other.device_), inode_(other.inode_), slot_(other.slot_) {
  other.path_.clear();
  other.slot_ = -1;
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
  if (this == &other) return *this;
  Remove();
  path_ = std::move(other.path_);
  device_ = other.device_;
  inode_ = other.inode_;
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
  if (StillNames(path_.c_str(), device_, inode_)) ::unlink(path_.c_str());
  Release();
}

SignalsHeldOff::SignalsHeldOff() {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous_);
}

SignalsHeldOff::~SignalsHeldOff() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

void RemoveTemporaryFiles() noexcept {
  for (Slot& slot : slots) {
    int expected = 2;
    if (!slot.state.compare_exchange_strong(expected, 1)) continue;
    if (StillNames(slot.path, slot.device, slot.inode)) ::unlink(slot.path);
    slot.state.store(0);
  }
}

}  // namespace tarvelo
