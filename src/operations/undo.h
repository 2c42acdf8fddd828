#pragma once
// Taking an installation back from its restore point: gta3.img rebuilt in one pass without the
// added entries and with the replaced ones' old bytes, the game files put back, the level value
// restored, and the restore point removed. All or nothing, as the installation.
//
// Any installation can go, not only the newest: what later installations took over of it stays
// as they wrote it, and their restore points are rewritten to keep what it kept
// (restore/point_chain.h), so that each later undo still gives back the game as it was.
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_rebuild.h"
#include "core/errors.h"
#include "operations/operation.h"
#include "operations/undo_plan.h"
#include "restore/changing_game.h"
#include "restore/point_chain.h"
#include "restore/restore_point.h"
#include "restore/restore_store.h"

namespace merva {

// A refusal of the undo that the user may override: the archive is not the one the restore
// point recorded, or the player changed game files since (see TUndoChoices).
class EUndoRefused : public Exception {
 public:
  using Exception::Exception;
};

// The player changed game files that the installation wrote: nothing was changed. Told to go
// on, the undo keeps the player's versions in `KeptIn`.
class EGameFilesEdited : public EUndoRefused {
 public:
  EGameFilesEdited(const std::string& summary, std::vector<std::string> items, std::string keptIn);
  std::string Summary;  // which files, in one sentence
  std::vector<std::string> Items;
  std::string KeptIn;
};

// What the user chose to allow.
struct TUndoChoices {
  bool ByNames = false;     // an archive changed since is taken back by entry names
  bool KeepEdited = false;  // game files the player changed since are moved aside, not lost
};

struct TUndoResult {
  bool ByNames = false;                 // the archive had changed: entries were matched by name
  bool LevelRestored = true;            // false when the level value had changed since and was kept
  std::vector<std::string> KeptEdited;  // the player's versions, kept in KeptEditedIn
  std::string KeptEditedIn;
  TUndoPlan Done;  // empty when the archive was taken back by names
};

// One undo, from finding its restore point to the end: the game's lock is held for the life of
// the object.
class TUndo {
 public:
  // The latest installation into `gameFolder` (into any game folder when it is empty), after
  // what killed runs of that game left is made whole. Raises when there is none.
  TUndo(std::string root, const std::string& gameFolder, TOperationServices services);
  // The restore point named `point` (a name in `root`, or a point's full path: PointPlaceOf), of
  // the game in `gameFolder`; a game folder moved since is known by its archive (the size and
  // fingerprint recorded). Raises EFileError when the point is not that game's, or when the
  // folder it records still holds an archive.
  TUndo(std::string root, const std::string& point, const std::string& gameFolder,
        TOperationServices services);
  // A point in hand, whose game's lock the caller holds: an installation taking itself back.
  TUndo(std::string root, TRestorePoint point, TOperationServices services);

  const TRestorePoint& Point() const { return point_; }
  // What Run would do with the archive as it is, from the records and the archive's directory
  // alone. Raises as Run does for a damaged later point or a record that does not fit.
  TUndoPlan Plan();
  // Takes the installation back. Nothing changes when it refuses or fails before the archive is
  // replaced.
  TUndoResult Run(TUndoChoices choices);

 private:
  // Another archive the installation changed, taken back with gta3.img.
  struct TPartUndo {
    TRestorePoint Part;  // as a point of that archive alone
    std::string Path;    // where the point keeps its old entries
    std::optional<TArchiveRebuild> Rebuild;
  };
  TUndoResult RunUnchecked(TUndoChoices choices);
  // Opens every other archive the installation changed. Raises, before anything changes, for
  // one that a later installation changed again: that one is to be taken back first.
  std::deque<TPartUndo> OpenParts(const std::vector<TRestorePoint>& chain);
  // Writes the archive as it was into its rebuild; true when taken back by names.
  bool PlanPartArchive(TPartUndo& part, TUndoChoices choices);
  // The point and the game's later points, oldest first; raises when a later one is damaged.
  std::vector<TRestorePoint> Chain();
  EUndoRefused ArchiveChanged(const TRestorePoint& newest, const std::string& archive = "") const;
  std::string RewrittenPathOf(const TRewrittenPoint& later) const;
  void WriteRewrittenPoints(TArchiveRebuild& rebuild, const std::vector<TRestorePoint>& chain,
                            const std::vector<TRewrittenPoint>& rewritten,
                            const std::string& written);
  // Takes the entries of points gone since (killed runs made whole) out of the installed list.
  void UnlistVanishedPoints();
  // The steps of a run, in order. `undone` is the point with only the game files that no later
  // installation took over.
  // Raises unless every game file can be put back; gives the ones the player changed since,
  // and where they are to be kept.
  std::set<std::string> CheckGameFiles(const TRestorePoint& undone, const std::string& pointPath,
                                       TUndoChoices choices, std::string& editsFolder);
  // Raises ENoRoom unless both drives have room for what the undo writes.
  void CheckRoom(const TRestorePoint& undone, const TChainUndo* plan,
                 const std::set<std::string>& edited, const std::string& editsFolder,
                 const std::deque<TPartUndo>& parts);
  // Writes the archive as it was, or as the later installations leave it, into the rebuild;
  // `fingerprint` gets the new archive's (empty when taken back by names, which may replace
  // `plan` with its own). True when it was taken back by names.
  bool PlanArchive(TArchiveRebuild& rebuild, const std::string& pointPath, TUndoChoices choices,
                   const std::vector<TRestorePoint>& chain, std::optional<TChainUndo>& plan,
                   std::string* fingerprint);
  // Swaps the game files and the archive, rewrites the later points, and removes the point, all
  // or nothing.
  void PutBack(TArchiveRebuild& rebuild, const std::string& pointPath, const TRestorePoint& undone,
               const std::vector<TRestorePoint>& chain, const TChainUndo* plan,
               const std::string& written, const std::set<std::string>& edited,
               const std::string& editsFolder, std::deque<TPartUndo>& parts);

  std::string root_;
  TOperationServices services_;
  std::optional<TChangingGame> lock_;
  TRestorePoint point_;
  // The folder a point named for a moved game records (its newer points name it too).
  std::string recordedFolder_;
};

}  // namespace merva
