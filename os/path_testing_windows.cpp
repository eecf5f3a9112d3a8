#include <windows.h>

#include "os/path_testing.h"
#include "os/wide_text.h"

namespace tarvelo::os {

std::string ShortPathOf(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  wchar_t buffer[MAX_PATH * 4];
  const DWORD length = ::GetShortPathNameW(wide.c_str(), buffer, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return std::string();
  const std::wstring shortened(buffer, length);
  return shortened == wide ? std::string() : Utf8FromWide(shortened);
}

bool SetCurrentFolderOfDrive(const std::string& folder) {
  // The system keeps the current folder of each drive but the current one
  // in the environment, as "=C:".
  if (folder.size() < 3 || folder[1] != ':') return false;
  const std::wstring name = L"=" + WideFromUtf8(folder.substr(0, 2));
  return ::SetEnvironmentVariableW(name.c_str(), WideFromUtf8(folder).c_str()) != 0;
}

}  // namespace tarvelo::os
