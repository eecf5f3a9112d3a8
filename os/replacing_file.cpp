#include "os/replacing_file.h"

#include <utility>

#include "os/process.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo::os {

ReplacingFile::ReplacingFile(std::string path) : path_(std::move(path)), target_(ResolveOutput(path_)) {
  const auto refuse = [this](const char* reason) {
    throw TarveloError("Cannot create file \"" + PathText(path_) + "\". " + reason);
  };
  if (target_.error == kLinkRefused) refuse(kLinkNotFollowed);
  if (target_.error == kOthersFileRefused) refuse(kOthersFileLeft);
  if (target_.error != 0) Fail("create", target_.error);
  OpenedFile opened;
  if (target_.place == OutputPlace::kInPlace) {
    opened = OpenInPlace(target_.destination, target_.append);
    if (opened.error == kNoReader) refuse(kPipeWithoutReader);
  } else {
    // A named replacement is known to the signal handlers from the start.
    const SignalsHeldOff heldOff;
    opened = CreateReplacement(target_.destination, name_);
    if (opened.file.IsOpen() && !name_.empty()) named_ = TemporaryFile(name_, opened.file.Handle());
  }
  file_ = std::move(opened.file);
  if (!file_.IsOpen()) Fail("create", opened.error);
}

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Discard() {
  file_.Close();
  named_.Remove();
}

void ReplacingFile::Fail(const char* step, int error) {
  Discard();
  throw TarveloError(std::string("Cannot ") + step + " file \"" + PathText(path_) + "\". " + SystemReason(error));
}

void ReplacingFile::Write(std::string_view bytes) {
  if (!file_.IsOpen() || writeError_ != 0) return;
  buffer_.append(bytes);
  if (buffer_.size() >= (1u << 16)) Flush();
}

void ReplacingFile::Flush() {
  if (writeError_ == 0) writeError_ = WriteAll(file_.Handle(), buffer_.data(), buffer_.size());
  buffer_.clear();
}

void ReplacingFile::Commit() {
  if (!file_.IsOpen()) return;
  Flush();
  if (writeError_ != 0) Fail("write", writeError_);
  if (target_.place == OutputPlace::kInPlace) {
    // Devices and pipes keep nothing to make durable.
    const int error = file_.Close();
    if (error != 0) Fail("write", error);
    return;
  }
  int error = SyncFile(file_.Handle());
  if (error != 0) Fail("write", error);
  KeepOwnerAndMode(file_.Handle(), target_.destination);
  error = PutReplacement(file_.Handle(), name_, target_.destination);
  if (error != 0) Fail("create", error);
  named_ = TemporaryFile();  // renamed: no file of that name is left to remove
  error = file_.Close();
  if (error != 0) Fail("write", error);
}

}  // namespace tarvelo::os
