#include <windows.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <string>

#include "os/file_system.h"
#include "os/path.h"
#include "os/wide_text.h"
#include "values/errors.h"
#include "values/text.h"

// The file calls on Windows, through the wide-character functions with the
// UTF-8 names converted at the call. Error numbers are the system's own
// (GetLastError), which SystemReason names with FormatMessageW.
namespace tarvelo::os {
namespace {

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle Wrap(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

// ERROR_DIRECTORY_NOT_SUPPORTED, which MinGW-w64's headers lack: what
// OpenInPlace gives for a folder.
constexpr int kDirectoryNotSupported = 336;

// The most one ReadFile or WriteFile call moves.
constexpr size_t kMostAtOnce = 1u << 30;

LockedFile Failure(DWORD error) { return {File(), SystemReason(static_cast<int>(error)), static_cast<int>(error)}; }

OpenedFile Opened(HANDLE handle) {
  const int error = handle == INVALID_HANDLE_VALUE ? static_cast<int>(::GetLastError()) : 0;
  return {File(Wrap(handle)), error};
}

OVERLAPPED At(int64_t offset) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
  where.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return where;
}

bool SameIdentity(HANDLE handle, const FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return false;
  return info.dwVolumeSerialNumber == identity.device &&
         ((static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow) == identity.inode;
}

// The lock of a run on its files: one byte far past the end of any file,
// as flock locks a whole file on Linux: exclusive for the files a run
// writes, shared for those it reads, so that many runs read one file
// together while a writer that locks it is kept out. Other programs may
// still read the file (it is shared for reading, not for writing);
// another run that tries a lock that conflicts is refused at once.
constexpr DWORD kLockByteHigh = 0x7FFFFFFF;

bool LockRun(HANDLE handle, bool exclusive = true) {
  OVERLAPPED where{};
  where.OffsetHigh = kLockByteHigh;
  const DWORD flags = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
  return ::LockFileEx(handle, flags, 0, 1, 0, &where) != 0;
}

// Locks the open file as above; on failure closes it.
LockedFile Lock(HANDLE handle, bool exclusive = true) {
  if (LockRun(handle, exclusive)) return {File(Wrap(handle)), {}, 0};
  const DWORD error = ::GetLastError();
  ::CloseHandle(handle);
  return Failure(error == ERROR_IO_PENDING ? ERROR_LOCK_VIOLATION : error);
}

// Marks the open file for removal once its last handle is closed.
bool MarkForRemoval(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Removes the entry at path that is in the way of a new file: a link (a
// reparse point) itself, never its target; a file only while no run holds
// its lock (ERROR_LOCK_VIOLATION otherwise) and keep, when given, does not
// say to leave it (reason then, error kEntryKept). A read-only file that
// keep lets go loses its mark to be removed. Returns error 0 when removed.
LockedFile RemoveEntryInTheWay(const std::wstring& path, const EntryCheck& keep) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? LockedFile{} : Failure(error);
  }
  const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (link && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return ::RemoveDirectoryW(path.c_str()) ? LockedFile{} : Failure(::GetLastError());
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Failure(ERROR_ACCESS_DENIED);
  const HANDLE held = ::CreateFileW(path.c_str(), DELETE | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (held == INVALID_HANDLE_VALUE) return Failure(::GetLastError());
  if (!LockRun(held)) {
    ::CloseHandle(held);
    return Failure(ERROR_LOCK_VIOLATION);
  }
  if (keep && !link) {
    std::string reason = keep(Wrap(held), readOnly);
    if (!reason.empty()) {
      ::CloseHandle(held);
      return {File(), std::move(reason), kEntryKept};
    }
  }
  if (readOnly) ::SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  const DWORD error = MarkForRemoval(held) ? 0 : ::GetLastError();
  ::CloseHandle(held);
  return error == 0 ? LockedFile{} : Failure(error);
}

// The system's message for an error in one language; empty when it has
// none in that language.
std::wstring Message(DWORD error, DWORD language) {
  wchar_t buffer[512];
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                        language, buffer, 512, nullptr);
  return std::wstring(buffer, length);
}

}  // namespace

bool IsNoSuchFile(int error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

std::string SystemReason(int error) {
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return kFileInUse;
  if (error == kDirectoryNotSupported) return "Is a directory";  // the text of POSIX
  // English when the system has it, as on Linux; else the user's language.
  std::wstring text = Message(static_cast<DWORD>(error), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (text.empty()) text = Message(static_cast<DWORD>(error), 0);
  // Without the line end and the full stop that end the message.
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.'))
    text.pop_back();
  if (text.empty()) return "Error " + std::to_string(error);
  return Utf8ToCp1252(Utf8FromWide(text));
}

LockedFile OpenLockedFile(const std::string& path, FileAccess access) {
  // Shared for reading only: no other program writes the file meanwhile,
  // and one that holds it without sharing keeps it from this one.
  const DWORD mode = access == FileAccess::kReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  const HANDLE handle = ::CreateFileW(WideFromUtf8(path).c_str(), mode, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Failure(::GetLastError());
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    return {File(), "Not a regular file", 0};
  }
  return Lock(handle, access == FileAccess::kReadWrite);
}

LockedFile CreateLockedFile(const std::string& path, const EntryCheck& keep, FileHandle) {
  const std::wstring wide = WideFromUtf8(path);
  for (int attempt = 0; attempt < 2; ++attempt) {
    // A new file only, never through a link. Others may read it and
    // remove it (as the handler of Ctrl+C does), not write it.
    const HANDLE handle =
        ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return Lock(handle);
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return Failure(error);
    if (attempt > 0) break;
    LockedFile removal = RemoveEntryInTheWay(wide, keep);
    if (!removal.reason.empty()) return removal;
  }
  // Another run made the file between the removal and the creation.
  return Failure(ERROR_LOCK_VIOLATION);
}

OpenedFile OpenForReading(const std::string& path) {
  return Opened(::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A new name that the system removes when the file is closed, however the
// process ends.
OpenedFile CreateNamelessFile(const std::string& folder) {
  std::string where = folder.empty() ? "." : folder;
  if (where.back() != '/' && where.back() != '\\') where += '\\';
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = where + ".tarvelo-sort-" + std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(::InterlockedIncrement(&counter)) + ".tmp";
    const HANDLE handle = ::CreateFileW(
        WideFromUtf8(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
        nullptr);
    if (handle != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return Opened(handle);
  }
  return {File(), ERROR_FILE_EXISTS};
}

int File::Close() noexcept {
  const FileHandle file = std::exchange(handle_, kNoFile);
  if (file == kNoFile) return 0;
  return ::CloseHandle(os::Handle(file)) ? 0 : static_cast<int>(::GetLastError());
}

ReadResult ReadAt(FileHandle file, int64_t offset, void* into, size_t count) {
  ReadResult result;
  while (result.bytes < count) {
    OVERLAPPED where = At(offset + static_cast<int64_t>(result.bytes));
    DWORD got = 0;
    const DWORD asked = static_cast<DWORD>(std::min(count - result.bytes, kMostAtOnce));
    if (!::ReadFile(Handle(file), static_cast<char*>(into) + result.bytes, asked, &got, &where)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_HANDLE_EOF) result.error = static_cast<int>(error);
      break;
    }
    if (got == 0) break;
    result.bytes += got;
  }
  return result;
}

int WriteAt(FileHandle file, int64_t offset, const void* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    OVERLAPPED where = At(offset + static_cast<int64_t>(done));
    DWORD wrote = 0;
    const DWORD asked = static_cast<DWORD>(std::min(count - done, kMostAtOnce));
    if (!::WriteFile(Handle(file), static_cast<const char*>(bytes) + done, asked, &wrote, &where))
      return static_cast<int>(::GetLastError());
    if (wrote == 0) return ERROR_DISK_FULL;
    done += wrote;
  }
  return 0;
}

ReadResult ReadPiecesAt(FileHandle file, int64_t offset, const FilePiece* pieces, size_t count) {
  ReadResult result;
  for (size_t i = 0; i < count; ++i) {
    const ReadResult got = ReadAt(file, offset + static_cast<int64_t>(result.bytes), pieces[i].data, pieces[i].size);
    result.bytes += got.bytes;
    result.error = got.error;
    if (got.error != 0 || got.bytes < pieces[i].size) break;
  }
  return result;
}

int WritePiecesAt(FileHandle file, int64_t offset, const FilePiece* pieces, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const int error = WriteAt(file, offset, pieces[i].data, pieces[i].size);
    if (error != 0) return error;
    offset += static_cast<int64_t>(pieces[i].size);
  }
  return 0;
}

int SyncFile(FileHandle file) { return ::FlushFileBuffers(Handle(file)) ? 0 : static_cast<int>(::GetLastError()); }

int64_t FileSize(FileHandle file) {
  LARGE_INTEGER size{};
  if (file == kNoFile || !::GetFileSizeEx(Handle(file), &size)) return -1;
  return size.QuadPart;
}

bool IdentityOf(FileHandle file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(Handle(file), &info)) return false;
  identity = {info.dwVolumeSerialNumber, (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return true;
}

bool IdentityAt(const std::string& path, FileIdentity& identity) {
  // No access asked: a file another program holds exclusively has an
  // identity too. Folders open with the backup flag.
  const HANDLE handle =
      ::CreateFileW(WideFromUtf8(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = IdentityOf(Wrap(handle), identity);
  ::CloseHandle(handle);
  return known;
}

bool SizeAndModifiedAt(const std::string& path, int64_t& size, int64_t& modified) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) return false;
  size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  // 100-nanosecond intervals since 1601-01-01 to seconds since 1970-01-01.
  const uint64_t ticks =
      (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  modified = static_cast<int64_t>(ticks / 10000000u) - 11644473600;
  return true;
}

// Where the links (reparse points) that an open file was reached through
// lead: its final path, as the system spells it; empty when unknown.
std::string FinalPath(HANDLE handle) {
  wchar_t buffer[MAX_PATH * 4];
  const DWORD length = ::GetFinalPathNameByHandleW(handle, buffer, MAX_PATH * 4, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= MAX_PATH * 4) return std::string();
  std::wstring resolved(buffer, length);
  // "\\?\C:\x" is "C:\x"; "\\?\UNC\server\share" is "\\server\share".
  if (resolved.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    resolved = L"\\" + resolved.substr(7);
  } else if (resolved.rfind(L"\\\\?\\", 0) == 0) {
    resolved = resolved.substr(4);
  }
  return Utf8FromWide(resolved);
}

OutputTarget ResolveOutput(const std::string& path) {
  OutputTarget target;
  target.destination = path;
  const std::wstring wide = WideFromUtf8(path);
  // No access asked: what the name leads to, links followed (a link on
  // Windows is made by an administrator or a developer's account).
  const HANDLE handle = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) target.error = static_cast<int>(error);
    return target;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool disk = ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &info);
  if (!disk || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    // A device (NUL, CON), a pipe, or a folder, whose open then fails.
    target.place = OutputPlace::kInPlace;
  } else {
    target.place = OutputPlace::kRegular;
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      const std::string resolved = FinalPath(handle);
      if (!resolved.empty()) target.destination = resolved;
    }
  }
  ::CloseHandle(handle);
  return target;
}

OpenedFile CreateReplacement(const std::string& destination, std::string& name) {
  // "C:" for a name in the current folder of drive C ("C:name").
  const std::string folder = FolderOf(destination);
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + ".tarvelo-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(::InterlockedIncrement(&counter)) + ".tmp";
    // Shared for removal and renaming: PutReplacement renames it open.
    const HANDLE handle =
        ::CreateFileW(WideFromUtf8(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return Opened(handle);
  }
  return {File(), ERROR_FILE_EXISTS};
}

int PutReplacement(FileHandle, const std::string& name, const std::string& destination) {
  return ::MoveFileExW(WideFromUtf8(name).c_str(), WideFromUtf8(destination).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : static_cast<int>(::GetLastError());
}

// The new file gets the folder's permissions, as any new file there does.
void KeepOwnerAndMode(FileHandle, const std::string&) {}

OpenedFile OpenInPlace(const std::string& path, bool append) {
  const std::wstring wide = WideFromUtf8(path);
  OpenedFile opened =
      Opened(::CreateFileW(wide.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  // A folder is refused as access denied, which it is not: said as POSIX
  // says it.
  if (opened.error == ERROR_ACCESS_DENIED) {
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      opened.error = kDirectoryNotSupported;
  }
  return opened;
}

int WriteAll(FileHandle file, const void* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    DWORD wrote = 0;
    const DWORD asked = static_cast<DWORD>(std::min(count - done, kMostAtOnce));
    if (!::WriteFile(Handle(file), static_cast<const char*>(bytes) + done, asked, &wrote, nullptr))
      return static_cast<int>(::GetLastError());
    if (wrote == 0) return ERROR_DISK_FULL;
    done += wrote;
  }
  return 0;
}

int WriteStandardOutput(const void* bytes, size_t count) {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
  return WriteAll(Wrap(out), bytes, count);
}

void KeepStandardFilesOpen() {
  for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE current = ::GetStdHandle(which);
    if (current != nullptr && current != INVALID_HANDLE_VALUE) continue;
    const HANDLE nothing = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    if (nothing != INVALID_HANDLE_VALUE) ::SetStdHandle(which, nothing);
  }
}

bool ReadStartOfRegularFile(const std::string& path, size_t count, std::string& start, int64_t& size) {
  const HANDLE handle =
      ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  LARGE_INTEGER length{};
  const bool regular = ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &info) &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && ::GetFileSizeEx(handle, &length);
  bool read = false;
  if (regular) {
    std::string bytes(static_cast<size_t>(std::min<int64_t>(length.QuadPart, static_cast<int64_t>(count))), '\0');
    const ReadResult got = ReadAt(Wrap(handle), 0, bytes.data(), bytes.size());
    if (got.error == 0) {
      bytes.resize(got.bytes);
      start = std::move(bytes);
      size = length.QuadPart;
      read = true;
    }
  }
  ::CloseHandle(handle);
  return read;
}

bool CanCreateFilesIn(const std::string& folder) {
  // The one sure answer under the folder's access lists: a file made there
  // and gone again.
  std::string probe = folder.empty() ? std::string(".\\") : folder;
  if (!IsFolderSeparator(probe.back())) probe += kFolderSeparator;
  probe += ".tarvelo-probe-" + std::to_string(::GetCurrentProcessId()) + ".tmp";
  const HANDLE handle =
      ::CreateFileW(WideFromUtf8(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string MakeTemporaryFolder(const std::string& prefix) {
  wchar_t base[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH) return std::string();
  const std::string folder = Utf8FromWide(std::wstring_view(base, length));
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = folder + prefix + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(::InterlockedIncrement(&counter));
    // The folder's permissions are those the user's temporary folder gives.
    if (::CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr)) return path;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  }
  return std::string();
}

void RemoveFolderTree(const std::string& path) noexcept {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(WideFromUtf8(path)), ignored);
}

// Files of a folder go by their paths on Windows.
File DuplicateFolderHandle(FileHandle) noexcept { return File(); }

// No folder is made for a run on Windows (see folder_windows.cpp).
bool RemoveEmptyFolder(FileHandle, const char*) noexcept { return false; }

bool RemoveIfSameFile(const char* path, const FileIdentity& identity, FileHandle) noexcept {
  // The name converted on the stack: the handler of Ctrl+C calls this.
  wchar_t wide[32768];
  if (::MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 32768) == 0) return false;
  // Shares with the handle of the run that made the file, which lets others
  // remove it; the link itself is never followed.
  const HANDLE handle =
      ::CreateFileW(wide, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool removed = SameIdentity(handle, identity) && MarkForRemoval(handle);
  ::CloseHandle(handle);
  return removed;
}

}  // namespace tarvelo::os
