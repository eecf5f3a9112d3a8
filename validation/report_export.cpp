#include "validation/report_export.h"

#include <utility>

#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)), destination_(os::LinkTarget(path_)) {
  const os::OpenedFile opened = os::CreateBeside(destination_, temporary_);
  file_ = opened.file;
  if (file_ == os::kNoFile) Fail(opened.error);
}

ReplacingFile::~ReplacingFile() {
  if (file_ == os::kNoFile) return;
  os::CloseFile(file_);
  os::RemoveFile(temporary_);
}

void ReplacingFile::Fail(int error) {
  if (file_ != os::kNoFile) {
    os::CloseFile(file_);
    os::RemoveFile(temporary_);
    file_ = os::kNoFile;
  }
  throw TarveloError("Cannot create file \"" + PathText(path_) + "\". " + os::SystemReason(error));
}

void ReplacingFile::Write(std::string_view bytes) {
  if (file_ == os::kNoFile) return;
  buffer_.append(bytes);
  if (buffer_.size() >= (1u << 16)) Flush();
}

void ReplacingFile::Flush() {
  const int error = os::WriteAt(file_, written_, buffer_.data(), buffer_.size());
  if (error != 0) Fail(error);
  written_ += static_cast<int64_t>(buffer_.size());
  buffer_.clear();
}

void ReplacingFile::Commit() {
  if (file_ == os::kNoFile) return;
  Flush();
  int error = os::SyncFile(file_);
  if (error != 0) Fail(error);
  const os::FileHandle file = std::exchange(file_, os::kNoFile);
  error = os::CloseFile(file);
  if (error == 0) error = os::RenameFile(temporary_, destination_);
  if (error != 0) {
    os::RemoveFile(temporary_);
    Fail(error);
  }
}

void SaveReport(const ResultLog& log, const std::string& path) {
  ReplacingFile file(path);
  for (const auto& line : log.Lines()) {
    file.Write(line);
    file.Write("\r\n");
  }
  file.Commit();
}

void SaveFile(const std::string& path, std::string_view bytes) {
  ReplacingFile file(path);
  file.Write(bytes);
  file.Commit();
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
