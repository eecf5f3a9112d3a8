#include "memtable/text_collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <cstring>

#include "values/errors.h"

namespace tarvelo {

namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of code page 1252 equals
// Latin-1.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char16_t Cp1252ToUtf16(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return static_cast<char16_t>(byte);
}

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

}  // namespace tarvelo
