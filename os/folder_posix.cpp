#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "os/folder.h"
#include "os/temporary_file.h"

namespace tarvelo::os {
namespace {

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

// The folder path opened for use as a folder only: neither read nor
// written, only the base of names (O_PATH asks no permission of it).
int OpenAsBase(const std::string& path) {
  return ::open(path.empty() ? "." : path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// Why the open folder at fd may not keep a user's files alone; empty when
// it may (a folder of this user that no one else may enter).
std::string PrivateFolderFault(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return SystemReason(errno);
  if (!S_ISDIR(info.st_mode)) return "Not a folder";
  if (info.st_uid != ::geteuid()) return "Owned by another user";
  if ((info.st_mode & 077) != 0) return "Open to other users";
  return {};
}

// The entry name of the open folder parent, opened as a folder without
// following a link; -1 and reason when it is not a private folder.
int OpenPrivateEntry(int parent, const std::string& name, std::string& reason) {
  const int fd = ::openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    reason = errno == ELOOP || errno == ENOTDIR ? "Not a folder" : SystemReason(errno);
    return -1;
  }
  reason = PrivateFolderFault(fd);
  if (reason.empty()) return fd;
  ::close(fd);
  return -1;
}

}  // namespace

void Folder::Close() noexcept {
  if (handle_ != kNoFile) ::close(static_cast<int>(handle_));
  handle_ = kNoFile;
  if (parent_ == kNoFile) return;
  // A folder made for the run goes with it, once empty.
  ForgetFolderForRemoval(slot_);
  slot_ = -1;
  RemoveEmptyFolder(parent_, name_.c_str());
  ::close(static_cast<int>(parent_));
  parent_ = kNoFile;
}

LockedFile Folder::CreateLockedFile(const std::string& name, const EntryCheck& keep) const {
  if (!IsOpen()) return {File(), SystemReason(error_), error_};
  return os::CreateLockedFile(name, keep, handle_);
}

Folder OpenFolder(const std::string& path) {
  Folder folder;
  folder.path_ = WithSlash(path);
  const int fd = OpenAsBase(path);
  if (fd < 0) folder.error_ = errno;
  folder.handle_ = fd < 0 ? kNoFile : fd;
  return folder;
}

Folder OpenOwnFolder(const std::string& path) {
  Folder folder = OpenFolder(path);
  if (!folder.IsOpen()) return folder;
  const int fd = static_cast<int>(folder.handle_);
  struct stat info {};
  const bool own = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
                   (info.st_mode & 022) == 0 && ::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) == 0;
  if (!own) folder.Close();
  return folder;
}

Folder OpenPrivateFolder(const std::string& parent, const std::string& name, std::string& reason) {
  Folder folder;
  folder.path_ = WithSlash(parent) + name + "/";
  const int base = OpenAsBase(parent);
  if (base < 0) {
    reason = SystemReason(errno);
    return folder;
  }
  // mkdirat neither follows nor replaces an entry of that name; what is
  // there is looked at, open, as it is.
  int fd = -1;
  if (::mkdirat(base, name.c_str(), 0700) != 0 && errno != EEXIST) {
    reason = SystemReason(errno);
  } else {
    fd = OpenPrivateEntry(base, name, reason);
  }
  ::close(base);
  if (fd >= 0) folder.handle_ = fd;
  return folder;
}

Folder MakeRunFolder(const std::string& parent, const std::string& prefix, std::string& reason) {
  Folder folder;
  const int base = OpenAsBase(parent);
  if (base < 0) {
    reason = SystemReason(errno);
    return folder;
  }
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) break;
    std::string name = prefix + "-";
    for (const unsigned char byte : random) name += kLetters[byte % (sizeof kLetters - 1)];
    if (::mkdirat(base, name.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      reason = SystemReason(errno);
      break;
    }
    const int fd = OpenPrivateEntry(base, name, reason);
    if (fd < 0) break;
    folder.handle_ = fd;
    folder.path_ = WithSlash(parent) + name + "/";
    folder.parent_ = base;
    folder.name_ = name;
    folder.slot_ = KeepFolderForRemoval(base, name);
    return folder;
  }
  if (reason.empty()) reason = SystemReason(EEXIST);
  ::close(base);
  return folder;
}

std::string UserLocalDataFolder() { return {}; }

bool OthersMayChange(const std::string& path) {
  struct stat info {};
  if (::stat(path.empty() ? "." : path.c_str(), &info) != 0) return false;
  if (info.st_uid != ::geteuid() && info.st_uid != 0) return true;
  const bool groupWrites = (info.st_mode & S_IWGRP) != 0 && info.st_gid != ::getegid();
  const bool everyoneWrites = (info.st_mode & S_IWOTH) != 0;
  if (S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0) return false;
  return groupWrites || everyoneWrites;
}

}  // namespace tarvelo::os
