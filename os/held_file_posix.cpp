#include <fcntl.h>
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

bool CanHold(const std::string& path) { return HeldFile(path).Holds(); }

std::string NoSuchFileReason() { return "No such file or directory"; }

}  // namespace tarvelo::os
