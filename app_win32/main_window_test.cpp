// The Windows window driven as a user would, through its controls'
// messages, with the dialogs, message boxes and the shell's open call
// answered by the test. Run under a display (Wine with a virtual X server).
#include "app_win32/main_window.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "app_win32/window_layout.h"
#include "frontend/locale_environment.h"
#include "os/wide_text.h"
#include "testing/catalogue_fixture.h"
#include "testing/temp_dir.h"

namespace tarvelo::win32 {
namespace {

using os::Utf8FromWide;
using os::WideFromUtf8;
using enum ControlRole;

constexpr wchar_t kTestSettingsKey[] = L"Software\\Tarvelo\\WindowTest";

/// Hands the thread's messages to the window until done() or 60 seconds.
bool PumpUntil(HWND window, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchWindowMessage(window, message);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
  }
  return true;
}

void PumpPending(HWND window) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchWindowMessage(window, message);
}

std::wstring Text(HWND control) {
  std::wstring text(static_cast<size_t>(SendMessageW(control, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

/// The rectangle of a control in its window's client area.
ControlRect ClientRect(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

LOGFONTW FontOf(HWND control) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

/// The Windows name of a path of this machine (Z:\ for /).
std::wstring WindowsPath(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  std::wstring full(MAX_PATH * 4, L'\0');
  full.resize(GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
  return full;
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

/// The lines of text (ended by "\n" or "\r\n") without the run's start and
/// end time, which differ between two runs.
std::vector<std::string> LinesWithoutClock(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find("cio do processamento: ") != std::string::npos) continue;
    if (line.starts_with("Fim do processamento: ")) continue;
    lines.push_back(line);
  }
  return lines;
}

/// Runs tarvelo-cli.exe with arguments; its standard output.
std::string RunCommandLine(const std::wstring& arguments, const testing::TempDir& dir) {
  const std::wstring outPath = WindowsPath(dir.File("cli-out.txt"));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(out, INVALID_HANDLE_VALUE);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  std::wstring commandLine = L"\"" + WindowsPath(TARVELO_CLI_PATH) + L"\" " + arguments;
  PROCESS_INFORMATION process{};
  EXPECT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                             &startup, &process));
  WaitForSingleObject(process.hProcess, 120000);
  DWORD status = 99;
  GetExitCodeProcess(process.hProcess, &status);
  EXPECT_EQ(status, 0u);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(out);
  return ReadBytes(outPath);
}

/// What the test's dialogs and shell were asked, and what they answer.
struct Answers {
  std::vector<OPENFILENAMEW*> openStructures;
  std::vector<std::wstring> openStartNames;
  std::vector<std::wstring> openAnswers;  ///< an empty one cancels

  std::vector<std::wstring> saveFilters, saveTitles, saveNames, saveFolders, saveExtensions;
  std::vector<DWORD> saveFlags;
  std::wstring saveAnswer;
  DWORD saveFileType = 1;

  struct Box {
    std::wstring text, title;
    UINT type;
  };
  std::vector<Box> boxes;
  int boxAnswer = IDOK;

  struct Launch {
    HWND owner;
    bool verb, parameters, folder;
    std::wstring file;
    INT show;
  };
  std::vector<Launch> launches;
  INT_PTR launchResult = 42;

  SystemCalls Calls() {
    SystemCalls calls;
    calls.getOpenFileName = [this](OPENFILENAMEW* dialog) {
      openStructures.push_back(dialog);
      openStartNames.push_back(dialog->lpstrFile);
      const std::wstring answer = openAnswers.empty() ? L"" : openAnswers.front();
      if (!openAnswers.empty()) openAnswers.erase(openAnswers.begin());
      if (answer.empty()) return FALSE;
      lstrcpynW(dialog->lpstrFile, answer.c_str(), static_cast<int>(dialog->nMaxFile));
      return TRUE;
    };
    calls.getSaveFileName = [this](OPENFILENAMEW* dialog) {
      const wchar_t* end = dialog->lpstrFilter;
      while (*end) end += wcslen(end) + 1;
      saveFilters.emplace_back(dialog->lpstrFilter, end);
      saveTitles.push_back(dialog->lpstrTitle ? dialog->lpstrTitle : L"(none)");
      saveNames.push_back(dialog->lpstrFile);
      saveFolders.push_back(dialog->lpstrInitialDir ? dialog->lpstrInitialDir : L"(none)");
      saveExtensions.push_back(dialog->lpstrDefExt ? dialog->lpstrDefExt : L"(none)");
      saveFlags.push_back(dialog->Flags);
      lstrcpynW(dialog->lpstrFile, saveAnswer.c_str(), static_cast<int>(dialog->nMaxFile));
      dialog->nFilterIndex = saveFileType;
      return TRUE;
    };
    calls.messageBox = [this](HWND, const wchar_t* text, const wchar_t* title, UINT type) {
      boxes.push_back({text, title, type});
      return boxAnswer;
    };
    calls.shellExecute = [this](HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                                const wchar_t* folder, INT show) {
      launches.push_back({owner, verb != nullptr, parameters != nullptr, folder != nullptr, file, show});
      return reinterpret_cast<HINSTANCE>(launchResult);
    };
    calls.settingsKey = kTestSettingsKey;
    return calls;
  }
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestSettingsKey);
    window_ = std::make_unique<MainWindow>(GetModuleHandleW(nullptr), TARVELO_CATALOGUE_DIR,
                                           SettingsFromProcessEnvironment(), answers_.Calls(), false);
    ShowWindow(Handle(), SW_SHOWNORMAL);
    PumpPending(Handle());
  }
  void TearDown() override {
    window_.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestSettingsKey);
  }

  HWND Handle() const { return window_->Handle(); }
  HWND Control(ControlRole role) const { return GetDlgItem(Handle(), ControlId(role)); }
  void Click(ControlRole role) {
    SendMessageW(Control(role), BM_CLICK, 0, 0);
    PumpPending(Handle());
  }

  Answers answers_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(WindowTest, ControlsAsDesignedAtTheScreensDpiAndFollowTheRightEdge) {
  // The virtual screen is at 96 dpi, where the design's pixels apply as
  // they are; other DPIs scale them (checked below without a screen).
  HDC screen = GetDC(nullptr);
  ASSERT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
  ReleaseDC(nullptr, screen);

  EXPECT_EQ(Text(Handle()), L"ORVAL - Tarvelo - 2023");
  EXPECT_NE(SendMessageW(Handle(), WM_GETICON, ICON_BIG, 0), 0);
  RECT client{};
  GetClientRect(Handle(), &client);
  EXPECT_EQ(client.right, 651);
  EXPECT_EQ(client.bottom, 483);
  RECT outer{};
  GetWindowRect(Handle(), &outer);
  EXPECT_EQ(outer.left, 256);
  EXPECT_EQ(outer.top, 114);

  const struct {
    ControlRole role;
    ControlRect rect;
    const wchar_t* caption;
    const wchar_t* hint;
  } expected[] = {
      {kRisksLabel, {4, 4, 86, 13}, L"Arquivo de Riscos", nullptr},
      {kRisksPath, {4, 19, 445, 21}, L"", L"Local e nome do arquivo de riscos"},
      {kRisksChoice, {455, 19, 22, 22}, L"", L"Defina o arquivo de riscos"},
      {kClaimsLabel, {4, 47, 93, 13}, L"Arquivo de Sinistros", nullptr},
      {kClaimsPath, {4, 62, 445, 21}, L"", L"Local e nome do arquivo de sinistros"},
      {kClaimsChoice, {455, 62, 22, 22}, L"", L"Defina o arquivo de sinistros"},
      {kProgress, {494, 4, 13, 88}, L"", nullptr},
      {kValidate, {526, 4, 90, 25}, L"&Criticar", nullptr},
      {kHelp, {622, 4, 25, 25}, L"", L"Ajuda"},
      {kExport, {526, 35, 121, 25}, L"Exporta Resultado", L"Exporta para TXT"},
      {kClose, {526, 67, 121, 25}, L"&Fechar", L"Sai do programa"},
      {kReport, {4, 99, 642, 380}, L"", L"Resultado do teste"},
  };
  HWND tooltip = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM found) {
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (lstrcmpiW(name, TOOLTIPS_CLASSW) != 0) return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&tooltip));
  ASSERT_NE(tooltip, nullptr);
  EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 8);
  for (const auto& control : expected) {
    SCOPED_TRACE(DesignOf(control.role).designName);
    const ControlRect rect = ClientRect(Control(control.role));
    if (control.role == kRisksLabel || control.role == kClaimsLabel) {
      // A label is at least as large as designed, larger where the font's
      // text is.
      EXPECT_EQ(rect.left, control.rect.left);
      EXPECT_EQ(rect.top, control.rect.top);
      EXPECT_GE(rect.width, control.rect.width);
      EXPECT_GE(rect.height, control.rect.height);
    } else {
      EXPECT_EQ(rect, control.rect);
    }
    EXPECT_EQ(Text(Control(control.role)), control.caption);
    wchar_t hint[128] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(Control(control.role));
    tool.lpszText = hint;
    SendMessageW(tooltip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(hint, control.hint ? control.hint : L"");
  }

  // 8 points at 96 dpi are 11 pixels; the report in Courier New.
  EXPECT_EQ(FontOf(Control(kRisksLabel)).lfHeight, -11);
  EXPECT_EQ(FontOf(Control(kReport)).lfHeight, -11);
  EXPECT_STREQ(FontOf(Control(kReport)).lfFaceName, L"Courier New");
  const LONG logStyle = GetWindowLongW(Control(kReport), GWL_STYLE);
  for (LONG style : {ES_MULTILINE, ES_READONLY, ES_AUTOHSCROLL, WS_HSCROLL, WS_VSCROLL}) {
    EXPECT_EQ(logStyle & style, style) << style;
  }
  EXPECT_GT(SendMessageW(Control(kReport), EM_GETLIMITTEXT, 0, 0), 0x10000000);
  EXPECT_TRUE(GetWindowLongW(Control(kProgress), GWL_STYLE) & PBS_VERTICAL);
  PBRANGE range{};
  SendMessageW(Control(kProgress), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(SendMessageW(Control(kProgress), PBM_GETPOS, 0, 0), 0);

  // Tab order; the progress bar and the file choice buttons take no focus.
  EXPECT_EQ(GetFocus(), Control(kRisksPath));
  HWND control = Control(kRisksPath);
  for (ControlRole role : {kClaimsPath, kValidate, kClose, kReport, kExport, kHelp, kRisksPath}) {
    control = GetNextDlgTabItem(Handle(), control, FALSE);
    EXPECT_EQ(GetDlgCtrlID(control), ControlId(role));
  }
  EXPECT_EQ(SendMessageW(Handle(), DM_GETDEFID, 0, 0), MAKELRESULT(ControlId(kValidate), DC_HASDEFID));

  // The smallest size keeps the design's client area.
  MINMAXINFO limits{};
  SendMessageW(Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.x, outer.right - outer.left);
  EXPECT_EQ(limits.ptMinTrackSize.y, outer.bottom - outer.top);

  // Wider and taller: the four buttons follow the right edge, edLog grows,
  // the rest stays.
  SetWindowPos(Handle(), nullptr, 0, 0, outer.right - outer.left + 100, outer.bottom - outer.top + 50,
               SWP_NOMOVE | SWP_NOZORDER);
  PumpPending(Handle());
  EXPECT_EQ(ClientRect(Control(kValidate)), (ControlRect{626, 4, 90, 25}));
  EXPECT_EQ(ClientRect(Control(kHelp)), (ControlRect{722, 4, 25, 25}));
  EXPECT_EQ(ClientRect(Control(kExport)), (ControlRect{626, 35, 121, 25}));
  EXPECT_EQ(ClientRect(Control(kClose)), (ControlRect{626, 67, 121, 25}));
  EXPECT_EQ(ClientRect(Control(kReport)), (ControlRect{4, 99, 742, 430}));
  EXPECT_EQ(ClientRect(Control(kRisksPath)), (ControlRect{4, 19, 445, 21}));
  EXPECT_EQ(ClientRect(Control(kProgress)), (ControlRect{494, 4, 13, 88}));

  // At 144 dpi (150 %) every design pixel is one and a half.
  EXPECT_EQ(PlaceControl(DesignOf(kReport), 144, 977, 725), (ControlRect{6, 149, 963, 570}));
  EXPECT_EQ(PlaceControl(DesignOf(kValidate), 144, 1077, 725), (ControlRect{889, 6, 135, 38}));
}

// Next year's reference table: the caption names the year its window ends.
TEST(MainWindowCaption, NamesTheYearTheCataloguesWindowEnds) {
  testing::TempDir dir;
  testing::WriteQdp(dir.File("DadosQdp.DBF"), {{"05631", "OUTRA", "1", "1", "1", "1", "20230701", "20240630"}});
  Answers answers;
  MainWindow window(GetModuleHandleW(nullptr), dir.Path(), SettingsFromProcessEnvironment(), answers.Calls(), false);
  EXPECT_EQ(Text(window.Handle()), L"ORVAL - Tarvelo - 2024");
}

TEST_F(WindowTest, FileChoicesShareOneDialogAndDroppedFilesFillTheBoxes) {
  answers_.openAnswers = {L"C:\\dados\\riscos.dbf", L""};
  SetFocus(Control(kClaimsPath));
  Click(kRisksChoice);
  EXPECT_EQ(Text(Control(kRisksPath)), L"C:\\dados\\riscos.dbf");
  EXPECT_EQ(GetFocus(), Control(kClaimsPath));  // the button took no focus
  SetWindowTextW(Control(kClaimsPath), L"antes.dbf");
  Click(kClaimsChoice);  // cancelled
  EXPECT_EQ(Text(Control(kClaimsPath)), L"antes.dbf");
  ASSERT_EQ(answers_.openStructures.size(), 2u);
  EXPECT_EQ(answers_.openStructures[0], answers_.openStructures[1]);
  EXPECT_EQ(answers_.openStartNames[0], L"");
  EXPECT_EQ(answers_.openStartNames[1], L"C:\\dados\\riscos.dbf");
  const OPENFILENAMEW& dialog = *answers_.openStructures[1];
  EXPECT_EQ(dialog.hwndOwner, Handle());
  EXPECT_EQ(dialog.lpstrFilter, nullptr);
  EXPECT_EQ(dialog.lpstrTitle, nullptr);
  EXPECT_EQ(dialog.lpstrDefExt, nullptr);
  EXPECT_EQ(dialog.lpstrInitialDir, nullptr);

  // A file dragged from the shell: a DROPFILES block with its name.
  const std::wstring dropped = L"C:\\dados\\sinistros.dbf";
  const size_t bytes = sizeof(DROPFILES) + (dropped.size() + 2) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GHND, bytes);
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), dropped.c_str(), dropped.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  SendMessageW(Control(kClaimsPath), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  EXPECT_EQ(Text(Control(kClaimsPath)), dropped);
}

