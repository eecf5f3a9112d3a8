#pragma once

#include <cstddef>
#include <string>

#include "validation/result_log.h"

namespace tarvelo {

/// What a validation run tells the front end that watches it while it
/// works, and the one thing it asks. Every call does nothing by default, so
/// an observer implements only what it shows. The run calls it on its own
/// thread (StopRequested from any of its threads).
class RunObserver : public ResultLogListener {
 public:
  /// The report was emptied (the run's start).
  void LogCleared() override {}
  /// A report line was appended at index (the report's size before it).
  void LineAppended(size_t, const std::string&) override {}
  /// The report line at index was replaced.
  void LineReplaced(size_t, const std::string&) override {}
  /// The run has come to position (0 to 100) of its work.
  virtual void Progress(int) {}
  /// Whether the run is to stop (its window is being closed). The run asks
  /// before each block of records it reads (the record checks, the index
  /// build, the claims search) and then ends by raising RunStoppedError,
  /// leaving no index file. False by default.
  virtual bool StopRequested() const { return false; }
};

}  // namespace tarvelo
