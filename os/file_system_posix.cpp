#include "os/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "os/path.h"
#include "os/process.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo::os {
namespace {

// Pieces of one scattered read or write.
constexpr size_t kPiecesAtOnce = 64;

LockedFile Failure(int error) { return {File(), SystemReason(error), error}; }

// Locks the whole of fd's file without waiting: a write lock (fd open for
// writing) or a read lock shared with other readers. The lock belongs to
// the open file, not to the process (an open file description lock), so
// that closing another descriptor of the file does not let it go, and it
// meets the record locks that other programs take with fcntl. flock's
// locks are another kind that it never meets: a user who may only read a
// file cannot keep others from reading it by holding one. Returns 0, or
// the error (EWOULDBLOCK when another holds a lock that keeps this one
// out).
int LockWhole(int fd, bool exclusive) {
  struct flock lock {};
  lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
  lock.l_whence = SEEK_SET;
  if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return 0;
  return errno == EACCES ? EWOULDBLOCK : errno;
}

// Locks fd (exclusively, or shared with other readers) without waiting; on
// failure closes it.
LockedFile Lock(int fd, bool exclusive = true) {
  const int error = LockWhole(fd, exclusive);
  if (error == 0) return {File(fd), {}, 0};
  ::close(fd);
  return Failure(error);
}

OpenedFile Opened(int fd) { return {File(fd < 0 ? kNoFile : fd), fd < 0 ? errno : 0}; }

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

// The folder of path, to name on its own ("." for a name without one).
std::string FolderToOpen(const std::string& path) {
  const std::string prefix = FolderOf(path);
  return prefix.empty() ? "." : prefix;
}

// A name for a file of this process that is to be renamed: short whatever
// the length of the name it is to take, and new at every call.
std::string ShortName() {
  static std::atomic<unsigned> counter{0};
  return ".tarvelo-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

// The magic number of the proc file system (statfs).
constexpr long kProcFileSystem = 0x9fa0;

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
    return directory ? Failure(EISDIR) : LockedFile{File(), "Not a regular file", 0};
  }
  return Lock(fd, access == FileAccess::kReadWrite);
}

LockedFile CreateLockedFile(const std::string& path, const EntryCheck& keep, FileHandle folder) {
  const int at = folder == kNoFile ? AT_FDCWD : static_cast<int>(folder);
  const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::openat(at, path.c_str(), flags, 0600);
    if (fd >= 0) return Lock(fd);
    if (errno != EEXIST) return Failure(errno);
    if (attempt > 0) break;
    // An entry of that name: a regular file that another run still holds,
    // or that keep says to leave, stays; anything else goes, the held lock
    // keeping others off meanwhile.
    struct stat info {};
    int held = -1;
    if (::fstatat(at, path.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)) {
      held = ::openat(at, path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      if (held < 0 && keep) return Failure(errno);
      // A read lock: it is kept out by the write lock of a run that holds
      // the file, and keeps a new one out until the entry is gone.
      const int error = held >= 0 ? LockWhole(held, false) : 0;
      if (error != 0) {
        ::close(held);
        return Failure(error);
      }
      if (held >= 0 && keep) {
        const bool readOnly = (::fstat(held, &info) == 0 && (info.st_mode & 0222) == 0) ||
                              ::faccessat(at, path.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0;
        std::string reason = keep(held, readOnly);
        if (!reason.empty()) {
          ::close(held);
          return {File(), std::move(reason), kEntryKept};
        }
      }
    }
    const bool removed = ::unlinkat(at, path.c_str(), 0) == 0 || errno == ENOENT;
    const int error = errno;
    if (held >= 0) ::close(held);
    if (!removed) return Failure(error);
  }
  // Another run made the file between the removal and the creation.
  return Failure(EWOULDBLOCK);
}

OpenedFile OpenForReading(const std::string& path) { return Opened(::open(path.c_str(), O_RDONLY | O_CLOEXEC)); }

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
  OpenedFile named = Opened(::mkostemp(pattern.data(), O_CLOEXEC));
  if (named.file.IsOpen()) ::unlink(pattern.c_str());
  return named;
}

