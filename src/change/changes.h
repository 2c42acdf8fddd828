#pragma once
// What one installation changed, as values: its header (the mod, the time, the game folder, the
// level before and after) and a list of changes, one for each thing it changed: each of the
// game's archives (TArchiveChange, models\gta3.img first, none special) and the game files
// with the folders made for them. Every version of an item a change replaced knows whose it
// was (kTakenFrom...), so that the undo's one rule (change/point_chain.h) never drops a version
// that no installation wrote. The restore point on disk (points/) records these values.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "core/errors.h"
#include "game/game_folder.h"

namespace merva {

// Where a point keeps what a change replaced, as the change names it: the old entries of an
// archive in one archive of the game's own format, in the order of the change's Replaced
// (points of the first layouts kept one file per entry, archive\NAME), and a replaced game file
// below "game\" as it lay below the game folder.
extern const char kKeptArchiveName[];  // "archive.img"
extern const char kKeptGameFolder[];   // "game\\"
// Where a point keeps the old version of the replaced game file `item` (relative to the game
// folder), relative to the point's folder: "game\ITEM".
std::string KeptGameFileName(const std::string& item);

// The refusal of a point whose record or kept files are not as they should be.
Exception Damaged(const std::string& pointFolder, const std::string& what);

// The installed level's registry value: absent, or its bytes.
struct TLevelValue {
  bool Present = false;
  std::vector<uint8_t> Bytes;
  bool operator==(const TLevelValue& other) const {
    return Present == other.Present && Bytes == other.Bytes;
  }
};

struct TLevelRecord {
  bool Checked = false;  // false when the level check did not read the registry
  TLevelValue Before, After;
};

// Whom an entry or a game file belonged to when an installation replaced it: "game" (no
// installation of Merva wrote it), "changed" (changed since by another program), "point:NAME"
// (the installation of that restore point), or empty in points of earlier layouts.
extern const char kTakenFromGame[];     // "game"
extern const char kTakenFromChanged[];  // "changed"
extern const char kTakenFromPoint[];    // "point:"
// The point a "taken from" names; empty for any other form.
std::string TakenFromPointName(const std::string& takenFrom);

// An archive entry whose data the installation replaced.
struct TKeptEntry {
  int32_t Index = 0;    // in the directory before the installation
  TArchiveEntry Old{};  // its directory entry then, name bytes and all
  int32_t NewSize = 0;  // sectors
  std::string Kept;     // kKeptArchiveName, or in older points its own file (archive\NAME)
  // The fingerprint of the sectors the installation wrote (core/fingerprint.h), so that a
  // change since is known; empty in points of earlier layouts.
  std::string NewFingerprint;
  std::string TakenFrom;  // whom the entry belonged to then (kTakenFromGame...)
};

struct TAddedEntry {
  std::string Name;
  int32_t Size = 0;            // sectors
  std::string NewFingerprint;  // as TKeptEntry's
};

// Entries that kept their order: [Old, Old + Count) of the old directory are now
// [New, New + Count).
struct TOrderRun {
  int32_t Old = 0, New = 0, Count = 0;
};

// What an installation changed in one of the game's archives: a value of its own, so that every
// archive, models\gta3.img or another, is taken back by one rule.
struct TArchiveChange {
  std::string Archive = kArchiveInGame;  // below the game folder
  // The archive's kind as the installation read it, which its kept archive is written in.
  TArchiveKind Kind = TArchiveKind::kVer2;
  int32_t OldCount = 0, OldFirstSector = 0;
  int64_t OldArchiveBytes = 0;
  std::vector<TOrderRun> Order;
  std::vector<TKeptEntry> Replaced;
  std::vector<TAddedEntry> Added;
  int64_t NewArchiveBytes = 0;
  // XXH3-128 (32 hex digits; core/fingerprint.h), or SHA-256 (64) in points of earlier layouts.
  std::string NewArchiveFingerprint;
  int64_t KeptBytes = 0;  // what its kept archive costs on disk (and, for the first, the game
                          // files' old versions)
  // The fingerprint of its kept archive as written (XXH3-128), so that one swapped or changed
  // since is known; empty in points of earlier layouts.
  std::string KeptArchiveFingerprint;
};

// One point's change of one archive, with what its undo names and reads: a link of that
// archive's chain of points, oldest first.
struct TArchiveLink {
  std::string Point;       // the point's folder name, which refusals name
  std::string KeptFolder;  // where the point keeps this archive's old entries
  TArchiveChange Change;
};

struct TGameFileChange {
  std::string Item;  // relative to the game folder
  bool Replaced = false;
  int64_t OldBytes = 0, NewBytes = 0;
  std::string Kept;  // for a replaced file: its old bytes, relative to the restore point
  // The fingerprint of what the installation wrote (core/fingerprint.h), so that an undo knows
  // the player's later edits; empty in points of the first layout.
  std::string NewFingerprint;
  std::string TakenFrom;  // for a replaced file, as TKeptEntry's
  // The fingerprint of the kept old version, so that a kept file changed by hand is refused
  // even at its recorded size; empty in points of earlier layouts.
  std::string KeptFingerprint;
};

// A keyed item of a game file that an installation wrote, such as a line of a data file, kept
// by its kind (items/item_kinds.h): the file is written whole beside itself and swapped
// through the journal, and each item knows its text before and whose it was, so that the undo's
// one rule gives every item back in any order.
struct TItemChange {
  std::string Kind;  // the kind's name, as ItemKinds() lists it
  std::string File;  // the game file that holds it, relative to the game folder
  std::string Section, Key;
  bool Added = false;     // the item was not there: the installation added it
  std::string Old;        // its text before, when it was there
  std::string New;        // its text as the installation wrote it
  std::string TakenFrom;  // whom the version before was (kTakenFromGame...); empty when added
  // The automatic ID ("@infgt") the mod wrote where the installation chose the model ID its
  // line now has; empty for a line written as the mod gave it.
  std::string AutomaticId;
};

// An item as the player reads it: "INFERNUS", "cars 411"; with its file, "cars 411 in
// data\\vehicles.ide". Its section and key are read in code page 1251, as its lines are.
std::string ItemName(const TItemChange& item);
std::string ItemText(const TItemChange& item);

// The key two versions of one item share: its kind, its file as Windows reads the path, its
// section and its key.
std::string ItemKey(const TItemChange& item);

// One installation: its header (the folder's name and counter, the mod, the time, the game
// folder, the level before and after) and what it changed, kind by kind: each archive, in one
// list, the game files with the folders made for them, and the keyed items of game files.
struct TRestorePoint {
  std::string Folder;  // the folder's name: the game folder's name and the counter
  int32_t Counter = 0;
  std::string Title, Time, GameFolder;
  // The game folder's own identity when the point was made (IFileSystem::FolderIdentity): a
  // game deleted and another put in its place is not the one the point's installation changed.
  // Empty in points of earlier versions, and where the system cannot tell.
  std::string GameIdentity;
  TLevelRecord Level;
  // models\gta3.img first, which every point describes, then each other archive it changed.
  std::vector<TArchiveChange> Archives = {TArchiveChange{}};
  std::vector<TGameFileChange> GameFiles;
  std::vector<std::string> FoldersCreated;  // relative to the game folder, outermost first
  std::vector<TItemChange> Items;           // in the order the installation put them
};

Exception Damaged(const TRestorePoint& point, const std::string& what);

// The point's change of `archive` (any spelling), or null when the installation did not change
// it.
const TArchiveChange* ArchiveChangeOf(const TRestorePoint& point, const std::string& archive);
// What the point keeps on disk in all.
int64_t AllKeptBytes(const TRestorePoint& point);

}  // namespace merva
