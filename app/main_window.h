#pragma once

#include <QTemporaryDir>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/command_flow.h"
#include "app/window_services.h"
#include "validation/detail_listing.h"
#include "validation/result_log.h"
#include "validation/run_host.h"
#include "values/regional_settings.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace tarvelo {

class ValidationRun;

/// The program's one window: the two file names, the commands, the progress
/// bar and the report area. It is the validation run's host; the run itself
/// works on a thread of its own so that the window keeps painting, and the
/// report lines and progress positions come back to the window in the order
/// the run wrote them. While a run works, the commands are disabled, and
/// closing the window stops the run at its next block of records (the
/// index removed), with a busy cursor meanwhile, then closes.
///
/// The edit boxes' texts, the folder of the last export and the window's
/// place and size are kept in the user's settings (QSettings, "Tarvelo")
/// and restored at start.
class TfrmInicio : public QWidget, public RunHost, private ResultLogListener {
  Q_OBJECT

 public:
  /// programFolder: the folder of the catalogue tables, the temporary index
  /// and the help file, as the file system names it. settings: the user's
  /// regional settings read at start. services answer the dialogs, message
  /// boxes and the opening of documents, and must outlive the window.
  TfrmInicio(QString programFolder, RegionalSettings settings, WindowServices& services, QWidget* parent = nullptr);
  ~TfrmInicio() override;

  /// Chooses the risks file into edArqRisco; cancel changes nothing.
  void SpeedButton4Click();
  /// Chooses the claims file into edArqSinistro; cancel changes nothing.
  void SpeedButton3Click();
  /// Starts the validation run with the edit boxes' texts ("~" at their
  /// start standing for the home folder); does nothing while a run works.
  void btnOkClick();
  /// Saves the report, or the last run's detail listing when the user
  /// chooses that file type, to a file the user chooses, then opens it. A
  /// name holding "*" or "?" is refused with a message.
  void btnExportaClick();
  /// Opens the help file beside the program.
  void btnAjudaClick();
  /// Opens a document with its associated program, without waiting for
  /// it; shows the message of a failure when the desktop has answered.
  void openDocument(const QString& path);

  /// True from btnOkClick until the run's end has been handled.
  bool IsRunning() const { return worker_.joinable(); }
  /// The report of the last run (what "Exporta Resultado" saves). Not to be
  /// read while a run works.
  const ResultLog& Report() const { return log_; }

  // RunHost, called by the run's thread.
  std::string RiskPath() const override { return riskPath_; }
  std::string ClaimPath() const override { return claimPath_; }
  std::string ProgramFolder() const override { return programFolder_; }
  const RegionalSettings& Settings() const override { return settings_; }
  ResultLog& Log() override { return log_; }
  void SetProgress(int position) override;
  CivilDateTime Now() const override;
  DetailSink* Details() override { return details_.get(); }
  bool StopRequested() const override { return closing_.StopRequested(); }

 signals:
  /// Emitted on the window's thread when a run has ended, after its error
  /// (if any) was shown.
  void runFinished();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void ChooseFileInto(QLineEdit* edit);
  void SetCommandsEnabled(bool enabled);
  void RunEnded(const std::optional<std::string>& failure);
  void ShowErrorText(const std::string& cp1252Text);
  /// Writes the edit boxes' texts, the export folder and the geometry to
  /// the user's settings; RestoreUserSettings reads them back.
  void KeepUserSettings();
  void RestoreUserSettings();
  /// Saves the last run's detail listing to target (a listing without rows
  /// before any run).
  void SaveDetails(const std::string& target);

  // ResultLogListener, called by the run's thread.
  void LogCleared() override;
  void LineAppended(size_t index, const std::string& line) override;
  void LineReplaced(size_t index, const std::string& line) override;
  void ShowLine(size_t index, const QString& text, bool replace);

  QLabel* Label3 = nullptr;
  QLineEdit* edArqRisco = nullptr;
  QToolButton* SpeedButton4 = nullptr;
  QLabel* Label4 = nullptr;
  QLineEdit* edArqSinistro = nullptr;
  QToolButton* SpeedButton3 = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnAjuda = nullptr;
  QPushButton* btnExporta = nullptr;
  QPushButton* btnFechar = nullptr;
  QPlainTextEdit* edLog = nullptr;

  QString folder_;
  std::string programFolder_;
  RegionalSettings settings_;
  WindowServices& services_;
  ResultLog log_;
  std::unique_ptr<ValidationRun> run_;
  std::string riskPath_;
  std::string claimPath_;
  /// The file chosen last in either file choice; the next choice starts there.
  QString lastOpenFile_;
  /// The detail listing of the last run, written during the run into a
  /// folder of the window's own and copied by "Exporta Resultado".
  QTemporaryDir detailsFolder_;
  std::string detailsPath_;
  std::unique_ptr<DetailListing> details_;
  /// The folder of the last export; empty for the home folder.
  QString exportFolder_;
  std::thread worker_;
  CloseDuringRun closing_;
  /// True while the busy cursor shows that a stopping run is awaited.
  bool busyCursor_ = false;
};

}  // namespace tarvelo
