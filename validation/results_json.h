#pragma once

#include <optional>
#include <string>

#include "validation/run_results.h"

namespace tarvelo {

/// The run's results as a JSON document (UTF-8, indented, ending in a line
/// break), in the schema the README documents. error is the text of the
/// error that ended the run (code page 1252, as the message box shows it),
/// or nullopt. A byte of a file name that is no part of a UTF-8 character
/// becomes U+FFFD.
std::string ResultsJson(const RunResults& results, const std::optional<std::string>& error);

}  // namespace tarvelo
