#pragma once

#include <functional>
#include <string>

#include "frontend/command_flow.h"
#include "frontend/window_face.h"

namespace tarvelo {

/// Opens a document (a path, UTF-8) with the desktop's associated program
/// and calls done with the shell result code: kShellPathNotFound when its
/// folder does not exist, kShellFileNotFound when the file does not, else
/// what the desktop answers (WindowFace::LaunchDocument), which may come
/// after this call has returned.
void OpenDocument(const std::string& path, WindowFace& face, std::function<void(int)> done);

/// The message shown for a shell result code, or an empty text for the
/// codes that show nothing (success included).
std::string ShellResultMessage(int code);

}  // namespace tarvelo
