#pragma once

#include <memory>

#include "app/main_window.h"

namespace tarvelo {

/// Program start after the application object exists: the C locale's
/// numbers back to "C" (the toolkit adopts the environment's, the engine's
/// number texts follow the regional settings only), the application title
/// "Tarvelo" (the caption of message boxes), the toolkit's translations for
/// the user's language (MessagesLanguage), and the removal of a run's
/// temporary index when a signal ends the program.
void PrepareApplication();

/// Installs the toolkit's own translations (of its file dialogs, context
/// menus and standard buttons) for language, a locale name such as
/// "pt_BR", in place of those installed before. Returns false, leaving the
/// toolkit's English texts, when none are installed for the language.
bool InstallToolkitTranslations(const std::string& language);

/// The main window on the program's own folder and the user's regional
/// settings from the environment, not yet shown.
std::unique_ptr<TfrmInicio> CreateFrmInicio(WindowServices& services);

}  // namespace tarvelo
