#pragma once
// Taking an installation back from its restore point: gta3.img rebuilt in one pass without the
// added entries and with the replaced ones' old bytes, the game files put back, the level value
// restored, and the restore point removed. All or nothing, as the installation.
//
// Any installation can go, not only the newest: what later installations took over of it stays
// as they wrote it, and their restore points are rewritten to keep what it kept
// (change/point_chain.h), so that each later undo still gives back the game as it was.
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_rebuild.h"
#include "change/point_chain.h"
#include "core/errors.h"
#include "items/items_undo.h"
#include "journal/changing_game.h"
#include "journal/journal.h"
#include "operations/operation.h"
#include "operations/undo_archives.h"
#include "operations/undo_choices.h"
#include "operations/undo_game_files.h"
#include "operations/undo_plan.h"
#include "restore/point_rewrite.h"
#include "restore/restore_point.h"
#include "restore/restore_store.h"

namespace merva {

// The player changed game files that the installation wrote: nothing was changed. Told to go
// on, the undo keeps the player's versions in `KeptIn`.
class EGameFilesEdited : public EUndoRefused {
 public:
  EGameFilesEdited(const std::string& summary, std::vector<std::string> items, std::string keptIn);
  std::string Summary;  // which files, in one sentence
  std::vector<std::string> Items;
  std::string KeptIn;
};

// A version kept aside by a forced undo: nobody's installation wrote it, and no point had a place
// left for it (change/point_chain.h, TDisplaced).
struct TKeptAside {
  std::string Item;  // "data\\cfg.dat", or "infernus.dff in models\\gta3.img"
  std::string Path;  // where it is kept now
  // Where it comes from: the entry's archive and what the points keep of it.
  std::string Archive;
  TDisplaced From;
  std::optional<std::string> Line;  // for a line of a data file: its text
};

struct TUndoResult {
  bool ByNames = false;                      // an archive had changed: entries were matched by name
  std::vector<std::string> ArchivesByNames;  // which ones, as the player reads them
  bool LevelRestored = true;            // false when the level value had changed since and was kept
  std::vector<std::string> KeptEdited;  // the player's versions, kept in KeptEditedIn
  std::string KeptEditedIn;
  std::vector<TKeptAside> KeptAside;  // in KeptEditedIn too
  TUndoPlan Done;                     // empty when the archive was taken back by names
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
  TUndoResult RunUnchecked(TUndoChoices choices);
  // The point and the game's later points, oldest first; raises when a later one is damaged.
  std::vector<TRestorePoint> Chain();
  std::string RewrittenPathOf(const std::string& folder) const;
  void WriteRewrittenPoints(const std::vector<TRestorePoint>& chain, const TGameFilesUndo& files,
                            TArchivesUndo& archives);
  // Takes the entries of points gone since (killed runs made whole) out of the installed list.
  void UnlistVanishedPoints();
  // The steps of a run, in order. `undone` is the point with only the game files that no later
  // installation took over.
  // Raises unless every game file can be put back; gives the ones the player changed since,
  // and where they are to be kept.
  std::set<std::string> CheckGameFiles(const TRestorePoint& undone, const std::string& pointPath,
                                       TUndoChoices choices, std::string& editsFolder);
  // The versions that no installation wrote and that the undo would leave in no point: refused
  // unless the user allows it, each named with the later installation; allowed, where each is to
  // be kept (in the edits folder, made with the player's edits).
  std::vector<TKeptAside> CheckDisplaced(const TGameFilesUndo& files, TArchivesUndo& archives,
                                         TUndoChoices choices, std::string& editsFolder);
  // Copies them there, flushed, before anything in the game changes.
  void KeepDisplaced(TArchivesUndo& archives, const std::vector<TKeptAside>& aside);
  // Raises ENoRoom unless both drives have room for what the undo writes.
  void CheckRoom(const TRestorePoint& undone, const TGameFilesUndo& files,
                 const std::set<std::string>& edited, const std::string& editsFolder,
                 const TArchivesUndo& archives);
  // Writes the journal of every step, before the first archive is written.
  void BeginJournal(TJournal& journal, TGameFilesSwap& files, const std::string& pointPath,
                    const std::vector<TRestorePoint>& chain, const std::set<std::string>& edited,
                    const std::string& editsFolder, const TArchivesUndo& archives, bool keepsAside);
  // Swaps the game files and the archives, rewrites the later points, and removes the point,
  // all or nothing.
  void PutBack(TJournal& journal, TGameFilesSwap& swap, const std::vector<TRestorePoint>& chain,
               const TGameFilesUndo& files, const std::set<std::string>& edited,
               const std::string& editsFolder, TArchivesUndo& archives,
               const std::vector<TKeptAside>& aside);

  std::string root_;
  TOperationServices services_;
  std::optional<TChangingGame> lock_;
  TRestorePoint point_;
  std::optional<TItemsUndo> items_;  // the lines merged into data files
  // The folder a point named for a moved game records (its newer points name it too).
  std::string recordedFolder_;
};

}  // namespace merva
