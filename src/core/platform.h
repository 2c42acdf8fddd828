#pragma once
// The small interfaces through which the portable code reaches the machine beyond its files:
// the registry and the locale. The Windows program puts the real ones in place; native tests
// put fakes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace merva {

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

// One value of an entry in the list of installed programs: a text, or a number.
struct TAppValue {
  std::string Name;
  std::string Text;
  uint32_t Number = 0;
  bool IsNumber = false;
};

// The current user's list of installed programs, which Settings > Apps and Programs and
// Features show (the uninstall key): each entry a key of values.
class IInstalledApps {
 public:
  virtual ~IInstalledApps() = default;
  // Creates or opens the entry `key` and writes its values; false when refused.
  virtual bool Write(const std::string& key, const std::vector<TAppValue>& values) = 0;
  // Removes the entry; one that is absent is no failure.
  virtual bool Remove(const std::string& key) = 0;
  // The names of every entry in the list.
  virtual std::vector<std::string> Keys() = 0;
  // A text value of an entry; empty when there is none.
  virtual std::string ReadText(const std::string& key, const std::string& name) = 0;
};

// The registry of the machine the program runs on; null where the system has none.
IRegistry* SystemRegistry();
// The current user's list of installed programs; null where the system has none.
IInstalledApps* SystemInstalledApps();
// The locale of the running thread.
ILocale& SystemLocale();

}  // namespace merva
