#pragma once

namespace tarvelo {

/// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the files
/// the process holds as temporary (the index of a run under way, see
/// TemporaryFile) and then end the process by the same signal, as it would
/// have ended without the handler. A signal ignored when the process
/// started stays ignored. SIGPIPE and SIGXFSZ are ignored, so that a write
/// to a pipe that no one reads (EPIPE) or past the file size limit (EFBIG)
/// fails as an error that the program reports, after removing those files
/// as for any other error.
void RemoveTemporaryFilesOnSignals();

}  // namespace tarvelo
