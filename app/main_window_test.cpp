#include <sys/resource.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "app/main_window.h"
#include "app/program_start.h"
#include "frontend/command_flow.h"
#include "frontend/locale_environment.h"
#include "testing/catalogue_fixture.h"
#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"
#include "values/cp1252_literal.h"

/// Shows texts in test failures as text, not as code units.
void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace tarvelo {
namespace {

/// The one application object of the test program, on the offscreen
/// platform unless the environment names another.
void EnsureApplication() {
  static int argc = 1;
  static char name[] = "app_test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    auto* created = new QApplication(argc, argv);
    // Nothing of the real user's: each test also keeps its settings in a
    // folder of its own (WindowTest).
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationName("Tarvelo");
    return created;
  }();
  (void)application;
}

/// Sets an environment variable for a scope, then restores it.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value)
      : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
    qputenv(name, QByteArray::fromStdString(value));
  }
  ~ScopedVariable() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }

 private:
  const char* name_;
  bool had_;
  QByteArray old_;
};

/// Answers the window's dialogs and records its messages and launches.
class FakeServices : public WindowServices {
 public:
  std::vector<std::optional<QString>> openAnswers;
  std::vector<QString> openStarts;
  std::optional<QString> saveAnswer;
  int saveFilter = 0;
  SaveDialogSettings saveSettings;
  std::vector<QString> errors;
  std::vector<QString> messages;
  std::vector<QString> informations;
  std::vector<QString> questions;
  std::vector<QString> launched;
  bool canLaunch = true;
  /// When set, documents go to the desktop's opener, whose answers are
  /// recorded in openerResults.
  bool desktopOpener = false;
  std::vector<int> openerResults;
  DesktopServices desktop;

  std::optional<QString> ChooseOpenFile(QWidget*, const QString& startFile) override {
    openStarts.push_back(startFile);
    auto answer = openAnswers.front();
    openAnswers.erase(openAnswers.begin());
    return answer;
  }
  std::optional<SaveChoice> ChooseSaveFile(QWidget*, const SaveDialogSettings& settings) override {
    saveSettings = settings;
    if (!saveAnswer) return std::nullopt;
    return SaveChoice{*saveAnswer, saveFilter};
  }
  void ShowError(QWidget*, const QString& text) override { errors.push_back(text); }
  void ShowMessage(QWidget*, const QString& text) override { messages.push_back(text); }
  void ShowInformation(QWidget*, const QString& text) override { informations.push_back(text); }
  bool AskYesNo(QWidget*, const QString& text) override {
    questions.push_back(text);
    return false;
  }
  void LaunchDocument(const QString& path, std::function<void(int)> done) override {
    launched.push_back(path);
    if (!desktopOpener) return done(canLaunch ? kShellOpened : kShellNoAssociation);
    desktop.LaunchDocument(path, [this, done](int code) {
      openerResults.push_back(code);
      done(code);
    });
  }
};

RegionalSettings BrazilianSettings() {
  return SettingsFromEnvironment([](const char* name) { return std::string(name) == "LANG" ? "pt_BR.UTF-8" : ""; });
}

/// The report with the clock readings of its first and last lines masked,
/// so that two runs a second apart compare equal.
std::string WithoutClock(const std::string& report) {
  static const std::regex clock("processamento: [^\r\n]*");
  return std::regex_replace(report, clock, "processamento: <clock>");
}

/// A folder with the shipped sample catalogue and data files; the window
/// and tarvelo-cli both run on it.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    for (const char* name : {"tabelas.dbf", "anexos.dbf", "DadosQdp.DBF"}) {
      std::filesystem::copy_file(std::string(TARVELO_CATALOGUE_DIR "/") + name, dir.File(name));
    }
    for (const char* name : {"riscos.dbf", "sinistros.dbf"}) {
      std::filesystem::copy_file(std::string(TARVELO_SAMPLES_DIR "/") + name, dir.File(name));
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir.File("settings")));
    window = std::make_unique<MainWindow>(QString::fromStdString(dir.Path()), BrazilianSettings(), services);
    window->show();
  }

  template <typename T>
  T* Control(const char* name) {
    T* control = window->findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  QString LogText() { return Control<QPlainTextEdit>("edLog")->toPlainText(); }

  void WaitForRun() {
    if (!window->IsRunning()) return;
    QSignalSpy finished(window.get(), &MainWindow::runFinished);
    ASSERT_TRUE(finished.wait(60000));
  }

  testing::TempDir dir;
  FakeServices services;
  std::unique_ptr<MainWindow> window;
};

