#pragma once

#include <cstdint>
#include <string>

// Test support, never part of the product (library tarvelo_os_testing,
// which only testing/ links): a file held as another program would hold
// it. held_file_posix.cpp and held_file_windows.cpp implement it; the build
// picks the implementation of the system it builds for.
namespace tarvelo::os {

/// A file held open with an exclusive lock, as another program writing it
/// would: the program's own opens of it, shared or exclusive, fail
/// meanwhile. On Linux a file open for writing with a write lock (fcntl);
/// on Windows a handle that shares nothing.
class HeldFile {
 public:
  /// Holds the existing file path (made empty first when create is true and
  /// there is none); Holds() tells whether it worked.
  explicit HeldFile(const std::string& path, bool create = false);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  bool Holds() const { return held_; }

 private:
  bool held_ = false;
  intptr_t file_ = -1;
};

#ifndef _WIN32
/// POSIX only: another process that holds the existing file path open for
/// writing under a writer's record lock on the whole of it (fcntl,
/// F_SETLK), as a program writing the file would, until this goes; the
/// process then ends and is waited for. Holds() is false when the file
/// could not be opened or locked.
class WriterProcess {
 public:
  explicit WriterProcess(const std::string& path);
  ~WriterProcess();
  WriterProcess(const WriterProcess&) = delete;
  WriterProcess& operator=(const WriterProcess&) = delete;

  bool Holds() const { return holds_; }

 private:
  int child_ = -1;
  int release_ = -1;  // closed, it lets the process end
  bool holds_ = false;
};
#endif

/// True when path can be held as above now: no open file holds it.
bool CanHold(const std::string& path);

/// The reason the system gives for a name that leads to no file
/// ("No such file or directory" on Linux).
std::string NoSuchFileReason();

}  // namespace tarvelo::os
