#pragma once
// A reader of the detail listing's CSV for tests that read it back.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace tarvelo::testing {

// The rows of a CSV text as RFC 4180 reads them: cells separated by
// separator, a quoted cell with its quotes doubled, lines ended by CR LF. A
// malformed text fails the test.
inline std::vector<std::vector<std::string>> ReadCsv(std::string_view text, char separator) {
  std::vector<std::vector<std::string>> rows;
  size_t at = 0;
  while (at < text.size()) {
    std::vector<std::string>& row = rows.emplace_back();
    while (true) {
      std::string& cell = row.emplace_back();
      if (at < text.size() && text[at] == '"') {
        for (++at; at < text.size() && (text[at] != '"' || text.substr(at, 2) == "\"\""); ++at) {
          if (text[at] == '"') ++at;
          cell += text[at];
        }
        if (at++ == text.size()) {
          ADD_FAILURE() << "unclosed quote in row " << rows.size();
          return rows;
        }
      } else {
        while (at < text.size() && text[at] != separator && text[at] != '"' && text[at] != '\r') cell += text[at++];
      }
      if (at < text.size() && text[at] == separator) {
        ++at;
        continue;
      }
      if (text.substr(at, 2) != "\r\n") {
        ADD_FAILURE() << "malformed CSV at byte " << at << " of row " << rows.size();
        return rows;
      }
      at += 2;
      break;
    }
  }
  return rows;
}

}  // namespace tarvelo::testing
