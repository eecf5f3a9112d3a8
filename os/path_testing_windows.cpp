#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <vector>

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

bool SetFolderAccessList(const std::string& folder, bool everyoneMayWrite) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  const bool read = size != 0 && ::GetTokenInformation(token, TokenUser, user.data(), size, &size);
  ::CloseHandle(token);
  if (!read) return false;
  LPWSTR userText = nullptr;
  if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &userText)) return false;
  std::wstring text = L"D:P(A;OICI;FA;;;" + std::wstring(userText) + L")";
  ::LocalFree(userText);
  if (everyoneMayWrite) text += L"(A;OICI;0x1301bf;;;WD)";  // modify: read, write, execute, delete
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  std::wstring wide = WideFromUtf8(folder);
  const bool set = ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) &&
                   ::SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT,
                                           DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                           nullptr, dacl, nullptr) == ERROR_SUCCESS;
  ::LocalFree(descriptor);
  return set;
}

}  // namespace tarvelo::os
