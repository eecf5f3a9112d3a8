#pragma once

#include <optional>
#include <string>

#include "frontend/locale_environment.h"
#include "os/folder.h"
#include "validation/export_path_check.h"
#include "values/errors.h"

namespace tarvelo {

/// The environment variable that names the catalogue folder.
inline constexpr const char* kCatalogueVariable = "TARVELO_CATALOGO";

/// No folder could be had for a run's temporary index: "Cannot make a
/// private folder for the index "<folder>"", with the system's reason
/// (os::OpenPrivateFolder, os::MakeRunFolder) as Reason().
class IndexFolderError : public TarveloError {
 public:
  using TarveloError::TarveloError;
};

/// The folder of the program's own files (the catalogue tables, the help
/// page) for a program in executableFolder: that folder when it holds a
/// file called name (a build folder, a folder unpacked from an archive);
/// else the folder where an installation puts those files, found from the
/// executable's (share/tarvelo/ beside bin/), when it holds one; else
/// executableFolder. Paths as the file system names them, ending in "/";
/// an empty executableFolder (the system could not tell it) gives empty,
/// the current folder.
std::string ProgramDataFolder(const std::string& executableFolder, const std::string& name);

/// The program's own files for a program in executableFolder, which no
/// output may replace: in that folder and in its data folder
/// (ProgramDataFolder), the files a build, an unpacked archive or an
/// installation puts there (the executables of both front ends, the help
/// page, the notes, the licences, the catalogue tables) by name, whether or
/// not they exist; and, when the program runs installed (its data folder is
/// not its own folder), the whole data folder and the documentation folders
/// of its packages (share/doc/tarvelo-cli/, share/doc/tarvelo/ and their
/// examples). Empty for an empty executableFolder.
ProgramOwnFiles ProgramOwnFilesOf(const std::string& executableFolder);

/// Where the folder of the catalogue tables comes from.
enum class CatalogueOrigin {
  /// The command line's --catalogo.
  kOption,
  /// The environment's TARVELO_CATALOGO.
  kVariable,
  /// The program's own folder: it holds "tabelas.dbf", or no folder does.
  kProgramFolder,
  /// The folder an installation puts the program's files in.
  kInstalled,
};

/// A catalogue folder and where it comes from.
struct CatalogueChoice {
  std::string folder;
  CatalogueOrigin origin = CatalogueOrigin::kProgramFolder;
};

/// The folder of the catalogue tables: optionFolder when the command line
/// gave one, else the value of TARVELO_CATALOGO when it is set and not
/// empty, else ProgramDataFolder(executableFolder, "tabelas.dbf"); and
/// which of them it is. Ends in "/" unless empty (the current folder). A
/// folder named that does not exist is used as named: the run's opening of
/// "tabelas.dbf" reports it.
CatalogueChoice ChooseCatalogueFolder(const std::optional<std::string>& optionFolder, const EnvironmentLookup& lookup,
                                      const std::string& executableFolder);

/// ChooseCatalogueFolder's folder.
std::string CatalogueFolder(const std::optional<std::string>& optionFolder, const EnvironmentLookup& lookup,
                            const std::string& executableFolder);

/// The sentence a front end puts after an error of reading the catalogue,
/// saying where its folder came from (code page 1252, the path's control
/// characters escaped, "." for the current folder): The catalogue folder
/// "<folder>" is the one --catalogo names. / ... the one TARVELO_CATALOGO
/// names. / ... is the program's own folder, as neither --catalogo nor
/// TARVELO_CATALOGO names one. / ... is the installed one, as neither
/// --catalogo nor TARVELO_CATALOGO names one.
std::string CatalogueOriginText(const CatalogueChoice& choice);

/// The warning a front end gives when others than the user and the
/// system's administrators may change the catalogue in folder: the folder
/// or one of its three tables that they may change (os::OthersMayChange),
/// named in code page 1252 with control characters escaped: Other users may
/// change the catalogue the validation follows: "<path>"[, "<path>"...]
/// may be written by others than you and the system's administrators.
/// Empty when none may.
std::string CatalogueChangeWarning(const std::string& folder);

/// The folder of a run's temporary index when the catalogue is in
/// catalogueFolder, held open (os::Folder): that folder when it is the
/// user's own, no one else may write there and the user can create files
/// in it (os::OpenOwnFolder). Otherwise, on Windows, "Tarvelo\\" in the
/// user's local application data (%LOCALAPPDATA%), made when missing with
/// the access list that folder gives (the user's alone). Otherwise, on
/// POSIX, a folder of the user's own, made with mode 0700 when missing and
/// used only when it is a folder of this user closed to everyone else
/// (os::OpenPrivateFolder): "tarvelo/" in XDG_RUNTIME_DIR when that is an
/// absolute path, else "tarvelo-<user number>/" in TMPDIR, or in /tmp when
/// that is unset or empty; when that folder is not to be had (another
/// user's, a link, open to others), a new folder of the run's own beside
/// it (os::MakeRunFolder), removed with the run. Each run of one user uses
/// the same folder where it can, so two at once meet at the index as two
/// runs in one catalogue folder do, and the later one builds its index
/// under another name (BuildPolicyIndex); two users never share one. Raises
/// IndexFolderError, naming the last folder tried, when no folder is to be
/// had.
os::Folder IndexFolder(const std::string& catalogueFolder, const EnvironmentLookup& lookup);

/// The path of IndexFolder, or nullopt when no folder is to be had (the
/// run itself then reports why): the folder an output must not overwrite
/// the index in.
std::optional<std::string> IndexFolderIfAny(const std::string& catalogueFolder, const EnvironmentLookup& lookup);

}  // namespace tarvelo
