#pragma once

#include <string>

#include "os/file_system.h"

// A folder held open, so that the files a run makes in it go into that
// very folder whatever becomes of its path meanwhile (a link put in its
// place, the folder renamed): folder_posix.cpp and folder_windows.cpp
// implement it.
namespace tarvelo::os {

/// An open folder: on POSIX its descriptor, every file made and removed
/// relative to it; on Windows a handle that keeps it from being renamed or
/// removed, its files made by its path. Move only; closed when it goes,
/// and a folder made for the run (MakeRunFolder) is removed then, when
/// empty.
class Folder {
 public:
  /// No folder; Error() 0.
  Folder() = default;
  ~Folder();
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  bool IsOpen() const { return handle_ != kNoFile; }
  /// The folder's path as it was named, ending in a separator (empty for
  /// the current folder): for messages, and the names of its files.
  const std::string& Path() const { return path_; }
  /// The open folder (a descriptor on POSIX); kNoFile when not open.
  FileHandle Handle() const { return handle_; }
  /// The error that kept it from being opened; 0 when open.
  int Error() const { return error_; }

  /// CreateLockedFile of name (a name without a folder) in this folder;
  /// the open error when it is not open.
  LockedFile CreateLockedFile(const std::string& name, const EntryCheck& keep = {}) const;

 private:
  friend Folder OpenFolder(const std::string& path);
  friend Folder OpenOwnFolder(const std::string& path);
  friend Folder OpenPrivateFolder(const std::string& parent, const std::string& name, std::string& reason);
  friend Folder MakeRunFolder(const std::string& parent, const std::string& prefix, std::string& reason);
  void Close() noexcept;

  FileHandle handle_ = kNoFile;
  std::string path_;
  int error_ = 0;
  // A folder made for the run: its parent, open, and its name there.
  FileHandle parent_ = kNoFile;
  std::string name_;
  int slot_ = -1;  // its place in the list RemoveTemporaryFiles reads
};

/// The folder path (empty for the current one), links followed, as it is.
Folder OpenFolder(const std::string& path);

/// The folder path when it is safe to keep a user's files in: on POSIX a
/// folder this user owns, that no one else may write, and where this user
/// may create files (checked on the open folder); on Windows one where the
/// user may create files and whose access list (read from the open folder)
/// lets no one but the user, LocalSystem, the Administrators group,
/// TrustedInstaller and CREATOR OWNER make, remove or replace files or
/// change the list, and whose owner is one of those. Otherwise a Folder
/// that is not open.
Folder OpenOwnFolder(const std::string& path);

/// The folder name in the folder parent, made for this user alone (mode
/// 0700 on POSIX; on Windows with the access list its parent gives, as
/// under the user's profile) when missing, and opened without following a
/// link. Open only when it is a folder of this user that no one else may
/// read, write or search (checked on the open folder); otherwise reason
/// says why, in code page 1252: the system's reason, "Not a folder" (a
/// link or a file of that name), "Owned by another user", "Open to other
/// users". An existing folder is never changed.
Folder OpenPrivateFolder(const std::string& parent, const std::string& name, std::string& reason);

/// A new folder in parent for this run alone, its name prefix, "-" and six
/// characters chosen at random, checked as OpenPrivateFolder checks; it is
/// removed (when empty) as the Folder goes, or by RemoveTemporaryFiles
/// should a signal end the process. reason says why there is none.
Folder MakeRunFolder(const std::string& parent, const std::string& prefix, std::string& reason);

/// Whether others than this user and the system's administrators may
/// change the file or folder at path (links followed) or, for a folder,
/// put files of their own in the place of those it holds: on POSIX when it
/// belongs to another user than this one and root, or when everyone, or a
/// group other than this user's own, may write it (but for a folder whose
/// sticky bit keeps them from removing or renaming files not theirs); on
/// Windows when its owner or its access list lets others than the user and
/// the system's accounts write it (OthersMayWrite, as OpenOwnFolder reads a
/// folder's). False when nothing is at path or it cannot be looked at.
bool OthersMayChange(const std::string& path);

/// The folder of the user's own data on this machine, not carried to
/// others (Windows' local application data, %LOCALAPPDATA%); empty where
/// there is none (POSIX) or it cannot be known.
std::string UserLocalDataFolder();

}  // namespace tarvelo::os
