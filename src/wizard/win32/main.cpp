// The program entry: the command line, the window, the creation handler, the message loop.
#include <windows.h>
// Needs the types of windows.h.
#include <commctrl.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "core/file_system.h"
#include "core/wide_text.h"
#include "operations/exit_codes.h"
#include "wizard/command_line.h"
#include "wizard/run_log.h"
#include "wizard/win32/main_window.h"
#include "wizard/win32/services.h"

namespace {

// The words after the program's name, as UTF-8.
std::vector<std::string> CommandLineWords() {
  return merva::SplitCommandLine(merva::Utf8FromWide(GetCommandLineW()));
}

// A line on standard error, for a batch file's console or the file it is redirected into: in
// the console's own characters, else in UTF-8. A program started from Explorer has none.
void TellOnStandardError(const std::string& text) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    error = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                        nullptr);
    if (error == INVALID_HANDLE_VALUE) return;
  }
  DWORD done = 0;
  if (GetFileType(error) == FILE_TYPE_CHAR) {
    const std::wstring wide = merva::Wide("merva.exe: " + text + "\r\n");
    if (WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr)) return;
  }
  const std::string line = "merva.exe: " + text + "\r\n";
  WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &done, nullptr);
}

// A wrong command line: told in a box when the pages were asked for, else only in the log.
int WrongCommandLine(const merva::TCommandLine& line, merva::TWin32Services& services) {
  const std::string text = line.Error + "\n\n" + merva::kCommandLineUsage;
  if (line.Mode == merva::TRunMode::kPages) {
    services.Boxes.Show(merva::TBoxKind::kErrorBox, text);
  } else {
    try {
      merva::TRunLog log(merva::SystemFileSystem(), line.Log);
      log.Line("Error: " + text);
    } catch (const merva::Exception&) {
    }
  }
  return merva::kExitUsage;
}

// An unattended run: the window with its progress bar for /silent, none for /verysilent.
int RunUnattended(const merva::TCommandLine& line, merva::TMainWindow& window) {
  int code = merva::kExitFailed;
  try {
    merva::TRunLog log(merva::SystemFileSystem(), line.Log);
    if (line.Mode == merva::TRunMode::kSilent) ShowWindow(window.Handle(), SW_SHOWNORMAL);
    window.Run([&] {
      code =
          line.Undo ? window.Form().SilentUndo(line, log) : window.Form().SilentInstall(line, log);
    });
  } catch (const std::exception&) {
    // The log itself could not be opened: nothing was done.
  }
  if (IsWindow(window.Handle())) DestroyWindow(window.Handle());
  return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  CoInitialize(nullptr);  // the shell's folder dialog needs COM

  static merva::TWin32Services services;
  const merva::TCommandLine line = merva::ReadCommandLine(CommandLineWords());
  static merva::TMainWindow window(instance, services);
  // Checked before anything is written, the log itself included.
  const std::string logFault = window.Form().LogTargetFault(line);
  if (!logFault.empty()) {
    TellOnStandardError(logFault);
    return merva::kExitUsage;
  }
  if (!line.Error.empty()) return WrongCommandLine(line, services);
  if (line.Mode != merva::TRunMode::kPages) {
    const int code = RunUnattended(line, window);
    CoUninitialize();
    return code;
  }
  if (line.Undo) {
    // The window shows the progress bar while the installation is taken back.
    ShowWindow(window.Handle(), SW_SHOWNORMAL);
    window.Run([&] { window.Form().UndoCreate(line.GameFolder, line.Point); });
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
