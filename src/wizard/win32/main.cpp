// The program entry: the window, the creation handler, the message loop.
#include <windows.h>
// Needs the types of windows.h.
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "core/wide_text.h"
#include "wizard/win32/main_window.h"
#include "wizard/win32/services.h"

namespace {

// "/undo [GAME_FOLDER]" on the command line: true, with the folder (empty when not given).
bool UndoRequested(std::string& gameFolder) {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args) return false;
  const bool undo = count >= 2 && _wcsicmp(args[1], L"/undo") == 0;
  if (undo && count >= 3) {
    gameFolder = merva::Utf8FromWide(args[2]);
  }
  LocalFree(args);
  return undo;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  CoInitialize(nullptr);  // the shell's folder dialog needs COM

  static merva::TWin32Services services;
  static merva::TMainWindow window(instance, services);
  std::string undoFolder;
  if (UndoRequested(undoFolder)) {
    // The window shows the progress bar while the installation is taken back.
    ShowWindow(window.Handle(), SW_SHOWNORMAL);
    window.Run([&] { window.Form().UndoCreate(undoFolder); });
  } else {
    // An error in the creation handler is reported and the window is still shown.
    window.Dispatch(&merva::TForm1::FormCreate);
    if (IsWindow(window.Handle())) ShowWindow(window.Handle(), SW_SHOWNORMAL);
  }

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(window.Handle(), &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  CoUninitialize();
  return 0;
}
