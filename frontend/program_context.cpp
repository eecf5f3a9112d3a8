#include "frontend/program_context.h"

#include <ctime>

#include "os/path.h"
#include "os/process.h"

namespace tarvelo {

std::string ExecutableFolder() { return os::FolderOf(os::ExecutablePath()); }

CivilDateTime LocalNow() {
  const std::tm local = os::LocalTime(std::time(nullptr));
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

std::string RunPathFromUtf8(std::string_view typed) { return std::string(typed); }

}  // namespace tarvelo
