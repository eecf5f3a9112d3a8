#include "app_win32/frm_inicio.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "app_win32/resource_ids.h"
#include "app_win32/window_layout.h"
#include "os/wide_text.h"
#include "values/text.h"

namespace tarvelo::win32 {
namespace {

using os::Utf8FromWide;
using os::WideFromUtf8;

constexpr UINT kPostedWork = WM_APP + 1;
constexpr wchar_t kCaption[] = L"ORVAL - Tarvelo - 2023";
constexpr wchar_t kApplicationTitle[] = L"Tarvelo";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_APPWINDOW;

/// What each control is made of, in the tab order of the design (the
/// dialog manager's order is the order of creation): edArqRisco [0],
/// edArqSinistro [1], btnOk [2], btnFechar [3], edLog [4], btnExporta [5],
/// ProgressBar [6], btnAjuda [7]; then the controls that take no focus.
struct ControlKind {
  int id;
  const wchar_t* windowClass;
  DWORD style;
  DWORD exStyle;
  const wchar_t* caption;
  const wchar_t* hint;
  int image;  ///< an icon's resource identifier, or 0
};
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
const ControlKind kControls[] = {
    {IDC_EDARQRISCO, WC_EDITW, kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, L"",
     L"Local e nome do arquivo de riscos", 0},
    {IDC_EDARQSINISTRO, WC_EDITW, kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, L"",
     L"Local e nome do arquivo de sinistros", 0},
    {IDC_BTNOK, WC_BUTTONW, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, L"&Criticar", nullptr, IDI_CHECK},
    {IDC_BTNFECHAR, WC_BUTTONW, kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, L"&Fechar", L"Sai do programa", IDI_CLOSE},
    {IDC_EDLOG, WC_EDITW,
     kChild | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL,
     WS_EX_CLIENTEDGE, L"", L"Resultado do teste", 0},
    {IDC_BTNEXPORTA, WC_BUTTONW, kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, L"Exporta Resultado", L"Exporta para TXT",
     IDI_SAVE},
    {IDC_PROGRESSBAR, PROGRESS_CLASSW, kChild | PBS_VERTICAL, 0, L"", nullptr, 0},
    {IDC_BTNAJUDA, WC_BUTTONW, kChild | WS_TABSTOP | BS_PUSHBUTTON, 0, L"", L"Ajuda", IDI_HELP},
    {IDC_LABEL3, WC_STATICW, kChild | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, L"Arquivo de Riscos", nullptr, 0},
    {IDC_SPEEDBUTTON4, WC_BUTTONW, kChild | BS_PUSHBUTTON, 0, L"", L"Defina o arquivo de riscos", IDI_OPEN},
    {IDC_LABEL4, WC_STATICW, kChild | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, L"Arquivo de Sinistros", nullptr, 0},
    {IDC_SPEEDBUTTON3, WC_BUTTONW, kChild | BS_PUSHBUTTON, 0, L"", L"Defina o arquivo de sinistros", IDI_OPEN},
};

int BoxId(PathBox box) { return box == PathBox::kRisks ? IDC_EDARQRISCO : IDC_EDARQSINISTRO; }

std::wstring WideFromCp1252(const std::string& text) { return WideFromUtf8(Cp1252ToUtf8(text)); }

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

/// A function of a system library that older versions of Windows lack;
/// null there.
void (*SystemFunction(const wchar_t* library, const char* name))() {
  return reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(library), name));
}

