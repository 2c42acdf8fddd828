#include "change/level_value.h"

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

TLevelCheck CheckLevelRecorded(const std::string& level, TLevelGateServices services,
                               TLevelRecord& record) {
  // The one level the gate takes without the registry.
  const bool reads = level != "0";
  if (reads) record.Before = ReadLevelValue(services.Registry);
  const TLevelCheck check = CheckInstalledLevel(level, services);
  if (reads) record.After = ReadLevelValue(services.Registry);
  record.Checked = reads;
  return check;
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
