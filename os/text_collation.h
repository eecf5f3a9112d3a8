#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The collation of the system's locale data for code page 1252 texts:
// text_collation_icu.cpp takes it from ICU on Linux,
// text_collation_windows.cpp from the system's National Language Support
// on Windows; the build picks the one of the system it builds for.
namespace tarvelo::os {

/// Case-sensitive collation of one locale for code page 1252 texts, given
/// as sort keys: two texts compare as their sort keys compare byte by byte
/// (unsigned, a shorter key that is a prefix of a longer one is less).
class TextCollation {
 public:
  /// Collator of the locale name ("pt_BR", "en_US"; on Windows "pt-BR" too):
  /// ICU's, tertiary strength, blanks significant, on Linux; the system's
  /// string comparison with no flags on Windows. An unknown, empty, "C" or
  /// "POSIX" name gets the root (invariant) collation, never the
  /// environment's locale; a collator that cannot be made at all leaves the
  /// object invalid.
  explicit TextCollation(const std::string& locale);
  ~TextCollation();
  TextCollation(const TextCollation&) = delete;
  TextCollation& operator=(const TextCollation&) = delete;

  /// False when no collator could be made.
  bool Valid() const;

  /// Writes the sort key of text (code page 1252 bytes) into key, reusing its
  /// storage. Fails with DatabaseError "Invalid locale." when the object is
  /// invalid or the collator reports an error. The empty text has a valid,
  /// smallest key.
  void SortKey(std::string_view text, std::string& key);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tarvelo::os
