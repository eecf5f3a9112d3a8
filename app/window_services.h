#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace tarvelo {

/// The settings of the export command's save dialog.
struct SaveDialogSettings {
  QString title;
  QString initialFolder;
  QString initialName;
  /// The file types offered ("Detalhes (*.csv)"); the first is chosen at
  /// the start.
  QStringList filters;
  /// Per file type, the extension added, with its dot, to a chosen name
  /// that has none.
  QStringList suffixes;
  bool confirmOverwrite = false;
};

/// The answer of the save dialog: the full path and the file type chosen
/// (a position in SaveDialogSettings::filters).
struct SaveChoice {
  QString path;
  int filter = 0;
};

/// What the window asks of the desktop: the file dialogs, the message boxes
/// and the opening of a document. The window holds one and never calls the
/// toolkit's dialogs itself, so tests answer these calls instead of a user.
class WindowServices {
 public:
  virtual ~WindowServices() = default;
  /// Asks for an existing file, starting from startFile (a file name chosen
  /// before, or empty). Returns its full path, or nullopt on cancel.
  virtual std::optional<QString> ChooseOpenFile(QWidget* parent, const QString& startFile) = 0;
  /// Asks for the name and type to save to; nullopt on cancel.
  virtual std::optional<SaveChoice> ChooseSaveFile(QWidget* parent, const SaveDialogSettings& settings) = 0;
  /// A message box with the stop icon, an OK button and the application
  /// title, for an error that ended a command.
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
  /// A plain message box with an OK button.
  virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
  /// A message box with the information icon, an OK button and the
  /// application title, for what the user should know after a command.
  virtual void ShowInformation(QWidget* parent, const QString& text) = 0;
  /// A question with the warning icon, the buttons Yes and No (No the
  /// default) and the application title: true when the user answers Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;
  /// Asks the desktop to open an existing document (a full path) with its
  /// associated program, without waiting for the answer, and calls done
  /// with the shell result code once the desktop has answered:
  /// kShellOpened, kShellFileNotFound, or kShellNoAssociation when there
  /// is no such program, it failed, or there is no desktop to ask.
  virtual void LaunchDocument(const QString& path, std::function<void(int)> done) = 0;
};

/// The real dialogs, message boxes and desktop of the toolkit.
class DesktopServices : public WindowServices {
 public:
  std::optional<QString> ChooseOpenFile(QWidget* parent, const QString& startFile) override;
  std::optional<SaveChoice> ChooseSaveFile(QWidget* parent, const SaveDialogSettings& settings) override;
  void ShowError(QWidget* parent, const QString& text) override;
  void ShowMessage(QWidget* parent, const QString& text) override;
  void ShowInformation(QWidget* parent, const QString& text) override;
  bool AskYesNo(QWidget* parent, const QString& text) override;
  /// Runs the desktop's opener (xdg-open) as a process of its own and maps
  /// its exit status (OpenerExitResult); where there is none, the
  /// toolkit's launcher, whose start counts as success.
  void LaunchDocument(const QString& path, std::function<void(int)> done) override;
};

}  // namespace tarvelo
