#pragma once
// The Windows implementations of the portable interfaces.
#include <windows.h>

#include <functional>

#include "core/platform.h"
#include "wizard/wizard_services.h"

namespace merva {

// What a modal box or dialog belongs to: the window, once it is on screen, and what to run
// before the box shows, so that the window shows the state the program reached.
struct TModalOwner {
  HWND Window = nullptr;
  std::function<void()> Sync;
  void BeforeModal() const {
    if (Sync) Sync();
  }
};

class TWin32Boxes : public IMessageBoxes {
 public:
  explicit TWin32Boxes(const TModalOwner& owner) : owner_(owner) {}
  void Show(TBoxKind kind, const std::string& text) override;
  bool Ask(const std::string& text, TAnswer answer) override;

 private:
  const TModalOwner& owner_;
};

class TWin32Process : public IProcess {
 public:
  [[noreturn]] void EndProgram() override;
};

class TWin32FolderDialog : public IFolderDialog {
 public:
  explicit TWin32FolderDialog(const TModalOwner& owner) : owner_(owner) {}
  bool SelectFolder(const std::string& caption, const std::u16string& root,
                    std::string& folder) override;

 private:
  const TModalOwner& owner_;
};

class TWin32Shell : public IShell {
 public:
  explicit TWin32Shell(const TModalOwner& owner) : owner_(owner) {}
  void OpenUrl(const std::string& url) override;

 private:
  const TModalOwner& owner_;
};

// The path of this merva.exe, as the system started it.
std::string ProgramPath();

// Every Windows service of the program, in one place for the window to hand to TForm1.
struct TWin32Services {
  TModalOwner Owner;  // set by the window once it exists
  TWin32Boxes Boxes{Owner};
  TWin32Process Process;
  ILocale& Locale = SystemLocale();
  IRegistry& Registry = *SystemRegistry();
  TWin32FolderDialog FolderDialog{Owner};
  TWin32Shell Shell{Owner};
};

}  // namespace merva
