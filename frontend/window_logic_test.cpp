#include "frontend/window_logic.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "frontend/open_document.h"
#include "os/file_system.h"
#include "os/locale_settings.h"
#include "os/process.h"
#include "testing/catalogue_fixture.h"
#include "testing/dbf_writer.h"
#include "testing/temp_dir.h"
#include "values/cp1252_literal.h"

namespace tarvelo {
namespace {

/// A window without a toolkit: it records what the logic shows and asks,
/// answers the dialogs from its fields, and runs posted work when the test
/// pumps it, as a UI thread's event loop would.
class FakeFace : public WindowFace {
 public:
  std::string boxes[2];
  bool enabled = true;
  bool busy = false;
  std::vector<std::string> report;
  int progress = 0;
  std::vector<std::optional<std::string>> openAnswers;
  std::vector<std::string> openStarts;
  std::optional<std::string> saveAnswer;
  int saveType = 0;
  SaveDialogRequest saveRequest;
  std::vector<std::string> errors;
  std::vector<std::string> messages;
  std::vector<std::string> informations;
  std::vector<std::string> questions;
  bool answerYes = false;
  std::vector<std::string> launched;
  bool canLaunch = true;
  std::string home;
  RememberedPaths kept;
  int keptTimes = 0;
  int finished = 0;
  bool closed = false;
  /// When set, the run waits on reaching this progress position until it is
  /// asked to stop (stopRequested).
  int holdAt = -1;
  std::function<bool()> stopRequested;
  std::atomic<bool> held = false;

