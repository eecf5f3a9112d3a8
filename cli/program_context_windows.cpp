#include <windows.h>

#include <vector>

#include "cli/program_context.h"
#include "dbf/wide_text.h"

namespace tarvelo {

std::string ExecutableFolder() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return "";
    if (length < buffer.size()) {
      const std::string path = os::Utf8FromWide(std::wstring_view(buffer.data(), length));
      return path.substr(0, path.find_last_of("\\/") + 1);
    }
    buffer.resize(buffer.size() * 2);  // a long path: try again with more room
  }
}

CivilDateTime LocalNow() {
  SYSTEMTIME local{};
  ::GetLocalTime(&local);
  return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

}  // namespace tarvelo
