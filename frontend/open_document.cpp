#include "frontend/open_document.h"

#include "frontend/program_context.h"
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
  switch (code) {
    case 2:
      return "The specified file was not found.";
    case 3:
      return "The specified path was not found.";
    case 5:
      return "Windows 95 only: The operating system denied access to the specified file.";
    case 8:
      return "Windows 95 only: There was not enough memory to complete the operation.";
    case 11:
      return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
    case 26:
      return "A sharing violation occurred.";
    case 27:
      return "The filename association is incomplete or invalid.";
    case 28:
      return "The DDE transaction could not be completed because the request timed out.";
    case 29:
      return "The DDE transaction failed.";
    case 30:
      return "The DDE transaction could not be completed because other DDE transactions were being processed.";
    case 31:
      return "There is no application associated with the given filename extension.";
    case 32:
      return "Windows 95 only: The specified dynamic-link library was not found.";
    default:
      return std::string();
  }
}

}  // namespace tarvelo
