#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h:
#include <sddl.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <vector>

#include "os/process.h"
#include "os/wide_text.h"

namespace tarvelo::os {
namespace {

// Held while a file is made and recorded (SignalsHeldOff), and by the
// console's handler before it cleans up: the handler runs on a thread of
// its own, so holding off is waiting for each other.
struct HeldOffSection {
  HeldOffSection() { ::InitializeCriticalSection(&section); }
  CRITICAL_SECTION section;
};

CRITICAL_SECTION& HeldOff() {
  static HeldOffSection held;
  return held.section;
}

std::atomic<void (*)() noexcept> endingCleanup{nullptr};

// The console's output code page before StandardStreamsAsUtf8 changed it;
// 0 when it changed none.
std::atomic<UINT> consoleCodePageToRestore{0};

// The status of a program that Ctrl+C ended, as the system's own handler
// gives it (STATUS_CONTROL_C_EXIT): %ERRORLEVEL% -1073741510 in a batch file.
constexpr UINT kControlCExit = 0xC000013A;

// Ctrl+C, Ctrl+Break, the console's window closed, the user logging off or
// the system shutting down: cleans up once no file is being made, gives the
// console its code page back, then ends the process with the status of an
// interrupted program. The system's own handler is not left to do it: under
// Wine it ends the process with status 0, which a batch file takes for
// success.
BOOL WINAPI CleanUpAndEnd(DWORD) {
  ::EnterCriticalSection(&HeldOff());
  if (const auto cleanup = endingCleanup.load()) cleanup();
  if (const UINT codePage = consoleCodePageToRestore.load()) ::SetConsoleOutputCP(codePage);
  // The other threads may hold the C library's locks: no exit handler runs.
  ::TerminateProcess(::GetCurrentProcess(), kControlCExit);
  return TRUE;
}

}  // namespace

SignalsHeldOff::SignalsHeldOff() { ::EnterCriticalSection(&HeldOff()); }

SignalsHeldOff::~SignalsHeldOff() { ::LeaveCriticalSection(&HeldOff()); }

// Windows ends no process for a write to a closed pipe or past a size
// limit: such writes fail with their error already.
void ReportWritesThatSignalsWouldEnd() {}

void CallOnEndingSignals(void (*cleanup)() noexcept) {
  endingCleanup.store(cleanup);
  ::SetConsoleCtrlHandler(CleanUpAndEnd, TRUE);
}

// The C runtime of Windows keeps no pool per thread.
void ShareOneAllocatorPool() {}

// Windows numbers no user: the security identifier of the process's user
// ("S-1-5-21-...") stands for the number; empty when it cannot be told.
std::string UserNumber() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
  std::string number;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  if (size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    wchar_t* text = nullptr;
    if (::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
      number = Utf8FromWide(text);
      ::LocalFree(text);
    }
  }
  ::CloseHandle(token);
  return number;
}

std::string ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return "";
    if (length < buffer.size()) return Utf8FromWide(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);  // a long path: again with more room
  }
}

std::string EnvironmentVariable(const char* name) {
  // The C library's getenv gives the ANSI code page's bytes, in which a
  // name of another language is lost ("?").
  const std::wstring wide = WideFromUtf8(name);
  std::wstring value(256, L'\0');
  for (;;) {
    const DWORD length = ::GetEnvironmentVariableW(wide.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return std::string();  // unset, or set and empty
    if (length < value.size()) {
      value.resize(length);
      return Utf8FromWide(value);
    }
    value.assign(length, L'\0');  // too small: length counts the end too
  }
}

std::tm LocalTime(std::time_t moment) {
  std::tm local{};
  localtime_s(&local, &moment);
  return local;
}

std::string UserLocaleName() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  if (::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0) return "";
  return Utf8FromWide(name);
}

StandardStreamsAsUtf8::StandardStreamsAsUtf8() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  consoleCodePage_ = ::GetConsoleOutputCP();
  if (consoleCodePage_ != 0) {
    consoleCodePageToRestore.store(consoleCodePage_);
    ::SetConsoleOutputCP(CP_UTF8);
  }
}

StandardStreamsAsUtf8::~StandardStreamsAsUtf8() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  if (consoleCodePage_ != 0) {
    ::SetConsoleOutputCP(consoleCodePage_);
    consoleCodePageToRestore.store(0);
  }
}

}  // namespace tarvelo::os
