// The program entry: the window, the creation handler, the message loop.
#include <windows.h>
// Needs the types of windows.h.
#include <commctrl.h>
#include <objbase.h>

#include "wizard/win32/main_window.h"
#include "wizard/win32/services.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  CoInitialize(nullptr);  // the shell's folder dialog needs COM

  static merva::TWin32Services services;
  static merva::TMainWindow window(instance, services);
  // An error in the creation handler is reported and the window is still shown.
  window.Dispatch(&merva::TForm1::FormCreate);
  if (IsWindow(window.Handle())) ShowWindow(window.Handle(), SW_SHOWNORMAL);

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
