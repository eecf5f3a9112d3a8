#include "os/path.h"

namespace tarvelo::os {
namespace {

// Where the file name of path starts: after its last "\" or "/", or after
// the colon of a drive ("C:name").
size_t NameStart(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) return separator + 1;
  return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

}  // namespace

std::string FolderOf(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string FileNameOf(const std::string& path) { return path.substr(NameStart(path)); }

}  // namespace tarvelo::os
