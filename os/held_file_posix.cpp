#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os/held_file.h"

namespace tarvelo::os {

HeldFile::HeldFile(const std::string& path, bool create) {
  const int fd = create ? ::open(path.c_str(), O_RDWR | O_CREAT, 0644) : ::open(path.c_str(), O_RDWR);
  if (fd < 0) return;
  file_ = fd;
  // A writer's record lock on the whole file, of this open file alone, so
  // that the program's own opens and closes of the file in this process
  // neither share nor drop it.
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  held_ = ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

HeldFile::~HeldFile() {
  if (file_ >= 0) ::close(static_cast<int>(file_));
}

WriterProcess::WriterProcess(const std::string& path) {
  int ready[2];
  int release[2];
  if (::pipe(ready) != 0) return;
  if (::pipe(release) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    ::close(release[1]);  // so that the parent's end alone keeps it open
    const int fd = ::open(path.c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const char ok = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    char done;
    (void)!::read(release[0], &done, 1);
    _exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  child_ = child;
  release_ = release[1];
  char ok = 'n';
  holds_ = child > 0 && ::read(ready[0], &ok, 1) == 1 && ok == 'y';
  ::close(ready[0]);
}

WriterProcess::~WriterProcess() {
  if (release_ >= 0) ::close(release_);
  if (child_ > 0) {
    int status = 0;
    ::waitpid(child_, &status, 0);
  }
}

bool CanHold(const std::string& path) { return HeldFile(path).Holds(); }

std::string NoSuchFileReason() { return "No such file or directory"; }

}  // namespace tarvelo::os
