#include <windows.h>

#include <cstring>

#include "os/text_collation.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo::os {

// The sort keys of the system's own string comparison (LCMapStringEx with
// LCMAP_SORTKEY orders texts as CompareStringEx with no flags does: case
// and accents count, lower case before upper case).
struct TextCollation::Impl {
  std::wstring locale;
  std::vector<wchar_t> utf16;
  std::vector<char> key;
};

TextCollation::TextCollation(const std::string& locale) : impl_(std::make_unique<Impl>()) {
  // Empty, C, POSIX and unknown names get the invariant locale (never the
  // user's default); "pt_BR" and "pt-BR" are the same locale.
  const std::string bare = locale.substr(0, locale.find_first_of(".@"));
  std::wstring name;
  for (const char c : bare) name.push_back(c == '_' ? L'-' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
  if (bare == "C" || bare == "POSIX" || !::IsValidLocaleName(name.c_str())) name.clear();
  impl_->locale = name;
  impl_->key.resize(64);
}

TextCollation::~TextCollation() = default;

bool TextCollation::Valid() const { return true; }

void TextCollation::SortKey(std::string_view text, std::string& key) {
  // The system maps no empty text; its key is the smallest of all.
  if (text.empty()) {
    key.clear();
    return;
  }
  std::vector<wchar_t>& utf16 = impl_->utf16;
  utf16.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) utf16[i] = Cp1252ToUtf16(static_cast<unsigned char>(text[i]));
  const int length = static_cast<int>(text.size());
  std::vector<char>& buffer = impl_->key;
  const auto map = [&] {
    return ::LCMapStringEx(impl_->locale.c_str(), LCMAP_SORTKEY, utf16.data(), length,
                           reinterpret_cast<LPWSTR>(buffer.data()), static_cast<int>(buffer.size()), nullptr, nullptr,
                           0);
  };
  int written = map();
  if (written == 0 && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    const int needed =
        ::LCMapStringEx(impl_->locale.c_str(), LCMAP_SORTKEY, utf16.data(), length, nullptr, 0, nullptr, nullptr, 0);
    if (needed <= 0) throw DatabaseError("Invalid locale.");
    buffer.resize(static_cast<size_t>(needed));
    written = map();
  }
  if (written <= 0) throw DatabaseError("Invalid locale.");
  // The key ends with its only zero byte, which carries nothing for the
  // order; callers rely on keys without zero bytes.
  if (std::memchr(buffer.data(), 0, static_cast<size_t>(written - 1)) != nullptr)
    throw DatabaseError("Invalid locale.");
  key.assign(buffer.data(), static_cast<size_t>(written - 1));
}

}  // namespace tarvelo::os
