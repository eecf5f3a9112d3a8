#include <windows.h>

#include "os/path.h"
#include "os/wide_text.h"

namespace tarvelo::os {
namespace {

// Where the file name of path starts: after its last "\" or "/", or after
// the colon of a drive ("C:name").
size_t NameStart(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) return separator + 1;
  return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

std::string Capitals(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

// The port that name stands for (PRN, AUX, COM1 to COM9, LPT1 to LPT9, and
// COM or LPT with a superscript 1, 2 or 3), in capitals; empty for none.
// What follows the first dot or colon is left out, then the spaces that end
// the rest, as the system reads these names.
std::string PortOf(const std::string& name) {
  std::string base = Capitals(name.substr(0, name.find_first_of(".:")));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "PRN" || base == "AUX") return base;
  if (base.size() < 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) return std::string();
  const std::string digit = base.substr(3);
  if (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') return base;
  // "¹", "²", "³" in UTF-8.
  if (digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3") return base;
  return std::string();
}

}  // namespace

std::string FolderOf(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string FileNameOf(const std::string& path) { return path.substr(NameStart(path)); }

std::string SystemPath(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  if (wide.empty()) return path;
  std::wstring full(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return path;
    if (length < full.size()) {
      full.resize(length);
      return Utf8FromWide(full);
    }
    // Too small: length is the size it takes, its end included.
    full.assign(length, L'\0');
  }
  return path;
}

bool SameSpelling(const std::string& first, const std::string& second) {
  if (first == second) return true;
  const std::wstring one = WideFromUtf8(first);
  const std::wstring other = WideFromUtf8(second);
  return ::CompareStringOrdinal(one.c_str(), static_cast<int>(one.size()), other.c_str(),
                                static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

std::string DeviceNameOf(const std::string& path) {
  // "\\.\NUL": the system's name of a device; a path below "\\.\" (a pipe,
  // a volume's folder) is no device name.
  const std::string full = SystemPath(path);
  if (full.rfind("\\\\.\\", 0) == 0 && full.find_first_of("\\/", 4) == std::string::npos) {
    return Capitals(full.substr(4));
  }
  return PortOf(FileNameOf(path));
}

}  // namespace tarvelo::os