TEST_F(WindowTest, EnterValidatesAsTheCommandLineDoesAndExportSavesItsBytes) {
  const testing::TempDir dir;
  const std::wstring risks = WindowsPath(TARVELO_SAMPLES_DIR "/riscos.dbf");
  const std::wstring claims = WindowsPath(TARVELO_SAMPLES_DIR "/sinistros.dbf");
  SendMessageW(Control(kRisksPath), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(risks.c_str()));
  SendMessageW(Control(kClaimsPath), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(claims.c_str()));
  SetFocus(Control(kClaimsPath));
  PostMessageW(Control(kClaimsPath), WM_KEYDOWN, VK_RETURN, 1);
  ASSERT_TRUE(PumpUntil(Handle(), [&] { return window_->RunsFinished() == 1; }));
  EXPECT_TRUE(answers_.boxes.empty());
  EXPECT_EQ(SendMessageW(Control(kProgress), PBM_GETPOS, 0, 0), 90);
  EXPECT_TRUE(IsWindowEnabled(Control(kValidate)));

  const std::wstring cliReport = WindowsPath(dir.File("cli-report.txt"));
  const std::wstring cliDetails = WindowsPath(dir.File("cli-details.csv"));
  const std::string cliOutput =
      RunCommandLine(L"--riscos \"" + risks + L"\" --sinistros \"" + claims + L"\" --catalogo \"" +
                         WindowsPath(TARVELO_CATALOGUE_DIR) + L"\" --exporta \"" + cliReport + L"\" --detalhes \"" +
                         cliDetails + L"\"",
                     dir);
  const std::string shown = Utf8FromWide(Text(Control(kReport)));
  EXPECT_GT(LinesWithoutClock(shown).size(), 20u);
  EXPECT_EQ(LinesWithoutClock(shown), LinesWithoutClock(cliOutput));

  // "Exporta Resultado": a name without extension gets ".txt"; the saved
  // report is opened.
  answers_.saveAnswer = WindowsPath(dir.File("relatorio"));
  Click(kExport);
  ASSERT_EQ(answers_.saveTitles.size(), 1u);
  EXPECT_EQ(answers_.saveTitles[0], L"Exporta resultado Tarvelo");
  EXPECT_EQ(answers_.saveNames[0], L"*.txt");
  // The first export starts in the user's Documents folder.
  PWSTR documents = nullptr;
  ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents)));
  EXPECT_EQ(answers_.saveFolders[0], documents);
  EXPECT_NE(answers_.saveFolders[0], L"c:\\");
  CoTaskMemFree(documents);
  EXPECT_EQ(answers_.saveExtensions[0], L"txt");
  EXPECT_EQ(
      answers_.saveFilters[0],
      std::wstring(L"Resultado (*.txt)\0*.txt\0Detalhes (*.csv)\0*.csv\0P\u00E1gina HTML (*.html)\0*.html\0", 75));
  EXPECT_FALSE(answers_.saveFlags[0] & OFN_OVERWRITEPROMPT);
  ASSERT_EQ(answers_.launches.size(), 1u);
  EXPECT_EQ(answers_.launches[0].file, answers_.saveAnswer + L".txt");
  EXPECT_EQ(answers_.launches[0].owner, Handle());
  EXPECT_FALSE(answers_.launches[0].verb || answers_.launches[0].parameters || answers_.launches[0].folder);
  EXPECT_EQ(answers_.launches[0].show, SW_SHOWNORMAL);
  const std::string saved = ReadBytes(answers_.saveAnswer + L".txt");
  const std::string expected = ReadBytes(cliReport);
  EXPECT_NE(saved.find("\r\n"), std::string::npos);
  EXPECT_EQ(LinesWithoutClock(saved), LinesWithoutClock(expected));
  EXPECT_EQ(saved.size(), expected.size());

  // The detail listing, to a file whose type has no program: the shell's
  // result is told in a plain message box.
  answers_.saveAnswer = WindowsPath(dir.File("detalhes"));
  answers_.saveFileType = 2;
  answers_.launchResult = 31;
  Click(kExport);
  EXPECT_EQ(ReadBytes(answers_.saveAnswer + L".csv"), ReadBytes(cliDetails));
  ASSERT_EQ(answers_.boxes.size(), 1u);
  EXPECT_EQ(answers_.boxes[0].text, L"There is no application associated with the given filename extension.");
  EXPECT_EQ(answers_.boxes[0].title, L"Tarvelo");
  EXPECT_EQ(answers_.boxes[0].type, static_cast<UINT>(MB_OK));

  // A save over the risks file is refused with the error's stop box.
  answers_.saveAnswer = risks;
  answers_.saveFileType = 1;
  Click(kExport);
  ASSERT_EQ(answers_.boxes.size(), 2u);
  EXPECT_EQ(answers_.boxes[1].text, L"Cannot export the report to \"" + risks + L"\": the validation reads that file.");
  EXPECT_EQ(answers_.boxes[1].title, L"Tarvelo");
  EXPECT_EQ(answers_.boxes[1].type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
  EXPECT_EQ(answers_.launches.size(), 2u);

  // Help: the page beside the program, with the shell's "not found".
  answers_.launchResult = 2;
  Click(kHelp);
  ASSERT_EQ(answers_.launches.size(), 3u);
  EXPECT_EQ(answers_.launches[2].file.substr(answers_.launches[2].file.size() - 12), L"Tarvelo.html");
  ASSERT_EQ(answers_.boxes.size(), 3u);
  EXPECT_EQ(answers_.boxes[2].text, L"The specified file was not found.");

  // Over another existing file a question comes first, No the default; No
  // keeps the file. The file of the last export is replaced without one.
  answers_.saveAnswer = cliReport;
  answers_.boxAnswer = IDNO;
  answers_.launchResult = 42;
  Click(kExport);
  ASSERT_EQ(answers_.boxes.size(), 4u);
  EXPECT_EQ(answers_.boxes[3].text, L"\"" + cliReport + L"\" already exists.\nDo you want to replace it?");
  EXPECT_EQ(answers_.boxes[3].type, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
  EXPECT_EQ(ReadBytes(cliReport), expected);
  EXPECT_EQ(answers_.launches.size(), 3u);
  answers_.saveAnswer = WindowsPath(dir.File("detalhes.csv"));
  answers_.saveFileType = 2;
  Click(kExport);
  EXPECT_EQ(answers_.boxes.size(), 4u);
  EXPECT_EQ(answers_.launches.size(), 4u);

  // The third type saves the run as a page, ".html" added to a name
  // without an extension, and opens it.
  answers_.saveAnswer = WindowsPath(dir.File("pagina"));
  answers_.saveFileType = 3;
  Click(kExport);
  EXPECT_EQ(ReadBytes(answers_.saveAnswer + L".html").rfind("<!DOCTYPE html>", 0), 0u);
  ASSERT_EQ(answers_.launches.size(), 5u);
  EXPECT_EQ(answers_.launches[4].file, answers_.saveAnswer + L".html");
}

/// The visible top-level window of a class with a caption, waited for up to
/// a minute; null when none shows.
HWND WaitForWindow(const wchar_t* windowClass, const wchar_t* caption) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    HWND window = FindWindowW(windowClass, caption);
    if (window && IsWindowVisible(window)) return window;
    if (std::chrono::steady_clock::now() > deadline) return nullptr;
    Sleep(100);
  }
}

