#include <windows.h>

#include "os/replace_probe.h"
#include "os/wide_text.h"

namespace tarvelo::os {

ReplaceObstacle ObstacleToReplacing(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return ReplaceObstacle::kNone;
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return ReplaceObstacle::kReadOnly;
  // Opened as the replacement opens the file it replaces: for removal,
  // sharing everything. A program that holds the file without sharing its
  // removal keeps this open from working, and the replacement too.
  const HANDLE handle = ::CreateFileW(wide.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    ::CloseHandle(handle);
    return ReplaceObstacle::kNone;
  }
  const DWORD error = ::GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? ReplaceObstacle::kInUse
                                                                           : ReplaceObstacle::kNone;
}

}  // namespace tarvelo::os
