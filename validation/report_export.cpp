#include "validation/report_export.h"

#include "os/process.h"

#include <utility>

#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)), target_(os::ResolveOutput(path_)) {
  if (target_.error == os::kLinkRefused)
    throw TarveloError("Cannot create file \"" + PathText(path_) + "\". " + kLinkNotFollowed);
  if (target_.error != 0) Fail("create", target_.error);
  os::OpenedFile opened;
  if (target_.kind == os::OutputKind::kInPlace) {
    opened = os::OpenInPlace(target_.destination, target_.append);
  } else {
    // A named replacement is known to the signal handlers from the start.
    const os::SignalsHeldOff heldOff;
    opened = os::CreateReplacement(target_.destination, name_);
    if (opened.file != os::kNoFile && !name_.empty()) named_ = os::TemporaryFile(name_, opened.file);
  }
  file_ = opened.file;
  if (file_ == os::kNoFile) Fail("create", opened.error);
}

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Discard() {
  os::CloseFile(std::exchange(file_, os::kNoFile));
  named_.Remove();
}

void ReplacingFile::Fail(const char* step, int error) {
  Discard();
  throw TarveloError(std::string("Cannot ") + step + " file \"" + PathText(path_) + "\". " + os::SystemReason(error));
}

void ReplacingFile::Write(std::string_view bytes) {
  if (file_ == os::kNoFile || writeError_ != 0) return;
  buffer_.append(bytes);
  if (buffer_.size() >= (1u << 16)) Flush();
}

void ReplacingFile::Flush() {
  if (writeError_ == 0) writeError_ = os::WriteAll(file_, buffer_.data(), buffer_.size());
  buffer_.clear();
}

void ReplacingFile::Commit() {
  if (file_ == os::kNoFile) return;
  Flush();
  if (writeError_ != 0) Fail("write", writeError_);
  if (target_.kind == os::OutputKind::kInPlace) {
    // Devices and pipes keep nothing to make durable.
    const int error = os::CloseFile(std::exchange(file_, os::kNoFile));
    if (error != 0) Fail("write", error);
    return;
  }
  int error = os::SyncFile(file_);
  if (error != 0) Fail("write", error);
  os::KeepOwnerAndMode(file_, target_.destination);
  error = os::PutReplacement(file_, name_, target_.destination);
  if (error != 0) Fail("create", error);
  named_ = os::TemporaryFile();  // renamed: no file of that name is left to remove
  error = os::CloseFile(std::exchange(file_, os::kNoFile));
  if (error != 0) Fail("write", error);
}

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
  if (in.file == os::kNoFile)
    throw TarveloError("Cannot open file \"" + PathText(source) + "\". " + os::SystemReason(in.error));
  try {
    ReplacingFile file(target);
    char piece[1 << 16];
    for (int64_t offset = 0;;) {
      const os::ReadResult got = os::ReadAt(in.file, offset, piece, sizeof piece);
      if (got.error != 0)
        throw TarveloError("Cannot open file \"" + PathText(source) + "\". " + os::SystemReason(got.error));
      if (got.bytes == 0) break;
      file.Write(std::string_view(piece, got.bytes));
      offset += static_cast<int64_t>(got.bytes);
    }
    file.Commit();
  } catch (...) {
    os::CloseFile(in.file);
    throw;
  }
  os::CloseFile(in.file);
}

}  // namespace tarvelo
