#include <windows.h>

#include <optional>
#include <string>

#include "os/locale_settings.h"
#include "values/text.h"

namespace tarvelo::os {

namespace {

// A locale name without its encoding and modifier ("pt_BR.UTF-8@x" gives
// "pt_BR").
std::string_view BareLocaleName(std::string_view name) { return name.substr(0, name.find_first_of(".@")); }

// The system's name of a locale given as "pt_BR", "pt_BR.UTF-8" or "pt-BR";
// nullopt for C, POSIX, empty names and locales the system does not know.
std::optional<std::wstring> ResolveLocale(std::string_view name) {
  const std::string_view bare = BareLocaleName(name);
  if (bare.empty() || bare == "C" || bare == "POSIX") return std::nullopt;
  std::wstring wide;
  for (const char c : bare) {
    if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
    wide.push_back(c == '_' ? L'-' : static_cast<wchar_t>(c));
  }
  if (!::IsValidLocaleName(wide.c_str())) return std::nullopt;
  return wide;
}

// One value of the locale's settings; empty when the system has none.
std::wstring Info(const std::wstring& locale, LCTYPE type) {
  wchar_t buffer[256];
  const int length = ::GetLocaleInfoEx(locale.c_str(), type, buffer, 256);
  return length > 1 ? std::wstring(buffer, static_cast<size_t>(length - 1)) : std::wstring();
}

bool IsSpaceLike(wchar_t c) { return c == L' ' || c == 0xA0 || c == 0x202F || c == 0x2007 || c == L'\t'; }

// Code page 1252 bytes of a UTF-16 text; "?" for what the code page lacks.
std::string ToCp1252(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size > 0 ? size : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
  return Utf8ToCp1252(utf8);
}

// One separator character: spaces become the no-break space 0xA0; a symbol
// that is not one byte of the code page gives the fallback.
char SeparatorByte(const std::wstring& symbol, char fallback) {
  if (symbol.size() != 1) return fallback;
  if (IsSpaceLike(symbol[0])) return static_cast<char>(0xA0);
  const std::string bytes = ToCp1252(symbol);
  if (bytes.size() != 1 || (bytes[0] == '?' && symbol[0] != L'?')) return fallback;
  return bytes[0];
}

// A date or time picture of the system ("dd/MM/yyyy", "h:mm:ss tt") in the
// pattern letters of RegionalSettings: the day, month, hour, minute and
// second letters are the same; "tt" and "t" (the designator) become "a", a
// year of one or two letters (no century) "yy", of four or more "y" (the
// year in full, as Linux writes it: the same digits from year 1000 on); the
// era ("g") is
// left out; every other letter is quoted as the literal it is there, and
// space-like characters become blanks.
std::string PatternOfPicture(const std::wstring& picture) {
  std::wstring pattern;
  size_t i = 0;
  while (i < picture.size()) {
    const wchar_t c = picture[i];
    if (c == L'\'') {
      // A quoted literal, copied with its quotes ("''" inside is a quote).
      size_t end = i + 1;
      while (end < picture.size()) {
        if (picture[end] == L'\'' && !(end + 1 < picture.size() && picture[end + 1] == L'\'')) break;
        end += picture[end] == L'\'' ? 2 : 1;
      }
      pattern.append(picture, i, end + 1 - i);
      i = end + 1;
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    switch (c) {
      case L'd':
      case L'M':
      case L'h':
      case L'H':
      case L'm':
      case L's':
        pattern.append(run, c);
        break;
      case L'y':
        pattern += run <= 2 ? L"yy" : L"y";
        break;
      case L't':
        pattern += L'a';
        break;
      case L'g':
        break;
      default:
        if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z')) {
          pattern += L'\'';
          pattern.append(run, c);
          pattern += L'\'';
        } else {
          pattern.append(run, IsSpaceLike(c) ? L' ' : c);
        }
        break;
    }
    i += run;
  }
  return ToCp1252(pattern);
}

// A designator, space-like characters as blanks; fallback when the locale
// has none (a 24-hour locale may leave them empty).
std::string Designator(const std::wstring& text, const char* fallback) {
  std::wstring cleaned;
  for (const wchar_t c : text) cleaned.push_back(IsSpaceLike(c) ? L' ' : c);
  const std::string bytes = ToCp1252(cleaned);
  return bytes.empty() ? fallback : bytes;
}

void ApplyNumericLocale(RegionalSettings& settings, const std::wstring& locale) {
  settings.decimalSeparator = SeparatorByte(Info(locale, LOCALE_SDECIMAL), settings.decimalSeparator);
  settings.thousandSeparator = SeparatorByte(Info(locale, LOCALE_STHOUSAND), settings.thousandSeparator);
}

void ApplyTimeLocale(RegionalSettings& settings, const std::wstring& locale) {
  const std::wstring date = Info(locale, LOCALE_SSHORTDATE);
  if (!date.empty()) settings.shortDateFormat = PatternOfPicture(date);
  const std::wstring time = Info(locale, LOCALE_STIMEFORMAT);
  if (!time.empty()) settings.longTimeFormat = PatternOfPicture(time);
  settings.amDesignator = Designator(Info(locale, LOCALE_S1159), "AM");
  settings.pmDesignator = Designator(Info(locale, LOCALE_S2359), "PM");
}

}  // namespace

RegionalSettings SettingsOfLocales(std::string_view numericLocale, std::string_view timeLocale,
                                   std::string_view collationLocale) {
  RegionalSettings settings = RegionalSettings::UnitedStates();
  if (auto locale = ResolveLocale(numericLocale)) ApplyNumericLocale(settings, *locale);
  if (auto locale = ResolveLocale(timeLocale)) ApplyTimeLocale(settings, *locale);
  // TextCollation takes the name in either form.
  if (ResolveLocale(collationLocale)) settings.collationLocale = std::string(BareLocaleName(collationLocale));
  return settings;
}

}  // namespace tarvelo::os