/// The DPI of a window: its monitor's when the system knows per-monitor
/// DPI (Windows 10 and later), else the system's.
int WindowDpi(HWND window) {
  using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow =
      reinterpret_cast<GetDpiForWindowCall>(SystemFunction(L"user32.dll", "GetDpiForWindow"));
  if (getDpiForWindow) {
    if (const UINT dpi = getDpiForWindow(window)) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

/// The outer size of the window for a client area of width x height at dpi.
SIZE OuterSize(int width, int height, int dpi) {
  using AdjustForDpiCall = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi =
      reinterpret_cast<AdjustForDpiCall>(SystemFunction(L"user32.dll", "AdjustWindowRectExForDpi"));
  RECT rect{0, 0, width, height};
  if (!adjustForDpi || !adjustForDpi(&rect, kWindowStyle, FALSE, kWindowExStyle, static_cast<UINT>(dpi))) {
    AdjustWindowRectEx(&rect, kWindowStyle, FALSE, kWindowExStyle);
  }
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

int CALLBACK NoteFontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FontInstalled(const wchar_t* family) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(wanted.lfFaceName, family, LF_FACESIZE);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &wanted, NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

/// A font of 8 points at dpi.
HFONT EightPointFont(const wchar_t* family, int dpi, BYTE pitchAndFamily) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(8, dpi, 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = pitchAndFamily;
  lstrcpynW(font.lfFaceName, family, LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

/// The window's font: "MS Sans Serif" where the system has it, else the
/// family of the system's dialog (message box) font; 8 points.
HFONT WindowFont(int dpi) {
  if (FontInstalled(L"MS Sans Serif")) return EightPointFont(L"MS Sans Serif", dpi, VARIABLE_PITCH | FF_SWISS);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  const wchar_t* family = L"MS Shell Dlg 2";
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    family = metrics.lfMessageFont.lfFaceName;
  }
  return EightPointFont(family, dpi, VARIABLE_PITCH | FF_SWISS);
}

/// The file choice buttons take no focus: a click leaves it where it was.
LRESULT CALLBACK NoFocusButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_SETFOCUS && wParam) {
    SetFocus(reinterpret_cast<HWND>(wParam));
    return 0;
  }
  return DefSubclassProc(button, message, wParam, lParam);
}

/// The size of a control's text in font.
SIZE TextSize(HWND control, HFONT font) {
  const std::wstring text = WindowText(control);
  SIZE size{};
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, font);
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size;
}

/// A file dropped from the shell onto an edit box names the file to use,
/// unless the box is read-only (a run works).
LRESULT CALLBACK PathBoxProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_DROPFILES) {
    const auto drop = reinterpret_cast<HDROP>(wParam);
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0 && !(GetWindowLongW(edit, GWL_STYLE) & ES_READONLY)) {
      std::wstring path(static_cast<size_t>(DragQueryFileW(drop, 0, nullptr, 0)) + 1, L'\0');
      path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
      SetWindowTextW(edit, path.c_str());
    }
    DragFinish(drop);
    return 0;
  }
  return DefSubclassProc(edit, message, wParam, lParam);
}

/// An in-memory dialog template with no controls: the window's caption and
/// style; its place and size are set in pixels once it exists.
std::vector<WORD> DialogTemplate() {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
  header->style = kWindowStyle;
  header->dwExtendedStyle = kWindowExStyle;
  header->cdit = 0;
  words.push_back(0);  // no menu
  words.push_back(0);  // the dialog class
  for (const wchar_t* c = kCaption; *c; ++c) words.push_back(static_cast<WORD>(*c));
  words.push_back(0);
  return words;
}

}  // namespace

FrmInicio::FrmInicio(HINSTANCE instance, std::string programFolder, RegionalSettings settings, SystemCalls calls,
                     bool quitOnClose)
    : instance_(instance), calls_(std::move(calls)), quitOnClose_(quitOnClose) {
  const std::vector<WORD> dialog = DialogTemplate();
  if (!CreateDialogIndirectParamW(instance_, reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), nullptr, DialogProc,
                                  reinterpret_cast<LPARAM>(this))) {
    throw std::runtime_error("The window could not be created.");
  }
  openFile_.lStructSize = sizeof openFile_;
  logic_ = std::make_unique<WindowLogic>(std::move(programFolder), std::move(settings), *this);
  RestorePlacement();
}

