#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

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

/// An open file that closes its handle when it goes. Move only: the file
/// moved from holds none. The calls below take its Handle(), which stays
/// the file's for as long as the File holds it.
class File {
 public:
  /// No file.
  File() = default;
  /// Takes charge of handle (kNoFile: none).
  explicit File(FileHandle handle) noexcept : handle_(handle) {}
  ~File() { Close(); }
  File(File&& other) noexcept : handle_(std::exchange(other.handle_, kNoFile)) {}
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kNoFile);
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool IsOpen() const { return handle_ != kNoFile; }
  /// The open file; kNoFile when none is held.
  FileHandle Handle() const { return handle_; }
  /// Closes the file now; returns 0, or the error of the last write that
  /// the close found, for a caller that must report it (a saved output).
  /// Does nothing, and returns 0, when no file is held.
  int Close() noexcept;

 private:
  FileHandle handle_ = kNoFile;
};

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

/// A file opened or created: file holds none on failure, error then tells
/// why (0 on success).
struct OpenedFile {
  File file;
  int error = 0;
};

/// An open file holding a lock on its file (see OpenLockedFile), the lock
/// going with it, or no file and the reason why there is none.
struct LockedFile {
  File file;
  /// Empty on success; else in code page 1252, for the error's second line
  /// (SystemReason, kFileInUse, "Not a regular file").
  std::string reason;
  /// The error number of the failure; 0 on success and for a file that is
  /// not a regular one.
  int error = 0;
};

/// How OpenLockedFile opens a file: for reading under a shared lock, which
/// many readers hold at once and which keeps out (and is kept out by) an
/// exclusive one; or read-write under an exclusive lock, which no other
/// holds meanwhile.
enum class FileAccess { kRead, kReadWrite };

/// Opens the existing regular file named path with access and takes its
/// lock without waiting (on POSIX a record lock of the open file on the
/// whole file, which only a program that may write the file can keep out:
/// flock's locks do not meet it; on Windows a lock on a byte past the
/// file's end, the file shared for reading only); the file is not inherited by programs
/// started. On failure, nothing stays open and reason says why: kFileInUse
/// when another open file holds a lock that keeps this one out, "Not a
/// regular file" for a FIFO, socket or device (a FIFO never blocks the
/// open).
LockedFile OpenLockedFile(const std::string& path, FileAccess access);

/// Whether CreateLockedFile may remove the regular file already at its
/// name: called with that file open for reading and locked against a run
/// that would hold it (on POSIX a read lock), and
/// whether it is marked read-only (the Windows attribute; on POSIX a file
/// no one, or not this user, may write). Returns empty to let it be
/// removed, else the reason to leave it, in code page 1252.
using EntryCheck = std::function<std::string(FileHandle file, bool readOnly)>;

/// The error of a CreateLockedFile that left the file at its name because
/// the EntryCheck said so.
inline constexpr int kEntryKept = -2;

/// Creates path as a new regular file, read-write, locked exclusively and
/// only the user's (mode 0600 on POSIX), never through a symbolic link; on
/// POSIX path is taken relative to the open folder folder when one is given
/// (Folder::Handle()). An entry already named path is removed first (a
/// symbolic link itself and not its target, a leftover file) unless it is
/// a regular file another open file holds locked (reason kFileInUse), or
/// keep returns a reason for it (reason that, error kEntryKept), or it
/// cannot be opened to be asked (the system's reason): the file is then
/// left as it is. Other failures (a folder that cannot be written, a
/// directory of that name) give the system's reason.
LockedFile CreateLockedFile(const std::string& path, const EntryCheck& keep = {}, FileHandle folder = kNoFile);

/// Opens the existing file path for reading, without a lock.
OpenedFile OpenForReading(const std::string& path);

/// Creates a file in folder (empty for the current one) that has no name:
/// it is gone once closed, however the process ends.
OpenedFile CreateNamelessFile(const std::string& folder);

/// Where an output path leads (ResolveOutput).
enum class OutputPlace {
  /// Nothing of that name: a new file is made.
  kAbsent,
  /// A regular file, replaced whole by a new one (CreateReplacement,
  /// PutReplacement).
  kRegular,
  /// A file to write in place, in order, and never to replace: a device, a
  /// pipe or socket, a directory (whose open fails), or a name that stands
  /// for a file the process holds open (/dev/stdout, /dev/fd/N: links of
  /// the proc file system on Linux).
  kInPlace,
};

/// What ResolveOutput found.
struct OutputTarget {
  OutputPlace place = OutputPlace::kAbsent;
  /// The name to write: the path itself, or where its symbolic links lead.
  std::string destination;
  /// True for a file reached through a link of the proc file system that is
  /// a regular file (standard output sent to a file): written at its end.
  bool append = false;
  /// 0, or the error that stopped the resolution (ELOOP, a folder that
  /// cannot be searched); kLinkRefused for a link not followed.
  int error = 0;
};

/// The error of a symbolic link that ResolveOutput does not follow.
inline constexpr int kLinkRefused = -1;

/// The error of a file, pipe or device of another user that ResolveOutput
/// finds in a shared folder: neither replaced nor written to.
inline constexpr int kOthersFileRefused = -3;

