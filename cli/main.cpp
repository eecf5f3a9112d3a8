#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_options.h"
#include "frontend/locale_environment.h"
#include "frontend/program_context.h"
#include "frontend/program_folders.h"
#include "frontend/run_session.h"
#include "frontend/signal_cleanup.h"
#include "os/file_system.h"
#include "os/process.h"
#ifdef _WIN32
#include "os/wide_text.h"
#endif
#include "os/replacing_file.h"
#include "validation/catalogue.h"
#include "validation/catalogue_check.h"
#include "validation/catalogue_rules.h"
#include "validation/report_export.h"
#include "validation/report_format.h"
#include "validation/rules_listing.h"
#include "values/cp1252_literal.h"
#include "values/errors.h"
#include "values/text.h"

namespace {

using namespace tarvelo;

// Prints text on standard output; returns 0 or the error of the write.
int PrintOut(const std::string& text) { return os::WriteStandardOutput(text.data(), text.size()); }

// Prints a message (code page 1252) on standard error.
void PrintMessage(const std::string& text) { std::cerr << Cp1252ToUtf8(text) << "\n"; }

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
  PrintMessage(ErrorText(TarveloError("Cannot write to standard output. " + os::SystemReason(error))));
  return true;
}

// The option that names an output, for messages.
const char* OptionOf(OutputKind kind) {
  switch (kind) {
    case OutputKind::kReport:
      return "--exporta";
    case OutputKind::kListing:
      return "--detalhes";
    case OutputKind::kJson:
      return "--json";
    case OutputKind::kHtml:
      return "--html";
  }
  return "";
}

// Whether two options name one output file of session; says which, with the
// usage, when they do.
bool NameOneFile(const RunSession& session) {
  const auto same = session.OutputsNamingOneFile();
  if (same)
    std::cerr << "tarvelo-cli: " << OptionOf(same->first) << " and " << OptionOf(same->second) << " name one file\n"
              << CliUsage();
  return same.has_value();
}

// The catalogue folder the options name, else the default one, and where it
// comes from.
CatalogueChoice CatalogueFolderOf(const CliOptions& options) {
  const std::optional<std::string> catalogueOption =
      options.catalogueFolder ? std::optional(RunPathFromUtf8(*options.catalogueFolder)) : std::nullopt;
  return ChooseCatalogueFolder(catalogueOption, ProcessEnvironmentVariable, ExecutableFolder());
}

// Prints the error of reading the catalogue of choice, then where its folder
// came from.
void PrintCatalogueError(const TarveloError& error, const CatalogueChoice& choice) {
  PrintMessage(ErrorText(error));
  PrintMessage(CatalogueOriginText(choice));
}

// Warns when others may change the catalogue in folder.
void WarnOfChangeableCatalogue(const std::string& folder) {
  if (const std::string warning = CatalogueChangeWarning(folder); !warning.empty()) PrintMessage(warning);
}

// Prints the catalogue's rules, saving them as the options say; returns the
// exit status: 1 when the catalogue cannot be read or a file not saved.
int ShowRules(const CliOptions& options) {
  const CatalogueChoice choice = CatalogueFolderOf(options);
  const std::string& folder = choice.folder;
  // Its files are checked as a run's outputs are: never a catalogue table,
  // never one file named twice.
  RunSession outputs(FrontEndRunInputs("", "", folder, SettingsFromProcessEnvironment()));
  if (options.exportPath) outputs.AskOutput(OutputKind::kReport, RunPathFromUtf8(*options.exportPath));
  if (options.jsonPath) outputs.AskOutput(OutputKind::kJson, RunPathFromUtf8(*options.jsonPath));
  if (NameOneFile(outputs)) return 2;
  if (!outputs.CheckOutputs(PrintMessage)) return 1;
  ResultLog log;
  std::string json;
  const Catalogue catalogue(folder, SettingsFromProcessEnvironment());
  try {
    catalogue.RaiseRulesError();
    const auto tables = CatalogueRules(catalogue);
    WriteRulesListing(log, folder, tables);
    json = RulesJson(Cp1252ToUtf8(PathText(folder)), tables);
  } catch (const TarveloError& error) {
    PrintCatalogueError(error, choice);
    return 1;
  }
  // A table cut short lists the rows it holds, and says so.
  for (const CatalogueFault& fault : ShortCatalogueTables(catalogue))
    PrintMessage("The catalogue has a fault that leaves rules out of this listing: " + FaultLine(fault));
  WarnOfChangeableCatalogue(folder);
  bool failed = ReportOutputError(PrintLog(log));
  try {
    if (options.exportPath) SaveReport(log, RunPathFromUtf8(*options.exportPath));
    if (options.jsonPath) {
      os::ReplacingFile file(RunPathFromUtf8(*options.jsonPath));
      file.Write(json);
      file.Commit();
    }
  } catch (const TarveloError& error) {
    PrintMessage(ErrorText(error));
    failed = true;
  }
  return failed ? 1 : 0;
}

