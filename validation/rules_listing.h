#pragma once

#include <string>
#include <vector>

#include "validation/html_page.h"
#include "validation/result_log.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The word for a field type of the catalogue (FieldTypeCode): "texto",
/// "inteiro", "data"...; "outro" for a code it does not know.
const char* FieldTypeName(int type);

/// Appends to log the rules in the report's style (code page 1252): a
/// heading naming folder, then per table each field in order with its
/// type and size, whether required, its checks, and its codes (with the
/// value of the field each depends on).
void WriteRulesListing(ResultLog& log, const std::string& folder, const std::vector<TableRules>& tables);

/// The same rules as JSON (UTF-8), ending in a line break.
std::string RulesJson(const std::string& folder, const std::vector<TableRules>& tables);

}  // namespace tarvelo
