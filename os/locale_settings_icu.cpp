#include "os/locale_settings.h"

#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/dtfmtsym.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace tarvelo::os {

namespace {

// POSIX names carry an encoding and a modifier ("pt_BR.UTF-8@euro"); ICU
// wants the bare locale name.
std::string BareLocaleName(std::string_view name) {
  const size_t cut = name.find_first_of(".@");
  return std::string(name.substr(0, cut));
}

// True when ICU has data for the language of the locale. Without data ICU
// would fall back to its default locale, which comes from the environment;
// such names get the United States settings instead.
bool HasLocaleData(const icu::Locale& locale) {
  static const std::set<std::string> languages = [] {
    std::set<std::string> result;
    int32_t count = 0;
    const icu::Locale* available = icu::Locale::getAvailableLocales(count);
    for (int32_t i = 0; i < count; ++i) result.insert(available[i].getLanguage());
    return result;
  }();
  return !locale.isBogus() && languages.count(locale.getLanguage()) > 0;
}

// The ICU locale of a name, or nullopt for C, POSIX, empty and unknown names.
std::optional<icu::Locale> ResolveLocale(std::string_view name) {
  const std::string bare = BareLocaleName(name);
  if (bare.empty() || bare == "C" || bare == "POSIX") return std::nullopt;
  icu::Locale locale(bare.c_str());
  if (!HasLocaleData(locale)) return std::nullopt;
  return locale;
}

bool IsSpaceLike(UChar32 c) { return c == 0xA0 || c == 0x202F || c == 0x2007 || u_isUWhiteSpace(c); }

// Code page 1252 bytes of a text; characters the code page lacks become "?".
std::string ToCp1252(const icu::UnicodeString& text) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("windows-1252", &status);
  if (U_FAILURE(status)) return std::string();
  ucnv_setSubstChars(converter, "?", 1, &status);
  status = U_ZERO_ERROR;
  std::string result(static_cast<size_t>(text.length()) * 2 + 4, '\0');
  const int32_t length = ucnv_fromUChars(converter, result.data(), static_cast<int32_t>(result.size()),
                                         text.getBuffer(), text.length(), &status);
  ucnv_close(converter);
  if (U_FAILURE(status)) return std::string();
  result.resize(static_cast<size_t>(length));
  return result;
}

// One separator character: spaces become the no-break space 0xA0; a symbol
// that is not one byte of the code page gives the fallback.
char SeparatorByte(const icu::UnicodeString& symbol, char fallback) {
  if (symbol.countChar32() != 1) return fallback;
  const UChar32 c = symbol.char32At(0);
  if (IsSpaceLike(c)) return static_cast<char>(0xA0);
  const std::string bytes = ToCp1252(symbol);
  if (bytes.size() != 1 || (bytes[0] == '?' && c != '?')) return fallback;
  return bytes[0];
}

// A pattern or designator text: space-like characters become plain blanks.
std::string PatternText(const icu::UnicodeString& text) {
  icu::UnicodeString cleaned;
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    cleaned.append(IsSpaceLike(c) ? static_cast<UChar32>(' ') : c);
    i += U16_LENGTH(c);
  }
  return ToCp1252(cleaned);
}

void ApplyNumericLocale(RegionalSettings& settings, const icu::Locale& locale) {
  UErrorCode status = U_ZERO_ERROR;
  icu::DecimalFormatSymbols symbols(locale, status);
  if (U_FAILURE(status)) return;
  const RegionalSettings fallback = RegionalSettings::UnitedStates();
  settings.decimalSeparator =
      SeparatorByte(symbols.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol), fallback.decimalSeparator);
  settings.thousandSeparator =
      SeparatorByte(symbols.getSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol), fallback.thousandSeparator);
}

void ApplyTimeLocale(RegionalSettings& settings, const icu::Locale& locale) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::DateTimePatternGenerator> generator(
      icu::DateTimePatternGenerator::createInstance(locale, status));
  if (U_SUCCESS(status) && generator) {
    const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(u"yMd"), status);
    if (U_SUCCESS(status) && !pattern.isEmpty()) settings.shortDateFormat = PatternText(pattern);
  }
  std::unique_ptr<icu::DateFormat> timeFormat(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, locale));
  if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(timeFormat.get())) {
    icu::UnicodeString pattern;
    simple->toPattern(pattern);
    if (!pattern.isEmpty()) settings.longTimeFormat = PatternText(pattern);
  }
  status = U_ZERO_ERROR;
  icu::DateFormatSymbols symbols(locale, status);
  if (U_SUCCESS(status)) {
    int32_t count = 0;
    const icu::UnicodeString* amPm = symbols.getAmPmStrings(count);
    if (amPm != nullptr && count >= 2) {
      settings.amDesignator = PatternText(amPm[0]);
      settings.pmDesignator = PatternText(amPm[1]);
    }
  }
}

}  // namespace

RegionalSettings SettingsOfLocales(std::string_view numericLocale, std::string_view timeLocale,
                                   std::string_view collationLocale) {
  RegionalSettings settings = RegionalSettings::UnitedStates();
  if (auto locale = ResolveLocale(numericLocale)) ApplyNumericLocale(settings, *locale);
  if (auto locale = ResolveLocale(timeLocale)) ApplyTimeLocale(settings, *locale);
  if (auto locale = ResolveLocale(collationLocale)) {
    settings.collationLocale = locale->getName();
  }
  return settings;
}

}  // namespace tarvelo::os
