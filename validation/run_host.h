#pragma once

#include <algorithm>
#include <string>
#include <thread>

#include "os/folder.h"
#include "validation/detail_listing.h"
#include "validation/result_log.h"
#include "values/date_time.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// What a validation run needs from the front end that starts it (the
/// window or the command line). The run reads nothing else from outside.
class RunHost {
 public:
  virtual ~RunHost() = default;
  /// The risks file as the file system names it: the bytes of the risks
  /// edit box as typed (RunPathFromUtf8 of the front-end library), not
  /// trimmed, in no code page; may be empty or blank (no file). The run
  /// opens the file by these bytes and shows them in the report and in
  /// messages in code page 1252, "?" for a character the code page lacks.
  virtual std::string RiskPath() const = 0;
  /// The claims file, as RiskPath.
  virtual std::string ClaimPath() const = 0;
  /// Folder of the catalogue tables, as the file system names it (as
  /// RiskPath), ending in a path separator or empty for the current folder.
  virtual std::string ProgramFolder() const = 0;
  /// Folder of the temporary index "apolice.ntx" (and of the nameless file
  /// its build may sort in), held open: the index is made and removed in
  /// that very folder, whatever its path leads to meanwhile. Asked only when
  /// the run builds the index, and kept until the index is gone. By default
  /// the catalogue's folder as it is. A front end may choose another (one
  /// the user can write) and may raise a TarveloError when it has none,
  /// which ends the run as a failed index creation would.
  virtual os::Folder IndexFolder() const { return os::OpenFolder(ProgramFolder()); }
  virtual const RegionalSettings& Settings() const = 0;
  /// The report area the run fills.
  virtual ResultLog& Log() = 0;
  /// Moves the progress bar (0 to 100).
  virtual void SetProgress(int position) = 0;
  /// The current local date and time.
  virtual CivilDateTime Now() const = 0;
  /// The most threads the run may use for the record checks of a data file
  /// and for building its index: by default the machine's cores (at least
  /// 1). The report is the same for any number.
  virtual int Threads() const { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }
  /// Where the run streams its detail listing (one row per counted failure
  /// and per claim without a policy item), or nullptr for none.
  virtual DetailSink* Details() { return nullptr; }
  /// Whether the front end asks the run to stop (its window is being
  /// closed). The run asks, from any of its threads, before each block of
  /// records it reads (the record checks, the index build, the claims
  /// search) and then ends by raising RunStoppedError, leaving no index
  /// file. False by default.
  virtual bool StopRequested() const { return false; }
};

}  // namespace tarvelo