TEST_F(WindowTest, EnterValidatesTypedPathsAndTheExportIsTheCommandLineReport) {
  QTest::keyClicks(Control<QLineEdit>("edArqRisco"), QString::fromStdString(dir.File("riscos.dbf")));
  QTest::keyClicks(Control<QLineEdit>("edArqSinistro"), QString::fromStdString(dir.File("sinistros.dbf")));
  QTest::keyClick(Control<QLineEdit>("edArqSinistro"), Qt::Key_Return);
  EXPECT_TRUE(window->IsRunning());
  EXPECT_FALSE(Control<QPushButton>("btnOk")->isEnabled());
  WaitForRun();
  ASSERT_TRUE(services.errors.empty()) << services.errors.front().toStdString();
  EXPECT_TRUE(services.informations.empty());
  EXPECT_TRUE(Control<QPushButton>("btnOk")->isEnabled());
  EXPECT_EQ(Control<QProgressBar>("ProgressBar")->value(), 90);

  // A save over a file the run read is refused; the file stays as it was.
  const std::string risks = testing::ReadFile(dir.File("riscos.dbf"));
  services.saveAnswer = QString::fromStdString(dir.File("riscos.dbf"));
  Control<QPushButton>("btnExporta")->click();
  ASSERT_EQ(services.errors.size(), 1u);
  EXPECT_TRUE(services.errors[0].startsWith("Cannot export the report to")) << services.errors[0].toStdString();
  EXPECT_EQ(testing::ReadFile(dir.File("riscos.dbf")), risks);
  EXPECT_TRUE(services.launched.empty());

  services.saveAnswer = QString::fromStdString(dir.File("window.txt"));
  Control<QPushButton>("btnExporta")->click();
  EXPECT_EQ(services.saveSettings.title, "Exporta resultado Tarvelo");
  EXPECT_EQ(services.saveSettings.initialName, "");
  EXPECT_EQ(services.saveSettings.filters,
            QStringList({"Resultado (*.txt)", "Detalhes (*.csv)", "Página HTML (*.html)"}));
  EXPECT_EQ(services.saveSettings.suffixes, QStringList({"txt", "csv", "html"}));
  EXPECT_EQ(services.saveSettings.initialFolder, QDir::homePath());
  EXPECT_FALSE(services.saveSettings.confirmOverwrite);
  ASSERT_EQ(services.launched.size(), 1u);
  EXPECT_EQ(services.launched[0], QString::fromStdString(dir.File("window.txt")));
  // The second file type saves the run's detail listing instead.
  services.saveAnswer = QString::fromStdString(dir.File("window.csv"));
  services.saveFilter = 1;
  Control<QPushButton>("btnExporta")->click();
  // The third, the run as a page.
  services.saveAnswer = QString::fromStdString(dir.File("window.html"));
  services.saveFilter = 2;
  Control<QPushButton>("btnExporta")->click();
  EXPECT_EQ(testing::ReadFile(dir.File("window.html")).rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(services.launched.back(), QString::fromStdString(dir.File("window.html")));

  const std::string command = "cd '" + dir.Path() +
                              "' && LANG=pt_BR.UTF-8 LC_ALL= '" TARVELO_CLI_PATH "' --catalogo . --riscos '" +
                              dir.File("riscos.dbf") + "' --sinistros '" + dir.File("sinistros.dbf") +
                              "' --exporta cli.txt --detalhes cli.csv >cli.out";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string cliReport = testing::ReadFile(dir.File("cli.txt"));
  EXPECT_NE(cliReport.find("sinistros sem apólice"_cp1252), std::string::npos);
  EXPECT_EQ(WithoutClock(testing::ReadFile(dir.File("window.txt"))), WithoutClock(cliReport));
  const std::string cliDetails = testing::ReadFile(dir.File("cli.csv"));
  EXPECT_NE(cliDetails.find(";sem apolice;"), std::string::npos);
  EXPECT_EQ(testing::ReadFile(dir.File("window.csv")), cliDetails);
  // The report area shows the same lines as the terminal.
  EXPECT_EQ(WithoutClock(LogText().toStdString() + "\n"), WithoutClock(testing::ReadFile(dir.File("cli.out"))));
}

TEST_F(WindowTest, AnErrorShowsItsTextAndKeepsTheLinesWritten) {
  const std::string missing = dir.File("absent.dbf");
  Control<QLineEdit>("edArqRisco")->setText(QString::fromStdString(missing));
  Control<QPushButton>("btnOk")->click();
  WaitForRun();
  ASSERT_EQ(services.errors.size(), 1u);
  EXPECT_EQ(services.errors[0].toStdString(),
            "DbfTable.InternalOpen: Open error \"" + missing + "\"\nNo such file or directory");
  const QStringList lines = LogText().split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith(QString::fromUtf8("Início do processamento: ")));
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(window->Report().Size(), 3u);
  EXPECT_TRUE(Control<QPushButton>("btnOk")->isEnabled());
  EXPECT_FALSE(Control<QLineEdit>("edArqRisco")->isReadOnly());
}

