#include <windows.h>

#include "dbf/temporary_file.h"

namespace tarvelo {
namespace {

struct Section {
  Section() { ::InitializeCriticalSection(&section); }
  CRITICAL_SECTION section;
};

CRITICAL_SECTION& HeldOff() {
  static Section held;
  return held.section;
}

}  // namespace

SignalsHeldOff::SignalsHeldOff() { ::EnterCriticalSection(&HeldOff()); }

SignalsHeldOff::~SignalsHeldOff() { ::LeaveCriticalSection(&HeldOff()); }

}  // namespace tarvelo
