#include "cli/program_context.h"

#include <unistd.h>

#include <ctime>
#include <vector>

namespace tarvelo {

std::string ExecutableFolder() {
  std::vector<char> buffer(4096);
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return "";
  std::string path(buffer.data(), static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

CivilDateTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

}  // namespace tarvelo
