#pragma once

#include <string>
#include <string_view>

#include "os/file_system.h"
#include "os/temporary_file.h"

namespace tarvelo::os {

/// A file written in full before it takes the place of its target: the
/// bytes go to a new file in the target's folder (one with no name where
/// the file system can make one, so that nothing is left behind however the
/// process ends; else one of a short name of its own, removed on the signals
/// of TemporaryFile), which Commit puts in the target's place with the mode,
/// and where the caller may the owner, of the file it replaces. Until then
/// an earlier file of that name stays as it was; a file never committed is
/// removed. A target that is a symbolic link is replaced where the link
/// leads, when it would be followed (ResolveOutput). A target that exists
/// and is not a regular file (a device, a pipe, standard output) is written
/// in place, in order, and never replaced.
///
/// Errors raise TarveloError with the path shown in code page 1252: "Cannot
/// create file "<path>". <reason>" when the file cannot be made or put in
/// place, or when the target is a link that is not followed (reason
/// kLinkNotFollowed), another user's file in a shared folder (reason
/// kOthersFileLeft) or a pipe that no program reads (kPipeWithoutReader); "Cannot write file "<path>". <reason>" when a
/// write fails. A write error is raised by Commit: the writes before it keep it and write nothing more, so that a run
/// that streams into the file goes on.
class ReplacingFile {
 public:
  /// path is the file system's name of the target. Raises the create error.
  explicit ReplacingFile(std::string path);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  /// Appends bytes (buffered).
  void Write(std::string_view bytes);
  /// Writes what is buffered, makes it durable and puts the file in the
  /// target's place; raises the write or the create error. Does nothing
  /// the second time.
  void Commit();

 private:
  [[noreturn]] void Fail(const char* step, int error);
  void Flush();
  void Discard();

  std::string path_;
  OutputTarget target_;
  std::string name_;     // of a named replacement; empty for a nameless one
  TemporaryFile named_;  // removes a named replacement on signals
  File file_;
  int writeError_ = 0;  // the first write that failed
  std::string buffer_;
};

/// The reason of the create error for a target that is a symbolic link that
/// is not followed (ResolveOutput).
inline constexpr const char* kLinkNotFollowed =
    "It is a symbolic link of another user in a folder that everyone may write; it is not followed";

/// The reason of the create error for a target that is a file, pipe or
/// device of another user in a folder that everyone may write
/// (ResolveOutput).
inline constexpr const char* kOthersFileLeft =
    "It is a file of another user in a folder that everyone may write; it is neither replaced nor written to";

/// The reason of the create error for a target that is a pipe (FIFO) that
/// no program reads.
inline constexpr const char* kPipeWithoutReader = "It is a pipe that no program reads";

}  // namespace tarvelo::os
