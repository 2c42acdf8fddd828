#pragma once
// The installed level's registry value as a restore point keeps it: read before and after the
// level check, and put back when the installation is taken back.
#include "change/changes.h"
#include "core/platform.h"
#include "script/level_gate.h"

namespace merva {

// The value now; absent when the key cannot be opened.
TLevelValue ReadLevelValue(IRegistry& registry);
// The level gate for `level`, with the value read before and after it into `record`, so that
// the restore point can put it back. Level "0" is taken without the registry and leaves the
// record unchecked.
TLevelCheck CheckLevelRecorded(const std::string& level, TLevelGateServices services,
                               TLevelRecord& record);
// Puts `before` back when the installation changed the value and it is still as the
// installation left it (`after`); true when the value is as before on return.
bool RestoreLevelValue(IRegistry& registry, const TLevelRecord& level);

}  // namespace merva
