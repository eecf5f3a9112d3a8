#include "validation/run_results.h"

#include <cmath>

#include "os/file_system.h"
#include "os/process.h"
#include "validation/report_format.h"
#include "values/text.h"

namespace tarvelo {

void FileSizeAndDate(const std::string& path, std::optional<uint64_t>& size, std::optional<CivilDateTime>& modified) {
  int64_t bytes = 0;
  int64_t seconds = 0;
  size.reset();
  modified.reset();
  if (!os::SizeAndModifiedAt(path, bytes, seconds)) return;
  size = static_cast<uint64_t>(bytes);
  const std::tm local = os::LocalTime(static_cast<std::time_t>(seconds));
  modified =
      CivilDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

int64_t MissingRecords(const FileResult& file) {
  return file.declaredRecords > file.recordsInFile ? file.declaredRecords - file.recordsInFile : 0;
}

bool HasDataProblems(const RunResults& results) {
  if (!results.completed) return false;
  if (results.riskFileMissing || results.claimFileMissing || results.companyNotFound) return true;
  if (results.claims && results.claims->misses > 0) return true;
  for (const FileResult& file : results.files) {
    if (!file.structureOk || file.secondCompany || MissingRecords(file) > 0) return true;
    for (const FieldResult& field : file.fields) {
      if (field.nullCount != 0 || field.domainCount != 0) return true;
    }
    for (const TotalsResult& row : file.totals) {
      if (row.difference ? std::fabs(*row.difference) > 10 : row.fileTotal != 0) return true;
    }
  }
  return false;
}

std::string ShortFilesWarning(const RunResults& results) {
  std::string warning;
  for (const FileResult& file : results.files) {
    const int64_t missing = MissingRecords(file);
    if (missing == 0) continue;
    if (!warning.empty()) warning += '\n';
    warning += "The file \"" + EscapeControlCharacters(PathText(file.path)) + "\" is cut short: its header declares " +
               std::to_string(file.declaredRecords) + " records, it holds " + std::to_string(file.recordsInFile) +
               " (" + std::to_string(missing) + " missing); the report counts those it holds.";
  }
  return warning;
}

std::string CompanyNotFoundWarning(const RunResults& results) {
  if (!results.completed || !results.companyNotFound) return std::string();
  return "Company \"" + EscapeControlCharacters(results.companyCode) +
         "\" not found in \"DadosQdp.DBF\": the report compares the files with reference totals of 0.";
}

}  // namespace tarvelo
