#include "validation/report_export.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {

void SaveReport(const ResultLog& log, const std::string& path) {
  const auto fail = [&](int error) {
    throw TarveloError("Cannot create file \"" + path + "\". " + Utf8ToCp1252(std::strerror(error)));
  };
  std::FILE* file = std::fopen(Cp1252ToUtf8(path).c_str(), "wb");
  if (!file) fail(errno);
  bool ok = true;
  for (const auto& line : log.Lines()) {
    ok = ok && std::fwrite(line.data(), 1, line.size(), file) == line.size();
    ok = ok && std::fwrite("\r\n", 1, 2, file) == 2;
  }
  const int writeError = errno;
  if (std::fclose(file) != 0 || !ok) fail(ok ? errno : writeError);
}

}  // namespace tarvelo