  std::string BoxText(PathBox box) const override { return boxes[static_cast<int>(box)]; }
  void SetBoxText(PathBox box, const std::string& text) override { boxes[static_cast<int>(box)] = text; }
  void SetCommandsEnabled(bool on) override { enabled = on; }
  void SetBusyCursor(bool on) override { busy = on; }
  void ClearReport() override { report.clear(); }
  void ShowReportLine(size_t index, const std::string& line, bool replace) override {
    if (replace) {
      report.at(index) = line;
    } else {
      EXPECT_EQ(index, report.size());
      report.push_back(line);
    }
  }
  void SetProgress(int position) override { progress = position; }
  void Post(std::function<void()> work) override {
    const std::lock_guard lock(mutex_);
    posted_.push_back(std::move(work));
    arrived_.notify_one();
  }
  void PostProgress(int position) override {
    if (position == holdAt) held = true;
    WindowFace::PostProgress(position);
    if (position != holdAt) return;
    for (int waited = 0; !stopRequested() && waited < 30000; ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::optional<std::string> ChooseOpenFile(const std::string& startFile) override {
    openStarts.push_back(startFile);
    auto answer = openAnswers.front();
    openAnswers.erase(openAnswers.begin());
    return answer;
  }
  std::optional<SavePathChoice> ChooseSaveFile(const SaveDialogRequest& request) override {
    saveRequest = request;
    if (!saveAnswer) return std::nullopt;
    return SavePathChoice{*saveAnswer, saveType};
  }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowInformation(const std::string& text) override { informations.push_back(text); }
  bool AskYesNo(const std::string& text) override {
    questions.push_back(text);
    return answerYes;
  }
  void LaunchDocument(const std::string& path, std::function<void(int)> done) override {
    launched.push_back(path);
    done(canLaunch ? kShellOpened : kShellNoAssociation);
  }
  std::string HomeFolder() const override { return home; }
  std::string DocumentsFolder() const override { return home + "/Documents"; }
  RememberedPaths RecallPaths() override { return kept; }
  void KeepPaths(const RememberedPaths& paths) override {
    kept = paths;
    ++keptTimes;
  }
  void RunFinished() override { ++finished; }
  void Close() override { closed = true; }

  /// Runs posted work, in order, until done() holds; false after a minute.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
      std::unique_lock lock(mutex_);
      if (!arrived_.wait_until(lock, end, [&] { return !posted_.empty(); })) return false;
      auto work = std::move(posted_.front());
      posted_.pop_front();
      lock.unlock();
      work();
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> posted_;
};

/// A catalogue of one table of risks with one field, and no company.
void WriteCatalogue(const testing::TempDir& dir) {
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"}});
  testing::WriteAnexos(dir.File("anexos.dbf"), {});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {});
}

RegionalSettings Settings() { return os::SettingsOfLocales("pt_BR", "pt_BR", "pt_BR"); }

TEST(WindowLogic, ValidatesOnAWorkerAndShowsTheLinesItPostsAndTheError) {
  testing::TempDir dir;
  WriteCatalogue(dir);
  FakeFace face;
  face.kept = {"~/absent.dbf", "", "/kept"};
  face.home = dir.Path().substr(0, dir.Path().size() - 1);  // without its "/"
  WindowLogic logic(dir.Path(), Settings(), face);
  const std::string origin = "The catalogue folder \"" + dir.Path() + "\" is the one --catalogo names.";
  logic.SetCatalogueOrigin(origin);
  EXPECT_EQ(face.boxes[0], "~/absent.dbf");  // the remembered paths

  logic.Validate();
  EXPECT_TRUE(logic.IsRunning());
  EXPECT_FALSE(face.enabled);
  logic.Validate();  // ignored while the run works
  EXPECT_EQ(face.keptTimes, 1);
  EXPECT_EQ(face.kept.riskFile, "~/absent.dbf");
  ASSERT_TRUE(face.PumpUntil([&] { return face.finished == 1; }));
  EXPECT_FALSE(logic.IsRunning());
  EXPECT_TRUE(face.enabled);
#ifdef _WIN32
  // "~/" stands for the home folder there too; the system's own reason.
  const std::string absent = face.home + "/absent.dbf";
  const std::string reason = os::SystemReason(2);  // ERROR_FILE_NOT_FOUND
#else
  const std::string absent = dir.File("absent.dbf");
  const std::string reason = "No such file or directory";
#endif
  EXPECT_EQ(face.errors, std::vector<std::string>{"DbfTable.InternalOpen: Open error \"" + absent + "\"\n" + reason});
  // The face shows the lines the run wrote, in their order.
  EXPECT_EQ(face.report, logic.Report().Lines());
  ASSERT_EQ(face.report.size(), 3u);
  EXPECT_EQ(face.report[0].rfind("Início do processamento: "_cp1252, 0), 0u);
  EXPECT_FALSE(face.closed);
  EXPECT_TRUE(logic.CloseRequested());  // no run: closes now, paths kept
  EXPECT_EQ(face.keptTimes, 2);

  // A file the last run read, and rejected, is not overwritten by an export
  // once the boxes name other files.
  const std::string notes = dir.File("notes.txt");
  testing::WriteFile(notes, "notes");
  face.boxes[0] = notes;
  logic.Validate();
  ASSERT_TRUE(face.PumpUntil([&] { return face.finished == 2; }));
  face.boxes[0] = dir.File("other.dbf");
  face.errors.clear();
  face.saveAnswer = notes;
  logic.Export();
  EXPECT_EQ(face.errors,
            std::vector<std::string>{"Cannot export the report to \"" + notes + "\": the validation reads that file."});
  EXPECT_EQ(testing::ReadFile(notes), "notes");

  // An error of reading the catalogue says where its folder came from; the
  // data file's above did not.
  std::filesystem::remove(std::filesystem::u8path(dir.File("anexos.dbf")));
  face.errors.clear();
  logic.Validate();
  ASSERT_TRUE(face.PumpUntil([&] { return face.finished == 3; }));
  EXPECT_EQ(face.errors, std::vector<std::string>{"DbfTable.InternalOpen: Open error \"" + dir.File("anexos.dbf") +
                                                  "\"\n" + reason + "\n" + origin});
}

TEST(WindowLogic, ClosingDuringARunStopsItRemovesTheIndexAndClosesAtItsEnd) {
  testing::TempDir dir;
  WriteCatalogue(dir);
  testing::DbfWriter risks({{"COD_SEG", 'C', 5}});
  risks.AddRecord({"05631"});
  risks.WriteTo(dir.File("r.dbf"));
  {
    FakeFace face;
    face.holdAt = 25;
    WindowLogic logic(dir.Path(), Settings(), face);
    face.boxes[0] = dir.File("r.dbf");
    face.stopRequested = [&] { return logic.StopRequested(); };
    logic.Validate();
    ASSERT_TRUE(face.PumpUntil([&] { return face.held.load(); }));

    EXPECT_FALSE(logic.CloseRequested());
    EXPECT_TRUE(face.busy);
    EXPECT_FALSE(face.closed);
    ASSERT_TRUE(face.PumpUntil([&] { return face.finished == 1; }));
    EXPECT_TRUE(face.closed);
    EXPECT_FALSE(face.busy);
    EXPECT_TRUE(face.errors.empty()) << face.errors.front();
    EXPECT_EQ(face.progress, 25);
    EXPECT_FALSE(std::filesystem::exists(dir.File("apolice.ntx")));
    for (const std::string& line : face.report) EXPECT_EQ(line.find("Fim do processamento"), std::string::npos);
  }

  // Closed past the last block of records, a run of a company the
  // reference table lacks ends whole, and that is not told while the window
  // closes.
  testing::TempDir whole;
  testing::WriteTabelas(whole.File("tabelas.dbf"), {{"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
                                                    {"RISCOS", "COD_MOD", "", "3", "0", "0", "1", "0", "0", "2"},
                                                    {"RISCOS", "INICIO_VIG", "", "1", "8", "0", "1", "0", "0", "3"},
                                                    {"RISCOS", "PREMIO", "", "6", "0", "0", "1", "0", "0", "4"}});
  testing::WriteAnexos(whole.File("anexos.dbf"), {});
  testing::WriteQdp(whole.File("DadosQdp.DBF"), {});
  testing::DbfWriter premiums(
      {{"COD_SEG", 'C', 5}, {"COD_MOD", 'N', 2}, {"INICIO_VIG", 'C', 8}, {"PREMIO", 'N', 14, 2}});
  premiums.AddRecord({"05631", "61", "20230101", "1.00"});
  premiums.WriteTo(whole.File("r.dbf"));
  FakeFace late;
  late.holdAt = 90;
  WindowLogic lateLogic(whole.Path(), Settings(), late);
  late.boxes[0] = whole.File("r.dbf");
  late.stopRequested = [&] { return lateLogic.StopRequested(); };
  lateLogic.Validate();
  ASSERT_TRUE(late.PumpUntil([&] { return late.held.load() || late.finished == 1; }));
  ASSERT_TRUE(late.held.load()) << (late.errors.empty() ? "" : late.errors.front());
  EXPECT_FALSE(lateLogic.CloseRequested());
  ASSERT_TRUE(late.PumpUntil([&] { return late.finished == 1; }));
  EXPECT_TRUE(late.closed);
  EXPECT_TRUE(late.errors.empty()) << late.errors.front();
  EXPECT_TRUE(std::any_of(late.report.begin(), late.report.end(), [](const std::string& line) {
    return line.find("Fim do processamento") != std::string::npos;
  }));
  EXPECT_TRUE(late.informations.empty()) << late.informations.front();

  // The export's third type saves the run as a page, the catalogue's rules
  // in it, and opens it.
  late.saveAnswer = whole.File("pagina.html");
  late.saveType = 2;
  lateLogic.Export();
  EXPECT_EQ(late.saveRequest.suffixes, (std::vector<std::string>{"txt", "csv", "html"}));
  const std::string page = testing::ReadFile(whole.File("pagina.html"));
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u) << page.substr(0, 80);
  EXPECT_NE(page.find("<th scope=\"row\">INICIO_VIG</th>", page.find("id=\"regras\"")), std::string::npos);
  EXPECT_EQ(late.launched, std::vector<std::string>{whole.File("pagina.html")});
}

TEST(WindowLogic, FileChoicesShareOneDialogAndCancelChangesNothing) {
  testing::TempDir dir;
  FakeFace face;
  WindowLogic logic(dir.Path(), Settings(), face);
  face.boxes[0] = "typed.dbf";
  face.openAnswers = {"/data/riscos.dbf", std::nullopt, "/data/sinistros.dbf", std::nullopt};
  logic.ChooseFile(PathBox::kRisks);
  logic.ChooseFile(PathBox::kRisks);  // cancelled
  EXPECT_EQ(face.boxes[0], "/data/riscos.dbf");
  logic.ChooseFile(PathBox::kClaims);
  logic.ChooseFile(PathBox::kClaims);  // cancelled
  EXPECT_EQ(face.boxes[1], "/data/sinistros.dbf");
  EXPECT_EQ(face.openStarts,
            (std::vector<std::string>{"", "/data/riscos.dbf", "/data/riscos.dbf", "/data/sinistros.dbf"}));
}

TEST(WindowLogic, ExportHelpAndOpeningDocumentsShowTheShellMessages) {
  testing::TempDir dir;
  FakeFace face;
  face.home = "/home/user";
  WindowLogic logic(dir.Path(), Settings(), face);

  // Before any run: an empty report, saved and opened; its folder is kept.
  logic.Export();  // cancelled
  EXPECT_EQ(face.saveRequest.title, "Exporta resultado Tarvelo");
  EXPECT_EQ(face.saveRequest.initialFolder, "/home/user/Documents");
  EXPECT_EQ(face.saveRequest.fileTypes,
            (std::vector<std::string>{"Resultado (*.txt)", "Detalhes (*.csv)", "Página HTML (*.html)"}));
  EXPECT_TRUE(face.launched.empty());
  face.saveAnswer = dir.File("report.txt");
  logic.Export();
  EXPECT_EQ(testing::ReadFile(dir.File("report.txt")), "");
  EXPECT_EQ(face.launched, std::vector<std::string>{dir.File("report.txt")});
  const std::string folder = dir.Path().substr(0, dir.Path().size() - 1);
  EXPECT_EQ(face.kept.exportFolder, folder);
  face.saveAnswer = dir.File("*.txt");
  logic.Export();
  EXPECT_EQ(face.errors, std::vector<std::string>{"Cannot export the report to \"" + dir.File("*.txt") +
                                                  "\": a name with * or ? is a pattern, not a file name."});
  EXPECT_EQ(face.launched.size(), 1u);
  logic.Export();
  EXPECT_EQ(face.saveRequest.initialFolder, folder);

  // Another existing file is replaced only when the user says Yes; the file
  // of the last export again without a question.
  std::ofstream(dir.File("contrato.txt")) << "contrato";
  face.saveAnswer = dir.File("contrato.txt");
  logic.Export();
  EXPECT_EQ(face.questions, std::vector<std::string>{"\"" + dir.File("contrato.txt") +
                                                     "\" already exists.\nDo you want to replace it?"});
  EXPECT_EQ(testing::ReadFile(dir.File("contrato.txt")), "contrato");
  EXPECT_EQ(face.launched.size(), 1u);
  face.answerYes = true;
  logic.Export();
  EXPECT_EQ(testing::ReadFile(dir.File("contrato.txt")), "");
  EXPECT_EQ(face.launched.size(), 2u);
  face.answerYes = false;
  logic.Export();
  face.saveAnswer = dir.File("report.txt");
  logic.Export();
  EXPECT_EQ(face.questions.size(), 3u);
  EXPECT_EQ(face.launched.size(), 3u);
#ifndef _WIN32
  // A device is written in place, never replaced: no question.
  face.saveAnswer = "/dev/null";
  logic.Export();
  EXPECT_EQ(face.questions.size(), 3u);
  EXPECT_EQ(face.launched.size(), 4u);

  // With a catalogue folder that others may write, the index goes to the
  // user's private folder, and an export over it is refused there too.
  testing::TempDir runtime;
  const std::string savedRuntime = os::EnvironmentVariable("XDG_RUNTIME_DIR");
  ASSERT_EQ(setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1), 0);
  ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
  face.saveAnswer = runtime.File("tarvelo/apolice.ntx");
  logic.Export();
  EXPECT_EQ(face.errors.back(),
            "Cannot export the report to \"" + *face.saveAnswer + "\": the validation writes its index to that file.");
  EXPECT_EQ(face.launched.size(), 4u);
  chmod(dir.Path().c_str(), 0700);
  if (savedRuntime.empty()) {
    unsetenv("XDG_RUNTIME_DIR");
  } else {
    setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
  }
#endif