TEST_F(WindowTest, ACompanyMissingFromTheReferenceTableIsToldAfterTheRun) {
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"01295", "OUTRA", "1", "1", "1", "1", "20220701", "20230630"}});
  Control<QLineEdit>("edArqRisco")->setText(QString::fromStdString(dir.File("riscos.dbf")));
  Control<QPushButton>("btnOk")->click();
  WaitForRun();
  EXPECT_TRUE(services.errors.empty());
  EXPECT_EQ(services.informations,
            std::vector<QString>{"Company \"05631\" not found in \"DadosQdp.DBF\": the report compares the files "
                                 "with reference totals of 0."});
  const QStringList lines = LogText().split('\n');
  ASSERT_GT(lines.size(), 2);
  EXPECT_EQ(lines[2], "Empresa: 05631 - ");
  EXPECT_TRUE(LogText().contains("Fim do processamento: "));
}

TEST_F(WindowTest, ExportBeforeARunSavesAnEmptyFileAndAFailedSaveKeepsTheEarlierFile) {
  const std::string target = dir.File("report.txt");
  Control<QPushButton>("btnExporta")->click();  // cancelled: nothing saved or opened
  EXPECT_TRUE(services.launched.empty());
  EXPECT_TRUE(services.errors.empty());
  services.saveAnswer = QString::fromStdString(target);
  Control<QPushButton>("btnExporta")->click();
  EXPECT_TRUE(std::filesystem::exists(target));
  EXPECT_EQ(testing::ReadFile(target), "");
  EXPECT_EQ(services.launched.size(), 1u);

  Control<QPushButton>("btnOk")->click();  // both boxes empty: a short report
  WaitForRun();
  Control<QPushButton>("btnExporta")->click();  // replaces without a question
  const std::string earlier = testing::ReadFile(target);
  EXPECT_EQ(earlier.substr(earlier.size() - 82), std::string(80, '=') + "\r\n");
  // Any other file is replaced only on Yes (here No): a box asks first.
  std::ofstream(dir.File("contrato.txt")) << "contrato";
  services.saveAnswer = QString::fromStdString(dir.File("contrato.txt"));
  Control<QPushButton>("btnExporta")->click();
  EXPECT_EQ(services.questions,
            std::vector<QString>{QString::fromStdString("\"" + dir.File("contrato.txt") +
                                                        "\" already exists.\nDo you want to replace it?")});
  EXPECT_EQ(testing::ReadFile(dir.File("contrato.txt")), "contrato");
  EXPECT_EQ(services.launched.size(), 2u);
  services.saveAnswer = QString::fromStdString(target);

  // A save that fails midway (here the file size limit) reports the system's
  // reason and leaves the earlier file and no temporary file.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 16;
  setrlimit(RLIMIT_FSIZE, &small);
  Control<QPushButton>("btnExporta")->click();
  setrlimit(RLIMIT_FSIZE, &saved);
  ASSERT_EQ(services.errors.size(), 1u);
  EXPECT_EQ(services.errors[0].toStdString(), "Cannot write file \"" + target + "\". File too large.");
  EXPECT_EQ(testing::ReadFile(target), earlier);
  EXPECT_EQ(services.launched.size(), 2u);  // the failed save opened nothing
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }

  services.saveAnswer = QString::fromStdString(dir.File("missing/report.txt"));
  Control<QPushButton>("btnExporta")->click();
  ASSERT_EQ(services.errors.size(), 2u);
  EXPECT_EQ(services.errors[1].toStdString(),
            "Cannot create file \"" + dir.File("missing/report.txt") + "\". No such file or directory.");
}

