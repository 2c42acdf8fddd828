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
// The folder in a point that holds the old versions of replaced game files, below it as they lie
// below the game folder.
extern const char kKeptGameFolder[];  // "game\\"
// Where a point keeps the old version of the replaced game file `item` (relative to the game
// folder), relative to the point's folder: "game\ITEM".
std::string KeptGameFileName(const std::string& item);
// True for the name of a file that a point of the first layouts kept for one replaced archive
// entry ("archive\NAME"); current points keep them all in one archive.img.
bool IsOwnKeptEntryFileName(const std::string& kept);
// The folder in a point that keeps what the installation changed in the `n`-th (from 0) archive
// other than models\gta3.img: its own archive.img, relative to the point's folder
// ("archives\1").
std::string KeptPartFolder(size_t n);

}  // namespace merva
