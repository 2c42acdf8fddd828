#pragma once
// The names inside a restore folder, as game/game_folder.h holds the game folder's: a point's
// folder, the states a run may leave it in, and where it keeps the old versions of game files.
// Every part of the program builds them here.
#include <cstddef>
#include <string>

namespace merva {

extern const char kPartialSuffix[];  // ".partial": being written; the run's journal owns it
extern const char kUndoingSuffix[];  // ".undoing": left by an undo of an earlier version
// The first file of every restore point folder, so that a folder left by a killed run is told
// from someone else's folder of a similar name.
extern const char kPointMarkName[];  // "merva-restore-point"

// The folder of the point named `name` in the restore folder `root`.
std::string PointPathOf(const std::string& root, const std::string& name);
// A file or folder of the point whose folder is `pointPath`, by its name there (its record, its
// mark, a kept archive, a kept game file "game\ITEM").
std::string InPoint(const std::string& pointPath, const std::string& name);
// True for the name of a file that a point of the first layouts kept for one replaced archive
// entry ("archive\NAME"); current points keep them all in one archive.img.
bool IsOwnKeptEntryFileName(const std::string& kept);
extern const char kChangesFileName[];  // "changes.txt"
extern const char kRecordFileName[];   // "record.txt"
// The folder that keeps the old entries of the point's `n`-th archive change (its Archives), in
// the point's folder at `pointPath`: that folder itself for models\gta3.img (n = 0), "archives\N"
// in it for each other archive.
std::string KeptArchiveFolderOf(const std::string& pointPath, size_t n);
// Its kept archive, relative to the point's folder: "archive.img", "archives\N\archive.img".
std::string KeptArchiveNameOf(size_t n);

}  // namespace merva