TEST_F(WindowTest, ExportRefusesTablesAndFilesNamedInTheBoxesBeforeAnyRun) {
  // A path typed into a box and the same path typed into the save dialog
  // (after no run): the data file is kept.
  const std::string risks = testing::ReadFile(dir.File("riscos.dbf"));
  QTest::keyClicks(Control<QLineEdit>("edArqRisco"), QString::fromStdString(dir.File("riscos.dbf")));
  services.saveAnswer = QString::fromStdString(dir.File("riscos.dbf"));
  Control<QPushButton>("btnExporta")->click();
  // A table that no box names, under a name of a text file.
  std::filesystem::copy_file(dir.File("sinistros.dbf"), dir.File("sinistros.txt"));
  services.saveAnswer = QString::fromStdString(dir.File("sinistros.txt"));
  Control<QPushButton>("btnExporta")->click();
  ASSERT_EQ(services.errors.size(), 2u);
  EXPECT_EQ(services.errors[0].toStdString(),
            "Cannot export the report to \"" + dir.File("riscos.dbf") + "\": the validation reads that file.");
  EXPECT_EQ(services.errors[1].toStdString(),
            "Cannot export the report to \"" + dir.File("sinistros.txt") + "\": that file holds a DBF table.");
  EXPECT_EQ(testing::ReadFile(dir.File("riscos.dbf")), risks);
  EXPECT_EQ(testing::ReadFile(dir.File("sinistros.txt")), testing::ReadFile(dir.File("sinistros.dbf")));
  EXPECT_TRUE(services.launched.empty());
}

TEST_F(WindowTest, TheSaveDialogStartsWithoutANameAndRefusesAPattern) {
  const ScopedVariable home("HOME", dir.Path());
  Control<QPushButton>("btnExporta")->click();  // cancelled: the settings the dialog gets
  // The real dialog, answered as a user would: a bare name gets the
  // extension of the file type.
  QString shownName = "?";
  QString shownFilter;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    shownName = name->text();
    shownFilter = dialog->selectedNameFilter();
    name->setText("relatorio");
    QMetaObject::invokeMethod(dialog, "accept");
  });
  answer.start(10);
  DesktopServices desktop;
  const auto chosen = desktop.ChooseSaveFile(window.get(), services.saveSettings);
  answer.stop();
  ASSERT_TRUE(chosen);
  EXPECT_EQ(shownName, "");
  EXPECT_EQ(shownFilter, "Resultado (*.txt)");
  EXPECT_EQ(chosen->path, QString::fromStdString(dir.File("relatorio.txt")));
  EXPECT_EQ(chosen->filter, 0);

  // The question before replacing a file: No is the default, Enter answers.
  QMessageBox::StandardButton shownDefault = QMessageBox::NoButton;
  QObject::disconnect(&answer, nullptr, nullptr, nullptr);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    shownDefault = box->standardButton(box->defaultButton());
    QTest::keyClick(box, Qt::Key_Return);
  });
  answer.start(10);
  EXPECT_FALSE(desktop.AskYesNo(window.get(), "Replace?"));
  answer.stop();
  EXPECT_EQ(shownDefault, QMessageBox::No);

  // A name holding * or ? is a pattern: nothing is saved or opened.
  for (const char* name : {"*.txt", "relat?rio.txt"}) {
    services.saveAnswer = QString::fromStdString(dir.File(name));
    Control<QPushButton>("btnExporta")->click();
    EXPECT_FALSE(std::filesystem::exists(dir.File(name)));
  }
  EXPECT_EQ(services.errors,
            (std::vector<QString>{QString::fromStdString("Cannot export the report to \"" + dir.File("*.txt") +
                                                         "\": a name with * or ? is a pattern, not a file name."),
                                  QString::fromStdString("Cannot export the report to \"" + dir.File("relat?rio.txt") +
                                                         "\": a name with * or ? is a pattern, not a file name.")}));
  EXPECT_TRUE(services.launched.empty());
}

