#include "validation/report_export.h"

#include <string_view>

#include "os/file_system.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {

void WriteReport(const ResultLog& log, ReplacingFile& file) {
  for (const auto& line : log.Lines()) {
    file.Write(line);
    file.Write("\r\n");
  }
  file.Commit();
}

void SaveReport(const ResultLog& log, const std::string& path) {
  ReplacingFile file(path);
  WriteReport(log, file);
}

void CopyFile(const std::string& source, const std::string& target) {
  const os::OpenedFile in = os::OpenForReading(source);
  if (!in.file.IsOpen())
    throw TarveloError("Cannot open file \"" + PathText(source) + "\". " + os::SystemReason(in.error));
  ReplacingFile file(target);
  char piece[1 << 16];
  for (int64_t offset = 0;;) {
    const os::ReadResult got = os::ReadAt(in.file.Handle(), offset, piece, sizeof piece);
    if (got.error != 0)
      throw TarveloError("Cannot open file \"" + PathText(source) + "\". " + os::SystemReason(got.error));
    if (got.bytes == 0) break;
    file.Write(std::string_view(piece, got.bytes));
    offset += static_cast<int64_t>(got.bytes);
  }
  file.Commit();
}

}  // namespace tarvelo
