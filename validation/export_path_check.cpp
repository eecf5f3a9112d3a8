#include "validation/export_path_check.h"

#include "dbf/dbf_header.h"
#include "ntx/ntx_index.h"
#include "os/file_system.h"
#include "os/path.h"
#include "os/replace_probe.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {
namespace {

// The folder part of a path, up to and with its last separator ("./" for
// a name without one).
std::string FolderOf(const std::string& path) {
  const std::string folder = os::FolderOf(path);
  return folder.empty() ? std::string(".") + os::kFolderSeparator : folder;
}

// name with the letters of ASCII and of Latin-1 (as UTF-8) in lower case.
std::string FoldedCase(const std::string& name) {
  std::string folded = name;
  for (size_t i = 0; i < folded.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(folded[i]);
    if (c >= 'A' && c <= 'Z') {
      folded[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < folded.size()) {
      // U+00C0 to U+00DE, the multiplication sign apart.
      const unsigned char next = static_cast<unsigned char>(folded[i + 1]);
      if (next >= 0x80 && next <= 0x9E && next != 0x97) folded[i + 1] = static_cast<char>(next + 32);
      ++i;
    }
  }
  return folded;
}

// The names a path goes by, as the system opens them (on Windows the full
// path): the path's, and where its symbolic links lead.
std::vector<std::string> Spellings(const std::string& path) {
  const std::string opened = os::SystemPath(path);
  const std::string destination = os::SystemPath(os::ResolveOutput(path).destination);
  if (destination == opened) return {opened};
  return {opened, destination};
}

bool SameFolder(const std::string& first, const std::string& second) {
  if (os::SameSpelling(first, second)) return true;
  os::FileIdentity one;
  os::FileIdentity other;
  return os::IdentityAt(first, one) && os::IdentityAt(second, other) && one == other;
}

// Whether two paths name one folder and their last parts differ at most in
// case.
bool SameNameIgnoringCase(const std::string& first, const std::string& second) {
  const std::string name = os::FileNameOf(first);
  const std::string other = os::FileNameOf(second);
  return !name.empty() && (FoldedCase(name) == FoldedCase(other) || os::SameSpelling(name, other)) &&
         SameFolder(FolderOf(first), FolderOf(second));
}

bool OneFile(const std::string& first, const std::string& second) {
  os::FileIdentity one;
  os::FileIdentity other;
  if (os::IdentityAt(first, one) && os::IdentityAt(second, other) && one == other) return true;
  for (const std::string& a : Spellings(first)) {
    for (const std::string& b : Spellings(second)) {
      if (SameNameIgnoringCase(a, b)) return true;
    }
  }
  return false;
}

// Whether the name the system opens for path ends in ".dbf", ".ntx" or
// ".dbt" (on Windows: "dados.dbt." and "dados.dbt " are "dados.dbt").
bool HasTableExtension(const std::string& path) {
  const std::string name = FoldedCase(os::FileNameOf(os::SystemPath(path)));
  for (const char* extension : {".dbf", ".ntx", ".dbt"}) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, extension) == 0) return true;
  }
  return false;
}

// Whether path (or where its links lead) is a file in folder.
bool InFolder(const std::string& path, const std::string& folder) {
  for (const std::string& spelling : Spellings(path)) {
    if (SameFolder(FolderOf(spelling), folder)) return true;
  }
  return false;
}

// Whether the first bytes of a file are those of an executable or a shared
// library: ELF, or the "MZ" of a Windows program.
bool IsProgramHeader(const std::string& start) {
  return start.rfind(
             "\x7F"
             "ELF",
             0) == 0 ||
         start.rfind("MZ", 0) == 0;
}

// Whether ResolveOutput would refuse path (a planted link or file).
bool Refused(const std::string& path) {
  const int error = os::ResolveOutput(path).error;
  return error == os::kLinkRefused || error == os::kOthersFileRefused;
}

}  // namespace

std::string CheckExportPath(const std::string& exportPath, const std::vector<std::string>& dataFiles,
                            const std::string& catalogueFolder, const std::optional<std::string>& indexFolder,
                            const ProgramOwnFiles& program) {
  if (exportPath.empty()) return std::string();
  const auto refuse = [&](const std::string& why) {
    throw TarveloError("Cannot export the report to \"" + PathText(exportPath) + "\": " + why);
  };
  const std::string device = os::DeviceNameOf(exportPath);
  if (device == "NUL") {
    // "NUL" alone is how one asks for the output to be thrown away.
    const std::string typed = FoldedCase(exportPath);
    if (typed == "nul" || typed == "nul:" || typed == "\\\\.\\nul") return std::string();
    return "\"" + PathText(exportPath) +
           "\" names the null device NUL: what is written there is discarded, no file is made.";
  }
  if (!device.empty()) refuse("that name is the device " + PathText(device) + ", not a file");

  std::vector<std::string> readFiles;
  for (const std::string& path : dataFiles) {
    if (!Trim(path).empty()) readFiles.push_back(path);
  }
  for (const char* name : {"tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"}) readFiles.push_back(catalogueFolder + name);
  for (const std::string& path : readFiles) {
    if (OneFile(exportPath, path)) refuse("the validation reads that file");
  }
  for (const std::string& folder : {catalogueFolder, indexFolder.value_or(catalogueFolder)}) {
    if (OneFile(exportPath, folder + "apolice.ntx")) refuse("the validation writes its index to that file");
  }

  for (const std::string& file : program.files) {
    if (OneFile(exportPath, file)) refuse("that file is one of the program's own");
  }
  for (const std::string& folder : program.folders) {
    if (InFolder(exportPath, folder)) refuse("that file is one of the program's own");
  }

  const os::OutputTarget target = os::ResolveOutput(exportPath);
  if (target.error != 0 || target.place != os::OutputPlace::kRegular) return std::string();
  std::string start;
  int64_t size = 0;
  if (os::ReadStartOfRegularFile(target.destination, kDbfHeaderScanLimit, start, size)) {
    if (IsDbfHeader(start, size)) refuse("that file holds a DBF table");
    if (IsNtxHeader(start, size)) refuse("that file holds an NTX index");
    if (IsProgramHeader(start)) refuse("that file is a program or a library");
  }
  if (HasTableExtension(target.destination)) refuse("that file has the extension of a table or an index");
  const os::ReplaceObstacle obstacle = os::ObstacleToReplacing(target.destination);
  if (obstacle == os::ReplaceObstacle::kReadOnly) refuse("that file is read-only");
  // What the save itself would say, before the run rather than after it.
  if (obstacle == os::ReplaceObstacle::kInUse)
    throw TarveloError("Cannot create file \"" + PathText(exportPath) + "\". " + kFileInUse);
  return std::string();
}

bool SameOutputFile(const std::string& first, const std::string& second) {
  if (Refused(first) || Refused(second)) return os::SameSpelling(os::SystemPath(first), os::SystemPath(second));
  return OneFile(first, second);
}

}  // namespace tarvelo
