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
#include "frontend/signal_cleanup.h"

namespace tarvelo {

void PrepareApplication() {
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName("Tarvelo");
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

std::unique_ptr<TfrmInicio> CreateFrmInicio(WindowServices& services) {
  return std::make_unique<TfrmInicio>(QFile::decodeName(QByteArray::fromStdString(ExecutableFolder())),
                                      SettingsFromProcessEnvironment(), services);
}

}  // namespace tarvelo
