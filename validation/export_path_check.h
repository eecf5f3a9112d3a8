#pragma once

#include <string>

namespace tarvelo {

/// Refuses, before a run starts, an export path that would overwrite a file
/// the run reads. All paths are the file system's names, as the run gets
/// them (RunHost): exportPath the report's target, riskPath and claimPath
/// the data files (a blank one is not read), programFolder the folder of
/// "tabelas.dbf", "anexos.dbf" and "DadosQdp.DBF" (ending in "/", or empty
/// for the current folder). Files are compared as files on disk (device and
/// inode), so another spelling, a hard link or a symbolic link to one of
/// them is refused too. Raises TarveloError "Cannot export the report to
/// \"<exportPath>\": the validation reads that file" (the path in code page
/// 1252). Does nothing when exportPath is empty or names no existing file,
/// and ignores read files that do not exist (the run reports those).
void CheckExportPath(const std::string& exportPath, const std::string& riskPath, const std::string& claimPath,
                     const std::string& programFolder);

}  // namespace tarvelo
