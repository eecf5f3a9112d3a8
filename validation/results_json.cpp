#include "validation/results_json.h"

#include <nlohmann/json.hpp>

#include <cstdio>

#include "validation/catalogue_check.h"
#include "validation/line_of_business.h"
#include "values/text.h"

namespace tarvelo {
namespace {

using json = nlohmann::ordered_json;

json Text(const std::string& cp1252) { return Cp1252ToUtf8(cp1252); }

json FileJson(const FileResult& file) {
  const bool risks = file.tableNumber == kRisksTable;
  json fields = json::array();
  for (const FieldResult& field : file.fields) {
    fields.push_back({{"field", Text(field.field)},
                      {"empty", field.nullCount},
                      {"empty_percent", field.nullShare},
                      {"invalid", field.domainCount},
                      {"invalid_percent", field.domainShare}});
  }
  json totals = json::array();
  for (const TotalsResult& row : file.totals) {
    totals.push_back({{"line", Text(row.line)},
                      {"reference", row.reference},
                      {"file_total", row.fileTotal},
                      {"difference_percent", row.difference ? json(*row.difference) : json(nullptr)}});
  }
  json result = {{"kind", risks ? "risks" : "claims"},
                 {"path", file.path},
                 {"table", Text(file.table)},
                 {"records", file.recordCount}};
  // Only a file cut short says so.
  if (const int64_t missing = MissingRecords(file); missing > 0) {
    result["declared_records"] = file.declaredRecords;
    result["missing_records"] = missing;
  }
  result["structure_ok"] = file.structureOk;
  result["second_company"] = file.secondCompany;
  result["fields"] = fields;
  result["totals_kind"] = risks ? "premiums" : "paid_claims";
  result["totals"] = totals;
  return result;
}

json CatalogueJson(const RunResults& results) {
  json files = json::array();
  for (const CatalogueFileFacts& file : results.catalogueFiles) {
    json modified = nullptr;
    if (file.modified) {
      char text[32];
      const CivilDateTime& t = *file.modified;
      std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                    t.second);
      modified = text;
    }
    files.push_back(
        {{"file", file.file}, {"modified", modified}, {"records", file.records ? json(*file.records) : json(nullptr)}});
  }
  json faults = json::array();
  for (const CatalogueFault& fault : results.catalogueFaults) faults.push_back(Text(FaultLine(fault)));
  // The folder without the separator the run appended, which differs by
  // system: the same name on both for the same folder given.
  std::string folder = results.catalogueFolder;
  if (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return {{"folder", folder}, {"files", files}, {"faults", faults}};
}

}  // namespace

std::string ResultsJson(const RunResults& results, const std::optional<std::string>& error) {
  json files = json::array();
  for (const FileResult& file : results.files) files.push_back(FileJson(file));
  json claims = nullptr;
  if (results.claims) {
    claims = {{"without_policy", results.claims->misses},
              {"claims", results.claims->claimCount},
              {"percent", results.claims->share}};
  }
  const json document = {
      {"schema", 1},
      {"completed", results.completed},
      {"error", error ? Text(*error) : json(nullptr)},
      {"data_problems", HasDataProblems(results)},
      {"company",
       {{"code", Text(results.companyCode)},
        {"name", Text(Trim(results.companyName))},
        {"found", results.companyCode.empty() ? json(nullptr) : json(!results.companyNotFound)}}},
      {"period",
       {{"text", results.period.empty() ? json(nullptr) : Text(results.period)},
        {"end_year", results.period.empty() ? json(nullptr) : json(results.periodEndYear)},
        {"warning", results.periodWarning.empty() ? json(nullptr) : Text(results.periodWarning)}}},
      {"catalogue", CatalogueJson(results)},
      {"files", files},
      {"missing", {{"risks", results.riskFileMissing}, {"claims", results.claimFileMissing}}},
      {"claims_without_policy", claims},
  };
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace tarvelo
