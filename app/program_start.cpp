#include "app/program_start.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>
#include <clocale>

#include "frontend/locale_environment.h"
#include "frontend/program_context.h"
#include "frontend/program_folders.h"
#include "frontend/signal_cleanup.h"
#include "frontend/window_design.h"

namespace tarvelo {
namespace {

/// A path as the file system names it, as the window holds it.
QString WindowPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace

void PrepareApplication() {
  std::setlocale(LC_NUMERIC, "C");
  // Also the title of the window's message boxes.
  QApplication::setApplicationName(MainWindowDesign().applicationTitle);
  // The desktop entry's name, by which Wayland desktops give the window
  // the menu's icon.
  QApplication::setDesktopFileName("org.tarvelo.Tarvelo");
  InstallToolkitTranslations(MessagesLanguage(ProcessEnvironmentVariable));
  RemoveTemporaryFilesOnSignals();
}

bool InstallToolkitTranslations(const std::string& language) {
  // Owned by the application object, so gone with it.
  static QPointer<QTranslator> installed;
  if (installed) {
    QCoreApplication::removeTranslator(installed);
    delete installed;
  }
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QLocale(QString::fromStdString(language)), "qt", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  installed = translator;
  return true;
}

std::unique_ptr<MainWindow> CreateMainWindow(WindowServices& services, const WindowArguments& arguments) {
  const std::string own = ExecutableFolder();
  const CatalogueChoice catalogue = ChooseCatalogueFolder(arguments.catalogueFolder, ProcessEnvironmentVariable, own);
  auto window = std::make_unique<MainWindow>(WindowPath(catalogue.folder), SettingsFromProcessEnvironment(), services);
  window->SetHelpFolder(ProgramDataFolder(own, "Tarvelo.html"));
  window->SetCatalogueOrigin(CatalogueOriginText(catalogue));
  // Files named on the command line take the place of those kept from the
  // last session, both boxes.
  std::vector<std::string> files;
  for (const std::string& file : arguments.files) files.push_back(WindowPath(file).toStdString());
  window->OpenStartFiles(files);
  return window;
}

}  // namespace tarvelo
