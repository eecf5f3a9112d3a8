// tarvelo.exe: the program's window on Windows.
#include <windows.h>
// windows.h first.
#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app_win32/main_window.h"
#include "frontend/locale_environment.h"
#include "frontend/program_context.h"
#include "frontend/program_folders.h"
#include "frontend/start_arguments.h"
#include "frontend/window_design.h"
#include "os/wide_text.h"

namespace {

/// The arguments after the program's name, in UTF-8: files dropped on the
/// program's icon, "Open with", a shortcut's arguments.
std::vector<std::string> ProgramArguments() {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!words) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(tarvelo::os::Utf8FromWide(words[i]));
  LocalFree(words);
  return arguments;
}

/// The application's title, the caption of its message boxes.
std::wstring ApplicationTitle() { return tarvelo::os::WideFromUtf8(tarvelo::MainWindowDesign().applicationTitle); }

void ShowBox(const std::string& text, UINT icon) {
  MessageBoxW(nullptr, tarvelo::os::WideFromUtf8(text).c_str(), ApplicationTitle().c_str(), MB_OK | icon);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  // A program without a console: usage, version and errors of the command
  // line in a message box.
  std::string error;
  const auto arguments = tarvelo::ParseWindowArguments(ProgramArguments(), error);
  if (!arguments) {
    ShowBox("tarvelo: " + error + "\n\n" + tarvelo::WindowUsage(), MB_ICONSTOP);
    return 2;
  }
  if (!arguments->textToPrint.empty()) {
    ShowBox(arguments->textToPrint, MB_ICONINFORMATION);
    return 0;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  try {
    // The catalogue of --catalogo, else of TARVELO_CATALOGO, else beside
    // the program, as for the command line.
    const std::string own = tarvelo::ExecutableFolder();
    const std::optional<std::string> catalogue =
        arguments->catalogueFolder ? std::optional(tarvelo::RunPathFromUtf8(*arguments->catalogueFolder))
                                   : std::nullopt;
    const tarvelo::CatalogueChoice choice =
        tarvelo::ChooseCatalogueFolder(catalogue, tarvelo::ProcessEnvironmentVariable, own);
    tarvelo::win32::MainWindow window(instance, choice.folder, tarvelo::SettingsFromProcessEnvironment(),
                                      tarvelo::win32::SystemCalls(), true);
    window.Logic().SetHelpFolder(tarvelo::ProgramDataFolder(own, "Tarvelo.html"));
    window.Logic().SetCatalogueOrigin(tarvelo::CatalogueOriginText(choice));
    window.Logic().OpenStartFiles(arguments->files);
    ShowWindow(window.Handle(), show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      tarvelo::win32::DispatchWindowMessage(window.Handle(), message);
    }
    return 0;
  } catch (const std::exception& error) {
    MessageBoxW(nullptr, tarvelo::os::WideFromUtf8(error.what()).c_str(), ApplicationTitle().c_str(),
                MB_OK | MB_ICONSTOP);
    return 1;
  }
}
