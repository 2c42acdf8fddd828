#pragma once
// What an undo will do, worked out from the restore points and the archive's directory before
// anything changes: the installation and the later ones it goes under, what it gives back,
// removes and leaves, and which later points it rewrites. The undo runs by it, and
// `merva-img plan --undo` and the wizard's question tell it.
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "change/point_chain.h"
#include "core/file_system.h"
#include "core/progress.h"
#include "items/items_undo.h"
#include "restore/restore_point.h"

namespace merva {

// What an undo does, told before it runs and after.
struct TUndoPlan {
  std::vector<std::string> GivenBack;  // entries and game files that get their old bytes back
  std::vector<std::string> Removed;    // entries and game files the installation added
  // What stays as later installations wrote it: "NAME stays as TITLE installed it".
  std::vector<std::string> Stay;
  std::vector<std::string> Rewritten;  // the later restore points rewritten
  // What stops the undo, as it would say it (empty: it would run), and what --force would do
  // about each that it can lift.
  std::vector<std::string> Refusals;
  std::vector<std::string> Forced;
};

// The point and the game's later points, oldest first, every one of them read. Raises, naming
// it, when a later one is damaged or took things over from a point no longer there.
// `recordedFolder` is the folder a point of a moved game records (empty when it did not move).
std::vector<TRestorePoint> UndoChain(IFileSystem& fs, const std::string& root,
                                     const TRestorePoint& point, const std::string& recordedFolder);
// One archive the installation chain[0] changed (models\gta3.img first, which every point
// describes), with the change of every point of the chain that changed it (its links, oldest
// first) and each link's place in the chain. Each archive is taken back by the chain of its
// links alone.
struct TArchiveChain {
  std::string Archive;
  std::vector<TArchiveLink> Links;
  std::vector<size_t> InChain;
};
std::vector<TArchiveChain> ArchiveChainsOf(const std::string& root,
                                           const std::vector<TRestorePoint>& chain);

// An archive chain with its plan (null: chain[0] is the newest there, and gives everything back,
// or the archive cannot be read).
struct TArchivePlan {
  const TArchiveChain* Of;
  const TChainUndo* Plan;
};

// The plan of an archive's chain from the archive as it is (`archive`, open): exact, or by
// names when it is not the archive the newest link recorded (`byNames` is then set). Null for a
// chain of one link that the archive no longer fits: that undo goes by names from the archive
// itself. Raises the exact plan's fault when the recorded archive does not fit the records.
std::optional<TChainUndo> PlanArchiveChain(const TArchiveChain& of, TArchiveFile& archive,
                                           IProgress* progress, bool& byNames);

// The point taken back as its undo still changes it: the game files and folders that no later
// installation took over.
TRestorePoint UndonePoint(const TRestorePoint& point, const TGameFilesUndo& files);

// The entries `undone` wrote in its archive (below `gameFolder`) that another program changed
// since and that the undo would give back or remove (not taken over in `plan`): the only copies
// of those versions.
std::vector<TDisplaced> EntriesChangedSince(IFileSystem& fs, const std::string& gameFolder,
                                            const TArchiveChange& undone, const TChainUndo* plan);

// What stops an undo, in the words the undo and its plan share.
std::string ArchiveChangedText(const std::string& archive, const TRestorePoint& newest);
std::string GameFilesEditedText(const TRestorePoint& point, const std::string& list);
std::string UnkeptVersionsText(const TRestorePoint& point, const std::string& list);

// What the undo of chain[0] does, in words.
TUndoPlan TellUndo(const std::vector<TRestorePoint>& chain, const TGameFilesUndo& files,
                   const std::vector<TArchivePlan>& archives, const TItemsUndo* items);
// The same, from the points and the archive's directory now; `withChecks` adds the refusals the
// undo's own checks would give (reading every archive whole, as the undo does).
TUndoPlan PlanUndoOf(IFileSystem& fs, const std::string& root, const TRestorePoint& point,
                     const std::string& recordedFolder, bool withChecks = false);
// What the undo of the point `point` (a name in `root` or a full path) of the game in `game`
// would do, read under the game's shared lock with nothing changed, the undo's checks and all:
// `merva-img plan --undo`.
TUndoPlan PlanUndo(const std::string& root, const std::string& point, const std::string& game,
                   IFileSystem& fs);

}  // namespace merva
