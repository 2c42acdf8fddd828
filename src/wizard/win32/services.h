#pragma once
// The Windows implementations of the portable interfaces.
#include <windows.h>

#include <functional>

#include "core/platform.h"
#include "wizard/win32/registry.h"

namespace merva {

// The window message boxes are owned by, once it is on screen.
extern HWND g_ownerWindow;
// Run before any modal box or dialog, so that the window shows the state the program reached.
extern std::function<void()> g_beforeModal;

class Win32Boxes : public IMessageBoxes {
 public:
  void Show(TBoxKind kind, const std::string& text) override;
};

class Win32Process : public IProcess {
 public:
  [[noreturn]] void EndProgram() override;
};

class Win32FolderDialog : public IFolderDialog {
 public:
  bool SelectFolder(const std::string& caption, const std::u16string& root,
                    std::string& folder) override;
};

class Win32Shell : public IShell {
 public:
  void OpenUrl(const std::string& url) override;
};

// Every Windows service of the program, in one place for the window to hand to TForm1.
struct TWin32Services {
  Win32Boxes Boxes;
  Win32Process Process;
  Win32Locale Locale;
  Win32Registry Registry;
  Win32FolderDialog FolderDialog;
  Win32Shell Shell;
};

}  // namespace merva