  face.launched.clear();
  logic.OpenDocument(dir.File("missing/x.txt"));
  logic.OpenDocument(dir.File("x.txt"));
  face.canLaunch = false;
  logic.OpenDocument(dir.File("report.txt"));
  EXPECT_EQ(face.messages,
            (std::vector<std::string>{"The specified path was not found.", "The specified file was not found.",
                                      "There is no application associated with the given filename extension."}));
  EXPECT_EQ(ShellResultMessage(kShellOpened), "");
  EXPECT_EQ(ShellResultMessage(26), "A sharing violation occurred.");

  // Help: the compiled help when present, else the page shipped beside the
  // program, else the message.
  face.canLaunch = true;
  face.messages.clear();
  face.launched.clear();
  logic.Help();
  EXPECT_EQ(face.messages, std::vector<std::string>{"The specified file was not found."});
  std::ofstream(dir.File("Tarvelo.html")) << "<html></html>";
  logic.Help();
  std::ofstream(dir.File("Tarvelo.chm")) << "chm";
  logic.Help();
  EXPECT_EQ(face.launched, (std::vector<std::string>{dir.File("Tarvelo.html"), dir.File("Tarvelo.chm")}));
}

TEST(WindowLogic, StartFilesGoIntoTheBoxOfTheirLayoutAndTheLeftOutAreTold) {
  testing::TempDir dir;
  testing::WriteTabelas(dir.File("tabelas.dbf"), {{"RISCOS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
                                                  {"SINISTROS", "COD_SEG", "", "1", "5", "0", "1", "0", "0", "1"},
                                                  {"SINISTROS", "NUM_SIN", "", "1", "8", "0", "1", "0", "0", "2"}});
  testing::WriteAnexos(dir.File("anexos.dbf"), {});
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {});
  testing::DbfWriter risks({{"COD_SEG", 'C', 5}});
  risks.WriteTo(dir.File("r.dbf"));
  testing::DbfWriter claims({{"COD_SEG", 'C', 5}, {"NUM_SIN", 'C', 8}});
  claims.WriteTo(dir.File("s.dbf"));
  std::ofstream(dir.File("notes.txt")) << "not a table";
  const std::string r = dir.File("r.dbf"), s = dir.File("s.dbf"), other = dir.File("notes.txt");

  FakeFace face;
  face.kept = {"kept-risks.dbf", "kept-claims.dbf", ""};
  WindowLogic logic(dir.Path(), Settings(), face);
  const auto boxesFor = [&](const std::vector<std::string>& files) {
    logic.OpenStartFiles(files);
    return std::vector<std::string>{face.boxes[0], face.boxes[1]};
  };
  EXPECT_EQ(boxesFor({}), (std::vector<std::string>{"kept-risks.dbf", "kept-claims.dbf"}));
  EXPECT_EQ(boxesFor({s, r}), (std::vector<std::string>{r, s}));
  EXPECT_EQ(boxesFor({s}), (std::vector<std::string>{"", s}));
  EXPECT_EQ(boxesFor({other, r}), (std::vector<std::string>{r, other}));
  EXPECT_EQ(boxesFor({s, other}), (std::vector<std::string>{other, s}));
  EXPECT_EQ(boxesFor({dir.File("absent.dbf"), other}), (std::vector<std::string>{dir.File("absent.dbf"), other}));
  EXPECT_EQ(boxesFor({r, dir.File("r.dbf")}), (std::vector<std::string>{r, r}));

  // Three or more: the first two in their boxes, the others named after the
  // window shows.
  EXPECT_EQ(boxesFor({s, other, r, dir.File("x.dbf")}), (std::vector<std::string>{other, s}));
  EXPECT_TRUE(face.informations.empty());
  ASSERT_TRUE(face.PumpUntil([&] { return !face.informations.empty(); }));
  EXPECT_EQ(face.informations, std::vector<std::string>{"Too many files: a risks file and a claims file at most. The "
                                                        "first two are in the boxes; left out:\n" +
                                                        r + "\n" + dir.File("x.dbf")});

  // Without a catalogue to tell the layouts, in their order.
  testing::TempDir empty;
  FakeFace bare;
  WindowLogic withoutCatalogue(empty.Path(), Settings(), bare);
  withoutCatalogue.OpenStartFiles({s, r});
  EXPECT_EQ(bare.boxes[0], s);
  EXPECT_EQ(bare.boxes[1], r);
}

// The caption names the year the reference table's window ends; a table
// that is missing or whose windows cannot be read leaves the design's year.
TEST(WindowLogic, TheCaptionsYearIsTheReferenceWindowsEnd) {
  testing::TempDir dir;
  EXPECT_EQ(WindowCaption(dir.Path(), Settings()), "ORVAL - Tarvelo - 2023");
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "EXEMPLO", "0", "0", "0", "0", "20230701", "20240630"}});
  EXPECT_EQ(WindowCaption(dir.Path(), Settings()), "ORVAL - Tarvelo - 2024");
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "EXEMPLO", "0", "0", "0", "0", "20230701", ""}});
  EXPECT_EQ(WindowCaption(dir.Path(), Settings()), "ORVAL - Tarvelo - 2023");
}

}  // namespace
}  // namespace tarvelo
