#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "os/held_file.h"

namespace tarvelo::os {

HeldFile::HeldFile(const std::string& path, bool create) {
  const int fd = create ? ::open(path.c_str(), O_RDONLY | O_CREAT, 0644) : ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  file_ = fd;
  held_ = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

HeldFile::~HeldFile() {
  if (file_ >= 0) ::close(static_cast<int>(file_));
}

bool CanHold(const std::string& path) { return HeldFile(path).Holds(); }

std::string NoSuchFileReason() { return "No such file or directory"; }

}  // namespace tarvelo::os
