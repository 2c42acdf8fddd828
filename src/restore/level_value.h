#pragma once
// The installed level's registry value as a restore point keeps it: read before and after the
// level check, and put back when the installation is taken back.
#include "core/platform.h"
#include "restore/restore_point.h"

namespace merva {

// The value now; absent when the key cannot be opened.
TLevelValue ReadLevelValue(IRegistry& registry);
// Puts `before` back when the installation changed the value and it is still as the
// installation left it (`after`); true when the value is as before on return.
bool RestoreLevelValue(IRegistry& registry, const TLevelRecord& level);

}  // namespace merva
