#include "frontend/signal_cleanup.h"

#include "os/process.h"
#include "os/temporary_file.h"

namespace tarvelo {

void RemoveTemporaryFilesOnSignals() {
  os::CallOnEndingSignals(os::RemoveTemporaryFiles);
  os::ReportWritesThatSignalsWouldEnd();
}

}  // namespace tarvelo
