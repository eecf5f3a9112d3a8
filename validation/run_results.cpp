#include "validation/run_results.h"

#include <cmath>

#include "validation/report_format.h"

namespace tarvelo {

bool HasDataProblems(const RunResults& results) {
  if (!results.completed) return false;
  if (results.riskFileMissing || results.claimFileMissing || results.companyNotFound) return true;
  if (results.claims && results.claims->misses > 0) return true;
  for (const FileResult& file : results.files) {
    if (!file.structureOk || file.secondCompany) return true;
    for (const FieldResult& field : file.fields) {
      if (field.nullCount != 0 || field.domainCount != 0) return true;
    }
    for (const TotalsResult& row : file.totals) {
      if (row.difference ? std::fabs(*row.difference) > 10 : row.fileTotal != 0) return true;
    }
  }
  return false;
}

std::string CompanyNotFoundWarning(const RunResults& results) {
  if (!results.completed || !results.companyNotFound) return std::string();
  return "Company \"" + EscapeControlCharacters(results.companyCode) +
         "\" not found in \"DadosQdp.DBF\": the report compares the files with reference totals of 0.";
}

}  // namespace tarvelo
