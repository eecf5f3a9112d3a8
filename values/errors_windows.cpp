#include <windows.h>

#include <string>

#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {

namespace {

// The system's message for an error in one language; empty when it has
// none in that language.
std::wstring Message(DWORD error, DWORD language) {
  wchar_t buffer[512];
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                        language, buffer, 512, nullptr);
  return std::wstring(buffer, length);
}

}  // namespace

std::string SystemReason(int error) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return kFileInUse;
  // English when the system has it, as on Linux; else the user's language.
  std::wstring text = Message(static_cast<DWORD>(error), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (text.empty()) text = Message(static_cast<DWORD>(error), 0);
  // Without the line end and the full stop that end the message.
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.'))
    text.pop_back();
  if (text.empty()) return "Error " + std::to_string(error);
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size > 0 ? size : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
  return Utf8ToCp1252(utf8);
}

}  // namespace tarvelo
