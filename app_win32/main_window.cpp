#include "app_win32/main_window.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <windowsx.h>

#include <stdexcept>
#include <vector>

#include "os/wide_text.h"
#include "values/text.h"

namespace tarvelo::win32 {
namespace {

using os::Utf8FromWide;
using os::WideFromUtf8;

constexpr UINT kPostedWork = WM_APP + 1;

std::wstring WideFromCp1252(const std::string& text) { return WideFromUtf8(Cp1252ToUtf8(text)); }

/// The application's title, the caption of its message boxes.
std::wstring ApplicationTitle() { return WideFromUtf8(MainWindowDesign().applicationTitle); }

/// An in-memory dialog template with no controls: the window's caption and
/// style; its place and size are set in pixels once it exists.
std::vector<WORD> DialogTemplate(DWORD style, DWORD exStyle, const std::string& caption) {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
  header->style = style;
  header->dwExtendedStyle = exStyle;
  header->cdit = 0;
  words.push_back(0);  // no menu
  words.push_back(0);  // the dialog class
  for (wchar_t c : WideFromUtf8(caption)) words.push_back(static_cast<WORD>(c));
  words.push_back(0);
  return words;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, std::string programFolder, RegionalSettings settings, SystemCalls calls,
                       bool quitOnClose)
    : instance_(instance), calls_(std::move(calls)), quitOnClose_(quitOnClose) {
  // The caption names the year of the catalogue's reference window.
  const std::vector<WORD> dialog = DialogTemplate(kStyle, kExStyle, WindowCaption(programFolder, settings));
  if (!CreateDialogIndirectParamW(instance_, reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), nullptr, DialogProc,
                                  reinterpret_cast<LPARAM>(this))) {
    throw std::runtime_error("The window could not be created.");
  }
  openFile_.lStructSize = sizeof openFile_;
  logic_ = std::make_unique<WindowLogic>(std::move(programFolder), std::move(settings), *this);
  RestorePlacement();
}

MainWindow::~MainWindow() {
  // The run ends (and its work posted to the window is dropped) before the
  // controls it shows in go.
  logic_.reset();
  {
    std::lock_guard lock(postedMutex_);
    posted_.clear();
  }
  if (window_) DestroyWindow(window_);
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(windowFont_), static_cast<HGDIOBJ>(reportFont_)}) {
    if (object) DeleteObject(object);
  }
  if (bigIcon_) DestroyIcon(bigIcon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
  for (HIMAGELIST list : images_) {
    if (list) ImageList_Destroy(list);
  }
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<MainWindow*>(lParam);
    self->window_ = window;
    self->CreateControls();
    SetFocus(self->Control(RolesInTabOrder().front()));
    return FALSE;
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  return self ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const auto result = [this](LRESULT value) {
    SetWindowLongPtrW(window_, DWLP_MSGRESULT, value);
    return TRUE;
  };
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        if (const auto role = RoleOfId(LOWORD(wParam))) Command(*role);
      }
      return TRUE;
    case WM_CLOSE:
      if (!logic_ || logic_->CloseRequested()) Close();
      return TRUE;
    case WM_SIZE:
      LayOut();
      return TRUE;
    case WM_GETMINMAXINFO: {
      const SIZE minimum = DesignOuterSize();
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = POINT{minimum.cx, minimum.cy};
      return result(0);
    }
    case WM_DPICHANGED: {
      dpi_ = LOWORD(wParam);
      ApplyDpi();
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return result(0);
    }
    case WM_SETCURSOR:
      if (!busy_) return FALSE;
      SetCursor(LoadCursorW(nullptr, IDC_WAIT));
      return result(TRUE);
    case kPostedWork:
      RunPosted();
      return TRUE;
    case WM_ENDSESSION:
      // The session ends with the process: a working run stops first, so
      // that its index is removed.
      if (wParam) {
        logic_.reset();
        std::lock_guard lock(postedMutex_);
        posted_.clear();
      }
      return result(0);
    case WM_NCDESTROY:
      window_ = nullptr;
      if (quitOnClose_) PostQuitMessage(0);
      return FALSE;
    default:
      return FALSE;
  }
}

