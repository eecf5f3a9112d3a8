#include "validation/result_log.h"

#include "values/errors.h"

namespace tarvelo {

void ResultLog::Replace(size_t index, std::string line) {
  if (index >= lines_.size()) throw ListIndexError(static_cast<long long>(index));
  lines_[index] = std::move(line);
}

}  // namespace tarvelo
