#pragma once

#include <QString>

#include "app/window_services.h"

namespace tarvelo {

/// The shell's result codes that the window knows; any code above 32 means
/// the document was opened.
enum ShellResult : int {
  kShellFileNotFound = 2,
  kShellPathNotFound = 3,
  kShellNoAssociation = 31,
  kShellOpened = 42,
};

/// Opens a document with the desktop's associated program: kShellPathNotFound
/// when its folder does not exist, kShellFileNotFound when the file does
/// not, kShellNoAssociation when the desktop cannot open it, kShellOpened
/// otherwise.
int OpenDocumentResult(const QString& path, WindowServices& services);

/// The message shown for a shell result code, or an empty text for the
/// codes that show nothing (success included).
QString ShellResultMessage(int code);

}  // namespace tarvelo
