#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <utility>

#include "os/folder.h"
#include "os/wide_text.h"

// Folders on Windows: a handle that shares no removal keeps the folder
// where it is (it cannot be renamed, removed or put a link in its place
// while held), and its files are made by their paths inside it.
namespace tarvelo::os {
namespace {

std::string WithSeparator(std::string path) {
  if (!path.empty() && !IsFolderSeparator(path.back())) path += kFolderSeparator;
  return path;
}

// The folder path held as above, not followed when it is a link; kNoFile
// and the error in error when it cannot be opened.
FileHandle HoldFolder(const std::string& path, int& error) {
  const std::wstring wide = WideFromUtf8(path.empty() ? std::string(".") : path);
  const HANDLE handle =
      ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = static_cast<int>(::GetLastError());
    return kNoFile;
  }
  return reinterpret_cast<FileHandle>(handle);
}

// Why the held entry may not keep a user's files; empty when it is a
// folder and no link.
std::string FolderFault(FileHandle held) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(reinterpret_cast<HANDLE>(held), &info))
    return SystemReason(static_cast<int>(::GetLastError()));
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return "Not a folder";
  return {};
}

}  // namespace

void Folder::Close() noexcept {
  if (handle_ != kNoFile) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoFile;
}

LockedFile Folder::CreateLockedFile(const std::string& name, const EntryCheck& keep) const {
  if (!IsOpen()) return {kNoFile, SystemReason(error_), error_};
  return os::CreateLockedFile(path_ + name, keep);
}

Folder OpenFolder(const std::string& path) {
  Folder folder;
  folder.path_ = WithSeparator(path);
  // A link to a folder is followed here, as any path is.
  const HANDLE handle =
      ::CreateFileW(WideFromUtf8(path.empty() ? std::string(".") : path).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    folder.error_ = static_cast<int>(::GetLastError());
    return folder;
  }
  folder.handle_ = reinterpret_cast<FileHandle>(handle);
  return folder;
}

Folder OpenOwnFolder(const std::string& path) {
  Folder folder = OpenFolder(path);
  if (folder.IsOpen() && !CanCreateFilesIn(path)) folder.Close();
  return folder;
}

// A folder made here gets the access list of its parent, which for the
// user's own folders (the profile, its local application data) lets no
// other user in.
Folder OpenPrivateFolder(const std::string& parent, const std::string& name, std::string& reason) {
  Folder folder;
  folder.path_ = WithSeparator(WithSeparator(parent) + name);
  const std::string path = WithSeparator(parent) + name;
  if (!::CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    reason = SystemReason(static_cast<int>(::GetLastError()));
    return folder;
  }
  int error = 0;
  const FileHandle held = HoldFolder(path, error);
  if (held == kNoFile) {
    reason = SystemReason(error);
    return folder;
  }
  reason = FolderFault(held);
  if (!reason.empty()) {
    ::CloseHandle(reinterpret_cast<HANDLE>(held));
    return folder;
  }
  folder.handle_ = held;
  return folder;
}

// Not used on Windows: the user's local application data is the user's
// alone.
Folder MakeRunFolder(const std::string&, const std::string&, std::string& reason) {
  reason = SystemReason(ERROR_NOT_SUPPORTED);
  return Folder();
}

std::string UserLocalDataFolder() {
  PWSTR path = nullptr;
  std::string folder;
  if (::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &path) == S_OK)
    folder = Utf8FromWide(path);
  ::CoTaskMemFree(path);
  return folder;
}

}  // namespace tarvelo::os