void MainWindow::Command(ControlRole role) {
  if (!logic_) return;
  switch (role) {
    case ControlRole::kRisksChoice:
      logic_->ChooseFile(PathBox::kRisks);
      break;
    case ControlRole::kClaimsChoice:
      logic_->ChooseFile(PathBox::kClaims);
      break;
    case ControlRole::kValidate:
      logic_->Validate();
      break;
    case ControlRole::kExport:
      logic_->Export();
      break;
    case ControlRole::kHelp:
      logic_->Help();
      break;
    case ControlRole::kClose:
      PostMessageW(window_, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}

void MainWindow::Post(std::function<void()> work) {
  std::lock_guard lock(postedMutex_);
  // One message per piece of work, so that they run in the order posted
  // and other messages (painting) come between them. Dropped once the
  // window is gone.
  HWND window = window_;
  if (!window) return;
  posted_.push_back(std::move(work));
  PostMessageW(window, kPostedWork, 0, 0);
}

void MainWindow::RunPosted() {
  std::function<void()> work;
  {
    std::lock_guard lock(postedMutex_);
    if (posted_.empty()) return;
    work = std::move(posted_.front());
    posted_.pop_front();
  }
  if (logic_) work();
}

std::string MainWindow::BoxText(PathBox box) const { return Utf8FromWide(WindowText(Control(PathBoxRole(box)))); }

void MainWindow::SetBoxText(PathBox box, const std::string& text) {
  SetWindowTextW(Control(PathBoxRole(box)), WideFromUtf8(text).c_str());
}

void MainWindow::SetCommandsEnabled(bool enabled) {
  HWND focus = GetFocus();
  for (ControlRole command : {ControlRole::kRisksChoice, ControlRole::kClaimsChoice, ControlRole::kValidate,
                              ControlRole::kHelp, ControlRole::kExport}) {
    // A disabled control with the focus would take the keyboard with it.
    if (!enabled && focus == Control(command)) SetFocus(Control(ControlRole::kReport));
    EnableWindow(Control(command), enabled);
  }
  for (PathBox box : {PathBox::kRisks, PathBox::kClaims}) {
    SendMessageW(Control(PathBoxRole(box)), EM_SETREADONLY, !enabled, 0);
  }
}

void MainWindow::SetBusyCursor(bool busy) {
  busy_ = busy;
  POINT cursor{};
  GetCursorPos(&cursor);
  SetCursorPos(cursor.x, cursor.y);  // a WM_SETCURSOR now
}

void MainWindow::ClearReport() { SetWindowTextW(Control(ControlRole::kReport), L""); }

void MainWindow::ShowReportLine(size_t index, const std::string& cp1252Line, bool replace) {
  HWND report = Control(ControlRole::kReport);
  std::wstring text = WideFromCp1252(cp1252Line);
  if (replace) {
    const LRESULT start = SendMessageW(report, EM_LINEINDEX, index, 0);
    if (start < 0) return;
    const LRESULT length = SendMessageW(report, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
    SendMessageW(report, EM_SETSEL, static_cast<WPARAM>(start), start + length);
  } else {
    if (index > 0) text.insert(0, L"\r\n");
    const int end = GetWindowTextLengthW(report);
    SendMessageW(report, EM_SETSEL, static_cast<WPARAM>(end), end);
  }
  SendMessageW(report, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void MainWindow::SetProgress(int position) { SendMessageW(Control(ControlRole::kProgress), PBM_SETPOS, position, 0); }

std::optional<std::string> MainWindow::ChooseOpenFile(const std::string& startFile) {
  openFileName_ = WideFromUtf8(startFile);
  openFileName_.resize(32768, L'\0');
  openFile_.hwndOwner = window_;
  openFile_.lpstrFile = openFileName_.data();
  openFile_.nMaxFile = static_cast<DWORD>(openFileName_.size());
  openFile_.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (!calls_.getOpenFileName(&openFile_)) return std::nullopt;
  return Utf8FromWide(openFileName_.c_str());
}

std::optional<SavePathChoice> MainWindow::ChooseSaveFile(const SaveDialogRequest& request) {
  // "Resultado (*.txt)\0*.txt\0Detalhes (*.csv)\0*.csv\0\0".
  std::wstring filter;
  for (size_t i = 0; i < request.fileTypes.size(); ++i) {
    filter += WideFromUtf8(request.fileTypes[i]) + L'\0';
    filter += L"*." + (i < request.suffixes.size() ? WideFromUtf8(request.suffixes[i]) : L"*") + L'\0';
  }
  filter += L'\0';
  const std::wstring title = WideFromUtf8(request.title);
  const std::wstring folder = WideFromUtf8(request.initialFolder);
  const std::wstring defaultExtension = request.suffixes.empty() ? L"" : WideFromUtf8(request.suffixes[0]);
  std::wstring name = WideFromUtf8(request.initialName);
  name.resize(32768, L'\0');

  OPENFILENAMEW save{};
  save.lStructSize = sizeof save;
  save.hwndOwner = window_;
  save.lpstrFilter = filter.c_str();
  save.nFilterIndex = 1;
  save.lpstrFile = name.data();
  save.nMaxFile = static_cast<DWORD>(name.size());
  save.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  save.lpstrTitle = title.c_str();
  save.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
  save.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
               (request.confirmOverwrite ? OFN_OVERWRITEPROMPT : 0);
  if (!calls_.getSaveFileName(&save)) return std::nullopt;

  const int fileType = save.nFilterIndex >= 1 ? static_cast<int>(save.nFilterIndex) - 1 : 0;
  std::wstring path = name.c_str();
  // A name typed without extension gets the chosen type's.
  const size_t nameStart = path.find_last_of(L"\\/") == std::wstring::npos ? 0 : path.find_last_of(L"\\/") + 1;
  if (path.find(L'.', nameStart) == std::wstring::npos && static_cast<size_t>(fileType) < request.suffixes.size()) {
    path += L"." + WideFromUtf8(request.suffixes[static_cast<size_t>(fileType)]);
  }
  return SavePathChoice{Utf8FromWide(path), fileType};
}

void MainWindow::ShowError(const std::string& cp1252Text) {
  calls_.messageBox(window_, WideFromCp1252(cp1252Text).c_str(), ApplicationTitle().c_str(), MB_OK | MB_ICONSTOP);
}

void MainWindow::ShowMessage(const std::string& cp1252Text) {
  calls_.messageBox(window_, WideFromCp1252(cp1252Text).c_str(), ApplicationTitle().c_str(), MB_OK);
}

void MainWindow::ShowInformation(const std::string& cp1252Text) {
  calls_.messageBox(window_, WideFromCp1252(cp1252Text).c_str(), ApplicationTitle().c_str(),
                    MB_OK | MB_ICONINFORMATION);
}

bool MainWindow::AskYesNo(const std::string& cp1252Text) {
  return calls_.messageBox(window_, WideFromCp1252(cp1252Text).c_str(), ApplicationTitle().c_str(),
                           MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

void MainWindow::LaunchDocument(const std::string& path, std::function<void(int)> done) {
  const HINSTANCE result =
      calls_.shellExecute(window_, nullptr, WideFromUtf8(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  done(static_cast<int>(reinterpret_cast<INT_PTR>(result)));
}

std::string MainWindow::HomeFolder() const {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, folder))) return std::string();
  return Utf8FromWide(folder);
}

std::string MainWindow::DocumentsFolder() const {
  // Documents wherever the user or the administrator moved it; the
  // profile's folder when the system cannot tell.
  PWSTR folder = nullptr;
  std::string path;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, &folder))) {
    path = Utf8FromWide(folder);
  }
  CoTaskMemFree(folder);
  return path.empty() ? HomeFolder() : path;
}

RememberedPaths MainWindow::RecallPaths() {
  const auto value = [this](const wchar_t* name) {
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, calls_.settingsKey.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        bytes == 0) {
      return std::string();
    }
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    if (RegGetValueW(HKEY_CURRENT_USER, calls_.settingsKey.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(),
                     &bytes) != ERROR_SUCCESS) {
      return std::string();
    }
    return Utf8FromWide(text.c_str());
  };
  return {value(L"riskFile"), value(L"claimFile"), value(L"exportFolder")};
}

void MainWindow::KeepPaths(const RememberedPaths& paths) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, calls_.settingsKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  const auto keep = [key](const wchar_t* name, const std::string& text) {
    const std::wstring wide = WideFromUtf8(text);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  };
  keep(L"riskFile", paths.riskFile);
  keep(L"claimFile", paths.claimFile);
  keep(L"exportFolder", paths.exportFolder);
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (window_ && GetWindowPlacement(window_, &placement)) {
    RegSetValueExW(key, L"placement", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&placement), sizeof placement);
  }
  RegCloseKey(key);
}

void MainWindow::RestorePlacement() {
  WINDOWPLACEMENT placement{};
  DWORD bytes = sizeof placement;
  if (RegGetValueW(HKEY_CURRENT_USER, calls_.settingsKey.c_str(), L"placement", RRF_RT_REG_BINARY, nullptr, &placement,
                   &bytes) != ERROR_SUCCESS ||
      bytes != sizeof placement || placement.length != sizeof placement) {
    return;
  }
  // Only where a screen still shows it; shown later by the program.
  if (!MonitorFromRect(&placement.rcNormalPosition, MONITOR_DEFAULTTONULL)) return;
  placement.showCmd = SW_HIDE;
  placement.flags = 0;
  SetWindowPlacement(window_, &placement);
}

void MainWindow::RunFinished() { ++runsFinished_; }

void MainWindow::Close() {
  if (window_) DestroyWindow(window_);
}

void DispatchWindowMessage(HWND dialog, MSG& message) {
  if (dialog && IsWindow(dialog) && IsDialogMessageW(dialog, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace tarvelo::win32
