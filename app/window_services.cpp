#include "app/window_services.h"

#include "frontend/command_flow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace tarvelo {

std::optional<QString> DesktopServices::ChooseOpenFile(QWidget* parent, const QString& startFile) {
  const QString path = QFileDialog::getOpenFileName(parent, QString(), startFile);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

std::optional<SaveChoice> DesktopServices::ChooseSaveFile(QWidget* parent, const SaveDialogSettings& settings) {
  QFileDialog dialog(parent, settings.title, settings.initialFolder);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(settings.filters);
  const auto suffixOf = [&](qsizetype filter) {
    return filter >= 0 && filter < settings.suffixes.size() ? settings.suffixes[filter] : QString();
  };
  dialog.setDefaultSuffix(suffixOf(0));
  QObject::connect(&dialog, &QFileDialog::filterSelected,
                   [&](const QString& filter) { dialog.setDefaultSuffix(suffixOf(settings.filters.indexOf(filter))); });
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !settings.confirmOverwrite);
  dialog.selectFile(settings.initialName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const qsizetype filter = settings.filters.indexOf(dialog.selectedNameFilter());
  SaveChoice choice{dialog.selectedFiles().constFirst(), static_cast<int>(std::max<qsizetype>(0, filter))};
  // Some platform dialogs ignore the default suffix.
  const QString suffix = suffixOf(choice.filter);
  if (!suffix.isEmpty() && QFileInfo(choice.path).suffix().isEmpty()) choice.path += "." + suffix;
  return choice;
}

void DesktopServices::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QApplication::applicationName(), text, QMessageBox::Ok);
}

void DesktopServices::ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, parent);
  box.exec();
}

void DesktopServices::ShowInformation(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, QApplication::applicationName(), text, QMessageBox::Ok);
}

bool DesktopServices::AskYesNo(QWidget* parent, const QString& text) {
  return QMessageBox::warning(parent, QApplication::applicationName(), text, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes;
}

void DesktopServices::LaunchDocument(const QString& path, std::function<void(int)> done) {
  // Without a display there is no desktop to ask; an opener would start a
  // program that fails where nobody sees it, or one for a terminal.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    return done(kShellNoAssociation);
  const QString opener = QStandardPaths::findExecutable("xdg-open");
  if (opener.isEmpty())
    return done(QDesktopServices::openUrl(QUrl::fromLocalFile(path)) ? kShellOpened : kShellNoAssociation);

  // The opener may wait for the program it starts; the window goes on
  // meanwhile. A process still running when the program ends is stopped
  // with the application object; the program it started stays.
  auto* process = new QProcess(QCoreApplication::instance());
  process->setProgram(opener);
  process->setArguments({path});
  process->setStandardInputFile(QProcess::nullDevice());
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QObject::connect(process, &QProcess::finished, process, [process, done](int exitCode, QProcess::ExitStatus status) {
    process->deleteLater();
    done(status == QProcess::NormalExit ? OpenerExitResult(exitCode) : kShellNoAssociation);
  });
  QObject::connect(process, &QProcess::errorOccurred, process, [process, done](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;  // finished follows the others
    process->deleteLater();
    done(kShellNoAssociation);
  });
  process->start();
}

}  // namespace tarvelo
