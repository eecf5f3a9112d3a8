#include <cstdlib>

#include "cli/locale_environment.h"

namespace tarvelo {

RegionalSettings SettingsFromProcessEnvironment() {
  return SettingsFromEnvironment([](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  });
}

}  // namespace tarvelo
