#pragma once
// What the wizard reaches the user through: boxes, the window's message queue, the end of the
// program, the folder dialog and the shell. The Windows layer puts the real ones in place;
// native tests put fakes.
#include <cstdint>
#include <string>

namespace merva {

enum class TBoxKind {
  kPlain,        // the application title as caption, no icon, one OK button
  kErrorBox,     // caption "Error", the error icon, one OK button
  kErrorReport,  // the framework's report of an error: application title, error icon
};

enum class TAnswer : uint8_t { kYes, kNo };

class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  // Shows a modal box with a UTF-8 text and returns when it is dismissed.
  virtual void Show(TBoxKind kind, const std::string& text) = 0;
  // Asks a question in a box with Yes and No (application title, question icon); true for Yes.
  // `answer` is the button Enter presses: No for a question whose Yes may harm the game.
  virtual bool Ask(const std::string& text, TAnswer answer) = 0;
};

class IProcess {
 public:
  virtual ~IProcess() = default;
  // Ends the program at once with exit code 0; never returns.
  [[noreturn]] virtual void EndProgram() = 0;
};

class IMessagePump {
 public:
  virtual ~IMessagePump() = default;
  // Handles the window messages waiting in the queue, then returns.
  virtual void ProcessMessages() = 0;
};

class IFolderDialog {
 public:
  virtual ~IFolderDialog() = default;
  // The shell's folder dialog: true with the chosen folder in `folder`.
  virtual bool SelectFolder(const std::string& caption, const std::u16string& root,
                            std::string& folder) = 0;
};

class IShell {
 public:
  virtual ~IShell() = default;
  // Opens a web address in the default browser; failures are not reported.
  virtual void OpenUrl(const std::string& url) = 0;
};

}  // namespace merva
