#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"

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

/// The window's command line: tarvelo [--catalogo DIR] [RISCOS.dbf
/// [SINISTROS.dbf]]. Paths are the arguments' bytes, as the file system
/// names them.
struct WindowArguments {
  /// The folder given with --catalogo.
  std::optional<std::string> catalogueFolder;
  /// The data files given, for the edit boxes; empty when not given.
  std::string riskPath;
  std::string claimPath;
  /// For --help the usage, for --version the name and version: the program
  /// prints it and ends. Empty otherwise.
  std::string textToPrint;
};

/// The usage text of the window's command line (ending in a line break).
std::string WindowUsage();

/// Parses the arguments after the program's name: "--catalogo DIR" or
/// "--catalogo=DIR", "--help" ("-h"), "--version", then at most two files,
/// "--" before one that begins with "-". Needs no application object, so
/// that --help works without a display. Returns nullopt and sets error for
/// an unknown option, a missing value, an option given twice or a third
/// file.
std::optional<WindowArguments> ParseWindowArguments(const std::vector<std::string>& arguments, std::string& error);

/// The main window, not yet shown: on the catalogue folder of the command
/// line, else of TARVELO_CATALOGO, else the program's own (CatalogueFolder),
/// with the help page of the program's own files, the user's regional
/// settings from the environment, and the data files of the command line,
/// when it names any, in its edit boxes in place of those of the last
/// session.
std::unique_ptr<TfrmInicio> CreateFrmInicio(WindowServices& services, const WindowArguments& arguments = {});

}  // namespace tarvelo
