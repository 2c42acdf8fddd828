#pragma once
// The folder of restore points: one folder per installation, named after its game folder and a
// counter that only grows, so the newest has the highest. A folder whose name ends in
// ".partial" is being written by an installation, whose journal (journal/journal.h) says what
// becomes of it; one ending in ".undoing" was left by an undo of an earlier version.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/block_file.h"
#include "core/file_system.h"
#include "core/progress.h"
#include "game/game_folder.h"
#include "restore/restore_names.h"
#include "restore/restore_point.h"

namespace merva {

extern const char kNothingToTakeBack[];  // "There is no installation to take back."

// True for a folder that holds the mark or the record of a restore point (not through links).
bool IsOwnPointFolder(IFileSystem& fs, const std::string& path);
// Removes a point's folder, its mark last (see kPointMarkName); never through a link.
void RemovePointFolder(IFileSystem& fs, const std::string& path);
// The game folder that a point's mark names; empty when there is none.
std::string PointMarkGame(IFileSystem& fs, const std::string& path);

// Where the point that a command line names lives: `point` is a name in `root`, or the point's
// full path, as an Installed apps entry names it so that the entry takes back that point
// whatever restore folder the process it starts is given.
struct TPointPlace {
  std::string Root, Name;
};
TPointPlace PointPlaceOf(IFileSystem& fs, const std::string& root, const std::string& point);

// The folder name a restore point of `gameFolder` gets with `counter`.
std::string RestorePointName(const std::string& gameFolder, int32_t counter);
// One more than the highest counter in `root`, whatever state its folder is in.
int32_t NextRestoreCounter(IFileSystem& fs, const std::string& root);
// True when the folder the point records holds another game now than the one its installation
// changed: that one was deleted and another put in its place, which may have the very same
// archive and files. Its points are no longer that folder's.
bool GameReplacedSince(IFileSystem& fs, const TRestorePoint& point);

// Newest first, by counter: the order every list of points is shown and taken back in.
template <class TPointLike>
void SortNewestFirst(std::vector<TPointLike>& points) {
  std::stable_sort(points.begin(), points.end(),
                   [](const TPointLike& a, const TPointLike& b) { return a.Counter > b.Counter; });
}

// Reads the record of the restore point in folder `path`; false when it is missing or damaged.
bool ReadRestorePoint(IFileSystem& fs, const std::string& path, TRestorePoint& point);
// The whole restore points in `root`, newest first; only those of `gameFolder` unless it is
// empty.
std::vector<TRestorePoint> ListRestorePoints(IFileSystem& fs, const std::string& root,
                                             const std::string& gameFolder = "");

// True when `archive` is the one the change recorded after its installation: same size and
// fingerprint.
bool IsRecordedArchive(TBlockFile& archive, const TArchiveChange& change, IProgress* progress);
// The same check part by part, so that it can go on while the program waits for the disk (an
// undo writes its new archive meanwhile), and taking the bytes that the undo's rebuild reads of
// the archive as they go by (core/file_hash_along.h): the archive is read once.
class TRecordedArchiveCheck {
 public:
  TRecordedArchiveCheck(TBlockFile& archive, const TArchiveChange& change);
  ~TRecordedArchiveCheck();
  TRecordedArchiveCheck(const TRecordedArchiveCheck&) = delete;
  TRecordedArchiveCheck& operator=(const TRecordedArchiveCheck&) = delete;
  // False when the size alone tells that it is not the recorded archive.
  bool SizeMatches() const { return sizeMatches_; }
  // Before another reader reads the archive from `position`; then the bytes it read.
  void ReadUpTo(int64_t position);
  void Take(int64_t at, const char* data, size_t count);
  // Reads one more part; false once there is nothing left to read.
  bool Step();
  // Reads the rest, telling `progress` between parts, and gives the verdict.
  bool Same(IProgress* progress);

 private:
  struct THashes;
  std::string fingerprint_;
  bool sizeMatches_;
  std::unique_ptr<THashes> hashes_;
};
// The same for models\gta3.img in the point's game folder, by the point's first change.
bool ArchiveMatches(IFileSystem& fs, const TRestorePoint& point, IProgress* progress);

// A point of ours whose record is missing or cannot be read.
struct TDamagedPoint {
  std::string Folder;
  int32_t Counter = 0;
  std::string GameFolder;  // as its mark names it; empty when unknown
  // The field of its record that this version does not know, when a newer Merva wrote it.
  std::string NewerField;
};
// Why the point cannot be read: "its record is missing or cannot be read", or that a newer Merva
// made it, naming the field.
std::string DamagedPointReason(const TDamagedPoint& point);
// The damaged points of `gameFolder` (of any game folder when it is empty), newest first.
std::vector<TDamagedPoint> DamagedRestorePoints(IFileSystem& fs, const std::string& root,
                                                const std::string& gameFolder);

// The game folders that points left by killed runs name, each once.
std::vector<std::string> GamesOfUnfinishedPoints(IFileSystem& fs, const std::string& root);
// Makes whole what killed runs of earlier versions, which kept no journal, left of `gameFolder`
// (only folders of our own, see IsOwnPointFolder), after its journal is settled and while the
// caller holds the game's lock (journal/changing_game.h): a ".partial"
// point whose new archive is in place (the installation got that far) takes its final name, any
// other is removed; an ".undoing" point whose archive is still the installed one gets its name
// back and the game files it had begun to swap go back (SettleGameFileSwap), any other is removed
// with the files set aside (the archive was taken back). A point whose game has no archive now
// (a folder moved, a drive unplugged) is left for a later run.
void RecoverRestorePoints(IFileSystem& fs, const std::string& root, const std::string& gameFolder,
                          IProgress* progress);

// The folder the game in `gameFolder` was moved from, as its points know it: one they record that
// holds no archive now, whose newest point's archive (size and fingerprint) is the one in
// `gameFolder`. Empty when the points record `gameFolder` itself, or no such folder.
std::string MovedFromFolder(IFileSystem& fs, const std::string& root, const std::string& gameFolder,
                            IProgress* progress);

// A point named `name` that a killed installation of an earlier version (which kept no journal)
// left as NAME.partial, of a game moved since to `movedTo`: it waits for its recorded folder,
// which has no archive now. When the archive in `movedTo` is the one it recorded as new (the
// installation got that far), it takes its final name, and true is returned. The caller holds
// the lock of `movedTo`.
bool FinishPointOfMovedGame(IFileSystem& fs, const std::string& root, const std::string& name,
                            const std::string& movedTo, IProgress* progress);

// The newest restore point of `gameFolder` in `root`, or the newest of any game folder when it is
// empty; what killed runs left is settled before (journal/changing_game.h).
// Raises when there is none, or when a newer point than the newest whole one is damaged.
TRestorePoint FindLatestRestorePoint(IFileSystem& fs, const std::string& root,
                                     const std::string& gameFolder);

}  // namespace merva
