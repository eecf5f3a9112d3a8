#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "app/window_services.h"
#include "frontend/window_design.h"
#include "frontend/window_face.h"
#include "frontend/window_logic.h"
#include "validation/result_log.h"
#include "values/regional_settings.h"

class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tarvelo {

/// The program's one window, the Qt face of WindowLogic: the file names,
/// the commands, the progress bar and the report area, made from the
/// window's design (MainWindowDesign) and anchored as it says; each control
/// is named as in that design (QObject::objectName). Its commands go to the
/// logic, which validates on a thread of its own and tells the window what
/// to show.
///
/// The edit boxes' texts, the folder of the last export and the window's
/// place and size are kept in the user's settings (QSettings, "Tarvelo")
/// and restored at start.
class MainWindow : public QWidget, public WindowFace {
  Q_OBJECT

 public:
  /// programFolder: the folder of the catalogue tables and the help file,
  /// and of the temporary index when the user can write in it, as the file
  /// system names it. settings: the user's
  /// regional settings read at start. services answer the dialogs, message
  /// boxes and the opening of documents, and must outlive the window.
  MainWindow(QString programFolder, RegionalSettings settings, WindowServices& services, QWidget* parent = nullptr);
  ~MainWindow() override;

  /// Chooses the risks file into its edit box; cancel changes nothing.
  void ChooseRisksFile() { logic_->ChooseFile(PathBox::kRisks); }
  /// Chooses the claims file into its edit box; cancel changes nothing.
  void ChooseClaimsFile() { logic_->ChooseFile(PathBox::kClaims); }
  /// Starts the validation run (WindowLogic::Validate).
  void Validate() { logic_->Validate(); }
  /// Saves the report or the detail listing (WindowLogic::Export).
  void Export() { logic_->Export(); }
  /// Opens the help file beside the program.
  void Help() { logic_->Help(); }
  /// Opens a document with its associated program, without waiting for
  /// it; shows the message of a failure when the desktop has answered.
  void OpenDocument(const QString& path) { logic_->OpenDocument(path.toStdString()); }

  /// Puts the data files the program was started with (UTF-8) into the
  /// edit boxes by their layout (WindowLogic::OpenStartFiles).
  void OpenStartFiles(const std::vector<std::string>& files) { logic_->OpenStartFiles(files); }
  /// The folder of the help page when it is not the catalogue's
  /// (WindowLogic::SetHelpFolder).
  void SetHelpFolder(const std::string& folder) { logic_->SetHelpFolder(folder); }
  /// Where the catalogue folder came from, for the errors of reading it
  /// (WindowLogic::SetCatalogueOrigin).
  void SetCatalogueOrigin(const std::string& text) { logic_->SetCatalogueOrigin(text); }
  /// The folder of the catalogue tables the runs read.
  std::string CatalogueFolder() const { return logic_->ProgramFolder(); }

  /// True from Validate until the run's end has been handled.
  bool IsRunning() const { return logic_->IsRunning(); }
  /// The report of the last run (what "Exporta Resultado" saves). Not to be
  /// read while a run works.
  const ResultLog& Report() const { return logic_->Report(); }
  /// Whether the run is asked to stop; safe from any thread.
  bool StopRequested() const { return logic_->StopRequested(); }

  // WindowFace.
  std::string BoxText(PathBox box) const override;
  void SetBoxText(PathBox box, const std::string& text) override;
  void SetCommandsEnabled(bool enabled) override;
  void SetBusyCursor(bool busy) override;
  void ClearReport() override;
  void ShowReportLine(size_t index, const std::string& cp1252Line, bool replace) override;
  void SetProgress(int position) override;
  void Post(std::function<void()> work) override;
  std::optional<std::string> ChooseOpenFile(const std::string& startFile) override;
  std::optional<SavePathChoice> ChooseSaveFile(const SaveDialogRequest& request) override;
  void ShowError(const std::string& cp1252Text) override;
  void ShowMessage(const std::string& cp1252Text) override;
  void ShowInformation(const std::string& cp1252Text) override;
  bool AskYesNo(const std::string& cp1252Text) override;
  void LaunchDocument(const std::string& path, std::function<void(int)> done) override;
  std::string HomeFolder() const override;
  RememberedPaths RecallPaths() override;
  void KeepPaths(const RememberedPaths& paths) override;
  void RunFinished() override { emit runFinished(); }
  void Close() override { close(); }

 signals:
  /// Emitted on the window's thread when a run has ended, after its error
  /// or information (if any) was shown.
  void runFinished();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  /// Calls the window's handler of each button's click.
  void ConnectCommands();
  QWidget* Control(ControlRole role) const { return controls_[IndexOf(role)]; }
  QLineEdit* Box(PathBox box) const;
  QPlainTextEdit* ReportArea() const;
  QProgressBar* Progress() const;
  QPushButton* ValidateButton() const;

  /// The controls, in the order of their roles.
  std::array<QWidget*, kControlCount> controls_{};

  WindowServices& services_;
  std::unique_ptr<WindowLogic> logic_;
};

}  // namespace tarvelo
