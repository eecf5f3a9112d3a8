#pragma once

#include <memory>

#include "app/main_window.h"

namespace tarvelo {

/// Program start after the application object exists: the C locale's
/// numbers back to "C" (the toolkit adopts the environment's, the engine's
/// number texts follow the regional settings only) and the application title
/// "Tarvelo", the caption of message boxes.
void PrepareApplication();

/// The main window on the program's own folder and the user's regional
/// settings from the environment, not yet shown.
std::unique_ptr<TfrmInicio> CreateFrmInicio(WindowServices& services);

}  // namespace tarvelo
