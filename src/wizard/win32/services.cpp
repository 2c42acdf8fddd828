#include "wizard/win32/services.h"

#include <commdlg.h>
#include <shellapi.h>

#include <vector>

#include "resources/layout.h"
#include "wizard/win32/wide.h"

namespace merva {

HWND g_ownerWindow = nullptr;
std::function<void()> g_beforeModal;

void Win32Boxes::Show(TBoxKind kind, const std::string& text) {
  if (g_beforeModal) g_beforeModal();
  const HWND owner = g_ownerWindow && IsWindowVisible(g_ownerWindow) ? g_ownerWindow : nullptr;
  const std::wstring caption = kind == TBoxKind::kErrorBox ? L"Error" : Wide(kApplicationTitle);
  const UINT icon = kind == TBoxKind::kPlain ? 0 : MB_ICONERROR;
  MessageBoxW(owner, Wide(text).c_str(), caption.c_str(), MB_OK | icon | MB_TASKMODAL);
}

void Win32Process::EndProgram() {
  ExitProcess(0);
}

char Win32Locale::DecimalSeparator() {
  char buffer[8] = {};
  if (GetLocaleInfoA(GetThreadLocale(), LOCALE_SDECIMAL, buffer, sizeof buffer) > 1 && buffer[0])
    return buffer[0];
  return '.';
}

namespace {

class Win32Key : public IRegistryKey {
 public:
  explicit Win32Key(HKEY key) : key_(key) {}
  ~Win32Key() override { RegCloseKey(key_); }
  bool ValueExists(const std::string& name) override {
    return RegQueryValueExW(key_, Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
  }
  bool ReadValue(const std::string& name, TValueType& type, std::vector<uint8_t>& data) override {
    DWORD kind = 0, size = 0;
    const std::wstring wide = Wide(name);
    if (RegQueryValueExW(key_, wide.c_str(), nullptr, &kind, nullptr, &size) != ERROR_SUCCESS)
      return false;
    data.resize(size);
    if (RegQueryValueExW(key_, wide.c_str(), nullptr, &kind, data.data(), &size) != ERROR_SUCCESS)
      return false;
    data.resize(size);
    type = kind == REG_BINARY ? TValueType::kBinary : TValueType::kOther;
    return true;
  }
  bool WriteBinary(const std::string& name, const std::vector<uint8_t>& data) override {
    return RegSetValueExW(key_, Wide(name).c_str(), 0, REG_BINARY, data.data(),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  }

 private:
  HKEY key_;
};

}  // namespace

std::unique_ptr<IRegistryKey> Win32Registry::CreateKeyFullAccess(const std::string& path) {
  HKEY key = nullptr;
  // Full access (0xF003F) in the 32-bit view, where the game keeps its key on 64-bit Windows.
  const LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, nullptr, 0,
                                      KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return nullptr;
  return std::make_unique<Win32Key>(key);
}

bool Win32OpenDialog::Execute(std::string& path) {
  if (g_beforeModal) g_beforeModal();
  wchar_t buffer[MAX_PATH] = {};
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = g_ownerWindow;
  dialog.lpstrFilter = L"All files\0*.*\0";
  dialog.lpstrFile = buffer;
  dialog.nMaxFile = MAX_PATH;
  if (!GetOpenFileNameW(&dialog)) return false;
  path = Narrow(buffer);
  return true;
}

void Win32Shell::OpenUrl(const std::string& url) {
  ShellExecuteA(g_ownerWindow, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace merva