namespace {

// Whether the entry path, of owner, is one that the kernel's protection of
// shared folders keeps from the caller: in a folder that is both sticky and
// writable by everyone (/tmp), an entry of neither the caller nor the
// folder's owner, which anyone could have put there for the caller to
// follow, write to or replace. Fails (error set) when the folder cannot be
// looked at.
bool PlantedInASharedFolder(const std::string& path, uid_t owner, int& error) {
  struct stat folderInfo {};
  if (::stat(FolderToOpen(path).c_str(), &folderInfo) != 0) {
    error = errno;
    return false;
  }
  const bool shared = (folderInfo.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
  return shared && owner != ::geteuid() && owner != folderInfo.st_uid;
}

}  // namespace

OutputTarget ResolveOutput(const std::string& path) {
  OutputTarget target;
  target.destination = path;
  for (int links = 0;; ++links) {
    struct stat info {};
    if (::lstat(target.destination.c_str(), &info) != 0) {
      // A name not there yet is made; a path that cannot lead to one fails
      // when it is made, with the reason.
      if (errno != ENOENT && errno != ENOTDIR) target.error = errno;
      return target;
    }
    if (!S_ISLNK(info.st_mode)) {
      target.place = S_ISREG(info.st_mode) ? OutputPlace::kRegular : OutputPlace::kInPlace;
      // A folder's open fails on its own; a file, pipe or device planted by
      // another user is neither replaced nor written to.
      if (!S_ISDIR(info.st_mode) && PlantedInASharedFolder(target.destination, info.st_uid, target.error))
        target.error = kOthersFileRefused;
      return target;
    }
    if (links == 40) {
      target.error = ELOOP;
      return target;
    }
    const std::string folder = FolderToOpen(target.destination);
    if (PlantedInASharedFolder(target.destination, info.st_uid, target.error)) target.error = kLinkRefused;
    if (target.error != 0) return target;
    // A link of the proc file system stands for a file the process holds
    // open (a pipe, a terminal, the file standard output goes to), not for
    // the path its text shows.
    struct statfs system {};
    if (::statfs(folder.c_str(), &system) == 0 && system.f_type == kProcFileSystem) {
      struct stat open {};
      if (::stat(target.destination.c_str(), &open) != 0) {
        target.error = errno;
        return target;
      }
      target.place = OutputPlace::kInPlace;
      target.append = S_ISREG(open.st_mode);
      return target;
    }
    char text[PATH_MAX];
    const ssize_t length = ::readlink(target.destination.c_str(), text, sizeof text);
    if (length < 0 || static_cast<size_t>(length) == sizeof text) {
      target.error = length < 0 ? errno : ENAMETOOLONG;
      return target;
    }
    const std::string linked(text, static_cast<size_t>(length));
    target.destination = linked[0] == '/' ? linked : FolderOf(target.destination) + linked;
  }
}

OpenedFile CreateReplacement(const std::string& destination, std::string& name) {
  name.clear();
  const std::string prefix = FolderOf(destination);
#ifdef O_TMPFILE
  // PutReplacement names a nameless file through /proc/self/fd.
  if (::access("/proc/self/fd", X_OK) == 0) {
    const int fd = ::open(FolderToOpen(destination).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return Opened(fd);
  }
#endif
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = prefix + ShortName();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      OpenedFile opened = Opened(fd);
      if (fd < 0) name.clear();
      return opened;
    }
  }
  name.clear();
  return {File(), EEXIST};
}

int PutReplacement(FileHandle file, const std::string& name, const std::string& destination) {
  if (!name.empty()) return ::rename(name.c_str(), destination.c_str()) == 0 ? 0 : errno;
  // A name cannot be given over an existing one in one step: the file gets
  // a name of its own, renamed at once, with no signal in between that
  // could leave it behind.
  const SignalsHeldOff heldOff;
  const std::string self = "/proc/self/fd/" + std::to_string(file);
  const std::string prefix = FolderOf(destination);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string named = prefix + ShortName();
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    if (::rename(named.c_str(), destination.c_str()) == 0) return 0;
    const int error = errno;
    ::unlink(named.c_str());
    return error;
  }
  return EEXIST;
}

