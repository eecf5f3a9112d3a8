#include "os/file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "os/process.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo::os {
namespace {

// Pieces of one scattered read or write.
constexpr size_t kPiecesAtOnce = 64;

LockedFile Failure(int error) { return {kNoFile, SystemReason(error), error}; }

// Locks fd exclusively without waiting; on failure closes it.
LockedFile Lock(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return {fd, {}, 0};
  const int error = errno;
  ::close(fd);
  return Failure(error);
}

OpenedFile Opened(int fd) { return {fd, fd < 0 ? errno : 0}; }

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

// Reads or writes the pieces from offset on through call (preadv or
// pwritev), as many calls as it takes: the bytes done, and 0 or the error
// that stopped it; a call that does nothing stops it with 0.
template <typename Call>
ReadResult PiecesAt(Call call, FileHandle file, int64_t offset, const FilePiece* pieces, size_t count) {
  ReadResult result;
  for (size_t start = 0; start < count; start += kPiecesAtOnce) {
    const size_t run = std::min(count - start, kPiecesAtOnce);
    iovec parts[kPiecesAtOnce];
    size_t total = 0;
    for (size_t i = 0; i < run; ++i) {
      parts[i] = {pieces[start + i].data, pieces[start + i].size};
      total += parts[i].iov_len;
    }
    size_t done = 0;
    size_t first = 0;  // the part where the call goes on
    while (done < total) {
      const ssize_t got = call(file, parts + first, static_cast<int>(run - first),
                               static_cast<off_t>(offset) + static_cast<off_t>(result.bytes + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        result.bytes += done;
        result.error = got < 0 ? errno : 0;
        return result;
      }
      done += static_cast<size_t>(got);
      first = PassParts(parts, run, first, static_cast<size_t>(got));
    }
    result.bytes += done;
  }
  return result;
}

}  // namespace

std::string SystemReason(int error) {
  if (error == EWOULDBLOCK || error == EAGAIN) return kFileInUse;
  // The English text whatever the process's locale.
  const char* text = strerrordesc_np(error);
  if (text == nullptr) return "Error " + std::to_string(error);
  return Utf8ToCp1252(text);
}

bool IsNoSuchFile(int error) { return error == ENOENT; }

LockedFile OpenLockedFile(const std::string& path, FileAccess access) {
  // O_NONBLOCK keeps a FIFO from blocking the open; it changes nothing for
  // regular files.
  const int mode = access == FileAccess::kReadWrite ? O_RDWR : O_RDONLY;
  const int fd = ::open(path.c_str(), mode | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Failure(errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const bool directory = S_ISDIR(info.st_mode);
    ::close(fd);
    return directory ? Failure(EISDIR) : LockedFile{kNoFile, "Not a regular file", 0};
  }
  return Lock(fd);
}

LockedFile CreateLockedFile(const std::string& path) {
  const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd >= 0) return Lock(fd);
    if (errno != EEXIST) return Failure(errno);
    if (attempt > 0) break;
    // An entry of that name: a regular file that another run still holds
    // stays; anything else goes, the held lock keeping others off meanwhile.
    struct stat info {};
    int held = -1;
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      held = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      if (held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(held);
        return Failure(error);
      }
    }
    const bool removed = ::unlink(path.c_str()) == 0 || errno == ENOENT;
    const int error = errno;
    if (held >= 0) ::close(held);
    if (!removed) return Failure(error);
  }
  // Another run made the file between the removal and the creation.
  return Failure(EWOULDBLOCK);
}

OpenedFile OpenForReading(const std::string& path) { return Opened(::open(path.c_str(), O_RDONLY | O_CLOEXEC)); }

OpenedFile CreateBeside(const std::string& target, std::string& name) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + "." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return Opened(fd);
  }
  return {kNoFile, EEXIST};
}

// O_TMPFILE where the file system has it, else a new name made and removed
// at once, with the signals held off in between so that none can leave the
// file behind.
OpenedFile CreateNamelessFile(const std::string& folder) {
  const std::string where = folder.empty() ? "." : folder;
#ifdef O_TMPFILE
  const int fd = ::open(where.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return Opened(fd);
#endif
  std::string pattern = where + "/.tarvelo-sort-XXXXXX";
  const SignalsHeldOff heldOff;
  const OpenedFile named = Opened(::mkostemp(pattern.data(), O_CLOEXEC));
  if (named.file >= 0) ::unlink(pattern.c_str());
  return named;
}

int CloseFile(FileHandle file) {
  if (file < 0) return 0;
  return ::close(file) == 0 ? 0 : errno;
}

ReadResult ReadAt(FileHandle file, int64_t offset, void* into, size_t count) {
  ReadResult result;
  while (result.bytes < count) {
    const ssize_t got = ::pread(file, static_cast<char*>(into) + result.bytes, count - result.bytes,
                                static_cast<off_t>(offset) + static_cast<off_t>(result.bytes));
    if (got < 0) {
      if (errno == EINTR) continue;
      result.error = errno;
      break;
    }
    if (got == 0) break;
    result.bytes += static_cast<size_t>(got);
  }
  return result;
}

int WriteAt(FileHandle file, int64_t offset, const void* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t wrote = ::pwrite(file, static_cast<const char*>(bytes) + done, count - done,
                                   static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return wrote < 0 ? errno : ENOSPC;
    done += static_cast<size_t>(wrote);
  }
  return 0;
}

ReadResult ReadPiecesAt(FileHandle file, int64_t offset, const FilePiece* pieces, size_t count) {
  return PiecesAt(::preadv, file, offset, pieces, count);
}

int WritePiecesAt(FileHandle file, int64_t offset, const FilePiece* pieces, size_t count) {
  const ReadResult wrote = PiecesAt(::pwritev, file, offset, pieces, count);
  if (wrote.error != 0) return wrote.error;
  size_t total = 0;
  for (size_t i = 0; i < count; ++i) total += pieces[i].size;
  return wrote.bytes < total ? ENOSPC : 0;
}

int SyncFile(FileHandle file) { return ::fsync(file) == 0 ? 0 : errno; }

int64_t FileSize(FileHandle file) {
  struct stat info {};
  if (file < 0 || ::fstat(file, &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool IdentityOf(FileHandle file, FileIdentity& identity) {
  struct stat info {};
  if (::fstat(file, &info) != 0) return false;
  identity = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return true;
}

bool IdentityAt(const std::string& path, FileIdentity& identity) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  identity = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  return true;
}

std::string LinkTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

int RenameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

bool RemoveIfSameFile(const char* path, const FileIdentity& identity) noexcept {
  // Only lstat and unlink: both may be called from a signal handler.
  struct stat info {};
  if (::lstat(path, &info) != 0 || static_cast<uint64_t>(info.st_dev) != identity.device ||
      static_cast<uint64_t>(info.st_ino) != identity.inode)
    return false;
  return ::unlink(path) == 0;
}

}  // namespace tarvelo::os
