#pragma once

#include <string>
#include <string_view>

#include "values/date_time.h"

namespace tarvelo {

/// The folder of the running executable, ending in "/"; empty when the
/// system cannot tell it (the run then looks in the current folder).
std::string ExecutableFolder();

/// The current local date and time of the process's time zone.
CivilDateTime LocalNow();

/// The path a front end gives the run (RunInputs::riskPath, claimPath,
/// catalogueFolder) for a path the user typed, chose or passed, held as UTF-8
/// text (the window's edit boxes) or as the bytes of an argument (the
/// command line).
///
/// File names on this system are bytes, and text typed in UTF-8 is already
/// the name of the file it names; so the bytes are returned as they are,
/// with no code page conversion, no trimming and no normalisation, even
/// when they are no valid UTF-8 (any name a user can create opens). Empty
/// for empty text. The run shows a path in the report and in messages in
/// code page 1252 ("?" for a character the code page lacks), never opens
/// by that form.
std::string RunPathFromUtf8(std::string_view typed);

}  // namespace tarvelo
