#pragma once

#include <QString>
#include <functional>

#include "app/command_flow.h"
#include "app/window_services.h"

namespace tarvelo {

/// Opens a document with the desktop's associated program and calls done
/// with the shell result code: kShellPathNotFound when its folder does not
/// exist, kShellFileNotFound when the file does not, else what the desktop
/// answers (WindowServices::LaunchDocument), which may come after this
/// call has returned.
void OpenDocument(const QString& path, WindowServices& services, std::function<void(int)> done);

/// The message shown for a shell result code, or an empty text for the
/// codes that show nothing (success included).
QString ShellResultMessage(int code);

}  // namespace tarvelo
