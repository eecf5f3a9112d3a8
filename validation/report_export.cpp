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

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)), destination_(Destination(path_)) {
  fd_ = CreateTemporary(destination_, temporary_);
  if (fd_ < 0) Fail(errno);
}

ReplacingFile::~ReplacingFile() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(temporary_.c_str());
}

void ReplacingFile::Fail(int error) {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(temporary_.c_str());
    fd_ = -1;
  }
  throw TarveloError("Cannot create file \"" + PathText(path_) + "\". " + SystemReason(error));
}

void ReplacingFile::Write(std::string_view bytes) {
  if (fd_ < 0) return;
  buffer_.append(bytes);
  if (buffer_.size() >= (1u << 16)) Flush();
}

void ReplacingFile::Flush() {
  if (!WriteAll(fd_, buffer_.data(), buffer_.size())) Fail(errno);
  buffer_.clear();
}

void ReplacingFile::Commit() {
  if (fd_ < 0) return;
  Flush();
  if (::fsync(fd_) != 0) Fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 || ::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary_.c_str());
    fd_ = -1;
    throw TarveloError("Cannot create file \"" + PathText(path_) + "\". " + SystemReason(error));
  }
}

void SaveReport(const ResultLog& log, const std::string& path) {
  ReplacingFile file(path);
  for (const auto& line : log.Lines()) {
    file.Write(line);
    file.Write("\r\n");
  }
  file.Commit();
}

void SaveFile(const std::string& path, std::string_view bytes) {
  ReplacingFile file(path);
  file.Write(bytes);
  file.Commit();
}

void CopyFile(const std::string& source, const std::string& target) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throw TarveloError("Cannot open file \"" + PathText(source) + "\". " + SystemReason(errno));
  try {
    ReplacingFile file(target);
    char piece[1 << 16];
    for (;;) {
      const ssize_t n = ::read(in, piece, sizeof piece);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw TarveloError("Cannot open file \"" + PathText(source) + "\". " + SystemReason(errno));
      if (n == 0) break;
      file.Write(std::string_view(piece, static_cast<size_t>(n)));
    }
    file.Commit();
  } catch (...) {
    ::close(in);
    throw;
  }
  ::close(in);
}

}  // namespace tarvelo
