#include <windows.h>

#include <cwchar>

#include "os/run_program.h"
#include "os/wide_text.h"

namespace tarvelo::os {
namespace {

// One argument as the C runtime's command line parser reads it back.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');  // before the closing quote
  return quoted + L"\"";
}

HANDLE Inheritable(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The name of a "NAME=value" entry, as the system compares names (a name
// may start with "=": "=C:=C:\\folder").
std::wstring NameOf(const std::wstring& entry) { return entry.substr(0, entry.find(L'=', 1)); }

bool SameName(const std::wstring& first, const std::wstring& second) {
  return ::CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

// The caller's environment block with the entries of more in place of
// those of the same names: entries each ended by a zero, then a zero.
std::wstring EnvironmentBlock(const std::vector<std::string>& more) {
  std::vector<std::wstring> added;
  for (const std::string& entry : more) added.push_back(WideFromUtf8(entry));
  std::wstring block;
  wchar_t* const own = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = own; entry && *entry; entry += std::wcslen(entry) + 1) {
    const std::wstring name = NameOf(entry);
    bool replaced = false;
    for (const std::wstring& other : added) replaced = replaced || SameName(name, NameOf(other));
    if (!replaced) block.append(entry).push_back(L'\0');
  }
  if (own) ::FreeEnvironmentStringsW(own);
  for (const std::wstring& entry : added) block.append(entry).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

}  // namespace

int RunProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& outPath,
               const std::string& errPath, const std::vector<std::string>& environment) {
  std::wstring commandLine = Quoted(WideFromUtf8(program));
  for (const std::string& argument : arguments) commandLine += L" " + Quoted(WideFromUtf8(argument));
  const HANDLE out = Inheritable(outPath);
  const HANDLE err = Inheritable(errPath);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  std::wstring block = EnvironmentBlock(environment);
  const BOOL started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                        block.data(), nullptr, &startup, &process);
  ::CloseHandle(out);
  ::CloseHandle(err);
  if (!started) return -1;
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  ::GetExitCodeProcess(process.hProcess, &status);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

}  // namespace tarvelo::os
