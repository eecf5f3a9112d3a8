#pragma once

#include <functional>
#include <string>

#include "values/regional_settings.h"

namespace tarvelo {

/// Looks up an environment variable; empty when unset.
using EnvironmentLookup = std::function<std::string(const char* name)>;

/// The ICU locale name of a POSIX locale value: "pt_BR.UTF-8" and
/// "pt_BR@euro" give "pt_BR"; "", "C", "POSIX" and "C.UTF-8" give "en_US".
std::string IcuLocaleName(const std::string& posixValue);

/// The user's regional settings from the POSIX locale environment: LC_ALL,
/// then LC_NUMERIC (numbers), LC_TIME (dates and times) or LC_COLLATE
/// (collation), then LANG; unset or C/POSIX falls back to en_US.
RegionalSettings SettingsFromEnvironment(const EnvironmentLookup& lookup);

/// The user's language for messages, as IcuLocaleName gives it: LC_ALL,
/// then LC_MESSAGES, then LANG ("pt_BR"; "en_US" when unset or C/POSIX).
std::string MessagesLanguage(const EnvironmentLookup& lookup);

/// An environment variable of the process as os::EnvironmentVariable reads
/// it (UTF-8 on Windows, the bytes on POSIX); empty when unset.
std::string ProcessEnvironmentVariable(const char* name);

/// The user's regional settings: on Windows those of the locale the user
/// chose in the system's settings; elsewhere SettingsFromEnvironment over
/// the process environment.
RegionalSettings SettingsFromProcessEnvironment();

}  // namespace tarvelo
