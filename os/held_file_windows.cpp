#include <windows.h>

#include "os/file_system.h"
#include "os/held_file.h"
#include "os/wide_text.h"

namespace tarvelo::os {

HeldFile::HeldFile(const std::string& path, bool create) {
  const HANDLE handle = ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, 0, nullptr,
                                      create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  file_ = reinterpret_cast<intptr_t>(handle);
  held_ = true;
}

HeldFile::~HeldFile() {
  if (held_) ::CloseHandle(reinterpret_cast<HANDLE>(file_));
}

bool CanHold(const std::string& path) { return HeldFile(path).Holds(); }

std::string NoSuchFileReason() { return SystemReason(ERROR_FILE_NOT_FOUND); }

}  // namespace tarvelo::os
