#include "data/data_rules.h"

#include "core/text.h"
#include "core/windows_names.h"

namespace merva {

// IDE, carcols and carmods lines may separate their fields by commas, as the game reads a comma
// as a space there; the others by spaces and tabs alone.
const TDataRule kDataRules[9] = {
    {TDataKind::kHandling, "handling.cfg", ";", " \t", ";the end"},
    {TDataKind::kIde, "*.ide", "#", " \t,", ""},
    {TDataKind::kCarcols, "carcols.dat", "#", " \t,", ""},
    {TDataKind::kCarmods, "carmods.dat", "#", " \t,", ""},
    {TDataKind::kWeapon, "weapon.dat", "#", " \t", "ENDWEAPONDATA"},
    {TDataKind::kObject, "object.dat", ";", " \t,", "*"},
    {TDataKind::kGtaDat, "gta.dat", "#", " \t", ""},
    {TDataKind::kAudioSettings, "gtasa_vehicleAudioSettings.cfg", ";#", " \t", ";the end"},
    {TDataKind::kIpl, "*.ipl", "#", " \t,", ""},
};

bool HasNamedSections(TDataKind kind) {
  return kind == TDataKind::kIde || kind == TDataKind::kCarcols || kind == TDataKind::kCarmods ||
         kind == TDataKind::kIpl;
}

const TDataRule* DataRuleOf(const std::string& item) {
  // As Windows reads the name: "handling.cfg." and "HANDLING.CFG" are handling.cfg.
  const std::string name = WindowsNameKey(ExtractFileNamePart(item));
  for (const TDataRule& rule : kDataRules) {
    const std::string ruleName = WindowsNameKey(rule.FileName);
    if (ruleName == name) return &rule;
    if (ruleName[0] == '*' && name.size() > ruleName.size() - 1 &&
        EndsWith(name, ruleName.substr(1)))
      return &rule;
  }
  return nullptr;
}

}  // namespace merva
