#include "app/window_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QUrl>

namespace tarvelo {

std::optional<QString> DesktopServices::ChooseOpenFile(QWidget* parent, const QString& startFile) {
  const QString path = QFileDialog::getOpenFileName(parent, QString(), startFile);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

std::optional<QString> DesktopServices::ChooseSaveFile(QWidget* parent, const SaveDialogSettings& settings) {
  QFileDialog dialog(parent, settings.title, settings.initialFolder);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(settings.defaultSuffix);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !settings.confirmOverwrite);
  dialog.selectFile(settings.initialName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  QString path = dialog.selectedFiles().constFirst();
  // Some platform dialogs ignore the default suffix.
  if (!settings.defaultSuffix.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += "." + settings.defaultSuffix;
  return path;
}

void DesktopServices::ShowError(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, QApplication::applicationName(), text, QMessageBox::Ok);
}

void DesktopServices::ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, parent);
  box.exec();
}

bool DesktopServices::LaunchDocument(const QString& path) {
  // Without a display there is no desktop to ask; the toolkit's launcher
  // would start a program that fails where nobody sees it.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace tarvelo
