// Takes a picture of the Windows window after it validated two files, as a
// user would see it: window_screenshot OUTPUT.bmp RISKS CLAIMS. Meant to run
// under Wine and a virtual X server (tools/window_screenshot --windows,
// which turns the bitmap into a PNG); the catalogue is the one beside the
// program.
#include <windows.h>
// windows.h first.
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "app_win32/main_window.h"
#include "app_win32/window_layout.h"
#include "frontend/locale_environment.h"
#include "frontend/program_context.h"
#include "os/wide_text.h"

namespace {

void Pump(HWND window, int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) tarvelo::win32::DispatchWindowMessage(window, message);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

/// The screen's pixels under the window, title bar and frame included, as
/// a 24-bit bitmap file.
bool SavePicture(HWND window, const wchar_t* path) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as the file holds it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
  const DWORD imageBytes = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;  // "BM"
  header.bfOffBits = sizeof header + sizeof info.bmiHeader;
  header.bfSize = header.bfOffBits + imageBytes;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), imageBytes);
  const bool written = copied && out.good();
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return written;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: window_screenshot OUTPUT.bmp RISKS CLAIMS\n");
    return 2;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  tarvelo::win32::SystemCalls calls;
  // The picture shows the paths given here, not those of a past session.
  calls.settingsKey = L"Software\\Tarvelo\\WindowScreenshot";
  tarvelo::win32::MainWindow window(GetModuleHandleW(nullptr), tarvelo::ExecutableFolder(),
                                    tarvelo::SettingsFromProcessEnvironment(), calls, false);
  HWND handle = window.Handle();
  ShowWindow(handle, SW_SHOWNORMAL);
  using tarvelo::ControlRole;
  using tarvelo::win32::ControlId;
  SetDlgItemTextW(handle, ControlId(ControlRole::kRisksPath), argv[2]);
  SetDlgItemTextW(handle, ControlId(ControlRole::kClaimsPath), argv[3]);
  Pump(handle, 300);
  SendDlgItemMessageW(handle, ControlId(ControlRole::kValidate), BM_CLICK, 0, 0);
  for (int waited = 0; window.RunsFinished() == 0 && waited < 600; ++waited) Pump(handle, 100);
  // The last lines and the progress bar painted, the caret left at the
  // report's start as a reader would scroll it.
  SendDlgItemMessageW(handle, ControlId(ControlRole::kReport), EM_SETSEL, 0, 0);
  SendDlgItemMessageW(handle, ControlId(ControlRole::kReport), EM_SCROLLCARET, 0, 0);
  SetFocus(GetDlgItem(handle, ControlId(ControlRole::kValidate)));
  // The mouse away from the window: no hint over the picture.
  SetCursorPos(0, 767);
  Pump(handle, 700);
  const bool saved = window.RunsFinished() == 1 && SavePicture(handle, argv[1]);
  RegDeleteTreeW(HKEY_CURRENT_USER, calls.settingsKey.c_str());
  if (!saved) std::fprintf(stderr, "window_screenshot: could not take or save the picture\n");
  return saved ? 0 : 1;
}
