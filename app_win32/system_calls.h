#pragma once

#include <windows.h>
// windows.h first.
#include <commdlg.h>
#include <shellapi.h>

#include <functional>
#include <string>

namespace tarvelo::win32 {

/// The calls through which the window meets the user outside its own
/// controls: the common file dialogs, the message box and the shell's open
/// call. They are the system's own unless a test puts its answers in their
/// place; the window never calls them directly.
struct SystemCalls {
  std::function<BOOL(OPENFILENAMEW*)> getOpenFileName = ::GetOpenFileNameW;
  std::function<BOOL(OPENFILENAMEW*)> getSaveFileName = ::GetSaveFileNameW;
  std::function<int(HWND, const wchar_t*, const wchar_t*, UINT)> messageBox = ::MessageBoxW;
  std::function<HINSTANCE(HWND, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, INT)> shellExecute =
      ::ShellExecuteW;
  /// The key under HKEY_CURRENT_USER where the window keeps the user's
  /// last paths and its place between sessions.
  std::wstring settingsKey = L"Software\\Tarvelo\\Tarvelo";
};

}  // namespace tarvelo::win32
