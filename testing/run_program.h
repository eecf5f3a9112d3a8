#pragma once

#include <string>
#include <vector>

namespace tarvelo::testing {

/// Windows only (the Linux tests run programs through the shell): runs
/// program with arguments (UTF-8), quoted on its command line as the C
/// runtime reads them back, its standard output and error into the files
/// outPath and errPath, and waits for it; returns its exit status, -1 when
/// it could not be started.
int RunProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& outPath,
               const std::string& errPath);

/// The words of a command line written as a POSIX shell would take them
/// when only blanks and single quotes are special ("a 'b c'" gives a, b c).
std::vector<std::string> ShellWords(const std::string& text);

}  // namespace tarvelo::testing
