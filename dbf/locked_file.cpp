#include "dbf/locked_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "values/errors.h"

namespace tarvelo {
namespace {

LockedFile Failure(int error) { return {-1, SystemReason(error), error}; }

// Locks fd exclusively without waiting; on failure closes it.
LockedFile Lock(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return {fd, {}, 0};
  const int error = errno;
  ::close(fd);
  return Failure(error);
}

}  // namespace

LockedFile OpenLockedFile(const std::string& path, int access) {
  // O_NONBLOCK keeps a FIFO from blocking the open; it changes nothing for
  // regular files.
  const int fd = ::open(path.c_str(), access | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Failure(errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const bool directory = S_ISDIR(info.st_mode);
    ::close(fd);
    return directory ? Failure(EISDIR) : LockedFile{-1, "Not a regular file", 0};
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

}  // namespace tarvelo
