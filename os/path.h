#pragma once

#include <string>

// Where the folder of a path ends, as the system spells paths (a "/" on
// POSIX; a "\\" or "/", or a drive's colon, on Windows), and which file the
// system opens for a path. path_posix.cpp and path_windows.cpp implement
// it; the build picks the implementation of the system it builds for.
namespace tarvelo::os {

/// The folder part of path: up to and including its last folder separator;
/// empty when it has none.
std::string FolderOf(const std::string& path);

/// The file name part of path: what follows its last folder separator;
/// path itself when it has none.
std::string FileNameOf(const std::string& path);

/// The path the system opens for path. On Windows the full path as the
/// system makes it (GetFullPathNameW): absolute, a drive-relative name
/// ("C:name") taken in that drive's current folder, "." and ".." parts
/// resolved, "/" turned into "\\", the dots and spaces that end a part
/// dropped, and a name the system takes as a device ("nul.txt", "LPT1")
/// turned into "\\\\.\\" and the device's name; path itself when the system
/// makes none. On POSIX path itself: the kernel opens a name as given (a
/// ".." after a symbolic link leads where the link's folder is).
std::string SystemPath(const std::string& path);

/// Whether two names are spelt alike as the system compares names: byte
/// for byte on POSIX; on Windows ignoring case, by the system's own table.
bool SameSpelling(const std::string& first, const std::string& second);

/// The device of the system that path names instead of a file, in capitals
/// ("NUL", "CON", "LPT1"); empty for none. On Windows a name that the
/// system takes as a device (SystemPath gives "\\\\.\\NUL" for "nul.txt"),
/// and the names of printer and serial ports (PRN, AUX, COM1 to COM9, LPT1
/// to LPT9, with any extension, in any case) even where the system would
/// take them as files. On POSIX always empty: devices there are files (in
/// /dev).
std::string DeviceNameOf(const std::string& path);

}  // namespace tarvelo::os
