#pragma once

#include <atomic>
#include <exception>
#include <optional>
#include <string>

namespace tarvelo {

// The window's rules that need no toolkit: what a typed path means, which
// save names are refused, what the desktop's opener answered, and how
// closing the window during a run goes.

/// The shell's result codes that the window knows; any code above 32 means
/// the document was opened.
enum ShellResult : int {
  kShellFileNotFound = 2,
  kShellPathNotFound = 3,
  kShellNoAssociation = 31,
  kShellOpened = 42,
};

/// The result code for an exit status of the desktop's opener (xdg-open):
/// 0 kShellOpened, 2 (the file does not exist) kShellFileNotFound, any
/// other (1 a bad argument, 3 no program for the file, 4 the program
/// failed) kShellNoAssociation.
int OpenerExitResult(int exitStatus);

/// The path a user typed into an edit box, with a leading "~" that stands
/// alone or before "/" replaced by home (the home folder, without a
/// trailing "/"); any other text unchanged ("~user/x", "a/~/b", " ~/x").
std::string ExpandHomeFolder(const std::string& typed, const std::string& home);

/// The folder of a path: the text before its last separator ("/", also
/// "\\" on Windows), "/" for a file at the root, "." for a bare name.
std::string FolderOfPath(const std::string& path);

/// The name the save dialog starts with: "*.txt" on Windows, where the
/// dialog takes that name as its filter; empty elsewhere, where the dialog
/// would save to a file of that very name.
std::string SaveDialogInitialName();

/// Refuses a save path (the file system's name) whose file name holds "*"
/// or "?": such a name is a pattern typed or left in the save dialog, not
/// the name of a file to make. Raises TarveloError "Cannot export the
/// report to \"<path>\": a name with * or ? is a pattern, not a file name"
/// (the path in code page 1252).
void CheckSaveName(const std::string& path);

/// The text to show for what ended a run (its exception, or null when it
/// completed), in code page 1252: ErrorText of an error of the system's,
/// MessageBoxText of any other exception. nullopt for a completed run and
/// for one stopped on request (RunStoppedError), which show nothing.
std::optional<std::string> RunEndText(std::exception_ptr ended);

/// Closing the window while a run works: the run is asked to stop at its
/// next block of records and the window closes once it has ended. No other
/// command is taken meanwhile (the window disables them).
class CloseDuringRun {
 public:
  /// A run starts: no stop asked, no close pending.
  void RunStarted();
  /// The user asks to close the window (its close button, Alt+F, the title
  /// bar). True when it may close now (no run works); otherwise asks the
  /// run to stop, remembers the close and returns false.
  bool CloseRequested(bool running);
  /// Whether the run is asked to stop; safe from any thread.
  bool StopRequested() const { return stop_.load(std::memory_order_relaxed); }
  /// Whether a close waits for the run's end.
  bool ClosePending() const { return closePending_; }

 private:
  std::atomic<bool> stop_{false};
  bool closePending_ = false;
};

}  // namespace tarvelo
