#include "frontend/run_session.h"

#include <new>

#include "frontend/command_flow.h"
#include "frontend/locale_environment.h"
#include "frontend/program_context.h"
#include "frontend/program_folders.h"
#include "os/file_system.h"
#include "os/process.h"
#include "validation/catalogue_check.h"
#include "validation/catalogue_rules.h"
#include "validation/export_path_check.h"
#include "validation/report_format.h"
#include "validation/results_json.h"
#include "values/errors.h"

namespace tarvelo {

RunInputs FrontEndRunInputs(std::string riskPath, std::string claimPath, std::string catalogueFolder,
                            RegionalSettings settings) {
  RunInputs inputs;
  inputs.riskPath = std::move(riskPath);
  inputs.claimPath = std::move(claimPath);
  inputs.catalogueFolder = std::move(catalogueFolder);
  inputs.settings = std::move(settings);
  inputs.indexFolder = [folder = inputs.catalogueFolder] { return IndexFolder(folder, ProcessEnvironmentVariable); };
  inputs.now = LocalNow;
  return inputs;
}

RunSession::RunSession(RunInputs inputs) : inputs_(std::move(inputs)) {}

RunSession::~RunSession() = default;

void RunSession::AskOutput(OutputKind kind, std::string path) {
  if (kind == OutputKind::kHtml) keepPageRows_ = true;
  outputs_.push_back({kind, std::move(path), {}, {}});
}

std::optional<std::pair<OutputKind, OutputKind>> RunSession::OutputsNamingOneFile() const {
  for (size_t i = 0; i < outputs_.size(); ++i)
    for (size_t j = i + 1; j < outputs_.size(); ++j)
      if (SameOutputFile(outputs_[i].path, outputs_[j].path)) return std::pair(outputs_[i].kind, outputs_[j].kind);
  return std::nullopt;
}

std::string RunSession::CheckOutput(const std::string& path, const std::vector<std::string>& moreDataFiles) const {
  std::vector<std::string> dataFiles = moreDataFiles;
  dataFiles.insert(dataFiles.end(), {inputs_.riskPath, inputs_.claimPath});
  return CheckExportPath(path, dataFiles, inputs_.catalogueFolder,
                         IndexFolderIfAny(inputs_.catalogueFolder, ProcessEnvironmentVariable),
                         ProgramOwnFilesOf(ExecutableFolder()));
}

bool RunSession::CheckOutputs(const SessionMessages& say) const {
  if (outputs_.empty()) return true;
  const std::optional<std::string> indexFolder = IndexFolderIfAny(inputs_.catalogueFolder, ProcessEnvironmentVariable);
  const ProgramOwnFiles program = ProgramOwnFilesOf(ExecutableFolder());
  bool refused = false;
  for (const Output& output : outputs_) {
    try {
      const std::string warning = CheckExportPath(output.path, {inputs_.riskPath, inputs_.claimPath},
                                                  inputs_.catalogueFolder, indexFolder, program);
      if (!warning.empty() && say) say(warning);
    } catch (const TarveloError& error) {
      if (say) say(ErrorText(error));
      refused = true;
    }
  }
  return !refused;
}

bool RunSession::MakeOutputs(const SessionMessages& say) {
  bool made = true;
  for (Output& output : outputs_) {
    try {
      if (output.kind == OutputKind::kListing) {
        output.listing = std::make_unique<DetailListing>(output.path, inputs_.settings.decimalSeparator);
      } else {
        output.file = std::make_unique<ReplacingFile>(output.path);
      }
    } catch (const TarveloError& error) {
      if (say) say(ErrorText(error));
      made = false;
    }
  }
  return made;
}

const RunSession::Output* RunSession::Listing() const {
  for (const Output& output : outputs_)
    if (output.listing) return &output;
  return nullptr;
}

void RunSession::Run(RunObserver* observer) {
  const Output* listing = Listing();
  DetailSink* details = listing ? listing->listing.get() : nullptr;
  facts_ = PageFacts();
  if (keepPageRows_) {
    pageRows_ = HtmlPageRows();
    if (details) {
      tee_ = std::make_unique<DetailTee>(*details, pageRows_);
      details = tee_.get();
    } else {
      details = &pageRows_;
    }
  }
  run_ = std::make_unique<ValidationRun>(inputs_, observer, details);
  ended_ = nullptr;
  catalogueChange_ = CatalogueChangeWarning(inputs_.catalogueFolder);
  try {
    run_->Execute();
  } catch (const std::exception&) {
    ended_ = std::current_exception();
  }
  if (keepPageRows_) GatherFacts();
}

void RunSession::GatherFacts() {
  try {
    if (const Catalogue* catalogue = run_->UsedCatalogue()) facts_.rules = CatalogueRules(*catalogue);
  } catch (const std::exception&) {
    // Memory that runs out too: the page then says the rules are not
    // included.
    facts_.rules.clear();
  }
  facts_.error = EndText();
}

void RunSession::WriteOutput(OutputKind kind, ReplacingFile& file) const {
  switch (kind) {
    case OutputKind::kReport:
      WriteReport(Report(), file);
      return;
    case OutputKind::kJson:
      file.Write(ResultsJson(Results(), EndText()));
      file.Commit();
      return;
    case OutputKind::kHtml:
      file.Write(HtmlPage(Results(), pageRows_, facts_, inputs_.settings));
      file.Commit();
      return;
    case OutputKind::kListing:
      break;
  }
}

bool RunSession::SaveOutputs(const SessionMessages& say) {
  bool saved = true;
  const auto failed = [&](const TarveloError& error) {
    const std::string text = ErrorText(error);
    if (!firstSaveError_) firstSaveError_ = text;
    if (say) say(text);
    saved = false;
  };
  for (Output& output : outputs_) {
    try {
      if (output.listing) output.listing->Finish();
      if (output.file) WriteOutput(output.kind, *output.file);
    } catch (const TarveloError& error) {
      failed(error);
    } catch (const std::bad_alloc&) {
      failed(OutOfMemoryError("saving the outputs"));
    }
  }
  return saved;
}

void RunSession::Export(OutputKind kind, const std::string& target) const {
  if (kind != OutputKind::kListing) {
    ReplacingFile file(target);
    WriteOutput(kind, file);
  } else if (const Output* listing = Listing()) {
    CopyFile(listing->path, target);
  } else {
    DetailListing(target, inputs_.settings.decimalSeparator).Finish();
  }
}

const ResultLog& RunSession::Report() const {
  static const ResultLog none;
  return run_ ? run_->Report() : none;
}

const RunResults& RunSession::Results() const {
  static const RunResults none;
  return run_ ? run_->Results() : none;
}

std::optional<std::string> RunSession::EndText() const { return RunEndText(ended_); }

std::string RunSession::CatalogueErrorNote() const {
  return ended_ && Results().catalogueFailed ? catalogueOrigin_ : std::string();
}

std::optional<std::string> RunSession::EndMessage() const {
  if (!ended_) return firstSaveError_;
  std::optional<std::string> text = EndText();
  if (const std::string note = CatalogueErrorNote(); text && !note.empty()) *text += "\n" + note;
  return text;
}

int RunSession::ExitStatus(bool strict, bool outputFailed) const {
  if (ended_ || outputFailed) return 1;
  return strict && HasDataProblems(Results()) ? 3 : 0;
}

std::string RunSession::Warning() const {
  std::vector<std::string> lines;
  if (!catalogueChange_.empty()) lines.push_back(catalogueChange_);
  if (!Results().periodWarning.empty()) lines.push_back(Results().periodWarning);
  for (const CatalogueFault& fault : Results().catalogueFaults) {
    // The period's warning has named this row already.
    if (fault.unreadableWindow && fault.row == Results().periodUnreadableRow) continue;
    lines.push_back("The catalogue has a fault that may make the report misleading: " + FaultLine(fault));
  }
  if (const std::string cut = ShortFilesWarning(Results()); !cut.empty()) lines.push_back(cut);
  if (const std::string company = CompanyNotFoundWarning(Results()); !company.empty()) lines.push_back(company);
  std::string warning;
  for (const std::string& line : lines) warning += (warning.empty() ? "" : "\n") + line;
  return warning;
}

}  // namespace tarvelo
