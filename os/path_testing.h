#pragma once

#include <string>

// Test support, never part of the product (library tarvelo_os_testing,
// which only testing/ links). Windows only: the other spellings of a path
// that the system takes, a folder's access list. path_testing_windows.cpp implements it.
namespace tarvelo::os {

/// The short (8.3) spelling the system gives the existing path; empty when
/// it has none other than path itself.
std::string ShortPathOf(const std::string& path);

/// Makes folder the current folder of its drive ("C:name" names a file in
/// it), for this process and the programs it starts, while the process's
/// current folder stays where it is; false when it cannot.
bool SetCurrentFolderOfDrive(const std::string& folder);

/// Gives folder an access list of its own, none inherited: full control
/// for the user this process runs as and, when everyoneMayWrite, the right
/// to change it (make, replace and remove files) for Everyone; false when
/// it cannot.
bool SetFolderAccessList(const std::string& folder, bool everyoneMayWrite);

}  // namespace tarvelo::os
