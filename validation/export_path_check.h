#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvelo {

/// Refuses, before anything is written, an output path (the report's
/// export, the detail listing, the JSON results) that would overwrite a
/// file the validation needs. All paths are the file system's names, as
/// the run gets them (RunHost). Refused, with TarveloError "Cannot export
/// the report to \"<exportPath>\": <why>" (the path in code page 1252):
///
/// - a data file: one of dataFiles, the paths the user named (both edit
///   boxes, the last run's files, the command line; a blank one is no
///   file), or a catalogue file ("tabelas.dbf", "anexos.dbf",
///   "DadosQdp.DBF" in catalogueFolder, which ends in "/" or is empty for
///   the current folder): "the validation reads that file";
/// - the run's index "apolice.ntx" in catalogueFolder, and in indexFolder
///   when the run writes its index elsewhere (a folder of the user's own),
///   whether or not it exists: "the validation writes its index to that
///   file";
/// - an existing file whose first bytes are a DBF header that the reader
///   takes, or an index header: "that file holds a DBF table", "that file
///   holds an NTX index";
/// - an existing file named *.dbf, *.ntx or *.dbt in any case: "that file
///   has the extension of a table or an index".
///
/// Two names are one file when they lead to one file on disk (device and
/// inode: another spelling, a hard or symbolic link), or when they name one
/// folder and their last parts differ only in the case of letters (as on a
/// file system that ignores case). exportPath is taken where its symbolic
/// links lead. Does nothing when exportPath is empty.
void CheckExportPath(const std::string& exportPath, const std::vector<std::string>& dataFiles,
                     const std::string& catalogueFolder, const std::optional<std::string>& indexFolder = std::nullopt);

/// Whether two output paths name one file, as CheckExportPath compares
/// them (symbolic links followed, one folder and names differing only in
/// case included).
bool SameOutputFile(const std::string& first, const std::string& second);

}  // namespace tarvelo
