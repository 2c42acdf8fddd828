#pragma once
// The installed-level gate: the script's level against the level the machine keeps under the
// game's own registry key.
#include <cstdint>
#include <string>

#include "core/errors.h"
#include "core/platform.h"

namespace merva {

extern const char kInstallationKey[];  // under HKEY_LOCAL_MACHINE
extern const char kLevelValueName[];   // "ProductID"

struct TLevelGateServices {
  IRegistry& Registry;
  ILocale& Locale;
};

enum class TLevelCheck { kAccepted, kRefused };

// Replaces the first "," or "." by the locale's separator, the way mod authors' levels have
// always been read: a text without either gets the separator in front, so "1" reads as 0.1.
std::string NormaliseLevelSeparator(const std::string& level, char separator);

// The framework's text-to-number conversion with the locale's separator; raises EConvertError
// "'%s' is not a valid floating point value".
double LevelTextToFloat(const std::string& text, char separator);

// The number a level text stands for, read as the gate reads it: the separator normalised, then
// converted; raises EConvertError for a text that is no number.
double LevelNumber(const std::string& level, char separator);

// Accepts the level (recording level 1 on a first installation) or refuses it. A damaged level
// or a key that cannot be opened with full access raises ENotice of kind kEndProgram; a level
// that is no number raises EConvertError.
TLevelCheck CheckInstalledLevel(const std::string& level, TLevelGateServices services);

}  // namespace merva
