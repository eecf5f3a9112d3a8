#include "validation/export_path_check.h"

#include "os/file_system.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {

void CheckExportPath(const std::string& exportPath, const std::string& riskPath, const std::string& claimPath,
                     const std::string& programFolder) {
  os::FileIdentity target;
  if (exportPath.empty() || !os::IdentityAt(exportPath, target)) return;
  const std::string readFiles[] = {Trim(riskPath).empty() ? std::string() : riskPath,
                                   Trim(claimPath).empty() ? std::string() : claimPath, programFolder + "tabelas.dbf",
                                   programFolder + "anexos.dbf", programFolder + "DadosQdp.DBF"};
  for (const std::string& path : readFiles) {
    os::FileIdentity read;
    if (path.empty() || !os::IdentityAt(path, read)) continue;
    if (read == target)
      throw TarveloError("Cannot export the report to \"" + PathText(exportPath) +
                         "\": the validation reads that file");
  }
}

}  // namespace tarvelo
