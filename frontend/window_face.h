#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvelo {

// What the window's logic (WindowLogic) asks of the toolkit that shows the
// window: its face. The face makes the controls and forwards their events
// to the logic; the logic decides what happens and tells the face what to
// show. Texts of controls, paths and folders are UTF-8 (for a path also the
// file system's name, RunPathFromUtf8); report lines and messages are code
// page 1252, as the system holds them, for the face to convert.
//
// Every call but Post and PostProgress comes on the face's UI thread.

/// The two edit boxes that name the files to validate.
enum class PathBox { kRisks, kClaims };

/// The settings of the export command's save dialog.
struct SaveDialogRequest {
  std::string title;
  std::string initialFolder;
  std::string initialName;
  /// The file types offered ("Detalhes (*.csv)"); the first is chosen at
  /// the start.
  std::vector<std::string> fileTypes;
  /// Per file type, the extension the face adds, without its dot, to a
  /// chosen name that has none.
  std::vector<std::string> suffixes;
  bool confirmOverwrite = false;
};

/// The answer of the save dialog: the full path and the file type chosen
/// (a position in SaveDialogRequest::fileTypes).
struct SavePathChoice {
  std::string path;
  int fileType = 0;
};

/// What the window remembers between sessions; the face keeps it where its
/// platform keeps a user's settings.
struct RememberedPaths {
  std::string riskFile;
  std::string claimFile;
  /// The folder of the last export; empty for none.
  std::string exportFolder;
};

class WindowFace {
 public:
  virtual ~WindowFace() = default;

  /// The text of an edit box.
  virtual std::string BoxText(PathBox box) const = 0;
  /// Puts text into an edit box.
  virtual void SetBoxText(PathBox box, const std::string& text) = 0;
  /// Enables or disables the commands (the file choices, validate, export,
  /// help) and makes the edit boxes editable or read-only; closing stays.
  virtual void SetCommandsEnabled(bool enabled) = 0;
  /// Shows or takes away the busy cursor over the application.
  virtual void SetBusyCursor(bool busy) = 0;

  /// Empties the report area.
  virtual void ClearReport() = 0;
  /// Puts a report line at index (0-based): appended after the lines shown
  /// (index is their count), or in place of the line at index (replace).
  virtual void ShowReportLine(size_t index, const std::string& cp1252Line, bool replace) = 0;
  /// Moves the progress bar to position (0 to 100).
  virtual void SetProgress(int position) = 0;

  /// Runs work on the UI thread after the work posted before it; callable
  /// from any thread (a queued call; a posted window message). Work posted
  /// once the face is gone is dropped.
  virtual void Post(std::function<void()> work) = 0;
  /// The run's progress, on the run's thread: posts SetProgress.
  virtual void PostProgress(int position) {
    Post([this, position] { SetProgress(position); });
  }

  /// The open-file dialog, starting from startFile (a file chosen before,
  /// or empty): the chosen file's full path as the edit box shows it, or
  /// nullopt on cancel.
  virtual std::optional<std::string> ChooseOpenFile(const std::string& startFile) = 0;
  /// The save dialog: the chosen path and file type, or nullopt on cancel.
  virtual std::optional<SavePathChoice> ChooseSaveFile(const SaveDialogRequest& request) = 0;
  /// A message box with the stop icon, an OK button and the application
  /// title, for an error that ended a command.
  virtual void ShowError(const std::string& cp1252Text) = 0;
  /// A plain message box with an OK button.
  virtual void ShowMessage(const std::string& cp1252Text) = 0;
  /// A message box with the information icon, an OK button and the
  /// application title, for what the user should know after a command.
  virtual void ShowInformation(const std::string& cp1252Text) = 0;
  /// A question in a message box with the warning icon, the buttons Yes and
  /// No (No the default, as Enter and Escape answer) and the application
  /// title: true when the user answers Yes.
  virtual bool AskYesNo(const std::string& cp1252Text) = 0;
  /// Asks the desktop to open an existing document with its associated
  /// program, without waiting, and calls done on the UI thread with the
  /// shell result code once the desktop has answered (kShellOpened,
  /// kShellFileNotFound, or kShellNoAssociation when there is no such
  /// program, it failed, or there is no desktop to ask).
  virtual void LaunchDocument(const std::string& path, std::function<void(int)> done) = 0;

  /// The user's home folder, without a trailing separator.
  virtual std::string HomeFolder() const = 0;
  /// The folder where the user keeps documents, where the first export
  /// starts: the Documents folder on Windows; the home folder unless a face
  /// says otherwise.
  virtual std::string DocumentsFolder() const { return HomeFolder(); }
  /// The paths kept by KeepPaths, empty texts when none are.
  virtual RememberedPaths RecallPaths() = 0;
  /// Keeps paths for the next session.
  virtual void KeepPaths(const RememberedPaths& paths) = 0;

  /// A run has ended and its error or information, if any, was shown.
  virtual void RunFinished() = 0;
  /// Closes the window (a close that was waiting for a run's end).
  virtual void Close() = 0;
};

}  // namespace tarvelo