FrmInicio::~FrmInicio() {
  // The run ends (and its work posted to the window is dropped) before the
  // controls it shows in go.
  logic_.reset();
  {
    std::lock_guard lock(postedMutex_);
    posted_.clear();
  }
  if (window_) DestroyWindow(window_);
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(windowFont_), static_cast<HGDIOBJ>(logFont_)}) {
    if (object) DeleteObject(object);
  }
  if (bigIcon_) DestroyIcon(bigIcon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
  for (HIMAGELIST list : images_) {
    if (list) ImageList_Destroy(list);
  }
}

INT_PTR CALLBACK FrmInicio::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<FrmInicio*>(lParam);
    self->window_ = window;
    self->CreateControls();
    SetFocus(self->Control(IDC_EDARQRISCO));
    return FALSE;
  }
  auto* self = reinterpret_cast<FrmInicio*>(GetWindowLongPtrW(window, DWLP_USER));
  return self ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR FrmInicio::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const auto result = [this](LRESULT value) {
    SetWindowLongPtrW(window_, DWLP_MSGRESULT, value);
    return TRUE;
  };
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) Command(LOWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      if (!logic_ || logic_->CloseRequested()) Close();
      return TRUE;
    case WM_SIZE:
      LayOut();
      return TRUE;
    case WM_GETMINMAXINFO: {
      const SIZE minimum = OuterSize(Scale(kDesignClientWidth, dpi_), Scale(kDesignClientHeight, dpi_), dpi_);
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

void FrmInicio::CreateControls() {
  for (const ControlKind& kind : kControls) {
    HWND control = CreateWindowExW(kind.exStyle, kind.windowClass, kind.caption, kind.style, 0, 0, 0, 0, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kind.id)), instance_, nullptr);
    if (!control) throw std::runtime_error("A control of the window could not be created.");
  }
  SendMessageW(window_, DM_SETDEFID, IDC_BTNOK, 0);
  SendDlgItemMessageW(window_, IDC_PROGRESSBAR, PBM_SETRANGE32, 0, 100);
  SendDlgItemMessageW(window_, IDC_PROGRESSBAR, PBM_SETPOS, 0, 0);
  // The report may be far longer than an edit box holds by default.
  SendDlgItemMessageW(window_, IDC_EDLOG, EM_SETLIMITTEXT, 0, 0);
  for (int id : {IDC_SPEEDBUTTON4, IDC_SPEEDBUTTON3}) SetWindowSubclass(Control(id), NoFocusButtonProc, 0, 0);
  for (int id : {IDC_EDARQRISCO, IDC_EDARQSINISTRO}) {
    DragAcceptFiles(Control(id), TRUE);
    SetWindowSubclass(Control(id), PathBoxProc, 0, 0);
  }

  tooltip_ =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
  for (const ControlKind& kind : kControls) {
    if (!kind.hint || !tooltip_) continue;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(Control(kind.id));
    tool.lpszText = const_cast<wchar_t*>(kind.hint);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }

  dpi_ = WindowDpi(window_);
  ApplyDpi();
  const SIZE outer = OuterSize(Scale(kDesignClientWidth, dpi_), Scale(kDesignClientHeight, dpi_), dpi_);
  SetWindowPos(window_, nullptr, Scale(kDesignLeft, dpi_), Scale(kDesignTop, dpi_), outer.cx, outer.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  LayOut();
}

void FrmInicio::ApplyDpi() {
  HFONT oldWindowFont = windowFont_;
  HFONT oldLogFont = logFont_;
  windowFont_ = WindowFont(dpi_);
  logFont_ = EightPointFont(L"Courier New", dpi_, FIXED_PITCH | FF_MODERN);
  for (const ControlKind& kind : kControls) {
    SendDlgItemMessageW(window_, kind.id, WM_SETFONT,
                        reinterpret_cast<WPARAM>(kind.id == IDC_EDLOG ? logFont_ : windowFont_), TRUE);
  }
  if (oldWindowFont) DeleteObject(oldWindowFont);
  if (oldLogFont) DeleteObject(oldLogFont);

  // The window's icon at the sizes of the title bar and the task switcher.
  for (HICON* icon : {&bigIcon_, &smallIcon_}) {
    const bool big = icon == &bigIcon_;
    HICON old = *icon;
    const int size = Scale(big ? 32 : 16, dpi_);
    *icon = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(IDI_TARVELO), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    SendMessageW(window_, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(*icon));
    if (old) DestroyIcon(old);
  }

  // The buttons' images, 16 pixels at 96 dpi; one list per button (a list
  // of one image serves every state of the button).
  const int size = Scale(16, dpi_);
  size_t next = 0;
  for (const ControlKind& kind : kControls) {
    if (!kind.image || next >= images_.size()) continue;
    HIMAGELIST old = images_[next];
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 1, 0);
    HICON icon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kind.image), IMAGE_ICON, size, size, 0));
    if (list && icon) ImageList_AddIcon(list, icon);
    if (icon) DestroyIcon(icon);
    BUTTON_IMAGELIST image{};
    image.himl = list;
    image.uAlign = *kind.caption ? BUTTON_IMAGELIST_ALIGN_LEFT : BUTTON_IMAGELIST_ALIGN_CENTER;
    image.margin = RECT{Scale(4, dpi_), 0, 0, 0};
    SendDlgItemMessageW(window_, kind.id, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&image));
    images_[next++] = list;
    if (old) ImageList_Destroy(old);
  }
}

