#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <thread>

#include "os/folder.h"
#include "values/date_time.h"
#include "values/regional_settings.h"

namespace tarvelo {

/// The most threads a run uses when it is not told: the machine's cores,
/// at least 1.
inline int MachineThreads() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

/// Everything a validation run reads from outside, as one value: the front
/// end that starts the run fills it, and the run reads nothing else (no
/// environment, no clock of its own).
struct RunInputs {
  /// The risks file as the file system names it: the bytes of the risks
  /// edit box or argument as given (RunPathFromUtf8 of the front-end
  /// library), not trimmed, in no code page; empty or blank for no file. The
  /// run opens the file by these bytes and shows them in the report and in
  /// messages in code page 1252, "?" for a character the code page lacks.
  std::string riskPath;
  /// The claims file, as riskPath.
  std::string claimPath;
  /// Folder of the catalogue tables, as the file system names it, ending in
  /// a path separator or empty for the current folder.
  std::string catalogueFolder;
  RegionalSettings settings;
  /// The most threads the run may use for the record checks of a data file
  /// and for building its index. The report is the same for any number.
  int threads = MachineThreads();
  /// The folder of the temporary index "apolice.ntx" (and of the nameless
  /// file its build may sort in), held open: the index is made and removed
  /// in that very folder, whatever its path leads to meanwhile. Called only
  /// when the run builds the index; the folder is kept until the index is
  /// gone. It may raise a TarveloError when there is none, which ends the
  /// run as a failed index creation would. Empty: the catalogue's folder as
  /// it is (os::OpenFolder).
  std::function<os::Folder()> indexFolder;
  /// The current local date and time, asked when the run starts and when
  /// it writes its closing lines. Must be set.
  std::function<CivilDateTime()> now;
};

}  // namespace tarvelo
