// tarvelo.exe: the program's window on Windows.
#include <windows.h>
// windows.h first.
#include <commctrl.h>

#include <exception>

#include "app_win32/frm_inicio.h"
#include "frontend/locale_environment.h"
#include "frontend/program_context.h"
#include "os/wide_text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  try {
    tarvelo::win32::FrmInicio frmInicio(instance, tarvelo::ExecutableFolder(),
                                        tarvelo::SettingsFromProcessEnvironment(), tarvelo::win32::SystemCalls(), true);
    ShowWindow(frmInicio.Handle(), show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      tarvelo::win32::DispatchWindowMessage(frmInicio.Handle(), message);
    }
    return 0;
  } catch (const std::exception& error) {
    MessageBoxW(nullptr, tarvelo::os::WideFromUtf8(error.what()).c_str(), L"Tarvelo", MB_OK | MB_ICONSTOP);
    return 1;
  }
}
