#include "frontend/program_folders.h"

#include <filesystem>

#include "os/file_system.h"
#include "os/process.h"
#include "values/text.h"

namespace tarvelo {
namespace {

std::string WithSlash(std::string folder) {
  if (!folder.empty() && !os::IsFolderSeparator(folder.back())) folder += os::kFolderSeparator;
  return folder;
}

bool Holds(const std::string& folder, const std::string& name) {
  os::FileIdentity ignored;
  return os::IdentityAt(folder + name, ignored);
}

}  // namespace

std::string ProgramDataFolder(const std::string& executableFolder, const std::string& name) {
  const std::string own = WithSlash(executableFolder);
  if (own.empty() || Holds(own, name)) return own;
  // The executable's folder comes from the system with its links resolved,
  // so ".." leads where the installation put the files.
  const std::string installed =
      WithSlash((std::filesystem::path(own) / TARVELO_INSTALLED_DATA).lexically_normal().string());
  return Holds(installed, name) ? installed : own;
}

std::string CatalogueFolder(const std::optional<std::string>& optionFolder, const EnvironmentLookup& lookup,
                            const std::string& executableFolder) {
  if (optionFolder) return WithSlash(*optionFolder);
  const std::string named = lookup(kCatalogueVariable);
  if (!named.empty()) return WithSlash(named);
  return ProgramDataFolder(executableFolder, "tabelas.dbf");
}

std::string IndexFolder(const std::string& catalogueFolder, const EnvironmentLookup& lookup) {
  if (os::CanCreateFilesIn(catalogueFolder)) return catalogueFolder;
  std::string folder;
  std::string reason;
  const std::string runtime = lookup("XDG_RUNTIME_DIR");
  if (!runtime.empty()) {
    folder = WithSlash(runtime) + "tarvelo/";
    reason = os::MakePrivateFolder(folder);
    if (reason.empty()) return folder;
  }
  std::string temporary = lookup("TMPDIR");
  if (temporary.empty()) temporary = "/tmp";
  folder = WithSlash(temporary) + "tarvelo-" + os::UserNumber() + "/";
  reason = os::MakePrivateFolder(folder);
  if (reason.empty()) return folder;
  IndexFolderError error("Cannot make a private folder for the index \"" + PathText(folder) + "\"");
  error.SetReason(reason);
  throw error;
}

std::optional<std::string> IndexFolderIfAny(const std::string& catalogueFolder, const EnvironmentLookup& lookup) {
  try {
    return IndexFolder(catalogueFolder, lookup);
  } catch (const IndexFolderError&) {
    return std::nullopt;
  }
}

}  // namespace tarvelo
