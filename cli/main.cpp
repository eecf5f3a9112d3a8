#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/locale_environment.h"
#include "cli/program_context.h"
#include "cli/run_path.h"
#include "cli/signal_cleanup.h"
#include "os/file_system.h"
#include "os/process.h"
#ifdef _WIN32
#include "os/wide_text.h"
#endif
#include "validation/detail_listing.h"
#include "validation/export_path_check.h"
#include "validation/report_export.h"
#include "validation/report_format.h"
#include "validation/results_json.h"
#include "validation/validation_run.h"
#include "values/errors.h"
#include "values/text.h"

namespace {

using namespace tarvelo;

class CliHost : public RunHost {
 public:
  CliHost(const CliOptions& options, RegionalSettings settings, std::string folder)
      : riskPath_(RunPathFromUtf8(options.riskPath)),
        claimPath_(RunPathFromUtf8(options.claimPath)),
        folder_(std::move(folder)),
        settings_(std::move(settings)) {}

  std::string RiskPath() const override { return riskPath_; }
  std::string ClaimPath() const override { return claimPath_; }
  std::string ProgramFolder() const override { return folder_; }
  const RegionalSettings& Settings() const override { return settings_; }
  ResultLog& Log() override { return log_; }
  void SetProgress(int) override {}
  CivilDateTime Now() const override { return LocalNow(); }
  DetailSink* Details() override { return details_; }
  void SetDetails(DetailSink* details) { details_ = details; }

 private:
  std::string riskPath_;
  std::string claimPath_;
  std::string folder_;
  RegionalSettings settings_;
  ResultLog log_;
  DetailSink* details_ = nullptr;
};

void PrintLog(const ResultLog& log) {
  std::string out;
  for (const auto& line : log.Lines()) {
    out += Cp1252ToUtf8(line);
    out += '\n';
  }
  std::cout << out << std::flush;
}

// The program, given its arguments in UTF-8; returns the exit status.
int RunCli(const std::vector<std::string>& arguments) {
  std::string usageError;
  const auto options = ParseCliOptions(arguments, usageError);
  if (!options) {
    std::cerr << "tarvelo-cli: " << usageError << "\n" << CliUsage();
    return 2;
  }
  if (options->help) {
    std::cout << CliUsage();
    return 0;
  }
  if (options->version) {
    std::cout << CliVersion();
    return 0;
  }

  std::string folder = options->catalogueFolder ? RunPathFromUtf8(*options->catalogueFolder) : ExecutableFolder();
  if (!folder.empty() && !os::IsFolderSeparator(folder.back())) folder += os::kFolderSeparator;

  CliHost host(*options, SettingsFromProcessEnvironment(), folder);
  // The files this program writes, as the file system names them.
  const auto output = [](const std::optional<std::string>& path) {
    return path ? std::optional<std::string>(RunPathFromUtf8(*path)) : std::nullopt;
  };
  const std::optional<std::string> exportPath = output(options->exportPath);
  const std::optional<std::string> jsonPath = output(options->jsonPath);
  const std::optional<std::string> detailPath = output(options->detailPath);
  // An output over a file the run reads is refused before the run; the
  // detail listing is written during the run.
  std::unique_ptr<DetailListing> details;
  try {
    for (const auto& path : {exportPath, jsonPath, detailPath}) {
      if (path) CheckExportPath(*path, host.RiskPath(), host.ClaimPath(), folder);
    }
    if (detailPath) details = std::make_unique<DetailListing>(*detailPath, host.Settings().decimalSeparator);
    host.SetDetails(details.get());
  } catch (const TarveloError& error) {
    std::cerr << Cp1252ToUtf8(ErrorText(error)) << "\n";
    return 1;
  }
  RemoveTemporaryFilesOnSignals();
  ValidationRun run(host);
  // The lines written so far are printed in any case; an error that ended
  // the run follows on standard error.
  std::optional<std::string> failure;
  try {
    run.Execute();
  } catch (const TarveloError& error) {
    failure = ErrorText(error);
  } catch (const std::exception& error) {
    failure = MessageBoxText(error.what());
  }
  PrintLog(host.Log());
  if (failure) std::cerr << Cp1252ToUtf8(*failure) << "\n";
  int status = failure ? 1 : 0;
  try {
    // The listing keeps the rows of a run that an error ended, as the
    // report keeps its lines.
    if (details) details->Finish();
    if (exportPath) SaveReport(host.Log(), *exportPath);
    if (jsonPath) SaveFile(*jsonPath, ResultsJson(run.Results(), failure));
  } catch (const TarveloError& error) {
    std::cerr << Cp1252ToUtf8(ErrorText(error)) << "\n";
    return 1;
  }
  if (status == 0 && options->strict && HasDataProblems(run.Results())) status = 3;
  return status;
}

}  // namespace

#ifdef _WIN32
// Arguments arrive in UTF-16 and become UTF-8 here, once.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(os::Utf8FromWide(argv[i]));
  const os::StandardStreamsAsUtf8 streams;
  return RunCli(arguments);
}
#else
int main(int argc, char** argv) { return RunCli(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
