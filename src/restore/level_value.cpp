#include "restore/level_value.h"

#include "script/level_gate.h"

namespace merva {

TLevelValue ReadLevelValue(IRegistry& registry) {
  TLevelValue value;
  std::unique_ptr<IRegistryKey> key = registry.CreateKeyFullAccess(kInstallationKey);
  TValueType type;
  if (key && key->ValueExists(kLevelValueName) &&
      key->ReadValue(kLevelValueName, type, value.Bytes))
    value.Present = true;
  else
    value.Bytes.clear();
  return value;
}

bool RestoreLevelValue(IRegistry& registry, const TLevelRecord& level) {
  if (!level.Checked || level.Before == level.After) return true;
  if (!(ReadLevelValue(registry) == level.After)) return false;  // changed since: left alone
  std::unique_ptr<IRegistryKey> key = registry.CreateKeyFullAccess(kInstallationKey);
  if (!key) return false;
  return level.Before.Present ? key->WriteBinary(kLevelValueName, level.Before.Bytes)
                              : key->DeleteValue(kLevelValueName);
}

}  // namespace merva
