#pragma once

#include <string>

#include "values/date_time.h"

namespace tarvelo {

/// The folder of the running executable, ending in "/"; empty when the
/// system cannot tell it (the run then looks in the current folder).
std::string ExecutableFolder();

/// Makes every thread of the process allocate from the C library's one
/// main pool, so that no thread reserves a pool of its own (64 MiB of
/// address space each): the program then runs under a tight limit of
/// address space (ulimit -v). Call first thing in main, before any
/// thread starts; without the C library's allocator it does nothing.
void ShareOneAllocatorPool();

/// The current local date and time of the process's time zone.
CivilDateTime LocalNow();

}  // namespace tarvelo
