#pragma once

#include <string>

#include "validation/result_log.h"

namespace tarvelo {

/// Saves the log's lines to path (code page 1252 bytes as held, CR LF after
/// every line, the last included; no header or byte-order mark), replacing
/// an existing file; an empty log gives an empty file. path is code page
/// 1252 text. Raises TarveloError "Cannot create file "<path>". <reason>"
/// when the file cannot be created or written.
void SaveReport(const ResultLog& log, const std::string& path);

}  // namespace tarvelo
