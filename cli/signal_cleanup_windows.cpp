#include <windows.h>

#include "cli/signal_cleanup.h"
#include "dbf/temporary_file.h"

namespace tarvelo {
namespace {

// Runs on a thread of its own: waits until no file is being made, removes
// the files, and lets the system's own handler end the process.
BOOL WINAPI RemoveAndEnd(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
      const SignalsHeldOff noFileBeingMade;
      RemoveTemporaryFiles();
      break;
    }
    default:
      break;
  }
  return FALSE;
}

}  // namespace

void RemoveTemporaryFilesOnSignals() { ::SetConsoleCtrlHandler(RemoveAndEnd, TRUE); }

}  // namespace tarvelo
