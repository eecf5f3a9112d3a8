#include "frontend/command_flow.h"

#include "validation/report_format.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {

int OpenerExitResult(int exitStatus) {
  switch (exitStatus) {
    case 0:
      return kShellOpened;
    case 2:
      return kShellFileNotFound;
    default:
      return kShellNoAssociation;
  }
}

std::string ExpandHomeFolder(const std::string& typed, const std::string& home) {
  if (typed == "~") return home;
  if (typed.starts_with("~/")) return home + typed.substr(1);
  return typed;
}

std::string FolderOfPath(const std::string& path) {
#ifdef _WIN32
  const size_t separator = path.find_last_of("/\\");
#else
  const size_t separator = path.find_last_of('/');
#endif
  if (separator == std::string::npos) return ".";
  return separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
}

std::string SaveDialogInitialName() {
#ifdef _WIN32
  return "*.txt";
#else
  return std::string();
#endif
}

void CheckSaveName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.find_first_of("*?") == std::string::npos) return;
  throw TarveloError("Cannot export the report to \"" + PathText(path) +
                     "\": a name with * or ? is a pattern, not a file name");
}

std::optional<std::string> RunEndText(std::exception_ptr ended) {
  if (!ended) return std::nullopt;
  try {
    std::rethrow_exception(ended);
  } catch (const RunStoppedError&) {
    return std::nullopt;
  } catch (const TarveloError& error) {
    return ErrorText(error);
  } catch (const std::exception& error) {
    return MessageBoxText(error.what());
  }
}

void CloseDuringRun::RunStarted() {
  stop_.store(false, std::memory_order_relaxed);
  closePending_ = false;
}

bool CloseDuringRun::CloseRequested(bool running) {
  if (!running) return true;
  stop_.store(true, std::memory_order_relaxed);
  closePending_ = true;
  return false;
}

}  // namespace tarvelo
