// tarvelo.exe: the program's window on Windows.
#include <windows.h>
// windows.h first.
#include <commctrl.h>

#include <exception>
#include <optional>
#include <string>

#include "app_win32/frm_inicio.h"
#include "frontend/locale_environment.h"
#include "frontend/program_context.h"
#include "frontend/program_folders.h"
#include "os/wide_text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  try {
    // The catalogue beside the program unless TARVELO_CATALOGO names
    // another folder, as for the command line.
    const std::string own = tarvelo::ExecutableFolder();
    tarvelo::win32::FrmInicio frmInicio(
        instance, tarvelo::CatalogueFolder(std::nullopt, tarvelo::ProcessEnvironmentVariable, own),
        tarvelo::SettingsFromProcessEnvironment(), tarvelo::win32::SystemCalls(), true);
    frmInicio.Logic().SetHelpFolder(tarvelo::ProgramDataFolder(own, "Tarvelo.html"));
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
