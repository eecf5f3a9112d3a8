#include "os/text_collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <cstring>

#include "values/errors.h"
#include "values/text.h"

namespace tarvelo::os {

struct TextCollation::Impl {
  std::unique_ptr<icu::Collator> collator;
  std::vector<char16_t> utf16;
  std::vector<uint8_t> key;
};

TextCollation::TextCollation(const std::string& locale) : impl_(std::make_unique<Impl>()) {
  // An empty ICU name would mean the process's default locale, which comes
  // from the environment; empty, C and POSIX names get the root collation.
  const std::string bare = locale.substr(0, locale.find_first_of(".@"));
  const icu::Locale where =
      bare.empty() || bare == "C" || bare == "POSIX" ? icu::Locale::getRoot() : icu::Locale(bare.c_str());
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(where, status));
  if (U_FAILURE(status) || !collator) return;
  collator->setStrength(icu::Collator::TERTIARY);
  collator->setAttribute(UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, status);
  collator->setAttribute(UCOL_CASE_LEVEL, UCOL_OFF, status);
  if (U_FAILURE(status)) return;
  impl_->collator = std::move(collator);
  impl_->key.resize(64);
  impl_->utf16.reserve(32);  // never a null pointer, even for the empty text
}

TextCollation::~TextCollation() = default;

bool TextCollation::Valid() const { return impl_->collator != nullptr; }

void TextCollation::SortKey(std::string_view text, std::string& key) {
  if (!impl_->collator) throw DatabaseError("Invalid locale.");
  std::vector<char16_t>& utf16 = impl_->utf16;
  utf16.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) utf16[i] = Cp1252ToUtf16(static_cast<unsigned char>(text[i]));
  const int32_t length = static_cast<int32_t>(utf16.size());
  std::vector<uint8_t>& buffer = impl_->key;
  int32_t needed =
      impl_->collator->getSortKey(utf16.data(), length, buffer.data(), static_cast<int32_t>(buffer.size()));
  if (needed > static_cast<int32_t>(buffer.size())) {
    buffer.resize(static_cast<size_t>(needed));
    needed = impl_->collator->getSortKey(utf16.data(), length, buffer.data(), static_cast<int32_t>(buffer.size()));
  }
  if (needed <= 0 || needed > static_cast<int32_t>(buffer.size())) throw DatabaseError("Invalid locale.");
  // The key ends with its only zero byte, which carries nothing for the
  // order; callers rely on keys without zero bytes.
  if (std::memchr(buffer.data(), 0, static_cast<size_t>(needed - 1)) != nullptr) throw DatabaseError("Invalid locale.");
  key.assign(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(needed - 1));
}

}  // namespace tarvelo::os
