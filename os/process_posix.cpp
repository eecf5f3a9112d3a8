#include "os/process.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <cstdlib>
#include <vector>

namespace tarvelo::os {
namespace {

std::atomic<void (*)() noexcept> endingCleanup{nullptr};

void CleanUpAndEnd(int signal) {
  if (const auto cleanup = endingCleanup.load()) cleanup();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

SignalsHeldOff::SignalsHeldOff() {
  static_assert(sizeof(sigset_t) <= sizeof(previous_));
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, reinterpret_cast<sigset_t*>(previous_));
}

SignalsHeldOff::~SignalsHeldOff() { pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(previous_), nullptr); }

void CallOnEndingSignals(void (*cleanup)() noexcept) {
  endingCleanup.store(cleanup);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = CleanUpAndEnd;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

void ReportWritesThatSignalsWouldEnd() {
  for (const int signal : {SIGPIPE, SIGXFSZ}) ::signal(signal, SIG_IGN);
}

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return "";
  return std::string(buffer.data(), static_cast<size_t>(n));
}

void ShareOneAllocatorPool() {
#if defined(__GLIBC__)
  mallopt(M_ARENA_MAX, 1);
#endif
}

std::tm LocalTime(std::time_t moment) {
  std::tm local{};
  localtime_r(&moment, &local);
  return local;
}

std::string EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return std::string(value ? value : "");
}

std::string UserNumber() { return std::to_string(::geteuid()); }

std::string UserLocaleName() { return ""; }

StandardStreamsAsUtf8::StandardStreamsAsUtf8() = default;

StandardStreamsAsUtf8::~StandardStreamsAsUtf8() = default;

}  // namespace tarvelo::os
