#include "testing/shell_words.h"

namespace tarvelo::testing {

std::vector<std::string> ShellWords(const std::string& text) {
  std::vector<std::string> words;
  bool inWord = false;
  bool quoted = false;
  for (const char c : text) {
    if (c == '\'') {
      quoted = !quoted;
      if (!inWord) words.emplace_back();
      inWord = true;
    } else if (c == ' ' && !quoted) {
      inWord = false;
    } else {
      if (!inWord) words.emplace_back();
      inWord = true;
      words.back() += c;
    }
  }
  return words;
}

}  // namespace tarvelo::testing
