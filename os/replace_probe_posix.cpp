#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "os/replace_probe.h"

namespace tarvelo::os {

ReplaceObstacle ObstacleToReplacing(const std::string& path) {
  // Asked for the user the process runs as, as opening it would be.
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES) {
    return ReplaceObstacle::kReadOnly;
  }
  return ReplaceObstacle::kNone;
}

}  // namespace tarvelo::os
