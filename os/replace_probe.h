#pragma once

#include <string>

// What would keep an output from replacing an existing file, found before
// the output is written. replace_probe_posix.cpp and
// replace_probe_windows.cpp implement it; the build picks the
// implementation of the system it builds for.
namespace tarvelo::os {

/// Why an existing file is not to be replaced by a new one of its name
/// (CreateReplacement, PutReplacement).
enum class ReplaceObstacle {
  kNone,
  /// Marked read-only: on POSIX a file the user the process runs as may
  /// not write (access(2)'s answer, which lets root write any file); on
  /// Windows a file with the read-only attribute.
  kReadOnly,
  /// On Windows, a file that another program holds open without letting
  /// it be removed or renamed, which the replacement then fails on. Never
  /// on POSIX, where a file's name can be replaced while it is open.
  kInUse,
};

/// The obstacle to replacing the file path (a regular file, where its
/// links lead); kNone when there is none, when path names no file, and when
/// it cannot be known.
ReplaceObstacle ObstacleToReplacing(const std::string& path);

}  // namespace tarvelo::os
