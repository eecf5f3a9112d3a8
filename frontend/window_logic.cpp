#include "frontend/window_logic.h"

#include "frontend/open_document.h"
#include "frontend/program_context.h"
#include "frontend/start_arguments.h"
#include "frontend/window_design.h"
#include "os/file_system.h"
#include "validation/catalogue.h"
#include "validation/report_format.h"
#include "values/errors.h"
#include "values/text.h"

namespace tarvelo {
namespace {

bool FileExists(const std::string& path) {
  os::FileIdentity identity;
  return os::IdentityAt(path, identity);
}

}  // namespace

WindowLogic::WindowLogic(std::string programFolder, RegionalSettings settings, WindowFace& face)
    : face_(face), programFolder_(std::move(programFolder)), settings_(std::move(settings)), detailsFolder_("Tarvelo") {
  if (!programFolder_.empty() && !os::IsFolderSeparator(programFolder_.back())) programFolder_ += os::kFolderSeparator;
  helpFolder_ = programFolder_;
  if (!detailsFolder_.Path().empty()) detailsPath_ = detailsFolder_.Path() + os::kFolderSeparator + "detalhes.csv";
  // A path that no longer exists is shown all the same: its volume may be
  // mounted later.
  const RememberedPaths remembered = face_.RecallPaths();
  face_.SetBoxText(PathBox::kRisks, remembered.riskFile);
  face_.SetBoxText(PathBox::kClaims, remembered.claimFile);
  exportFolder_ = remembered.exportFolder;
  session_ = std::make_unique<RunSession>(FrontEndRunInputs("", "", programFolder_, settings_));
}

WindowLogic::~WindowLogic() {
  closing_.CloseRequested(IsRunning());
  if (worker_.joinable()) worker_.join();
  if (busyCursor_) face_.SetBusyCursor(false);
}

void WindowLogic::ChooseFile(PathBox box) {
  const auto chosen = face_.ChooseOpenFile(lastOpenFile_);
  if (!chosen) return;
  lastOpenFile_ = *chosen;
  face_.SetBoxText(box, *chosen);
}

std::string WindowLogic::TypedRunPath(PathBox box) const {
  return ExpandHomeFolder(RunPathFromUtf8(face_.BoxText(box)), RunPathFromUtf8(face_.HomeFolder()));
}

void WindowLogic::Validate() {
  if (IsRunning()) return;
  RunInputs inputs =
      FrontEndRunInputs(TypedRunPath(PathBox::kRisks), TypedRunPath(PathBox::kClaims), programFolder_, settings_);
  KeepPaths();
  closing_.RunStarted();
  // The last run goes first, with the tables an error left open and its
  // listing, whose file the new one replaces.
  session_.reset();
  session_ = std::make_unique<RunSession>(std::move(inputs));
  session_->SetCatalogueOrigin(catalogueOrigin_);
  // The export can save the run as a page: its rows are kept.
  session_->KeepPageRows();
  if (!detailsPath_.empty()) {
    // Without a place for the listing the run goes on; its export says so.
    session_->AskOutput(OutputKind::kListing, detailsPath_);
    session_->MakeOutputs({});
  }
  face_.SetCommandsEnabled(false);
  worker_ = std::thread([this, session = session_.get()] {
    session->Run(this);
    // The listing keeps the rows of a run that an error ended.
    session->SaveOutputs();
    face_.Post([this, failure = session->EndMessage()] { RunEnded(failure); });
  });
}

void WindowLogic::RunEnded(const std::optional<std::string>& failure) {
  worker_.join();
  face_.SetCommandsEnabled(true);
  const bool closing = closing_.ClosePending();
  if (busyCursor_) face_.SetBusyCursor(false);
  busyCursor_ = false;
  if (failure) face_.ShowError(*failure);
  // The run's warnings: a period the reference table could not give, the
  // catalogue's faults, a company the table lacks (the report compares with 0).
  const std::string warning = session_->Warning();
  if (!warning.empty() && !closing) face_.ShowInformation(warning);
  face_.RunFinished();
  if (closing) face_.Close();
}

bool WindowLogic::CloseRequested() {
  if (!closing_.CloseRequested(IsRunning())) {
    // The run stops at its next block of records; the window closes at its
    // end (RunEnded).
    if (!busyCursor_) face_.SetBusyCursor(true);
    busyCursor_ = true;
    return false;
  }
  KeepPaths();
  return true;
}

void WindowLogic::Export() {
  const SaveDialogDesign& dialog = MainWindowDesign().exportDialog;
  SaveDialogRequest request;
  request.title = dialog.title;
  request.initialFolder = exportFolder_.empty() ? face_.DocumentsFolder() : exportFolder_;
  request.initialName = SaveDialogInitialName();
  for (const FileTypeDesign& type : dialog.fileTypes) {
    request.fileTypes.push_back(type.name);
    request.suffixes.push_back(type.suffix);
  }
  request.confirmOverwrite = false;
  const auto chosen = face_.ChooseSaveFile(request);
  if (!chosen) return;
  try {
    // A save over a file named in an edit box, or read by the run that
    // made the report, is refused.
    const std::string target = RunPathFromUtf8(chosen->path);
    CheckSaveName(target);
    const std::string warning =
        session_->CheckOutput(target, {TypedRunPath(PathBox::kRisks), TypedRunPath(PathBox::kClaims)});
    if (!warning.empty()) {
      // The null device keeps nothing to save or to open.
      face_.ShowInformation(warning);
      return;
    }
    if (!MayReplace(target)) return;
    const size_t type =
        chosen->fileType > 0 && static_cast<size_t>(chosen->fileType) < dialog.fileTypes.size() ? chosen->fileType : 0;
    session_->Export(dialog.fileTypes[type].output, target);
  } catch (const TarveloError& error) {
    face_.ShowError(ErrorText(error));
    return;
  }
  os::FileIdentity saved;
  lastExport_ = os::IdentityAt(RunPathFromUtf8(chosen->path), saved) ? std::optional(saved) : std::nullopt;
  exportFolder_ = FolderOfPath(chosen->path);
  KeepPaths();
  OpenDocument(chosen->path);
}

bool WindowLogic::MayReplace(const std::string& target) {
  // Only a file is replaced: a device or a pipe is written in place.
  const os::OutputTarget resolved = os::ResolveOutput(target);
  os::FileIdentity existing;
  if (resolved.place != os::OutputPlace::kRegular || !os::IdentityAt(resolved.destination, existing) ||
      existing == lastExport_)
    return true;
  return face_.AskYesNo("\"" + PathText(target) + "\" already exists.\nDo you want to replace it?");
}

void WindowLogic::OpenStartFiles(const std::vector<std::string>& files) {
  if (files.empty()) return;
  const StartBoxes boxes = StartFilesIntoBoxes(files, programFolder_, settings_);
  face_.SetBoxText(PathBox::kRisks, boxes.riskFile);
  face_.SetBoxText(PathBox::kClaims, boxes.claimFile);
  if (!boxes.notice.empty()) {
    face_.Post([this, notice = boxes.notice] { face_.ShowInformation(notice); });
  }
}

void WindowLogic::SetHelpFolder(std::string folder) {
  helpFolder_ = std::move(folder);
  if (!helpFolder_.empty() && !os::IsFolderSeparator(helpFolder_.back())) helpFolder_ += os::kFolderSeparator;
}

void WindowLogic::Help() {
  // The compiled help of the original platform when it is there, else the
  // help page that ships with the program.
  const std::string compiled = helpFolder_ + "Tarvelo.chm";
  const std::string page = helpFolder_ + "Tarvelo.html";
  OpenDocument(!FileExists(compiled) && FileExists(page) ? page : compiled);
}

void WindowLogic::OpenDocument(const std::string& path) {
  tarvelo::OpenDocument(path, face_, [this, alive = std::weak_ptr<bool>(alive_)](int code) {
    const std::string message = ShellResultMessage(code);
    if (!alive.expired() && !message.empty()) face_.ShowMessage(message);
  });
}

void WindowLogic::KeepPaths() {
  face_.KeepPaths({face_.BoxText(PathBox::kRisks), face_.BoxText(PathBox::kClaims), exportFolder_});
}

void WindowLogic::LogCleared() {
  face_.Post([this] { face_.ClearReport(); });
}

void WindowLogic::LineAppended(size_t index, const std::string& line) {
  face_.Post([this, index, line] { face_.ShowReportLine(index, line, false); });
}

void WindowLogic::LineReplaced(size_t index, const std::string& line) {
  face_.Post([this, index, line] { face_.ShowReportLine(index, line, true); });
}

std::string WindowCaption(const std::string& catalogueFolder, const RegionalSettings& settings) {
  const std::string caption = MainWindowDesign().caption;
  return caption.substr(0, caption.rfind(' ') + 1) + std::to_string(ReferencePeriod(catalogueFolder, settings).endYear);
}

}  // namespace tarvelo
