#pragma once
// The game's text data files whose lines a mod may merge in by key, and the rule of each: which
// files it covers, what starts a comment, what separates fields. A line's key, its section and
// where a new line goes are read by data_lines.h from these rules; docs/formats.md gives the
// table with its sources.
#include <cstddef>
#include <cstdint>
#include <string>

namespace merva {

enum class TDataKind : uint8_t {
  kHandling,       // data\handling.cfg
  kIde,            // *.ide
  kCarcols,        // data\carcols.dat
  kCarmods,        // data\carmods.dat
  kWeapon,         // data\weapon.dat
  kObject,         // data\object.dat
  kGtaDat,         // data\gta.dat
  kAudioSettings,  // data\gtasa_vehicleAudioSettings.cfg (a limit adjuster's)
  kIpl,            // *.ipl, the text files that place things on the map
};

struct TDataRule {
  TDataKind Kind;
  const char* FileName;    // the file's name; "*.ide" for every IDE file
  const char* Comment;     // the characters that start a comment line
  const char* Separators;  // between fields
  // The line the game stops reading at (compared without case, trimmed); empty when the game
  // reads to the end of the file.
  const char* LastLine;
};

extern const TDataRule kDataRules[9];

// A gun's line of weapon.dat ("$ PISTOL instant 35 35 346 -1 2 colt45 17 25 0.25 0.05 0.09 0 ...")
// names its skill level in this field, counted from the "$" as 0: after the fire offset's three.
constexpr size_t kGunSkillField = 14;

// True for the kinds whose sections are named on a line of their own and closed by "end".
bool HasNamedSections(TDataKind kind);

// The rule of the data file `item` (relative to the game folder, any letter case), or null: a
// file whose lines have no key, to be replaced whole as a game file.
const TDataRule* DataRuleOf(const std::string& item);

}  // namespace merva
