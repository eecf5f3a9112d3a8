#include "os/path.h"

namespace tarvelo::os {
namespace {

// Where the file name of path starts.
size_t NameStart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string FolderOf(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string FileNameOf(const std::string& path) { return path.substr(NameStart(path)); }

std::string SystemPath(const std::string& path) { return path; }

bool SameSpelling(const std::string& first, const std::string& second) { return first == second; }

std::string DeviceNameOf(const std::string&) { return std::string(); }

}  // namespace tarvelo::os
