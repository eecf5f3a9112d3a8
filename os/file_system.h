#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The operating system's file calls, every one the program makes, in one
// place: file_system_posix.cpp and file_system_windows.cpp implement them,
// and the build picks the implementation of the system it builds for. Paths
// are the file system's names: bytes as given on POSIX, UTF-8 on Windows
// (turned into the system's UTF-16 at each call; "/" and "\\" both
// separate folders there). Failures come back as the system's own error
// codes (errno's on POSIX, GetLastError's on Windows), 0 for none, for
// SystemReason to name; none is raised.
namespace tarvelo::os {

/// An open file: a POSIX file descriptor, or the value of a Windows HANDLE
/// (both fit); kNoFile (-1, as INVALID_HANDLE_VALUE) for none.
using FileHandle = intptr_t;
inline constexpr FileHandle kNoFile = -1;

/// The reason for a failed file operation, from its error code, in code
/// page 1252: the system's own text in English ("No such file or
/// directory", "Permission denied"), kFileInUse for a lock that another
/// open file holds, "Error <number>" for a code the system has no text for.
std::string SystemReason(int error);

/// True when error says that a path leads to no file.
bool IsNoSuchFile(int error);

/// The character this program puts between a folder and a name.
#ifdef _WIN32
inline constexpr char kFolderSeparator = '\\';
#else
inline constexpr char kFolderSeparator = '/';
#endif

/// The characters that separate folders in a path: "/", and on Windows
/// "\\" too (for find_last_of).
#ifdef _WIN32
inline constexpr const char* kFolderSeparators = "/\\";
#else
inline constexpr const char* kFolderSeparators = "/";
#endif

/// True for a character that separates folders in a path.
constexpr bool IsFolderSeparator(char c) { return c == '/' || c == kFolderSeparator; }

/// Which file a name leads to on disk: equal for two names of one file
/// (another spelling, a hard or symbolic link).
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

/// A file opened or created: file is kNoFile on failure, error then tells
/// why (0 on success).
struct OpenedFile {
  FileHandle file = kNoFile;
  int error = 0;
};

/// An open file holding an exclusive lock on its file, or kNoFile and the
/// reason why there is none.
struct LockedFile {
  FileHandle file = kNoFile;
  /// Empty on success; else in code page 1252, for the error's second line
  /// (SystemReason, kFileInUse, "Not a regular file").
  std::string reason;
  /// The error number of the failure; 0 on success and for a file that is
  /// not a regular one.
  int error = 0;
};

/// How OpenLockedFile opens a file.
enum class FileAccess { kRead, kReadWrite };

/// Opens the existing regular file named path with access and takes an
/// exclusive lock on it without waiting (on Windows a lock on a byte past
/// the file's end, the file shared for reading only); the file is not inherited by
/// programs started. On failure, nothing stays open and reason says why:
/// kFileInUse when another open file holds the lock, "Not a regular file"
/// for a FIFO, socket or device (a FIFO never blocks the open).
LockedFile OpenLockedFile(const std::string& path, FileAccess access);

/// Creates path as a new regular file, read-write and locked exclusively,
/// never through a symbolic link. An entry already named path is removed
/// first (a leftover file whoever owns it, a symbolic link itself and not its
/// target) unless it is a regular file another open file holds locked: then
/// reason is kFileInUse and the file is left as it is. Other failures (a
/// folder that cannot be written, a directory of that name) give the
/// system's reason.
LockedFile CreateLockedFile(const std::string& path);

/// Opens the existing file path for reading, without a lock.
OpenedFile OpenForReading(const std::string& path);

/// Creates a new file for writing beside target (in its folder), named
/// after it and this process, never through an existing name; its name
/// goes into name. The system's error for an existing name when every name
/// tried is taken.
OpenedFile CreateBeside(const std::string& target, std::string& name);

/// Creates a file in folder (empty for the current one) that has no name:
/// it is gone once closed, however the process ends.
OpenedFile CreateNamelessFile(const std::string& folder);

/// Closes file; returns 0, or the error of the last write that the close
/// found. Does nothing for kNoFile.
int CloseFile(FileHandle file);

/// What a read at an offset did: the bytes read, and 0 or the error that
/// stopped it (bytes then counts those read before it).
struct ReadResult {
  size_t bytes = 0;
  int error = 0;
};

/// Reads count bytes at offset into into, as many reads as it takes:
/// fewer only at the end of the file or on an error. Reads of different
/// parts of one file may run on several threads at once.
ReadResult ReadAt(FileHandle file, int64_t offset, void* into, size_t count);

/// Writes count bytes at offset, as many writes as it takes; returns 0, or
/// the error that stopped it (the system's error for a full device when it
/// takes nothing more).
int WriteAt(FileHandle file, int64_t offset, const void* bytes, size_t count);

/// One stretch of memory of a scattered read or write.
struct FilePiece {
  void* data;
  size_t size;
};

/// As ReadAt, into the pieces in turn, the file's bytes from offset
/// following one another: few reads for many pieces.
ReadResult ReadPiecesAt(FileHandle file, int64_t offset, const FilePiece* pieces, size_t count);

/// As WriteAt, from the pieces in turn.
int WritePiecesAt(FileHandle file, int64_t offset, const FilePiece* pieces, size_t count);

/// Makes what was written to file durable; returns 0 or the error.
int SyncFile(FileHandle file);

/// The size of file in bytes; -1 when it cannot be known.
int64_t FileSize(FileHandle file);

/// The identity of the open file; false when it cannot be known.
bool IdentityOf(FileHandle file, FileIdentity& identity);
/// The identity of the file path leads to (through symbolic links); false
/// when path names no file or it cannot be known.
bool IdentityAt(const std::string& path, FileIdentity& identity);

/// The file a symbolic link named path leads to, its path resolved in full;
/// path itself when it is not a symbolic link or leads nowhere.
std::string LinkTarget(const std::string& path);

/// Gives file the name to, replacing a file of that name; returns 0 or the
/// error.
int RenameFile(const std::string& from, const std::string& to);

/// Removes the entry path (a symbolic link itself, not its target); returns
/// 0 or the error.
int RemoveFile(const std::string& path);

/// Removes the entry path while it is still the file of that identity (not
/// following a symbolic link), as another process may have put a file of
/// its own there since; false when it is not or the removal fails. Safe in
/// a signal handler: it neither allocates nor locks.
bool RemoveIfSameFile(const char* path, const FileIdentity& identity) noexcept;

}  // namespace tarvelo::os
