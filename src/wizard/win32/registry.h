#pragma once
// The registry and the locale of Windows, for the level gate of the installer and of merva-img.
#include <windows.h>

#include "core/platform.h"

namespace merva {

class Win32Locale : public ILocale {
 public:
  char DecimalSeparator() override;
};

class Win32Registry : public IRegistry {
 public:
  std::unique_ptr<IRegistryKey> CreateKeyFullAccess(const std::string& path) override;
};

}  // namespace merva
