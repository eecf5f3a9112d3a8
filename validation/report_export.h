#pragma once

#include <string>
#include <string_view>

#include "validation/result_log.h"

namespace tarvelo {

/// Saves the log's lines to path (code page 1252 bytes as held, CR LF after
/// every line, the last included; no header or byte-order mark), replacing
/// an existing file; an empty log gives an empty file. path is the file
/// system's name of the file. The lines go to a new temporary file beside
/// the target, which is then renamed over it, so a failure leaves an
/// earlier file of that name as it was and no temporary file behind. A
/// target that is a symbolic link is replaced where the link points.
/// Raises TarveloError "Cannot create file "<path>". <reason>" (the path
/// shown in code page 1252) when the file cannot be created or written.
void SaveReport(const ResultLog& log, const std::string& path);

/// Saves bytes to path the same way: a new temporary file beside the target
/// renamed over it, the same error on failure.
void SaveFile(const std::string& path, std::string_view bytes);

}  // namespace tarvelo
