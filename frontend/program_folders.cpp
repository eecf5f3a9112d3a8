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

ProgramOwnFiles ProgramOwnFilesOf(const std::string& executableFolder) {
  ProgramOwnFiles program;
  const std::string own = WithSlash(executableFolder);
  if (own.empty()) return program;
  const std::string data = ProgramDataFolder(own, "Tarvelo.html");
  for (const std::string& folder : {own, data}) {
    for (const char* name :
         {"tarvelo", "tarvelo-cli", "tarvelo.exe", "tarvelo-cli.exe", "Tarvelo.html", "Tarvelo.chm", "LEIAME.txt",
          "LICENCAS.txt", "LICENSE.txt", "LICENSE", "tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"})
      program.files.push_back(folder + name);
  }
  if (data != own) {
    const std::filesystem::path share = std::filesystem::path(data) / "..";
    program.folders.push_back(data);
    for (const char* package : {"doc/tarvelo-cli", "doc/tarvelo"}) {
      const std::string doc = WithSlash((share / package).lexically_normal().string());
      program.folders.push_back(doc);
      program.folders.push_back(doc + "examples" + os::kFolderSeparator);
    }
  }
  return program;
}

std::string CatalogueFolder(const std::optional<std::string>& optionFolder, const EnvironmentLookup& lookup,
                            const std::string& executableFolder) {
  if (optionFolder) return WithSlash(*optionFolder);
  const std::string named = lookup(kCatalogueVariable);
  if (!named.empty()) return WithSlash(named);
  return ProgramDataFolder(executableFolder, "tabelas.dbf");
}

os::Folder IndexFolder(const std::string& catalogueFolder, const EnvironmentLookup& lookup) {
  os::Folder own = os::OpenOwnFolder(catalogueFolder);
  if (own.IsOpen()) return own;
  std::string folder;
  std::string reason;
  const auto fail = [&]() -> os::Folder {
    IndexFolderError error("Cannot make a private folder for the index \"" + PathText(folder) + "\"");
    error.SetReason(reason);
    throw error;
  };
  const std::string localData = os::UserLocalDataFolder();
  if (!localData.empty()) {
    os::Folder local = os::OpenPrivateFolder(localData, "Tarvelo", reason);
    if (local.IsOpen()) return local;
    folder = local.Path();
    return fail();
  }
  // Only an absolute XDG_RUNTIME_DIR counts, as its standard says.
  const std::string runtime = lookup("XDG_RUNTIME_DIR");
  if (!runtime.empty() && runtime.front() == '/') {
    os::Folder private_ = os::OpenPrivateFolder(runtime, "tarvelo", reason);
    if (private_.IsOpen()) return private_;
  }
  std::string temporary = lookup("TMPDIR");
  if (temporary.empty()) temporary = "/tmp";
  const std::string name = "tarvelo-" + os::UserNumber();
  os::Folder shared = os::OpenPrivateFolder(temporary, name, reason);
  if (shared.IsOpen()) return shared;
  // Taken (by another user, say): a folder for this run alone.
  folder = shared.Path();
  os::Folder fresh = os::MakeRunFolder(temporary, name, reason);
  if (fresh.IsOpen()) return fresh;
  return fail();
}

std::optional<std::string> IndexFolderIfAny(const std::string& catalogueFolder, const EnvironmentLookup& lookup) {
  try {
    return IndexFolder(catalogueFolder, lookup).Path();
  } catch (const IndexFolderError&) {
    return std::nullopt;
  }
}

}  // namespace tarvelo
