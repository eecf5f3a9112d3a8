#pragma once

#include <string>

// Where the folder of a path ends, as the system spells paths (a "/" on
// POSIX; a "\\" or "/", or a drive's colon, on Windows). path_posix.cpp and
// path_windows.cpp implement it; the build picks the implementation of the
// system it builds for.
namespace tarvelo::os {

/// The folder part of path: up to and including its last folder separator;
/// empty when it has none.
std::string FolderOf(const std::string& path);

/// The file name part of path: what follows its last folder separator;
/// path itself when it has none.
std::string FileNameOf(const std::string& path);

}  // namespace tarvelo::os
