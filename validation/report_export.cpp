#include "validation/report_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {
namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

/// The file a save replaces: the target of a symbolic link, else path.
std::string Destination(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

/// Creates a new file beside destination, never through an existing name;
/// returns its descriptor and name, or -1 with errno set.
int CreateTemporary(const std::string& destination, std::string& name) {
  const size_t slash = destination.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : destination.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? destination : destination.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + "." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

void SaveReport(const ResultLog& log, const std::string& path) {
  std::string text;
  for (const auto& line : log.Lines()) {
    text += line;
    text += "\r\n";
  }
  SaveFile(path, text);
}

void SaveFile(const std::string& path, std::string_view text) {
  const auto fail = [&](int error) {
    throw TarveloError("Cannot create file \"" + PathText(path) + "\". " + SystemReason(error));
  };
  const std::string destination = Destination(path);
  std::string temporary;
  const int fd = CreateTemporary(destination, temporary);
  if (fd < 0) fail(errno);

  bool ok = WriteAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temporary.c_str(), destination.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    fail(error);
  }
}

}  // namespace tarvelo
