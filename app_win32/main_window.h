#pragma once

#include <windows.h>
// windows.h first.
#include <commctrl.h>

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app_win32/system_calls.h"
#include "app_win32/window_layout.h"
#include "frontend/window_design.h"
#include "frontend/window_face.h"
#include "frontend/window_logic.h"
#include "values/regional_settings.h"

namespace tarvelo::win32 {

/// The program's window on Windows: the system's own controls made from the
/// window's design (MainWindowDesign) and laid out as it says, scaled to
/// the window's DPI; each control's identifier is ControlId of its role.
/// They are shown over the window's logic
/// (WindowLogic), which decides what every command does. The window is a
/// modeless dialog, so that the dialog manager gives it the default button
/// (Enter), Tab and the access keys (Alt+C, Alt+F); its messages must go
/// through DispatchWindowMessage.
class MainWindow : public WindowFace {
 public:
  /// Creates the window (not yet shown) and its logic. programFolder: the
  /// folder of the catalogue tables, the temporary index and the help file
  /// (UTF-8). calls: the dialogs, message box and shell call to use.
  /// quitOnClose: whether closing the window ends the message loop
  /// (PostQuitMessage), as the program's one window does. Raises
  /// std::runtime_error when the system cannot create the window.
  MainWindow(HINSTANCE instance, std::string programFolder, RegionalSettings settings, SystemCalls calls,
             bool quitOnClose);
  /// Stops a working run (the index removed) and destroys the window.
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  /// The window; null once it is closed.
  HWND Handle() const { return window_; }
  /// The window's logic (the commands and the last run's report).
  WindowLogic& Logic() { return *logic_; }
  /// How many runs have ended (their error, if any, shown).
  int RunsFinished() const { return runsFinished_; }

  // WindowFace, on the window's thread but Post.
  std::string BoxText(PathBox box) const override;
  void SetBoxText(PathBox box, const std::string& text) override;
  void SetCommandsEnabled(bool enabled) override;
  void SetBusyCursor(bool busy) override;
  void ClearReport() override;
  void ShowReportLine(size_t index, const std::string& cp1252Line, bool replace) override;
  void SetProgress(int position) override;
  void Post(std::function<void()> work) override;
  std::optional<std::string> ChooseOpenFile(const std::string& startFile) override;
  std::optional<SavePathChoice> ChooseSaveFile(const SaveDialogRequest& request) override;
  void ShowError(const std::string& cp1252Text) override;
  void ShowMessage(const std::string& cp1252Text) override;
  void ShowInformation(const std::string& cp1252Text) override;
  bool AskYesNo(const std::string& cp1252Text) override;
  void LaunchDocument(const std::string& path, std::function<void(int)> done) override;
  std::string HomeFolder() const override;
  std::string DocumentsFolder() const override;
  RememberedPaths RecallPaths() override;
  void KeepPaths(const RememberedPaths& paths) override;
  void RunFinished() override;
  void Close() override;

 private:
  static constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  static constexpr DWORD kExStyle = WS_EX_APPWINDOW;

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  /// Makes the controls of the design, in the tab order, and places the
  /// window (main_window_controls.cpp, as the four below).
  void CreateControls();
  /// The hints of the controls that have one.
  void AddHints();
  /// Fonts and images for the window's DPI, given to the controls.
  void ApplyDpi();
  /// The image of a button for the window's DPI.
  void ApplyImage(const ControlDesign& control);
  /// Moves the controls to their places for the client area's size.
  void LayOut();
  /// The window's outer size for the design's client area at its DPI, also
  /// its smallest size.
  SIZE DesignOuterSize() const;
  void Command(ControlRole role);
  void RunPosted();
  void RestorePlacement();
  HWND Control(ControlRole role) const { return GetDlgItem(window_, ControlId(role)); }

  HINSTANCE instance_;
  SystemCalls calls_;
  bool quitOnClose_;
  /// Read by Post on the run's thread; null once the window is gone.
  std::atomic<HWND> window_ = nullptr;
  HWND tooltip_ = nullptr;
  int dpi_ = 96;
  HFONT windowFont_ = nullptr;
  HFONT reportFont_ = nullptr;
  /// The buttons' images, one list per button with an image, by role.
  std::array<HIMAGELIST, kControlCount> images_{};
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  bool busy_ = false;
  int runsFinished_ = 0;
  /// One structure for both file choices: the second starts from the file
  /// chosen last.
  OPENFILENAMEW openFile_{};
  std::wstring openFileName_;
  std::mutex postedMutex_;
  std::deque<std::function<void()>> posted_;
  std::unique_ptr<WindowLogic> logic_;
};

/// The text of a window or control.
std::wstring WindowText(HWND window);

/// Hands a message of the thread's queue to the window (the dialog
/// manager's keys first: Tab, Enter, the access keys), or to whichever
/// window it is for.
void DispatchWindowMessage(HWND dialog, MSG& message);

}  // namespace tarvelo::win32
