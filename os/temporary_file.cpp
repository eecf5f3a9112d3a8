#include "os/temporary_file.h"

#include <atomic>
#include <cstring>
#include <utility>

#include "os/process.h"

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
  // The open folder path is relative to (POSIX), or kNoFile.
  os::FileHandle folder;
  char path[kPathBytes];
  os::FileIdentity identity;
  // An empty folder made for a run, rather than a file.
  bool isFolder;
};

Slot slots[kSlots];

int TakeSlot(os::FileHandle folder, const std::string& path, const os::FileIdentity& identity, bool isFolder) {
  if (path.size() >= kPathBytes) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (!slots[i].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].folder = folder;
    slots[i].identity = identity;
    slots[i].isFolder = isFolder;
    slots[i].state.store(2);
    return i;
  }
  return -1;
}

}  // namespace

TemporaryFile::TemporaryFile(std::string path, os::FileHandle file) {
  if (path.empty() || !os::IdentityOf(file, identity_)) return;
  path_ = std::move(path);
  slot_ = TakeSlot(os::kNoFile, path_, identity_, false);
}

TemporaryFile::TemporaryFile(const Folder& folder, const std::string& name, os::FileHandle file) {
  if (name.empty() || !os::IdentityOf(file, identity_)) return;
  folder_ = os::DuplicateFolderHandle(folder.Handle());
  // Where the folder cannot be kept open on its own, the file goes by its
  // path.
  path_ = folder_.IsOpen() ? name : folder.Path() + name;
  slot_ = TakeSlot(folder_.Handle(), path_, identity_, false);
}

TemporaryFile::~TemporaryFile() { Remove(); }

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : path_(std::move(other.path_)),
      folder_(std::move(other.folder_)),
      identity_(other.identity_),
      slot_(std::exchange(other.slot_, -1)) {
  other.path_.clear();
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
  if (this == &other) return *this;
  Remove();
  path_ = std::move(other.path_);
  folder_ = std::move(other.folder_);
  identity_ = other.identity_;
  slot_ = std::exchange(other.slot_, -1);
  other.path_.clear();
  return *this;
}

void TemporaryFile::Release() noexcept {
  if (slot_ >= 0) slots[slot_].state.store(0);
  slot_ = -1;
  path_.clear();
  folder_.Close();
}

void TemporaryFile::Remove() noexcept {
  if (!Holds()) return;
  // A signal that came between taking the file out of the handler's list
  // and removing it would end the process with the file left behind.
  const SignalsHeldOff heldOff;
  // Out of the signal handler's list first, so that the two never race.
  if (slot_ >= 0) {
    int expected = 2;
    slots[slot_].state.compare_exchange_strong(expected, 1);
  }
  os::RemoveIfSameFile(path_.c_str(), identity_, folder_.Handle());
  Release();
}

void RemoveTemporaryFiles() noexcept {
  // The files first, then the folders they emptied.
  for (const bool folders : {false, true}) {
    for (Slot& slot : slots) {
      if (slot.state.load() != 2 || slot.isFolder != folders) continue;
      int expected = 2;
      if (!slot.state.compare_exchange_strong(expected, 1)) continue;
      // The place stays taken until its owner lets it go: were it freed
      // here, another file could take it and the owner's Remove would then
      // free that file's place.
      if (folders) {
        os::RemoveEmptyFolder(slot.folder, slot.path);
      } else {
        os::RemoveIfSameFile(slot.path, slot.identity, slot.folder);
      }
    }
  }
}

int KeepFolderForRemoval(FileHandle parent, const std::string& name) noexcept {
  return TakeSlot(parent, name, {}, true);
}

void ForgetFolderForRemoval(int place) noexcept {
  if (place < 0) return;
  int expected = 2;
  slots[place].state.compare_exchange_strong(expected, 1);
  slots[place].state.store(0);
}

}  // namespace tarvelo::os