TEST_F(WindowTest, OpenDocumentRunsTheDesktopOpenerAndShowsWhatItAnswers) {
  // An opener that records its argument and exits with the status in a file.
  const std::string bin = dir.File("bin/");
  std::filesystem::create_directory(bin);
  std::ofstream(bin + "xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$1\" >>\"" << bin << "arguments\"\nexit $(cat \""
                                  << bin << "status\")\n";
  std::filesystem::permissions(bin + "xdg-open", std::filesystem::perms::owner_all);
  const ScopedVariable path("PATH", bin + ":/usr/bin:/bin");
  const ScopedVariable display("DISPLAY", ":0");
  services.desktopOpener = true;
  const QString report = QString::fromStdString(dir.File("riscos.dbf"));
  for (const char* status : {"0", "2", "3", "4"}) {
    std::ofstream(bin + "status") << status;
    const size_t before = services.openerResults.size();
    window->OpenDocument(report);
    EXPECT_EQ(services.openerResults.size(), before);  // the window did not wait
    ASSERT_TRUE(QTest::qWaitFor([&] { return services.openerResults.size() > before; }, 60000)) << status;
  }
  EXPECT_EQ(services.openerResults,
            (std::vector<int>{kShellOpened, kShellFileNotFound, kShellNoAssociation, kShellNoAssociation}));
  const QString noProgram = "There is no application associated with the given filename extension.";
  EXPECT_EQ(services.messages, (std::vector<QString>{"The specified file was not found.", noProgram, noProgram}));
  std::string arguments;
  for (int i = 0; i < 4; ++i) arguments += dir.File("riscos.dbf") + "\n";
  EXPECT_EQ(testing::ReadFile(bin + "arguments"), arguments);
}

TEST_F(WindowTest, PortugueseSettingsTranslateTheToolkitsOwnTexts) {
  const auto menuTexts = [&] {
    QStringList texts;
    for (QMenu* menu : {Control<QPlainTextEdit>("edLog")->createStandardContextMenu(),
                        Control<QLineEdit>("edArqRisco")->createStandardContextMenu()}) {
      for (const QAction* action : menu->actions()) texts << action->text().section('\t', 0, 0);
      delete menu;
    }
    return texts;
  };
  const auto cancelText = [] {
    const QDialogButtonBox box(QDialogButtonBox::Cancel);
    return box.button(QDialogButtonBox::Cancel)->text();
  };
  EXPECT_EQ(menuTexts().count("&Copy"), 2);
  EXPECT_EQ(cancelText(), "Cancel");
  {
    const ScopedVariable language("LC_ALL", "pt_BR.UTF-8");
    PrepareApplication();
  }
  const QStringList portuguese = menuTexts();
  const QString portugueseCancel = cancelText();
  InstallToolkitTranslations("en_US");  // the toolkit's own texts again
  EXPECT_EQ(portuguese.count("&Copiar"), 2) << portuguese.join(", ").toStdString();
  EXPECT_EQ(portugueseCancel, "Cancelar");
  EXPECT_EQ(menuTexts().count("&Copy"), 2);
}

TEST_F(WindowTest, PathsExportFolderAndGeometryAreKeptAndTildeMeansHome) {
  const ScopedVariable home("HOME", dir.Path());
  Control<QLineEdit>("edArqRisco")->setText("~/riscos.dbf");
  Control<QLineEdit>("edArqSinistro")->setText("~/sinistros.dbf");
  Control<QPushButton>("btnOk")->click();
  WaitForRun();
  ASSERT_TRUE(services.errors.empty()) << services.errors.front().toStdString();
  EXPECT_TRUE(LogText().contains(QString::fromStdString("Arquivo: " + dir.File("sinistros.dbf"))));
  EXPECT_TRUE(LogText().contains(QString::fromUtf8("sinistros sem apólices")));

  std::filesystem::create_directory(dir.File("saidas"));
  services.saveAnswer = QString::fromStdString(dir.File("saidas/relatorio.txt"));
  Control<QPushButton>("btnExporta")->click();
  window->resize(700, 520);
  Control<QLineEdit>("edArqSinistro")->setText("/media/ausente/sinistros.dbf");
  window->close();

  // Next year's reference table: the caption names the year its window ends.
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "OUTRA", "1", "1", "1", "1", "20230701", "20240630"}});
  window = std::make_unique<MainWindow>(QString::fromStdString(dir.Path()), BrazilianSettings(), services);
  EXPECT_EQ(window->windowTitle(), "ORVAL - Tarvelo - 2024");
  EXPECT_EQ(Control<QLineEdit>("edArqRisco")->text(), "~/riscos.dbf");
  EXPECT_EQ(Control<QLineEdit>("edArqSinistro")->text(), "/media/ausente/sinistros.dbf");
  EXPECT_EQ(window->size(), QSize(700, 520));
  services.saveAnswer.reset();
  Control<QPushButton>("btnExporta")->click();
  EXPECT_EQ(services.saveSettings.initialFolder, QString::fromStdString(dir.File("saidas")));
  // All of it in the test's settings, none in the user's.
  EXPECT_TRUE(std::filesystem::exists(dir.File("settings/Tarvelo/Tarvelo.conf")));
}

