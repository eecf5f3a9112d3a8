#pragma once

#include <string>

#include "os/file_system.h"
#include "os/folder.h"

namespace tarvelo::os {

/// A file a process made for its own use, such as the index a validation
/// run builds. It is removed when the object lets it go (Remove, the
/// destructor), or by RemoveTemporaryFiles should a signal end the process;
/// in every case only while its name still leads to the file that was made,
/// since another process may have put a file of its own there since.
class TemporaryFile {
 public:
  /// Holds no file.
  TemporaryFile() = default;
  /// Takes charge of the file named path (the file system's bytes) that
  /// file is open on; holds no file when file gives no identity.
  TemporaryFile(std::string path, os::FileHandle file);
  /// Takes charge of the file name (a name without a folder) in the open
  /// folder, which it keeps open on its own to remove the file there,
  /// wherever the folder's path leads meanwhile.
  TemporaryFile(const Folder& folder, const std::string& name, os::FileHandle file);
  ~TemporaryFile();
  TemporaryFile(TemporaryFile&& other) noexcept;
  TemporaryFile& operator=(TemporaryFile&& other) noexcept;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  /// Removes the file (see above) and lets it go; a failed removal is not
  /// reported. Does nothing when no file is held.
  void Remove() noexcept;
  bool Holds() const { return !path_.empty(); }

 private:
  void Release() noexcept;

  std::string path_;
  os::File folder_;  // the folder path_ is in, on POSIX
  os::FileIdentity identity_;
  int slot_ = -1;  // its place in the list RemoveTemporaryFiles reads; -1 none
};

/// A folder the process made for its own use (MakeTemporaryFolder), removed
/// with what it holds when the object goes.
class TemporaryFolder {
 public:
  /// Makes the folder; Path() is empty when it could not be made.
  explicit TemporaryFolder(const std::string& prefix) : path_(MakeTemporaryFolder(prefix)) {}
  ~TemporaryFolder() {
    if (!path_.empty()) RemoveFolderTree(path_);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  /// The folder's path, without a trailing "/"; empty when there is none.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

/// Removes every file that a TemporaryFile of this process holds, while its
/// name still leads to it, then the folders made for the run
/// (MakeRunFolder) that are empty. Safe to call from a signal handler (it
/// only reads a fixed list, and calls os::RemoveIfSameFile and
/// os::RemoveEmptyFolder); meant for the handlers of signals that end the
/// process.
void RemoveTemporaryFiles() noexcept;

/// Puts the empty folder name of the open folder parent on the list
/// RemoveTemporaryFiles reads; returns its place there, -1 when it found
/// none. For Folder.
int KeepFolderForRemoval(FileHandle parent, const std::string& name) noexcept;
/// Takes the folder at place off that list (-1: nothing).
void ForgetFolderForRemoval(int place) noexcept;

}  // namespace tarvelo::os
