// The window's controls, made from the window's design
// (frontend/window_design.h): one function per kind of control, the hints,
// the fonts and images at the window's DPI, and the layout.
#include <algorithm>
#include <stdexcept>

#include "app_win32/main_window.h"
#include "app_win32/resource_ids.h"
#include "app_win32/window_layout.h"
#include "os/wide_text.h"

namespace tarvelo::win32 {
namespace {

using os::WideFromUtf8;

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

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

int CALLBACK NoteFontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FontInstalled(const std::wstring& family) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(wanted.lfFaceName, family.c_str(), LF_FACESIZE);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &wanted, NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

/// A font of family and points at dpi.
HFONT PointFont(const std::wstring& family, int points, int dpi, BYTE pitchAndFamily) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(points, dpi, 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = pitchAndFamily;
  lstrcpynW(font.lfFaceName, family.c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

/// The window's font: the design's family ("MS Sans Serif") where the
/// system has it, else the family of the system's dialog (message box)
/// font; the design's size.
HFONT WindowFont(const FontDesign& design, int dpi) {
  std::wstring family = WideFromUtf8(design.family);
  if (!FontInstalled(family)) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    family = L"MS Shell Dlg 2";
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
      family = metrics.lfMessageFont.lfFaceName;
    }
  }
  return PointFont(family, design.points, dpi, VARIABLE_PITCH | FF_SWISS);
}

/// The file choice buttons take no focus: a click leaves it where it was.
LRESULT CALLBACK NoFocusButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  if (message == WM_SETFOCUS && wParam) {
    SetFocus(reinterpret_cast<HWND>(wParam));
    return 0;
  }
  return DefSubclassProc(button, message, wParam, lParam);
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

/// The icon resource of a button's image; 0 for none.
int ImageResource(ControlImage image) {
  switch (image) {
    case ControlImage::kOpenImage:
      return IDI_OPEN;
    case ControlImage::kCheckImage:
      return IDI_CHECK;
    case ControlImage::kHelpImage:
      return IDI_HELP;
    case ControlImage::kSaveImage:
      return IDI_SAVE;
    case ControlImage::kCloseImage:
      return IDI_CLOSE;
    case ControlImage::kNoImage:
      break;
  }
  return 0;
}

/// A child of window for control, with its caption, placed by LayOut.
/// Raises std::runtime_error when the system cannot create it.
HWND CreateChild(HWND window, const ControlDesign& control, const wchar_t* windowClass, DWORD style, DWORD exStyle) {
  HWND child = CreateWindowExW(exStyle, windowClass, WideFromUtf8(control.caption).c_str(), kChild | style, 0, 0, 0, 0,
                               window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(control.role))),
                               reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)), nullptr);
  if (!child) throw std::runtime_error("A control of the window could not be created.");
  return child;
}

// One function per kind of control: the control of the design made in
// window.

void CreateLabel(HWND window, const ControlDesign& control) {
  CreateChild(window, control, WC_STATICW, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0);
}

void CreatePathBox(HWND window, const ControlDesign& control) {
  HWND box = CreateChild(window, control, WC_EDITW, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
  DragAcceptFiles(box, TRUE);
  SetWindowSubclass(box, PathBoxProc, 0, 0);
}

void CreateChoiceButton(HWND window, const ControlDesign& control) {
  HWND button = CreateChild(window, control, WC_BUTTONW, BS_PUSHBUTTON, 0);
  SetWindowSubclass(button, NoFocusButtonProc, 0, 0);
}

void CreateProgressBar(HWND window, const ControlDesign& control) {
  HWND progress = CreateChild(window, control, PROGRESS_CLASSW, PBS_VERTICAL, 0);
  SendMessageW(progress, PBM_SETRANGE32, 0, MainWindowDesign().progressMaximum);
  SendMessageW(progress, PBM_SETPOS, 0, 0);
}

/// A push button; the window's default button (Enter) when the design
/// says so.
void CreateCommandButton(HWND window, const ControlDesign& control) {
  const bool isDefault = control.role == MainWindowDesign().defaultButton;
  CreateChild(window, control, WC_BUTTONW, WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0);
  if (isDefault) SendMessageW(window, DM_SETDEFID, ControlId(control.role), 0);
}

void CreateReportArea(HWND window, const ControlDesign& control) {
  HWND report =
      CreateChild(window, control, WC_EDITW,
                  WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL,
                  WS_EX_CLIENTEDGE);
  // The report may be far longer than an edit box holds by default.
  SendMessageW(report, EM_SETLIMITTEXT, 0, 0);
}

void CreateControl(HWND window, const ControlDesign& control) {
  switch (control.kind) {
    case ControlKind::kLabel:
      return CreateLabel(window, control);
    case ControlKind::kPathBox:
      return CreatePathBox(window, control);
    case ControlKind::kChoiceButton:
      return CreateChoiceButton(window, control);
    case ControlKind::kProgressBar:
      return CreateProgressBar(window, control);
    case ControlKind::kCommandButton:
      return CreateCommandButton(window, control);
    case ControlKind::kReportArea:
      return CreateReportArea(window, control);
  }
}

}  // namespace

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