// Lists the catalogue's faults; returns the exit status: 0 for none, 3 when
// some were found, 1 when a table cannot be read.
int CheckCatalogueFolder(const CliOptions& options) {
  const CatalogueChoice choice = CatalogueFolderOf(options);
  const std::string& folder = choice.folder;
  std::vector<CatalogueFault> faults;
  try {
    const RegionalSettings settings = SettingsFromProcessEnvironment();
    faults = CheckCatalogue(Catalogue(folder, settings), settings);
  } catch (const TarveloError& error) {
    PrintCatalogueError(error, choice);
    return 1;
  }
  WarnOfChangeableCatalogue(folder);
  ResultLog log;
  for (const CatalogueFault& fault : faults) log.Append(FaultLine(fault));
  log.Append(faults.empty()
                 ? "Nenhum problema encontrado no catálogo "_cp1252 + PathText(folder)
                 : std::to_string(faults.size()) + " problema(s) encontrado(s) no catálogo "_cp1252 + PathText(folder));
  if (ReportOutputError(PrintLog(log))) return 1;
  return faults.empty() ? 0 : 3;
}

// Validates as the options say; returns the exit status.
int Validate(const CliOptions& options) {
  const CatalogueChoice choice = CatalogueFolderOf(options);
  RunSession session(FrontEndRunInputs(RunPathFromUtf8(options.riskPath), RunPathFromUtf8(options.claimPath),
                                       choice.folder, SettingsFromProcessEnvironment()));
  session.SetCatalogueOrigin(CatalogueOriginText(choice));
  // The files this program writes, as the file system names them, in the
  // order they are checked, made and saved.
  const std::pair<OutputKind, const std::optional<std::string>&> outputs[] = {
      {OutputKind::kReport, options.exportPath},
      {OutputKind::kListing, options.detailPath},
      {OutputKind::kJson, options.jsonPath},
      {OutputKind::kHtml, options.htmlPath}};
  for (const auto& [kind, path] : outputs)
    if (path) session.AskOutput(kind, RunPathFromUtf8(*path));
  if (NameOneFile(session)) return 2;
  // Each output that is refused or cannot be made is named; one that keeps
  // nothing (the null device) is said to.
  if (!session.CheckOutputs(PrintMessage) || !session.MakeOutputs(PrintMessage)) return 1;
  session.Run();
  // The lines written so far are printed in any case; an error that ended
  // the run follows on standard error, then what the saves met.
  const bool printFailed = ReportOutputError(PrintLog(session.Report()));
  if (const auto failure = session.EndText()) PrintMessage(*failure);
  if (const std::string note = session.CatalogueErrorNote(); !note.empty()) PrintMessage(note);
  const bool saved = session.SaveOutputs(PrintMessage);
  const std::string warning = session.Warning();
  if (!warning.empty()) PrintMessage(warning);
  return session.ExitStatus(options.strict, printFailed || !saved);
}

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
  if (options->rules) return ShowRules(*options);
  if (options->checkCatalogue) return CheckCatalogueFolder(*options);
  return Validate(*options);
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
