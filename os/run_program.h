#pragma once

#include <string>
#include <vector>

// Test support, never part of the product (library tarvelo_os_testing,
// which only testing/ links). Windows only: the Linux tests run programs
// through the shell. run_program_windows.cpp implements it.
namespace tarvelo::os {

/// Runs program with arguments (UTF-8), quoted on its command line as the C
/// runtime reads them back, its standard output and error into the files
/// outPath and errPath, and waits for it; returns its exit status, -1 when
/// it could not be started. The program gets the caller's environment with
/// the variables of environment ("NAME=value", UTF-8) set in it, in place
/// of any of the same name.
int RunProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& outPath,
               const std::string& errPath, const std::vector<std::string>& environment = {});

}  // namespace tarvelo::os