TEST_F(WindowTest, LayoutAnchorsAndControls) {
  EXPECT_EQ(window->windowTitle(), "ORVAL - Tarvelo - 2023");
  EXPECT_EQ(Control<QLineEdit>("edArqRisco")->geometry(), QRect(4, 19, 445, 21));
  EXPECT_EQ(Control<QToolButton>("SpeedButton3")->toolTip(), "Defina o arquivo de sinistros");
  EXPECT_EQ(Control<QToolButton>("SpeedButton3")->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(Control<QPushButton>("btnOk")->text(), "&Criticar");
  EXPECT_TRUE(Control<QPushButton>("btnOk")->isDefault());
  EXPECT_EQ(Control<QPushButton>("btnFechar")->text(), "&Fechar");
  auto* log = Control<QPlainTextEdit>("edLog");
  EXPECT_TRUE(log->isReadOnly());
  EXPECT_EQ(log->lineWrapMode(), QPlainTextEdit::NoWrap);
  // The report's columns line up, whatever fonts the machine has.
  EXPECT_EQ(log->fontMetrics().horizontalAdvance("iiii"), log->fontMetrics().horizontalAdvance("WWWW"))
      << QFontInfo(log->font()).family().toStdString();
  // It is a family the font database marks fixed-pitch, where one can write
  // the report.
  const QStringList families = QFontDatabase::families();
  const auto fixed = [](const QString& family) {
    return QFontDatabase::isFixedPitch(family) && QFontDatabase::writingSystems(family).contains(QFontDatabase::Latin);
  };
  if (std::any_of(families.begin(), families.end(), fixed)) {
    EXPECT_TRUE(fixed(QFontInfo(log->font()).family())) << QFontInfo(log->font()).family().toStdString();
  }
  auto* progress = Control<QProgressBar>("ProgressBar");
  EXPECT_EQ(progress->orientation(), Qt::Vertical);
  EXPECT_EQ(progress->value(), 0);

  // Tab order from the first edit box.
  QWidget* focus = Control<QLineEdit>("edArqRisco");
  QStringList order;
  for (int i = 0; i < 7; ++i, focus = focus->nextInFocusChain()) {
    while (!(focus->focusPolicy() & Qt::TabFocus)) focus = focus->nextInFocusChain();
    order << focus->objectName();
  }
  EXPECT_EQ(order,
            QStringList({"edArqRisco", "edArqSinistro", "btnOk", "btnFechar", "edLog", "btnExporta", "btnAjuda"}));

  const QRect buttonBefore = Control<QPushButton>("btnExporta")->geometry();
  const QRect logBefore = log->geometry();
  const QRect editBefore = Control<QLineEdit>("edArqSinistro")->geometry();
  const QRect progressBefore = progress->geometry();
  window->resize(window->width() + 100, window->height() + 50);
  EXPECT_EQ(Control<QPushButton>("btnExporta")->geometry(), buttonBefore.translated(100, 0));
  EXPECT_EQ(Control<QPushButton>("btnAjuda")->geometry().right(), buttonBefore.right() + 100);
  EXPECT_EQ(log->geometry(), logBefore.adjusted(0, 0, 100, 50));
  EXPECT_EQ(Control<QLineEdit>("edArqSinistro")->geometry(), editBefore);
  EXPECT_EQ(progress->geometry(), progressBefore);

  // Shrunk as far as it goes, the window still shows every control whole,
  // the right-hand buttons beside the progress bar.
  window->resize(100, 100);
  for (const QWidget* control : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    EXPECT_TRUE(window->rect().contains(control->geometry())) << control->objectName().toStdString();
  }
  EXPECT_GT(Control<QPushButton>("btnOk")->geometry().left(), progress->geometry().right());
}

/// A window whose run, on reaching a progress position, waits until it is
/// asked to stop: the close arrives at a known point of the run.
class WindowHeldAtProgress : public MainWindow {
 public:
  WindowHeldAtProgress(int position, const std::string& folder, WindowServices& services)
      : MainWindow(QString::fromStdString(folder), BrazilianSettings(), services), position_(position) {}
  void PostProgress(int position) override {
    MainWindow::PostProgress(position);
    if (position != position_) return;
    reached = true;
    // A window that never asks would leave the run to go on after a while.
    for (int waited = 0; !StopRequested() && waited < 30000; ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::atomic<bool> reached = false;

 private:
  int position_;
};

TEST_F(WindowTest, ClosingDuringARunStopsItRemovesTheIndexAndCloses) {
  // Held as the risks file's records are to be read (the close button),
  // and as the claims test is to build its index (the title bar).
  for (const int position : {25, 75}) {
    WindowHeldAtProgress held(position, dir.Path(), services);
    held.show();
    held.findChild<QLineEdit*>("edArqRisco")->setText(QString::fromStdString(dir.File("riscos.dbf")));
    held.findChild<QLineEdit*>("edArqSinistro")->setText(QString::fromStdString(dir.File("sinistros.dbf")));
    held.findChild<QPushButton*>("btnOk")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.reached.load(); }, 60000));
    EXPECT_FALSE(held.findChild<QPushButton*>("btnExporta")->isEnabled());
    EXPECT_TRUE(held.findChild<QLineEdit*>("edArqRisco")->isReadOnly());

    QSignalSpy finished(&held, &MainWindow::runFinished);
    if (position == 25) {
      held.findChild<QPushButton*>("btnFechar")->click();
    } else {
      held.close();
    }
    EXPECT_TRUE(held.isVisible());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_FALSE(held.isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(services.errors.empty()) << services.errors.front().toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir.File("apolice.ntx")));
    const QString report = held.findChild<QPlainTextEdit*>("edLog")->toPlainText();
    EXPECT_EQ(report.contains("Total de Registros"), position == 75) << position;
    EXPECT_FALSE(report.contains(QString::fromUtf8("sinistros sem apólices")));
    EXPECT_FALSE(report.contains("Fim do processamento"));
  }
}

