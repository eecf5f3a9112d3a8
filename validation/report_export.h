#pragma once

#include <string>
#include <string_view>

#include "os/file_system.h"
#include "validation/result_log.h"

namespace tarvelo {

/// A file written in full before it takes the place of its target: the
/// bytes go to a new temporary file beside the target (created new, never
/// through an existing name), which Commit renames over the target. Until
/// then an earlier file of that name stays as it was; a file never
/// committed is removed. A target that is a symbolic link is replaced where
/// the link points. Every failure raises TarveloError "Cannot create file
/// "<path>". <reason>" (the path shown in code page 1252).
class ReplacingFile {
 public:
  /// path is the file system's name of the target.
  explicit ReplacingFile(std::string path);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  /// Appends bytes (buffered).
  void Write(std::string_view bytes);
  /// Writes what is buffered, makes it durable and renames the file over
  /// the target. Does nothing the second time.
  void Commit();

 private:
  [[noreturn]] void Fail(int error);
  void Flush();

  std::string path_;
  std::string destination_;
  std::string temporary_;
  os::FileHandle file_ = os::kNoFile;
  int64_t written_ = 0;  // bytes in the file so far
  std::string buffer_;
};

/// Saves the log's lines to path (code page 1252 bytes as held, CR LF after
/// every line, the last included; no header or byte-order mark) through a
/// ReplacingFile; an empty log gives an empty file. path is the file
/// system's name of the file.
void SaveReport(const ResultLog& log, const std::string& path);

/// Saves bytes to path through a ReplacingFile.
void SaveFile(const std::string& path, std::string_view bytes);

/// Copies the file at source to target through a ReplacingFile, in pieces.
/// A source that cannot be read raises TarveloError "Cannot open file
/// "<source>". <reason>".
void CopyFile(const std::string& source, const std::string& target);

}  // namespace tarvelo
