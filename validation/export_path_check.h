#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvelo {

/// The files that make up the program, which no output may replace, as a
/// front end finds them (paths as the file system names them): files, each
/// a file of the program's own (its executables, help page, notes,
/// licences, catalogue) wherever it is; folders, each a folder that holds
/// nothing but the program's installed files, ending in a separator.
struct ProgramOwnFiles {
  std::vector<std::string> files;
  std::vector<std::string> folders;
};

/// Refuses, before anything is written, an output path (the report's
/// export, the detail listing, the JSON results) that would overwrite a
/// file the validation needs, or that the save could not replace. All
/// paths are the file system's names, as the run gets them (RunInputs).
/// Refused, with TarveloError "Cannot export the report to \"<exportPath>\":
/// <why>" (the path in code page 1252):
///
/// - a device of the system rather than a file (on Windows: PRN, AUX, CON,
///   COM1 to COM9, LPT1 to LPT9, also with an extension, os::DeviceNameOf):
///   "that name is the device <DEVICE>, not a file";
/// - a data file: one of dataFiles, the paths the user named (both edit
///   boxes, the last run's files, the command line; a blank one is no
///   file), or a catalogue file ("tabelas.dbf", "anexos.dbf",
///   "DadosQdp.DBF" in catalogueFolder, which ends in a separator or is
///   empty for the current folder): "the validation reads that file";
/// - the run's index "apolice.ntx" in catalogueFolder, and in indexFolder
///   when the run writes its index elsewhere (a folder of the user's own),
///   whether or not it exists: "the validation writes its index to that
///   file";
/// - a file of the program itself: one of program.files, or any file in
///   one of program.folders, whether or not it exists: "that file is one
///   of the program's own";
/// - an existing file whose first bytes are a DBF header that the reader
///   takes, or an index header: "that file holds a DBF table", "that file
///   holds an NTX index";
/// - an existing file whose first bytes are those of an executable or a
///   shared library (ELF, or the "MZ" of Windows): "that file is a program
///   or a library";
/// - an existing file named *.dbf, *.ntx or *.dbt in any case, as the
///   system opens the name (on Windows "dados.dbt." too): "that file has the
///   extension of a table or an index";
/// - an existing file marked read-only (os::ObstacleToReplacing): "that
///   file is read-only".
///
/// An existing file that another program holds open so that it cannot be
/// replaced (on Windows) raises the save's own error first: TarveloError
/// "Cannot create file \"<exportPath>\". The file is in use by another
/// program" (kFileInUse).
///
/// Two names are one file when they lead to one file on disk (device and
/// inode, on Windows volume and file index: another spelling, a hard or
/// symbolic link), or when, as the system opens them (os::SystemPath: on
/// Windows the full path, ".." and trailing dots resolved), they name one
/// folder and their last parts differ only in the case of letters (as on a
/// file system that ignores case). exportPath is taken where its symbolic
/// links lead. Does nothing when exportPath is empty.
///
/// Returns a warning for an output that is written but kept nowhere (on
/// Windows a name of the null device, "nul.txt", other than "NUL" alone):
/// "\"<exportPath>\" names the null device NUL: what is written there is
/// discarded, no file is made."; empty otherwise.
std::string CheckExportPath(const std::string& exportPath, const std::vector<std::string>& dataFiles,
                            const std::string& catalogueFolder,
                            const std::optional<std::string>& indexFolder = std::nullopt,
                            const ProgramOwnFiles& program = {});

/// Whether two output paths name one file, as CheckExportPath compares
/// them (symbolic links followed, one folder and names differing only in
/// case included). A path whose link or file would not be used
/// (os::ResolveOutput: another user's in a shared folder) is compared by
/// its own name only, so that each such output meets its own refusal.
bool SameOutputFile(const std::string& first, const std::string& second);

}  // namespace tarvelo
