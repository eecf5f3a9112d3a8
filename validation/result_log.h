#pragma once

#include <string>
#include <vector>

namespace tarvelo {

/// Told of every change of a ResultLog as it happens, so that a front end
/// can show the report while a run is still writing it. Called on the
/// thread that changes the log.
class ResultLogListener {
 public:
  virtual ~ResultLogListener() = default;
  virtual void LogCleared() = 0;
  /// A line was appended at index (the log's size before the append).
  virtual void LineAppended(size_t index, const std::string& line) = 0;
  virtual void LineReplaced(size_t index, const std::string& line) = 0;
};

/// The ordered lines of the report area. Lines are code page 1252 text
/// without line breaks; trailing spaces belong to the line.
class ResultLog {
 public:
  void Clear();
  void Append(std::string line);
  /// Replaces the line at a 0-based index; ListIndexError when there is no
  /// such line.
  void Replace(size_t index, std::string line);
  const std::vector<std::string>& Lines() const { return lines_; }
  size_t Size() const { return lines_.size(); }

  /// The listener told of later changes, or nullptr for none. The listener
  /// must outlive the log or be removed first.
  void SetListener(ResultLogListener* listener) { listener_ = listener; }

 private:
  std::vector<std::string> lines_;
  ResultLogListener* listener_ = nullptr;
};

}  // namespace tarvelo
