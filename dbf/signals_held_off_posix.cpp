#include <pthread.h>

#include "dbf/temporary_file.h"

namespace tarvelo {

SignalsHeldOff::SignalsHeldOff() {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous_);
}

SignalsHeldOff::~SignalsHeldOff() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace tarvelo
