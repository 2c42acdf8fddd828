// The registry and the locale of Windows, for the level gate of the installer and of merva-img.
#ifdef _WIN32
#include <windows.h>

#include <memory>
#include <vector>

#include "core/platform.h"
#include "core/wide_text.h"
#include "core/win32_handles.h"

namespace merva {

namespace {

class TWin32Locale : public ILocale {
 public:
  char DecimalSeparator() override {
    char buffer[8] = {};
    if (GetLocaleInfoA(GetThreadLocale(), LOCALE_SDECIMAL, buffer, sizeof buffer) > 1 && buffer[0])
      return buffer[0];
    return '.';
  }
};

class TWin32Key : public IRegistryKey {
 public:
  explicit TWin32Key(HKEY key) : key_(key) {}
  bool ValueExists(const std::string& name) override {
    return RegQueryValueExW(key_.Get(), Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
  }
  bool ReadValue(const std::string& name, TValueType& type, std::vector<uint8_t>& data) override {
    DWORD kind = 0, size = 0;
    const std::wstring wide = Wide(name);
    if (RegQueryValueExW(key_.Get(), wide.c_str(), nullptr, &kind, nullptr, &size) != ERROR_SUCCESS)
      return false;
    data.resize(size);
    if (RegQueryValueExW(key_.Get(), wide.c_str(), nullptr, &kind, data.data(), &size) !=
        ERROR_SUCCESS)
      return false;
    data.resize(size);
    type = kind == REG_BINARY ? TValueType::kBinary : TValueType::kOther;
    return true;
  }
  bool WriteBinary(const std::string& name, const std::vector<uint8_t>& data) override {
    return RegSetValueExW(key_.Get(), Wide(name).c_str(), 0, REG_BINARY, data.data(),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  }
  bool DeleteValue(const std::string& name) override {
    const LSTATUS status = RegDeleteValueW(key_.Get(), Wide(name).c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  }

 private:
  TKeyHolder key_;
};

class TWin32Registry : public IRegistry {
 public:
  std::unique_ptr<IRegistryKey> CreateKeyFullAccess(const std::string& path) override {
    HKEY key = nullptr;
    // Full access (0xF003F) in the 32-bit view, where the game keeps its key on 64-bit Windows.
    const LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) return nullptr;
    return std::make_unique<TWin32Key>(key);
  }
};

// The entries live under the current user's uninstall key: a player's restore points are
// their own, and no administrator is needed to list or remove them.
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

class TWin32InstalledApps : public IInstalledApps {
 public:
  bool Write(const std::string& key, const std::vector<TAppValue>& values) override {
    TKeyHolder entry;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, EntryPath(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, entry.Receive(), nullptr) != ERROR_SUCCESS)
      return false;
    bool ok = true;
    for (const TAppValue& value : values) {
      const std::wstring name = Wide(value.Name);
      if (value.IsNumber) {
        const DWORD number = value.Number;
        ok &=
            RegSetValueExW(entry.Get(), name.c_str(), 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&number), sizeof number) == ERROR_SUCCESS;
      } else {
        const std::wstring text = Wide(value.Text);
        ok &= RegSetValueExW(
                  entry.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
      }
    }
    return ok;
  }
  bool Remove(const std::string& key) override {
    const LSTATUS status = RegDeleteKeyW(HKEY_CURRENT_USER, EntryPath(key).c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  }
  std::vector<std::string> Keys() override {
    std::vector<std::string> keys;
    TKeyHolder list;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, list.Receive()) !=
        ERROR_SUCCESS)
      return keys;
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD length = 256;
      if (RegEnumKeyExW(list.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS)
        break;
      keys.push_back(Utf8FromWide(std::wstring(name, length)));
    }
    return keys;
  }
  std::string ReadText(const std::string& key, const std::string& name) override {
    wchar_t text[32768];
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_CURRENT_USER, EntryPath(key).c_str(), Wide(name).c_str(), RRF_RT_REG_SZ,
                     nullptr, text, &size) != ERROR_SUCCESS)
      return "";
    return Utf8FromWide(text);
  }

 private:
  static std::wstring EntryPath(const std::string& key) {
    return std::wstring(kUninstallKey) + L"\\" + Wide(key);
  }
};

}  // namespace

IRegistry* SystemRegistry() {
  static TWin32Registry registry;
  return &registry;
}

IInstalledApps* SystemInstalledApps() {
  static TWin32InstalledApps apps;
  return &apps;
}

ILocale& SystemLocale() {
  static TWin32Locale locale;
  return locale;
}

}  // namespace merva
#else
#include "core/platform.h"

namespace merva {

namespace {
class TPointLocale : public ILocale {
 public:
  char DecimalSeparator() override { return '.'; }
};
}  // namespace

// The installed level lives in the Windows registry; elsewhere there is none to read.
IRegistry* SystemRegistry() {
  return nullptr;
}

// Nor is there a list of installed programs to put a mod in.
IInstalledApps* SystemInstalledApps() {
  return nullptr;
}

ILocale& SystemLocale() {
  static TPointLocale locale;
  return locale;
}

}  // namespace merva
#endif
