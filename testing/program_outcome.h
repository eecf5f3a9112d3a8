#pragma once
// Test support: running a program as a test does, and what the run gave.

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <string>
#include <vector>

#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"
#ifdef _WIN32
#include "os/run_program.h"
#endif

namespace tarvelo::testing {

/// What a run of a program gave: its exit status and what it wrote on its
/// standard output and error.
struct Outcome {
  int status = -1;
  std::string out, err;
};

/// The line on standard error of an output refused before the run.
inline std::string Refusal(const std::string& path, const std::string& why) {
  return "Cannot export the report to \"" + path + "\": " + why + ".\n";
}

#ifndef _WIN32
/// Runs a shell command line, its standard output and error into the files
/// "out" and "err" of io; status -1 when it did not exit.
inline Outcome RunShell(const std::string& command, const TempDir& io) {
  const std::string line = command + " >'" + io.File("out") + "' 2>'" + io.File("err") + "'";
  const int raw = std::system(line.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(io.File("out")), ReadFile(io.File("err"))};
}
#else
/// Runs program with arguments, its standard output and error into the
/// files "out" and "err" of io; environment's "NAME=value" entries are set
/// for it.
inline Outcome RunProgramIn(const std::string& program, const std::vector<std::string>& arguments, const TempDir& io,
                            const std::vector<std::string>& environment = {}) {
  const int status = os::RunProgram(program, arguments, io.File("out"), io.File("err"), environment);
  return {status, ReadFile(io.File("out")), ReadFile(io.File("err"))};
}
#endif

}  // namespace tarvelo::testing
