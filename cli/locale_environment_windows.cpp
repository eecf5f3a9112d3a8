#include <windows.h>

#include "cli/locale_environment.h"
#include "dbf/wide_text.h"

namespace tarvelo {

// The regional settings the user chose in Windows: those of the user's
// default locale, with the changes made to it in the Control Panel.
RegionalSettings SettingsFromProcessEnvironment() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  if (::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0) return RegionalSettings::UnitedStates();
  return RegionalSettings::ForLocale(os::Utf8FromWide(name));
}

}  // namespace tarvelo
