#pragma once

#include <string>
#include <vector>

namespace tarvelo {

/// The ordered lines of the report area. Lines are code page 1252 text
/// without line breaks; trailing spaces belong to the line.
class ResultLog {
 public:
  void Clear() { lines_.clear(); }
  void Append(std::string line) { lines_.push_back(std::move(line)); }
  /// Replaces the line at a 0-based index; ListIndexError when there is no
  /// such line.
  void Replace(size_t index, std::string line);
  const std::vector<std::string>& Lines() const { return lines_; }
  size_t Size() const { return lines_.size(); }

 private:
  std::vector<std::string> lines_;
};

}  // namespace tarvelo
