#include "validation/export_path_check.h"

#include <sys/stat.h>

#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {

void CheckExportPath(const std::string& exportPath, const std::string& riskPath, const std::string& claimPath,
                     const std::string& programFolder) {
  struct stat target {};
  if (exportPath.empty() || ::stat(exportPath.c_str(), &target) != 0) return;
  const std::string readFiles[] = {Trim(riskPath).empty() ? std::string() : riskPath,
                                   Trim(claimPath).empty() ? std::string() : claimPath,
                                   programFolder + "tabelas.dbf", programFolder + "anexos.dbf",
                                   programFolder + "DadosQdp.DBF"};
  for (const std::string& path : readFiles) {
    struct stat read {};
    if (path.empty() || ::stat(path.c_str(), &read) != 0) continue;
    if (read.st_dev == target.st_dev && read.st_ino == target.st_ino)
      throw TarveloError("Cannot export the report to \"" + PathText(exportPath) +
                         "\": the validation reads that file");
  }
}

}  // namespace tarvelo