/// Starts tarvelo.exe with commandLine (the program's quoted path first).
PROCESS_INFORMATION StartTarvelo(std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  EXPECT_TRUE(
      CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  return process;
}

/// Closes the program's window with Alt+F (the dialog manager of its message
/// loop presses "&Fechar") and expects it to end with status 0.
void CloseOnAltF(HWND window, const PROCESS_INFORMATION& process) {
  PostMessageW(GetDlgItem(window, ControlId(kRisksPath)), WM_SYSCHAR, L'f', 1 << 29);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD status = 99;
  GetExitCodeProcess(process.hProcess, &status);
  EXPECT_EQ(status, 0u);
  if (status == STILL_ACTIVE) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

TEST(TarveloExe, OpensItsWindowAndClosesOnAltF) {
  const PROCESS_INFORMATION process = StartTarvelo(L"\"" + WindowsPath(TARVELO_EXE_PATH) + L"\"");
  ASSERT_NE(process.hProcess, nullptr);
  HWND window = WaitForWindow(nullptr, L"ORVAL - Tarvelo - 2023");
  ASSERT_NE(window, nullptr);
  EXPECT_NE(GetDlgItem(window, ControlId(kReport)), nullptr);
  CloseOnAltF(window, process);
}

// Files dropped on the icon or opened with the program: each of the first
// two in the box of its layout, the rest named in a message box.
TEST(TarveloExe, StartsWithItsArgumentsInTheBoxesOfTheirLayout) {
  const std::wstring risks = WindowsPath(TARVELO_SAMPLES_DIR "/riscos.dbf");
  const std::wstring claims = WindowsPath(TARVELO_SAMPLES_DIR "/sinistros.dbf");
  const std::wstring third = WindowsPath(TARVELO_SAMPLES_DIR "/terceiro.dbf");
  std::wstring commandLine = L"\"" + WindowsPath(TARVELO_EXE_PATH) + L"\" --catalogo \"" +
                             WindowsPath(TARVELO_CATALOGUE_DIR) + L"\" \"" + claims + L"\" \"" + risks + L"\" \"" +
                             third + L"\"";
  // In place of the paths the window kept from its last session.
  const wchar_t* key = L"Software\\Tarvelo\\Tarvelo";
  for (const wchar_t* name : {L"riskFile", L"claimFile"}) {
    RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_SZ, L"kept.dbf", sizeof L"kept.dbf");
  }
  const PROCESS_INFORMATION process = StartTarvelo(commandLine);
  ASSERT_NE(process.hProcess, nullptr);
  HWND window = WaitForWindow(nullptr, L"ORVAL - Tarvelo - 2023");
  HWND box = WaitForWindow(L"#32770", L"Tarvelo");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Text(GetDlgItem(window, ControlId(kRisksPath))), risks);
  EXPECT_EQ(Text(GetDlgItem(window, ControlId(kClaimsPath))), claims);
  ASSERT_NE(box, nullptr);
  std::wstring shown;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM text) {
        *reinterpret_cast<std::wstring*>(text) += Text(child) + L"|";
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&shown));
  EXPECT_NE(shown.find(L"Too many files: a risks file and a claims file at most. The first two are in the boxes; "
                       L"left out:\n" +
                       third),
            std::wstring::npos)
      << Utf8FromWide(shown);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  CloseOnAltF(window, process);
  RegDeleteTreeW(HKEY_CURRENT_USER, key);
}

