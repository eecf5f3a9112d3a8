#include "frontend/program_folders.h"

#include <filesystem>

#include "os/file_system.h"
#include "os/process.h"
#include "validation/report_format.h"
#include "values/text.h"

namespace tarvelo {
namespace {

std::string WithSlash(std::string folder) {
  if (!folder.empty() && !os::IsFolderSeparator(folder.back())) folder += os::kFolderSeparator;
  return folder;
}

// A path quoted for a message: code page 1252, control characters
// escaped, "." for the current folder.
std::string Shown(const std::string& path) {
  return "\"" + EscapeControlCharacters(PathText(path.empty() ? std::string(".") : path)) + "\"";
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

CatalogueChoice ChooseCatalogueFolder(const std::optional<std::string>& optionFolder, const EnvironmentLookup& lookup,
                                      const std::string& executableFolder) {
  if (optionFolder) return {WithSlash(*optionFolder), CatalogueOrigin::kOption};
  const std::string named = lookup(kCatalogueVariable);
  if (!named.empty()) return {WithSlash(named), CatalogueOrigin::kVariable};
  const std::string folder = ProgramDataFolder(executableFolder, "tabelas.dbf");
  return {folder,
          folder == WithSlash(executableFolder) ? CatalogueOrigin::kProgramFolder : CatalogueOrigin::kInstalled};
}

std::string CatalogueFolder(const std::optional<std::string>& optionFolder, const EnvironmentLookup& lookup,
                            const std::string& executableFolder) {
  return ChooseCatalogueFolder(optionFolder, lookup, executableFolder).folder;
}

std::string CatalogueOriginText(const CatalogueChoice& choice) {
  const std::string folder = "The catalogue folder " + Shown(choice.folder);
  const std::string neither = ", as neither --catalogo nor " + std::string(kCatalogueVariable) + " names one.";
  switch (choice.origin) {
    case CatalogueOrigin::kOption:
      return folder + " is the one --catalogo names.";
    case CatalogueOrigin::kVariable:
      return folder + " is the one " + kCatalogueVariable + " names.";
    case CatalogueOrigin::kInstalled:
      return folder + " is the installed one" + neither;
    case CatalogueOrigin::kProgramFolder:
      break;
  }
  return folder + " is the program's own folder" + neither;
}

std::string CatalogueChangeWarning(const std::string& folder) {
  std::string changeable;
  const auto check = [&](const std::string& path) {
    if (!os::OthersMayChange(path)) return;
    changeable += (changeable.empty() ? "" : ", ") + Shown(path);
  };
  check(folder);
  for (const char* table : {"tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"}) check(folder + table);
  if (changeable.empty()) return changeable;
  return "Other users may change the catalogue the validation follows: " + changeable +
         " may be written by others than you and the system's administrators.";
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
