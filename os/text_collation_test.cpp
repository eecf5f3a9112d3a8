#include "os/text_collation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvelo::os {
namespace {

// The sort keys of texts in code page 1252, in turn.
std::vector<std::string> Keys(const std::string& locale, const std::vector<std::string>& texts) {
  TextCollation collation(locale);
  EXPECT_TRUE(collation.Valid()) << locale;
  std::vector<std::string> keys;
  for (const std::string& text : texts) {
    std::string key;
    collation.SortKey(text, key);
    keys.push_back(std::move(key));
  }
  return keys;
}

// Texts sort by letters first, as a dictionary does, and not by their
// bytes: case and accents come after the letters, a blank counts.
TEST(TextCollation, SortsAsADictionaryNotByBytes) {
  // Each before the next; by bytes most would be the other way round
  // ("a\xE7\xE3o" is "ação", "\xE1rvore" "árvore", "avi\xE3o" "avião").
  const std::vector<std::string> ordered = {"",         "a", "a\xE7\xE3o", "acre", "\xE1rvore",
                                            "avi\xE3o", "B", "c",          "z z",  "zz"};
  for (const char* locale : {"pt_BR", "en_US"}) {
    const std::vector<std::string> keys = Keys(locale, ordered);
    for (size_t i = 1; i < keys.size(); ++i)
      EXPECT_LT(keys[i - 1], keys[i]) << locale << ": \"" << ordered[i - 1] << "\" before \"" << ordered[i] << "\"";
  }
  // An unknown name sorts as the root collation, never by bytes.
  const std::vector<std::string> unknown = Keys("zz_ZZ", {"a", "B"});
  EXPECT_LT(unknown[0], unknown[1]);
}

}  // namespace
}  // namespace tarvelo::os
