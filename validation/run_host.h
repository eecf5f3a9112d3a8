#pragma once

#include <string>

#include "validation/result_log.h"
#include "values/date_time.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// What a validation run needs from the front end that starts it (the
/// window or the command line). The run reads nothing else from outside.
class RunHost {
 public:
  virtual ~RunHost() = default;
  /// Text of the risks edit box, as typed (may be empty or blank).
  virtual std::string RiskPath() const = 0;
  /// Text of the claims edit box, as typed.
  virtual std::string ClaimPath() const = 0;
  /// Folder of the catalogue tables and of the temporary index, ending in
  /// a path separator or empty for the current folder.
  virtual std::string ProgramFolder() const = 0;
  virtual const RegionalSettings& Settings() const = 0;
  /// The report area the run fills.
  virtual ResultLog& Log() = 0;
  /// Moves the progress bar (0 to 100).
  virtual void SetProgress(int position) = 0;
  /// The current local date and time.
  virtual CivilDateTime Now() const = 0;
};

}  // namespace tarvelo
