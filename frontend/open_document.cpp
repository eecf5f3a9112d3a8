#include "frontend/open_document.h"

#include "frontend/program_context.h"
#include "frontend/window_design.h"
#include "os/file_system.h"

namespace tarvelo {

void OpenDocument(const std::string& path, WindowFace& face, std::function<void(int)> done) {
  const std::string name = RunPathFromUtf8(path);
  if (!os::IsFolder(FolderOfPath(name))) return done(kShellPathNotFound);
  os::FileIdentity identity;
  if (!os::IdentityAt(name, identity)) return done(kShellFileNotFound);
  face.LaunchDocument(path, std::move(done));
}

std::string ShellResultMessage(int code) {
  for (const ShellMessage& message : MainWindowDesign().shellMessages) {
    if (message.code == code) return message.text;
  }
  return std::string();
}

}  // namespace tarvelo