void FrmInicio::LayOut() {
  RECT client{};
  GetClientRect(window_, &client);
  for (const ControlDesign& design : kFrmInicioDesign) {
    ControlRect rect = PlaceControl(design, dpi_, client.right, client.bottom);
    if (design.id == IDC_LABEL3 || design.id == IDC_LABEL4) {
      // A label is as large as its text, where the font is wider than the
      // design's.
      const SIZE text = TextSize(Control(design.id), windowFont_);
      rect.width = std::max(rect.width, static_cast<int>(text.cx));
      rect.height = std::max(rect.height, static_cast<int>(text.cy));
    }
    SetWindowPos(Control(design.id), nullptr, rect.left, rect.top, rect.width, rect.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void FrmInicio::Command(int id) {
  if (!logic_) return;
  switch (id) {
    case IDC_SPEEDBUTTON4:
      logic_->ChooseFile(PathBox::kRisks);
      break;
    case IDC_SPEEDBUTTON3:
      logic_->ChooseFile(PathBox::kClaims);
      break;
    case IDC_BTNOK:
      logic_->Validate();
      break;
    case IDC_BTNEXPORTA:
      logic_->Export();
      break;
    case IDC_BTNAJUDA:
      logic_->Help();
      break;
    case IDC_BTNFECHAR:
      PostMessageW(window_, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}

void FrmInicio::Post(std::function<void()> work) {
  std::lock_guard lock(postedMutex_);
  // One message per piece of work, so that they run in the order posted
  // and other messages (painting) come between them. Dropped once the
  // window is gone.
  HWND window = window_;
  if (!window) return;
  posted_.push_back(std::move(work));
  PostMessageW(window, kPostedWork, 0, 0);
}

void FrmInicio::RunPosted() {
  std::function<void()> work;
  {
    std::lock_guard lock(postedMutex_);
    if (posted_.empty()) return;
    work = std::move(posted_.front());
    posted_.pop_front();
  }
  if (logic_) work();
}

std::string FrmInicio::BoxText(PathBox box) const { return Utf8FromWide(WindowText(Control(BoxId(box)))); }

void FrmInicio::SetBoxText(PathBox box, const std::string& text) {
  SetWindowTextW(Control(BoxId(box)), WideFromUtf8(text).c_str());
}

void FrmInicio::SetCommandsEnabled(bool enabled) {
  HWND focus = GetFocus();
  for (int id : {IDC_SPEEDBUTTON4, IDC_SPEEDBUTTON3, IDC_BTNOK, IDC_BTNAJUDA, IDC_BTNEXPORTA}) {
    // A disabled control with the focus would take the keyboard with it.
    if (!enabled && focus == Control(id)) SetFocus(Control(IDC_EDLOG));
    EnableWindow(Control(id), enabled);
  }
  for (int id : {IDC_EDARQRISCO, IDC_EDARQSINISTRO}) SendDlgItemMessageW(window_, id, EM_SETREADONLY, !enabled, 0);
}

void FrmInicio::SetBusyCursor(bool busy) {
  busy_ = busy;
  POINT cursor{};
  GetCursorPos(&cursor);
  SetCursorPos(cursor.x, cursor.y);  // a WM_SETCURSOR now
}

void FrmInicio::ClearReport() { SetDlgItemTextW(window_, IDC_EDLOG, L""); }

void FrmInicio::ShowReportLine(size_t index, const std::string& cp1252Line, bool replace) {
  HWND log = Control(IDC_EDLOG);
  std::wstring text = WideFromCp1252(cp1252Line);
  if (replace) {
    const LRESULT start = SendMessageW(log, EM_LINEINDEX, index, 0);
    if (start < 0) return;
    const LRESULT length = SendMessageW(log, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
    SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(start), start + length);
  } else {
    if (index > 0) text.insert(0, L"\r\n");
    const int end = GetWindowTextLengthW(log);
    SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(end), end);
  }
  SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void FrmInicio::SetProgress(int position) { SendDlgItemMessageW(window_, IDC_PROGRESSBAR, PBM_SETPOS, position, 0); }

std::optional<std::string> FrmInicio::ChooseOpenFile(const std::string& startFile) {
  openFileName_ = WideFromUtf8(startFile);
  openFileName_.resize(32768, L'\0');
  openFile_.hwndOwner = window_;
  openFile_.lpstrFile = openFileName_.data();
  openFile_.nMaxFile = static_cast<DWORD>(openFileName_.size());
  openFile_.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (!calls_.getOpenFileName(&openFile_)) return std::nullopt;
  return Utf8FromWide(openFileName_.c_str());
}

std::optional<SavePathChoice> FrmInicio::ChooseSaveFile(const SaveDialogRequest& request) {
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

void FrmInicio::ShowError(const std::string& cp1252Text) {
  calls_.messageBox(window_, WideFromCp1252(cp1252Text).c_str(), kApplicationTitle, MB_OK | MB_ICONSTOP);
}

void FrmInicio::ShowMessage(const std::string& cp1252Text) {
  calls_.messageBox(window_, WideFromCp1252(cp1252Text).c_str(), kApplicationTitle, MB_OK);
}

void FrmInicio::ShowInformation(const std::string& cp1252Text) {
  calls_.messageBox(window_, WideFromCp1252(cp1252Text).c_str(), kApplicationTitle, MB_OK | MB_ICONINFORMATION);
}

bool FrmInicio::AskYesNo(const std::string& cp1252Text) {
  return calls_.messageBox(window_, WideFromCp1252(cp1252Text).c_str(), kApplicationTitle,
                           MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

void FrmInicio::LaunchDocument(const std::string& path, std::function<void(int)> done) {
  const HINSTANCE result =
      calls_.shellExecute(window_, nullptr, WideFromUtf8(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  done(static_cast<int>(reinterpret_cast<INT_PTR>(result)));
}

std::string FrmInicio::HomeFolder() const {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, folder))) return std::string();
  return Utf8FromWide(folder);
}

std::string FrmInicio::DocumentsFolder() const {
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

RememberedPaths FrmInicio::RecallPaths() {
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

void FrmInicio::KeepPaths(const RememberedPaths& paths) {
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

void FrmInicio::RestorePlacement() {
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

void FrmInicio::RunFinished() { ++runsFinished_; }

void FrmInicio::Close() {
  if (window_) DestroyWindow(window_);
}

void DispatchWindowMessage(HWND dialog, MSG& message) {
  if (dialog && IsWindow(dialog) && IsDialogMessageW(dialog, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace tarvelo::win32
