#pragma once
// A restore point: what one installation changed, kept outside the game folder so that it can
// be taken back. Its folder holds its mark (merva-restore-point, first in and last out),
// changes.txt (for the player), record.txt (for the program), the old bytes of the replaced
// archive entries in one archive.img (a file per entry, archive\NAME, in points of the first
// layouts) and the old version of every replaced game file (game\RELATIVE\PATH). The writer
// (restore_writer.h) and the reader (restore_reader.h) alone know where each lies.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace merva {

extern const char kChangesFileName[];  // "changes.txt"
extern const char kRecordFileName[];   // "record.txt"
// The old bytes of every replaced entry, as one archive of the game's own format, in the order
// of the record's "replaced" lines. Points of the first layouts kept one file per entry
// (archive\NAME).
extern const char kKeptArchiveName[];  // "archive.img"
// The directory of the kept archive for `replaced`: their old entries in that order, their data
// back to back from the compaction's first sector. Raises when they would pass the archive's
// limit.
std::vector<TArchiveEntry> KeptArchiveDirectory(const std::vector<struct TKeptEntry>& replaced);

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

// Entries that kept their order: [Old, Old + Count) of the old directory are now
// [New, New + Count).
struct TOrderRun {
  int32_t Old = 0, New = 0, Count = 0;
};

struct TRestorePoint {
  std::string Folder;  // the folder's name: the game folder's name and the counter
  int32_t Counter = 0;
  std::string Title, Time, GameFolder;
  TLevelRecord Level;
  int32_t OldCount = 0, OldFirstSector = 0;
  int64_t OldArchiveBytes = 0;
  std::vector<TOrderRun> Order;
  std::vector<TKeptEntry> Replaced;
  std::vector<TAddedEntry> Added;
  std::vector<TGameFileChange> GameFiles;
  std::vector<std::string> FoldersCreated;  // relative to the game folder, outermost first
  int64_t NewArchiveBytes = 0;
  // XXH3-128 (32 hex digits; core/fingerprint.h), or SHA-256 (64) in points of earlier layouts.
  std::string NewArchiveFingerprint;
  int64_t KeptBytes = 0;  // what the kept files cost on disk
  // The fingerprint of archive.img as written (XXH3-128), so that a kept archive swapped or
  // changed since is known; empty in points of earlier layouts.
  std::string KeptArchiveFingerprint;
  // The archive the fields above describe, below the game folder: empty for models\gta3.img,
  // which every point describes; set in the parts alone.
  std::string Archive;
  // What the installation changed in each other archive, as a point of its own: its archive
  // fields, Archive, and its kept archive in KeptPartFolder(n); Folder, Counter, Title, Time
  // and GameFolder are the point's, so that each part is taken back like a point of one
  // archive. No game files, folders or level.
  std::vector<TRestorePoint> Parts;
};

// What the point changed in each archive, in order: gta3.img (the point itself), then its parts.
std::vector<const TRestorePoint*> ArchiveChangesOf(const TRestorePoint& point);
// The point's `n`-th part with the point's Folder, Counter, Title, Time and GameFolder.
TRestorePoint PartPoint(const TRestorePoint& point, size_t n);
// The index of the point's part that describes `archive` (any spelling), or -1 when the
// installation did not change it.
int PartIndexFor(const TRestorePoint& point, const std::string& archive);
// What the point keeps on disk in all: its own kept files and every part's.
int64_t AllKeptBytes(const TRestorePoint& point);

// The record as the program reads it back: one kind of fact per line, each of its fields tagged
// with its name (NAME=VALUE), ending in "end" so that a cut file is known. A later version adds
// a field or a line under a new name; one whose name starts with "~" adds to the point without
// changing what an undo does, and an earlier reader passes it over.
std::string RecordText(const TRestorePoint& point);
enum class TRecordRead {
  kWhole,
  kDamaged,  // cut short, changed by hand, or naming a path outside its folders
  kNewer,    // holds a field this version does not know and may not pass over
};
// Reads a record of any layout; `unknown` gets the line and field a newer Merva wrote.
TRecordRead ReadRecord(const std::string& text, TRestorePoint& point, std::string& unknown);
// True for a whole record.
bool ParseRecord(const std::string& text, TRestorePoint& point);
// A record of the layouts before its fields were tagged (each field told by its place).
bool ParseUntaggedRecord(const std::string& text, TRestorePoint& point);
// The player's account of the changes, in UTF-8 with Windows line breaks.
// `earlier` are the game's points before it, for the installations it took files over from.
std::string ChangesText(const TRestorePoint& point, const std::vector<TRestorePoint>& earlier = {});
// The level as the player reads it: "not checked", "none" or the number.
std::string LevelText(const TLevelRecord& level, const TLevelValue& value);

}  // namespace merva
