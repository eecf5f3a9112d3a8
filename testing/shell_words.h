#pragma once

#include <string>
#include <vector>

namespace tarvelo::testing {

/// The words of a command line written as a POSIX shell would take them
/// when only blanks and single quotes are special ("a 'b c'" gives a, b c).
std::vector<std::string> ShellWords(const std::string& text);

}  // namespace tarvelo::testing
