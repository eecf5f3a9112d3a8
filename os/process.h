#pragma once

#include <cstddef>
#include <ctime>
#include <string>

// The running process and what it asks of the system beside files: the
// signals that end it, its own executable, its environment, the local
// clock, the user's locale. process_posix.cpp and process_windows.cpp implement it; the build
// picks the implementation of the system it builds for.
namespace tarvelo::os {

/// Holds off the signals of the calling thread while it lives; those that
/// come meanwhile are delivered when it goes. Making a file and handing it
/// to a TemporaryFile under one keeps a signal from ending the process in
/// between, with the file made but not yet known to RemoveTemporaryFiles.
/// On Windows, where the console's handler runs on a thread of its own, it
/// is a lock that the handler takes too before it cleans up.
class SignalsHeldOff {
 public:
  SignalsHeldOff();
  ~SignalsHeldOff();
  SignalsHeldOff(const SignalsHeldOff&) = delete;
  SignalsHeldOff& operator=(const SignalsHeldOff&) = delete;

 private:
  // What was held off before, as the system keeps it.
  alignas(std::max_align_t) unsigned char previous_[128];
};

/// Makes the signals by which the user or the system asks the process to
/// end (an interrupt, a termination, the loss of the terminal: SIGINT,
/// SIGTERM and SIGHUP on POSIX; Ctrl+C, Ctrl+Break, closing the console,
/// logging off and shutting down on Windows) first call
/// cleanup and then end the process by the same signal, as it would have
/// ended without this (on Windows with the status STATUS_CONTROL_C_EXIT,
/// 0xC000013A, the console's output code page given back first). cleanup runs in a signal handler: it must neither
/// allocate nor lock. A signal ignored when the process started stays
/// ignored.
void CallOnEndingSignals(void (*cleanup)() noexcept);

/// Makes a write to a pipe that no one reads, or past the file size limit
/// the process was given, fail with its error (EPIPE, EFBIG) instead of
/// ending the process by a signal (SIGPIPE, SIGXFSZ on POSIX, then
/// ignored), so that the program reports it and removes its files as for
/// any other error.
void ReportWritesThatSignalsWouldEnd();

/// The path of the running executable's file, the file system's bytes;
/// empty when the system cannot tell it.
std::string ExecutablePath();

/// The value of the process's environment variable name, as the program
/// holds file names and text: on Windows read through the system's wide
/// characters and given in UTF-8, so that a folder named in any language
/// (accents, Cyrillic, Chinese) opens as named whatever the code page; on
/// POSIX the bytes as they are. Empty when the variable is unset.
std::string EnvironmentVariable(const char* name);

/// The number of the user the process runs as, as decimal text, for the
/// names of folders that are each user's own.
std::string UserNumber();

/// Makes every thread of the process allocate from the C library's one
/// main pool, so that no thread reserves a pool of its own (64 MiB of
/// address space each, with the GNU C library): the program then runs
/// under a tight limit of address space (ulimit -v). Call first thing in
/// main, before any thread starts; does nothing where the C library keeps
/// no such pools.
void ShareOneAllocatorPool();

/// The moment's local date and time in the process's time zone.
std::tm LocalTime(std::time_t moment);

/// While it lives, standard output and error take the program's bytes as
/// they are, and a console shows them as UTF-8: on Windows no CR is added
/// before each LF and the console's output code page is UTF-8 (the one it
/// had comes back when the object goes, after both are flushed). Does
/// nothing on POSIX.
class StandardStreamsAsUtf8 {
 public:
  StandardStreamsAsUtf8();
  ~StandardStreamsAsUtf8();
  StandardStreamsAsUtf8(const StandardStreamsAsUtf8&) = delete;
  StandardStreamsAsUtf8& operator=(const StandardStreamsAsUtf8&) = delete;

 private:
  unsigned consoleCodePage_ = 0;  // 0 when there is no console
};

/// The name of the locale the user chose in the system's settings ("pt-BR"),
/// whose regional settings the program follows; empty where the
/// environment's variables tell them instead (LC_ALL, LANG on POSIX).
std::string UserLocaleName();

}  // namespace tarvelo::os