void MainWindow::CreateControls() {
  // The dialog manager's tab order is the order of creation.
  for (ControlRole role : RolesInTabOrder()) CreateControl(window_, DesignOf(role));
  AddHints();
  dpi_ = WindowDpi(window_);
  ApplyDpi();
  const WindowDesign& design = MainWindowDesign();
  const SIZE outer = DesignOuterSize();
  SetWindowPos(window_, nullptr, Scale(design.left, dpi_), Scale(design.top, dpi_), outer.cx, outer.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  LayOut();
}

void MainWindow::AddHints() {
  tooltip_ =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
  if (!tooltip_) return;
  for (ControlRole role : RolesInTabOrder()) {
    const ControlDesign& control = DesignOf(role);
    if (!*control.hint) continue;
    // The tooltip keeps a copy of the text.
    std::wstring hint = WideFromUtf8(control.hint);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(Control(role));
    tool.lpszText = hint.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

SIZE MainWindow::DesignOuterSize() const {
  using AdjustForDpiCall = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi =
      reinterpret_cast<AdjustForDpiCall>(SystemFunction(L"user32.dll", "AdjustWindowRectExForDpi"));
  const WindowDesign& design = MainWindowDesign();
  RECT rect{0, 0, Scale(design.clientWidth, dpi_), Scale(design.clientHeight, dpi_)};
  if (!adjustForDpi || !adjustForDpi(&rect, kStyle, FALSE, kExStyle, static_cast<UINT>(dpi_))) {
    AdjustWindowRectEx(&rect, kStyle, FALSE, kExStyle);
  }
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void MainWindow::ApplyDpi() {
  const WindowDesign& design = MainWindowDesign();
  HFONT oldWindowFont = windowFont_;
  HFONT oldReportFont = reportFont_;
  windowFont_ = WindowFont(design.windowFont, dpi_);
  reportFont_ =
      PointFont(WideFromUtf8(design.reportFont.family), design.reportFont.points, dpi_, FIXED_PITCH | FF_MODERN);
  for (const ControlDesign& control : design.controls) {
    HFONT font = control.font == ControlFont::kReport ? reportFont_ : windowFont_;
    SendMessageW(Control(control.role), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (oldWindowFont) DeleteObject(oldWindowFont);
  if (oldReportFont) DeleteObject(oldReportFont);

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
  for (const ControlDesign& control : design.controls) {
    if (control.image != ControlImage::kNoImage) ApplyImage(control);
  }
}

void MainWindow::ApplyImage(const ControlDesign& control) {
  // 16 pixels at 96 dpi; one list per button (a list of one image serves
  // every state of the button).
  const int size = Scale(16, dpi_);
  HIMAGELIST& kept = images_[IndexOf(control.role)];
  HIMAGELIST old = kept;
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 1, 0);
  HICON icon = static_cast<HICON>(
      LoadImageW(instance_, MAKEINTRESOURCEW(ImageResource(control.image)), IMAGE_ICON, size, size, 0));
  if (list && icon) ImageList_AddIcon(list, icon);
  if (icon) DestroyIcon(icon);
  BUTTON_IMAGELIST image{};
  image.himl = list;
  image.uAlign = *control.caption ? BUTTON_IMAGELIST_ALIGN_LEFT : BUTTON_IMAGELIST_ALIGN_CENTER;
  image.margin = RECT{Scale(4, dpi_), 0, 0, 0};
  SendMessageW(Control(control.role), BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&image));
  kept = list;
  if (old) ImageList_Destroy(old);
}

void MainWindow::LayOut() {
  RECT client{};
  GetClientRect(window_, &client);
  for (const ControlDesign& control : MainWindowDesign().controls) {
    ControlRect rect = PlaceControl(control, dpi_, client.right, client.bottom);
    HWND child = Control(control.role);
    if (control.kind == ControlKind::kLabel) {
      // A label is as large as its text, where the font is wider than the
      // design's.
      const SIZE text = TextSize(child, windowFont_);
      rect.width = std::max(rect.width, static_cast<int>(text.cx));
      rect.height = std::max(rect.height, static_cast<int>(text.cy));
    }
    SetWindowPos(child, nullptr, rect.left, rect.top, rect.width, rect.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

}  // namespace tarvelo::win32
