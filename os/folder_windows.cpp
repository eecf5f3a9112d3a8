#include <windows.h>

#include <aclapi.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include <memory>
#include <utility>
#include <vector>

#include "os/folder.h"
#include "os/folder_access_windows.h"
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

// The SID of the user this process runs as, in a buffer; empty when the
// system does not say.
std::vector<BYTE> ProcessUser() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  const bool read = size != 0 && ::GetTokenInformation(token, TokenUser, user.data(), size, &size);
  ::CloseHandle(token);
  if (!read) return {};
  const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  return std::vector<BYTE>(bytes, bytes + ::GetLengthSid(sid));
}

// Whether sid is the user's or one of the system's own accounts that
// every folder trusts: LocalSystem, the Administrators group,
// TrustedInstaller, and CREATOR OWNER (an entry for whoever creates a file
// there, applying to that file alone).
bool Trusted(PSID sid, PSID user) {
  static constexpr const wchar_t* kTrusted[] = {L"S-1-5-18", L"S-1-5-32-544", L"S-1-3-0",
                                                L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};
  if (::EqualSid(sid, user)) return true;
  for (const wchar_t* text : kTrusted) {
    PSID known = nullptr;
    if (!::ConvertStringSidToSidW(text, &known)) continue;
    const bool same = ::EqualSid(sid, known) != FALSE;
    ::LocalFree(known);
    if (same) return true;
  }
  return false;
}

// Whether the held folder's access list lets anyone but the user and the
// system's accounts write there (OthersMayWrite); true as well when the
// system does not say.
bool OthersMayWriteIn(HANDLE held) {
  std::vector<BYTE> user = ProcessUser();
  if (user.empty()) return true;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(held, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return true;
  const std::unique_ptr<void, decltype(&::LocalFree)> freed(descriptor, &::LocalFree);
  return OthersMayWrite(descriptor, user.data());
}

}  // namespace

bool OthersMayWrite(void* descriptor, void* user) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
      !::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted))
    return true;
  if (!present || dacl == nullptr || owner == nullptr || !Trusted(owner, user)) return true;
  GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  constexpr DWORD kWrites =
      FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!::GetAce(dacl, index, &entry)) return true;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    // A conditional allowing entry has the same layout; counted as if
    // its condition held.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    DWORD mask = allowed->Mask;
    ::MapGenericMask(&mask, &mapping);
    if ((mask & kWrites) != 0 && !Trusted(reinterpret_cast<PSID>(&allowed->SidStart), user)) return true;
  }
  return false;
}

void Folder::Close() noexcept {
  if (handle_ != kNoFile) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoFile;
}

LockedFile Folder::CreateLockedFile(const std::string& name, const EntryCheck& keep) const {
  if (!IsOpen()) return {File(), SystemReason(error_), error_};
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
  Folder folder;
  folder.path_ = WithSeparator(path);
  // Links followed, as OpenFolder does; its access list read from the
  // handle, so from the very folder that is kept.
  const HANDLE handle =
      ::CreateFileW(WideFromUtf8(path.empty() ? std::string(".") : path).c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    folder.error_ = static_cast<int>(::GetLastError());
    return folder;
  }
  folder.handle_ = reinterpret_cast<FileHandle>(handle);
  if (OthersMayWriteIn(handle) || !CanCreateFilesIn(path)) folder.Close();
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

bool OthersMayChange(const std::string& path) {
  const HANDLE handle = ::CreateFileW(WideFromUtf8(path.empty() ? std::string(".") : path).c_str(), READ_CONTROL,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool others = OthersMayWriteIn(handle);
  ::CloseHandle(handle);
  return others;
}

}  // namespace tarvelo::os
