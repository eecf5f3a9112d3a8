#pragma once

#include <string>

namespace tarvelo {

/// A file descriptor holding an exclusive lock on its file, or -1 and the
/// reason why there is none.
struct LockedFile {
  int fd = -1;
  /// Empty on success; else in code page 1252, for the error's second line
  /// (SystemReason, kFileInUse, "Not a regular file").
  std::string reason;
  /// The errno value of the failure; 0 on success and for a file that is
  /// not a regular one.
  int error = 0;
};

/// Opens the existing regular file named path (the file system's bytes, as
/// given) with access (O_RDONLY or O_RDWR) and takes an exclusive lock on
/// it without waiting; the descriptor is closed on exec. On failure, nothing
/// stays open and reason says why: kFileInUse when another open file holds
/// the lock, "Not a regular file" for a FIFO, socket or device (a FIFO never
/// blocks the open).
LockedFile OpenLockedFile(const std::string& path, int access);

/// Creates path as a new regular file, read-write and locked exclusively,
/// never through a symbolic link. An entry already named path is removed
/// first (a leftover file whoever owns it, a symbolic link itself and not its
/// target) unless it is a regular file another open file holds locked: then
/// reason is kFileInUse and the file is left as it is. Other failures (a
/// folder that cannot be written, a directory of that name) give the
/// system's reason.
LockedFile CreateLockedFile(const std::string& path);

}  // namespace tarvelo
