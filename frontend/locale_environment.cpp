#include "frontend/locale_environment.h"

#include "os/locale_settings.h"
#include "os/process.h"

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
  return os::SettingsOfLocales(category("LC_NUMERIC"), category("LC_TIME"), category("LC_COLLATE"));
}

std::string MessagesLanguage(const EnvironmentLookup& lookup) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::string value = lookup(name);
    if (!value.empty()) return IcuLocaleName(value);
  }
  return IcuLocaleName("");
}

std::string ProcessEnvironmentVariable(const char* name) { return os::EnvironmentVariable(name); }

RegionalSettings SettingsFromProcessEnvironment() {
  // Windows keeps the user's choice in its own settings.
  const std::string user = os::UserLocaleName();
  if (!user.empty()) return os::SettingsOfLocale(user);
  return SettingsFromEnvironment(ProcessEnvironmentVariable);
}

}  // namespace tarvelo
