#include "cli/signal_cleanup.h"

#include <signal.h>

#include "dbf/temporary_file.h"

namespace tarvelo {
namespace {

void RemoveAndEnd(int signal) {
  RemoveTemporaryFiles();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

void RemoveTemporaryFilesOnSignals() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = RemoveAndEnd;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
  // A write to a pipe no one reads, or past the file size limit, fails
  // with its reason instead of ending the process with its files left.
  for (const int signal : {SIGPIPE, SIGXFSZ}) ::signal(signal, SIG_IGN);
}

}  // namespace tarvelo
