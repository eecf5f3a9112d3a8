#include <algorithm>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_options.h"
#include "frontend/locale_environment.h"
#include "frontend/program_context.h"
#include "frontend/program_folders.h"
#include "frontend/signal_cleanup.h"
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

// Prints text on standard output; returns 0 or the error of the write.
int PrintOut(const std::string& text) { return os::WriteStandardOutput(text.data(), text.size()); }

void PrintError(const TarveloError& error) { std::cerr << Cp1252ToUtf8(ErrorText(error)) << "\n"; }

// Prints the log's lines in UTF-8; returns 0 or the error of the write.
int PrintLog(const ResultLog& log) {
  std::string out;
  for (const auto& line : log.Lines()) {
    out += Cp1252ToUtf8(line);
    out += '\n';
  }
  return PrintOut(out);
}

// Says on standard error that standard output failed, when error is one.
bool ReportOutputError(int error) {
  if (error == 0) return false;
  PrintError(TarveloError("Cannot write to standard output. " + os::SystemReason(error)));
  return true;
}

// One file the command line writes: its option and path.
struct Output {
  const char* option;
  std::optional<std::string> path;
};

// The program, given its arguments in UTF-8; returns the exit status.
int RunCli(const std::vector<std::string>& arguments) {
  os::ShareOneAllocatorPool();
  os::KeepStandardFilesOpen();
  RemoveTemporaryFilesOnSignals();
  std::string usageError;
  const auto options = ParseCliOptions(arguments, usageError);
  if (!options) {
    std::cerr << "tarvelo-cli: " << usageError << "\n" << CliUsage();
    return 2;
  }
  if (options->help) return ReportOutputError(PrintOut(CliUsage())) ? 1 : 0;
  if (options->version) return ReportOutputError(PrintOut(CliVersion())) ? 1 : 0;

  const std::optional<std::string> catalogueOption =
      options->catalogueFolder ? std::optional(RunPathFromUtf8(*options->catalogueFolder)) : std::nullopt;
  const std::string folder = CatalogueFolder(catalogueOption, ProcessEnvironmentVariable, ExecutableFolder());

  RunInputs inputs;
  inputs.riskPath = RunPathFromUtf8(options->riskPath);
  inputs.claimPath = RunPathFromUtf8(options->claimPath);
  inputs.catalogueFolder = folder;
  inputs.settings = SettingsFromProcessEnvironment();
  inputs.indexFolder = [folder] { return IndexFolder(folder, ProcessEnvironmentVariable); };
  inputs.now = LocalNow;
  // The files this program writes, as the file system names them.
  const auto output = [](const std::optional<std::string>& path) {
    return path ? std::optional<std::string>(RunPathFromUtf8(*path)) : std::nullopt;
  };
  const Output outputs[] = {{"--exporta", output(options->exportPath)},
                            {"--detalhes", output(options->detailPath)},
                            {"--json", output(options->jsonPath)}};
  for (size_t i = 0; i < std::size(outputs); ++i) {
    for (size_t j = i + 1; j < std::size(outputs); ++j) {
      if (outputs[i].path && outputs[j].path && SameOutputFile(*outputs[i].path, *outputs[j].path)) {
        std::cerr << "tarvelo-cli: " << outputs[i].option << " and " << outputs[j].option << " name one file\n"
                  << CliUsage();
        return 2;
      }
    }
  }
  // An output over a file the validation needs, or one the save could not
  // replace, is refused, and every output is made, before the run: a folder
  // that takes no file is found at once. Each output that cannot be made is
  // named; one that keeps nothing (the null device) is said to.
  bool refused = false;
  std::optional<std::string> indexFolder;
  if (std::any_of(std::begin(outputs), std::end(outputs), [](const Output& out) { return out.path.has_value(); })) {
    indexFolder = IndexFolderIfAny(folder, ProcessEnvironmentVariable);
  }
  for (const Output& out : outputs) {
    try {
      const std::string warning =
          out.path ? CheckExportPath(*out.path, {inputs.riskPath, inputs.claimPath}, folder, indexFolder) : "";
      if (!warning.empty()) std::cerr << Cp1252ToUtf8(warning) << "\n";
    } catch (const TarveloError& error) {
      PrintError(error);
      refused = true;
    }
  }
  if (refused) return 1;
  std::unique_ptr<ReplacingFile> exportFile;
  std::unique_ptr<DetailListing> details;
  std::unique_ptr<ReplacingFile> jsonFile;
  const auto make = [&refused](const std::optional<std::string>& path, auto&& create) {
    try {
      if (path) create(*path);
    } catch (const TarveloError& error) {
      PrintError(error);
      refused = true;
    }
  };
  make(outputs[0].path, [&](const std::string& path) { exportFile = std::make_unique<ReplacingFile>(path); });
  make(outputs[1].path, [&](const std::string& path) {
    details = std::make_unique<DetailListing>(path, inputs.settings.decimalSeparator);
  });
  make(outputs[2].path, [&](const std::string& path) { jsonFile = std::make_unique<ReplacingFile>(path); });
  if (refused) return 1;
  ValidationRun run(std::move(inputs), nullptr, details.get());
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
  const bool outputFailed = ReportOutputError(PrintLog(run.Report()));
  if (failure) std::cerr << Cp1252ToUtf8(*failure) << "\n";
  int status = failure || outputFailed ? 1 : 0;
  // Each file is saved on its own, whatever became of the others; the
  // listing keeps the rows of a run that an error ended, as the report
  // keeps its lines.
  const auto save = [&status](auto&& step) {
    try {
      step();
    } catch (const TarveloError& error) {
      PrintError(error);
      status = 1;
    } catch (const std::bad_alloc&) {
      PrintError(OutOfMemoryError("saving the outputs"));
      status = 1;
    }
  };
  if (exportFile) save([&] { WriteReport(run.Report(), *exportFile); });
  if (details) save([&] { details->Finish(); });
  if (jsonFile)
    save([&] {
      jsonFile->Write(ResultsJson(run.Results(), failure));
      jsonFile->Commit();
    });
  const std::string warning = CompanyNotFoundWarning(run.Results());
  if (!warning.empty()) std::cerr << Cp1252ToUtf8(warning) << "\n";
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
