#pragma once

#include <string>

#include "values/date_time.h"

namespace tarvelo {

/// The folder of the running executable, ending in "/"; empty when the
/// system cannot tell it (the run then looks in the current folder).
std::string ExecutableFolder();

/// The current local date and time of the process's time zone.
CivilDateTime LocalNow();

}  // namespace tarvelo
