#pragma once

namespace tarvelo {

/// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the files
/// the process holds as temporary (the index of a run under way, see
/// TemporaryFile) and then end the process by the same signal, as it would
/// have ended without the handler (on Windows, Ctrl+C and the console's
/// other events end it with STATUS_CONTROL_C_EXIT, a failure a batch file
/// sees in %ERRORLEVEL%). A signal ignored when the process
/// started stays ignored. A write to a pipe that no one reads or past the
/// file size limit then fails as an error that the program reports, and
/// removes those files after, as for any other error
/// (os::ReportWritesThatSignalsWouldEnd).
void RemoveTemporaryFilesOnSignals();

}  // namespace tarvelo