/// The error of OpenInPlace for a pipe (FIFO) that no program reads.
inline constexpr int kNoReader = -4;

/// Follows the symbolic links that path ends in, as opening it would, to
/// the name an output written to path takes. A link is followed only where
/// the kernel's protection of shared folders would follow it: when the link
/// belongs to the caller or to the owner of its folder, or when that folder
/// is not both sticky and writable by everyone; otherwise the error is
/// kLinkRefused, whatever the system's own setting. The file found is
/// refused likewise, error kOthersFileRefused, when it is a regular file, a
/// pipe or a device of neither the caller nor the folder's owner in such a
/// folder (as the kernel's protection of regular files and FIFOs there
/// would). Links in the folders of the path are left to the system.
OutputTarget ResolveOutput(const std::string& path);

/// Creates the file that is to take the place of the regular or absent
/// file destination, in its folder: a file with no name (given one by
/// PutReplacement) where the file system can make one, else a new file of a
/// short name of its own (at most 40 bytes, whatever the length of
/// destination's name), put in name (empty for a nameless file). Its mode
/// is that of any new file (0666 less the umask).
OpenedFile CreateReplacement(const std::string& destination, std::string& name);

/// Gives the file from CreateReplacement (file, and name as it gave it) the
/// name destination, replacing the file of that name in one step; returns 0
/// or the error. A nameless file gets a short name of its own first, held
/// only while signals are held off.
int PutReplacement(FileHandle file, const std::string& name, const std::string& destination);

/// Gives file the permissions of the regular file path and, where the
/// caller may, its group; never its owner, so that a file another user
/// owned is replaced by one of the caller's. Nothing when path names no
/// regular file. Failures are not reported: the file then keeps its own.
void KeepOwnerAndMode(FileHandle file, const std::string& path);

/// Opens the existing path for writing in place (OutputPlace::kInPlace),
/// writing at its end when append. Never waits in the open: a pipe that no
/// program reads fails with kNoReader. A folder fails with the error that
/// SystemReason names "Is a directory" on every system.
OpenedFile OpenInPlace(const std::string& path, bool append);

/// Writes count bytes at the file's position, as many writes as it takes;
/// returns 0, or the error that stopped it. For files that have no
/// positions too (pipes, terminals).
int WriteAll(FileHandle file, const void* bytes, size_t count);

/// Writes count bytes to standard output; returns 0 or the error (EPIPE
/// when no one reads it any more, EBADF when it was closed).
int WriteStandardOutput(const void* bytes, size_t count);

/// Makes sure the standard input, output and error are open: one that was
/// closed when the program started gets a file that takes no writes
/// (/dev/null for reading), so that no file the program opens takes its
/// number and a write to it fails (EBADF) as a write to a closed one.
void KeepStandardFilesOpen();

/// The first count bytes (fewer when the file is shorter) of the regular
/// file path, and its size; false, and nothing read, when path names no
/// regular file or it cannot be read. Never blocks on a pipe.
bool ReadStartOfRegularFile(const std::string& path, size_t count, std::string& start, int64_t& size);

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

/// The size in bytes and the last modification time (seconds since
/// 1970-01-01 UTC) of the file path leads to (through symbolic links);
/// false when path names no file or they cannot be known.
bool SizeAndModifiedAt(const std::string& path, int64_t& size, int64_t& modified);

/// The identity of the open file; false when it cannot be known.
bool IdentityOf(FileHandle file, FileIdentity& identity);
/// The identity of the file path leads to (through symbolic links); false
/// when path names no file or it cannot be known.
bool IdentityAt(const std::string& path, FileIdentity& identity);

/// True when the user the process runs as may create and remove files in
/// folder (empty for the current folder): it can be written and searched,
/// on a file system that is not read-only.
bool CanCreateFilesIn(const std::string& folder);

/// True when path leads to a folder (through symbolic links).
bool IsFolder(const std::string& path);

/// Makes a new folder that only the user may enter, under the system's
/// folder for temporary files (TMPDIR, else /tmp on POSIX), its name
/// beginning with prefix; returns its path, or an empty text when none can
/// be made.
std::string MakeTemporaryFolder(const std::string& prefix);

/// Removes the folder path with everything in it, not following symbolic
/// links; failures are not reported.
void RemoveFolderTree(const std::string& path) noexcept;

/// A handle of its own on the open folder folder (POSIX); none (always on
/// Windows) when there is none.
File DuplicateFolderHandle(FileHandle folder) noexcept;

/// Removes the empty folder name of the open folder parent (POSIX); false
/// when it is not there, not empty, or cannot be removed. Safe in a signal
/// handler.
bool RemoveEmptyFolder(FileHandle parent, const char* name) noexcept;

/// Removes the entry path while it is still the file of that identity (not
/// following a symbolic link), as another process may have put a file of
/// its own there since; false when it is not or the removal fails. On
/// POSIX path is taken relative to the open folder folder when one is
/// given. Safe in a signal handler: it neither allocates nor locks.
bool RemoveIfSameFile(const char* path, const FileIdentity& identity, FileHandle folder = kNoFile) noexcept;

}  // namespace tarvelo::os
