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
#include "change/changes.h"
#include "core/block_file.h"
#include "restore/restore_names.h"

namespace merva {

// The directory of the kept archive for `replaced`: their old entries in that order, their data
// back to back from the compaction's first sector. Raises when they would pass the archive's
// limit.
std::vector<TArchiveEntry> KeptArchiveDirectory(const std::vector<TKeptEntry>& replaced,
                                                TArchiveKind kind);
// Creates the kept archive at `path` for `change`, in its archive's kind: the header, the
// directory (KeptArchiveDirectory) and the zeros up to the first data sector. Its data goes
// where each entry of `directory` points.
TBlockFile CreateKeptArchive(IFileSystem& fs, const std::string& path, const TArchiveChange& change,
                             const std::vector<TArchiveEntry>& directory);

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
