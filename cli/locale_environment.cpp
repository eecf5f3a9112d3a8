#include "cli/locale_environment.h"

namespace tarvelo {

std::string IcuLocaleName(const std::string& posixValue) {
  std::string name = posixValue.substr(0, posixValue.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return "en_US";
  return name;
}

RegionalSettings SettingsFromEnvironment(const EnvironmentLookup& lookup) {
  const auto category = [&](const char* name) {
    std::string value = lookup("LC_ALL");
    if (value.empty()) value = lookup(name);
    if (value.empty()) value = lookup("LANG");
    return IcuLocaleName(value);
  };
  return RegionalSettings::ForLocales(category("LC_NUMERIC"), category("LC_TIME"), category("LC_COLLATE"));
}

}  // namespace tarvelo
