// Takes a picture of the window after it validated two files, as a user
// would see it: window_screenshot OUTPUT.png RISKS CLAIMS. Meant to run under
// a virtual X server (tools/window_screenshot); the catalogue is the one
// beside the program.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/program_start.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: window_screenshot OUTPUT.png RISKS CLAIMS\n");
    return 2;
  }
  QApplication application(argc, argv);
  tarvelo::PrepareApplication();
  // The window as at a first start, and the user's settings left alone.
  const QTemporaryDir settingsFolder;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
  tarvelo::DesktopServices services;
  const auto created = tarvelo::CreateMainWindow(services);
  tarvelo::MainWindow& window = *created;
  window.show();
  window.findChild<QLineEdit*>("edArqRisco")->setText(QFile::decodeName(argv[2]));
  window.findChild<QLineEdit*>("edArqSinistro")->setText(QFile::decodeName(argv[3]));

  bool failed = false;
  QObject::connect(&window, &tarvelo::MainWindow::runFinished, [&] {
    // Let the last lines and the progress bar paint before the picture.
    QTimer::singleShot(500, [&] {
      const QPixmap picture = window.screen()->grabWindow(window.winId());
      failed = picture.isNull() || !picture.save(QFile::decodeName(argv[1]), "PNG");
      application.quit();
    });
  });
  QTimer::singleShot(300, [&] { window.findChild<QPushButton*>("btnOk")->click(); });
  application.exec();
  if (failed) std::fprintf(stderr, "window_screenshot: could not take or save the picture\n");
  return failed ? 1 : 0;
}
