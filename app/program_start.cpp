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

namespace tarvelo {
namespace {

/// A path as the file system names it, as the window holds it.
QString WindowPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace

void PrepareApplication() {
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName("Tarvelo");
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

std::string WindowUsage() {
  return "Usage: tarvelo [--catalogo DIR] [RISCOS.dbf [SINISTROS.dbf]]\n"
         "  --catalogo DIR  folder of tabelas.dbf, anexos.dbf and DadosQdp.DBF\n"
         "                  (default: $TARVELO_CATALOGO, else the folder of this\n"
         "                  program, else ../share/tarvelo beside it)\n"
         "  RISCOS.dbf      risks file, put into the first box\n"
         "  SINISTROS.dbf   claims file, put into the second box\n"
         "  --version       print the program's version\n";
}

std::optional<WindowArguments> ParseWindowArguments(const std::vector<std::string>& arguments, std::string& error) {
  WindowArguments parsed;
  std::vector<std::string> files;
  bool optionsEnd = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnd || argument.empty() || argument[0] != '-' || argument == "-") {
      files.push_back(argument);
    } else if (argument == "--") {
      optionsEnd = true;
    } else if (argument == "--help" || argument == "-h") {
      parsed.textToPrint = WindowUsage();
      return parsed;
    } else if (argument == "--version") {
      parsed.textToPrint = "tarvelo " TARVELO_VERSION "\n";
      return parsed;
    } else if (argument == "--catalogo" || argument.rfind("--catalogo=", 0) == 0) {
      if (parsed.catalogueFolder) {
        error = "option given twice: --catalogo";
        return std::nullopt;
      }
      if (argument.size() > 10) {
        parsed.catalogueFolder = argument.substr(11);
      } else if (i + 1 < arguments.size()) {
        parsed.catalogueFolder = arguments[++i];
      } else {
        error = "missing value for --catalogo";
        return std::nullopt;
      }
    } else {
      error = "unknown option: " + argument;
      return std::nullopt;
    }
  }
  if (files.size() > 2) {
    error = "too many files: a risks file and a claims file at most";
    return std::nullopt;
  }
  if (files.size() > 0) parsed.riskPath = files[0];
  if (files.size() > 1) parsed.claimPath = files[1];
  return parsed;
}

std::unique_ptr<TfrmInicio> CreateFrmInicio(WindowServices& services, const WindowArguments& arguments) {
  const std::string own = ExecutableFolder();
  auto window = std::make_unique<TfrmInicio>(
      WindowPath(CatalogueFolder(arguments.catalogueFolder, ProcessEnvironmentVariable, own)),
      SettingsFromProcessEnvironment(), services);
  window->SetHelpFolder(ProgramDataFolder(own, "Tarvelo.html"));
  // Files named on the command line take the place of those kept from the
  // last session, both boxes.
  if (!arguments.riskPath.empty() || !arguments.claimPath.empty())
    window->SetFileNames(WindowPath(arguments.riskPath).toStdString(), WindowPath(arguments.claimPath).toStdString());
  return window;
}

}  // namespace tarvelo
