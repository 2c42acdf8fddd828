#pragma once
// The small interfaces through which the portable code reaches the user and the machine.
// The Windows program puts the real ones in place; native tests put fakes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace merva {

enum class TBoxKind {
  kPlain,        // the application title as caption, no icon, one OK button
  kErrorBox,     // caption "Error", the error icon, one OK button
  kErrorReport,  // the framework's report of an error: application title, error icon
};

class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  // Shows a modal box with a UTF-8 text and returns when it is dismissed.
  virtual void Show(TBoxKind kind, const std::string& text) = 0;
  // Asks a question in a box with Yes and No (application title, question icon); true for Yes.
  virtual bool Ask(const std::string& text) = 0;
};

class IProcess {
 public:
  virtual ~IProcess() = default;
  // Ends the program at once with exit code 0; never returns.
  [[noreturn]] virtual void EndProgram() = 0;
};

class ILocale {
 public:
  virtual ~ILocale() = default;
  // The decimal separator of the running thread's locale; '.' when the locale gives none.
  virtual char DecimalSeparator() = 0;
};

enum class TValueType { kBinary, kOther };

class IRegistryKey {
 public:
  virtual ~IRegistryKey() = default;  // closes the key
  // False when the value is absent.
  virtual bool ValueExists(const std::string& name) = 0;
  // False when the value cannot be read.
  virtual bool ReadValue(const std::string& name, TValueType& type, std::vector<uint8_t>& data) = 0;
  virtual bool WriteBinary(const std::string& name, const std::vector<uint8_t>& data) = 0;
  // False when the value could not be deleted (an absent value is no failure).
  virtual bool DeleteValue(const std::string& name) = 0;
};

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // Creates or opens a key under HKEY_LOCAL_MACHINE with full access; null when refused.
  virtual std::unique_ptr<IRegistryKey> CreateKeyFullAccess(const std::string& path) = 0;
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

// The registry of the machine the program runs on; null where the system has none.
IRegistry* SystemRegistry();
// The locale of the running thread.
ILocale& SystemLocale();

}  // namespace merva
