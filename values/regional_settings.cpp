#include "values/regional_settings.h"

namespace tarvelo {

RegionalSettings RegionalSettings::UnitedStates() {
  RegionalSettings settings;
  settings.collationLocale = "en_US";
  settings.decimalSeparator = '.';
  settings.thousandSeparator = ',';
  settings.shortDateFormat = "M/d/y";
  settings.longTimeFormat = "h:mm:ss a";
  settings.amDesignator = "AM";
  settings.pmDesignator = "PM";
  return settings;
}

RegionalSettings RegionalSettings::Brazilian() {
  RegionalSettings settings;
  settings.collationLocale = "pt_BR";
  settings.decimalSeparator = ',';
  settings.thousandSeparator = '.';
  settings.shortDateFormat = "dd/MM/y";
  settings.longTimeFormat = "HH:mm:ss";
  settings.amDesignator = "AM";
  settings.pmDesignator = "PM";
  return settings;
}

}  // namespace tarvelo
