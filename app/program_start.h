#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "frontend/start_arguments.h"

namespace tarvelo {

/// Program start after the application object exists: the C locale's
/// numbers back to "C" (the toolkit adopts the environment's, the engine's
/// number texts follow the regional settings only), the application title
/// "Tarvelo" (the caption of message boxes), the desktop entry's name, the
/// toolkit's translations for the user's language (MessagesLanguage), and
/// the removal of a run's temporary index when a signal ends the program.
void PrepareApplication();

/// Installs the toolkit's own translations (of its file dialogs, context
/// menus and standard buttons) for language, a locale name such as
/// "pt_BR", in place of those installed before. Returns false, leaving the
/// toolkit's English texts, when none are installed for the language.
bool InstallToolkitTranslations(const std::string& language);

/// The main window, not yet shown: on the catalogue folder of the command
/// line, else of TARVELO_CATALOGO, else the program's own (CatalogueFolder),
/// with the help page of the program's own files, the user's regional
/// settings from the environment, and the data files of the command line,
/// when it names any, in its edit boxes in place of those of the last
/// session, each in the box of its layout (WindowLogic::OpenStartFiles).
std::unique_ptr<MainWindow> CreateMainWindow(WindowServices& services, const WindowArguments& arguments = {});

}  // namespace tarvelo
