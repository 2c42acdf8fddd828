#pragma once
// A limit adjuster in the game folder, and the limits its own ini says it raised. Only Open
// Limit Adjuster is read, by its documented ini ([SALIMITS], "KEY = NUMBER" or "unlimited";
// a line started by ";" or "#" is off): a limit counts as raised only where that ini raises it,
// and only when its plugin lies beside it.
#include <cstdint>
#include <map>
#include <string>

#include "core/file_system.h"

namespace merva {

constexpr int64_t kNoLimit = -1;

struct TAdjustedLimits {
  std::string Ini;                        // below the game folder; empty when there is none
  std::map<std::string, int64_t> Limits;  // by key as the ini spells it, lower case: kNoLimit
};

// The [SALIMITS] section of an ini's bytes.
std::map<std::string, int64_t> AdjusterLimitsOf(const std::string& ini);

// The adjuster in `gameFolder` (or its scripts folder), read; none found gives no limits.
TAdjustedLimits ReadLimitAdjuster(IFileSystem& fs, const std::string& gameFolder);

}  // namespace merva