TEST_F(WindowTest, DroppingAFileOnAnEditBoxPutsItsPath) {
  auto* claims = Control<QLineEdit>("edArqSinistro");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.File("sinistros.dbf")))});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(claims, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(claims, &drop);
  EXPECT_EQ(claims->text().toStdString(), dir.File("sinistros.dbf"));
}

// tarvelo [--catalogo DIR] [RISCOS.dbf [SINISTROS.dbf]]: the folder named
// by the option, else by TARVELO_CATALOGO, holds the catalogue the run
// reads; the files go into the boxes.
TEST_F(WindowTest, CommandLineAndEnvironmentNameTheCatalogueAndTheFiles) {
  std::string error;
  qputenv("TARVELO_CATALOGO", "/elsewhere");
  EXPECT_EQ(CreateMainWindow(services)->CatalogueFolder(), "/elsewhere/");
  // "Open with" on three files, the claims first: each of the first two in
  // the box of its layout, the third told in a message box.
  auto parsed = ParseWindowArguments(
      {"--catalogo", dir.Path(), dir.File("sinistros.dbf"), dir.File("riscos.dbf"), dir.File("anexos.dbf")}, error);
  ASSERT_TRUE(parsed);
  window = CreateMainWindow(services, *parsed);
  qunsetenv("TARVELO_CATALOGO");
  EXPECT_EQ(window->CatalogueFolder(), dir.Path());
  EXPECT_EQ(Control<QLineEdit>("edArqRisco")->text().toStdString(), dir.File("riscos.dbf"));
  EXPECT_EQ(Control<QLineEdit>("edArqSinistro")->text().toStdString(), dir.File("sinistros.dbf"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !services.informations.empty(); }, 10000));
  EXPECT_EQ(services.informations[0].toStdString(),
            "Too many files: a risks file and a claims file at most. The first two are in the boxes; left out:\n" +
                dir.File("anexos.dbf"));
  services.informations.clear();
  Control<QPushButton>("btnOk")->click();
  WaitForRun();
  EXPECT_TRUE(services.errors.empty());
  EXPECT_TRUE(LogText().contains(QString::fromUtf8("sinistros sem apólices")));
}

}  // namespace
}  // namespace tarvelo
