#include "validation/result_log.h"

#include "values/errors.h"

namespace tarvelo {

void ResultLog::Clear() {
  lines_.clear();
  if (listener_) listener_->LogCleared();
}

void ResultLog::Append(std::string line) {
  lines_.push_back(std::move(line));
  if (listener_) listener_->LineAppended(lines_.size() - 1, lines_.back());
}

void ResultLog::Replace(size_t index, std::string line) {
  if (index >= lines_.size()) throw ListIndexError(static_cast<long long>(index));
  lines_[index] = std::move(line);
  if (listener_) listener_->LineReplaced(index, lines_[index]);
}

}  // namespace tarvelo
