#pragma once

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "frontend/command_flow.h"
#include "frontend/run_session.h"
#include "frontend/window_face.h"
#include "os/file_system.h"
#include "os/temporary_file.h"
#include "validation/result_log.h"
#include "validation/run_observer.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The window's commands, whatever toolkit shows it (WindowFace). Each
/// validation is a RunSession that it observes; the run works on a thread
/// of its own so that the window keeps painting, and its report lines and
/// progress positions reach the face through Post in the order the run
/// wrote them. While a run
/// works the commands are disabled, and closing the window stops the run at
/// its next block of records (the index removed), with a busy cursor
/// meanwhile, then closes. The edit boxes' texts and the folder of the last
/// export are remembered through the face.
class WindowLogic : private RunObserver {
 public:
  /// programFolder: the folder of the catalogue tables and the help file,
  /// and of the temporary index when the user can write in it, as the file
  /// system names it. settings: the user's
  /// regional settings read at start. face must outlive the logic; its
  /// edit boxes get the remembered paths.
  WindowLogic(std::string programFolder, RegionalSettings settings, WindowFace& face);
  /// Asks a working run to stop and waits for its end.
  ~WindowLogic() override;
  WindowLogic(const WindowLogic&) = delete;
  WindowLogic& operator=(const WindowLogic&) = delete;

  /// Chooses a file into box (the dialog starts from the file chosen last
  /// in either box); cancel changes nothing.
  void ChooseFile(PathBox box);
  /// Starts the validation run with the edit boxes' texts ("~" at their
  /// start standing for the home folder); does nothing while a run works.
  void Validate();
  /// Saves the report, or the last run's detail listing when the user
  /// chooses that file type, to a file the user chooses, then opens it. A
  /// name holding "*" or "?", or one of a file the run read, is refused
  /// with the error's message. An existing file is replaced only when it is
  /// the one this window exported to last, or when the user answers Yes to
  /// the question; No saves and opens nothing. The dialog starts in the
  /// folder of the last export, else in the user's documents folder.
  void Export();
  /// Puts the data files the program was started with (box texts, UTF-8)
  /// into the boxes by their layout (StartFilesIntoBoxes), in place of the
  /// remembered ones, both boxes; shows what was left out in a message box
  /// once the window runs. No file changes nothing.
  void OpenStartFiles(const std::vector<std::string>& files);
  /// Opens the help file beside the program: "Tarvelo.chm", else
  /// "Tarvelo.html", else the message for the missing ".chm".
  void Help();
  /// Opens a document with its associated program, without waiting for
  /// it; shows the message of a failure when the desktop has answered.
  void OpenDocument(const std::string& path);
  /// The user asks to close the window. True when it may close now (the
  /// paths are then kept); otherwise the run is asked to stop, the busy
  /// cursor shows, and the face is closed at the run's end.
  bool CloseRequested();

  /// The folder of the help file when it is not the catalogue's (the
  /// catalogue named on the command line or by the environment), as the
  /// file system names it.
  void SetHelpFolder(std::string folder);
  /// Where the catalogue folder came from (CatalogueOriginText), shown on
  /// a line after the error of a run that reading the catalogue ended.
  void SetCatalogueOrigin(std::string text) { catalogueOrigin_ = std::move(text); }

  /// True from Validate until the run's end has been handled.
  bool IsRunning() const { return worker_.joinable(); }
  /// The report of the last run (what the export saves). Not to be read
  /// while a run works.
  const ResultLog& Report() const { return session_->Report(); }
  /// The folder of the catalogue tables the runs read, as the file system
  /// names it, ending in a separator unless empty.
  const std::string& ProgramFolder() const { return programFolder_; }
  /// Whether the run is asked to stop (the window is being closed); safe
  /// from any thread.
  bool StopRequested() const override { return closing_.StopRequested(); }

 private:
  void RunEnded(const std::optional<std::string>& failure);
  void KeepPaths();
  /// Whether the export may write target: no file is there, it is the file
  /// of the last export, or the user answers Yes to replacing it.
  bool MayReplace(const std::string& target);
  /// The file system's name for a path typed in an edit box.
  std::string TypedRunPath(PathBox box) const;

  // RunObserver, called by the run's thread.
  void LogCleared() override;
  void LineAppended(size_t index, const std::string& line) override;
  void LineReplaced(size_t index, const std::string& line) override;
  void Progress(int position) override { face_.PostProgress(position); }

  WindowFace& face_;
  std::string programFolder_;
  std::string helpFolder_;
  std::string catalogueOrigin_;
  RegionalSettings settings_;
  /// The file chosen last in either file choice; the next choice starts there.
  std::string lastOpenFile_;
  /// The folder of the window's own where each run writes its detail
  /// listing, which the export copies.
  os::TemporaryFolder detailsFolder_;
  std::string detailsPath_;
  /// The last run, its report and its listing (gone before the listing's
  /// folder); before the first, a session that has not run.
  std::unique_ptr<RunSession> session_;
  /// The folder of the last export; empty for the documents folder.
  std::string exportFolder_;
  /// The file of this window's last export, which the next export to it
  /// replaces without a question.
  std::optional<os::FileIdentity> lastExport_;
  std::thread worker_;
  CloseDuringRun closing_;
  /// True while the busy cursor shows that a stopping run is awaited.
  bool busyCursor_ = false;
  /// Gone with the logic: a desktop's late answer finds no window to show.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

/// The window's caption for the catalogue in catalogueFolder: the design's
/// caption with the year of the end of the reference table's window
/// (ReferencePeriod), the design's own year when that cannot be
/// read. Raises nothing.
std::string WindowCaption(const std::string& catalogueFolder, const RegionalSettings& settings);

}  // namespace tarvelo