void KeepOwnerAndMode(FileHandle file, const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  // The group first: a change of group may clear permission bits. Never the
  // owner: a file another user owned becomes the caller's, so that what an
  // administrator writes is not handed to that user to rewrite.
  (void)::fchown(file, static_cast<uid_t>(-1), info.st_gid);
  (void)::fchmod(file, info.st_mode & 0777);
}

OpenedFile OpenInPlace(const std::string& path, bool append) {
  // Without waiting: a FIFO that no program reads fails at once (ENXIO)
  // instead of holding the run in its open; the writes wait as usual.
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | (append ? O_APPEND : 0));
  if (fd < 0) {
    const int error = errno;
    struct stat info {};
    if (error == ENXIO && ::stat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) return {File(), kNoReader};
    return {File(), error};
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags != -1) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return Opened(fd);
}

int WriteAll(FileHandle file, const void* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t wrote = ::write(file, static_cast<const char*>(bytes) + done, count - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return wrote < 0 ? errno : ENOSPC;
    done += static_cast<size_t>(wrote);
  }
  return 0;
}

int WriteStandardOutput(const void* bytes, size_t count) { return WriteAll(STDOUT_FILENO, bytes, count); }

void KeepStandardFilesOpen() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number, so fd itself, as the lower ones are open.
    const int opened = ::open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

bool ReadStartOfRegularFile(const std::string& path, size_t count, std::string& start, int64_t& size) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  bool read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (read) {
    size = static_cast<int64_t>(info.st_size);
    start.assign(std::min(count, static_cast<size_t>(info.st_size)), '\0');
    const ReadResult got = ReadAt(fd, 0, start.data(), start.size());
    start.resize(got.bytes);
    read = got.error == 0;
  }
  ::close(fd);
  return read;
}

int File::Close() noexcept {
  const FileHandle file = std::exchange(handle_, kNoFile);
  if (file < 0) return 0;
  return ::close(static_cast<int>(file)) == 0 ? 0 : errno;
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

bool SizeAndModifiedAt(const std::string& path, int64_t& size, int64_t& modified) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  size = static_cast<int64_t>(info.st_size);
  modified = static_cast<int64_t>(info.st_mtime);
  return true;
}

bool CanCreateFilesIn(const std::string& folder) {
  return ::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string MakeTemporaryFolder(const std::string& prefix) {
  std::string pattern = EnvironmentVariable("TMPDIR");
  if (pattern.empty()) pattern = "/tmp";
  if (pattern.back() != '/') pattern += '/';
  pattern += prefix + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return std::string();
  return pattern;
}

void RemoveFolderTree(const std::string& path) noexcept {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

File DuplicateFolderHandle(FileHandle folder) noexcept {
  const int fd = folder == kNoFile ? -1 : ::fcntl(static_cast<int>(folder), F_DUPFD_CLOEXEC, 0);
  return File(fd < 0 ? kNoFile : fd);
}

bool RemoveEmptyFolder(FileHandle parent, const char* name) noexcept {
  return ::unlinkat(static_cast<int>(parent), name, AT_REMOVEDIR) == 0;
}

bool RemoveIfSameFile(const char* path, const FileIdentity& identity, FileHandle folder) noexcept {
  // Only fstatat and unlinkat: both may be called from a signal handler.
  const int at = folder == kNoFile ? AT_FDCWD : static_cast<int>(folder);
  struct stat info {};
  if (::fstatat(at, path, &info, AT_SYMLINK_NOFOLLOW) != 0 || static_cast<uint64_t>(info.st_dev) != identity.device ||
      static_cast<uint64_t>(info.st_ino) != identity.inode)
    return false;
  return ::unlinkat(at, path, 0) == 0;
}

}  // namespace tarvelo::os
