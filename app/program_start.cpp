#include "app/program_start.h"

#include <QApplication>
#include <QFile>
#include <clocale>

#include "cli/locale_environment.h"
#include "cli/program_context.h"
#include "cli/signal_cleanup.h"

namespace tarvelo {

void PrepareApplication() {
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName("Tarvelo");
  RemoveTemporaryFilesOnSignals();
}

std::unique_ptr<TfrmInicio> CreateFrmInicio(WindowServices& services) {
  return std::make_unique<TfrmInicio>(QFile::decodeName(QByteArray::fromStdString(ExecutableFolder())),
                                      SettingsFromProcessEnvironment(), services);
}

}  // namespace tarvelo