/// The bytes of a resource of an executable; empty when it has none.
std::string ResourceBytes(const std::wstring& program, const wchar_t* type, const wchar_t* name) {
  HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return std::string();
  std::string bytes;
  if (HRSRC found = FindResourceW(module, name, type)) {
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    if (data) bytes.assign(data, SizeofResource(module, found));
  }
  FreeLibrary(module);
  return bytes;
}

std::string Utf16Bytes(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// Both executables: paths over 260 characters without "\\?\" on current
// Windows, and the version facts the file's properties show.
TEST(Executables, CarryAManifestForLongPathsAndTheirVersion) {
  for (const char* program : {TARVELO_EXE_PATH, TARVELO_CLI_PATH}) {
    SCOPED_TRACE(program);
    const std::wstring path = WindowsPath(program);
    const std::string manifest = ResourceBytes(path, RT_MANIFEST, MAKEINTRESOURCEW(1));
    EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true"
                            "</longPathAware>"),
              std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    const std::string version = ResourceBytes(path, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO));
    const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    EXPECT_NE(version.find(Utf16Bytes(L"OriginalFilename")), std::string::npos);
    EXPECT_NE(version.find(Utf16Bytes(name)), std::string::npos);
    EXPECT_NE(version.find(Utf16Bytes(L"ProductVersion")), std::string::npos);
    EXPECT_NE(version.find(Utf16Bytes(WideFromUtf8(TARVELO_VERSION))), std::string::npos);
  }
  // The window's manifest keeps common controls 6 and its DPI awareness.
  const std::string window = ResourceBytes(WindowsPath(TARVELO_EXE_PATH), RT_MANIFEST, MAKEINTRESOURCEW(1));
  EXPECT_NE(window.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(window.find("PerMonitorV2"), std::string::npos);
}

}  // namespace
}  // namespace tarvelo::win32
