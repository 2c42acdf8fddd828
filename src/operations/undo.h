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
#include "operations/undo_game_files.h"
#include "operations/undo_plan.h"
#include "restore/changing_game.h"
#include "restore/journal.h"
#include "restore/point_chain.h"
#include "restore/point_rewrite.h"
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

// A version kept aside by a forced undo: nobody's installation wrote it, and no point had a place
// left for it (restore/point_chain.h, TChainUndo::TDisplaced).
struct TKeptAside {
  std::string Item;  // "data\\cfg.dat", or "infernus.dff in models\\gta3.img"
  std::string Path;  // where it is kept now
  // Where it comes from: the entry's archive (empty: gta3.img) and what the point taken back
  // keeps of it.
  std::string Archive;
  TChainUndo::TDisplaced From;
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
  // Another archive the installation changed, taken back with gta3.img as gta3.img is: under
  // the later installations that changed it too, whose parts for it are rewritten.
  struct TPartUndo {
    TPartChain Of;
    std::optional<TArchiveRebuild> Rebuild;
    std::optional<TChainUndo> Plan;
    std::string Written;  // the new archive's fingerprint, for the newest part rewritten
  };
  static std::vector<TPartPlan> PartPlansOf(const std::deque<TPartUndo>& parts);
  TUndoResult RunUnchecked(TUndoChoices choices);
  // Opens every other archive the installation changed, with the chain of its parts and its
  // plan. Raises, before anything changes, as for gta3.img.
  std::deque<TPartUndo> OpenParts(const std::vector<TRestorePoint>& chain, TUndoChoices choices);
  // The undo of chain[0] in `archive` (its rebuild's plan), from the records; by names when it
  // changed since and the user allows it. Raises when a record does not fit, or when it changed
  // and the user does not allow it.
  std::optional<TChainUndo> PlanChain(const std::vector<TRestorePoint>& chain,
                                      TArchiveFile& archive, TUndoChoices choices,
                                      const std::string& archiveName);
  // The point and the game's later points, oldest first; raises when a later one is damaged.
  std::vector<TRestorePoint> Chain();
  EUndoRefused ArchiveChanged(const TRestorePoint& newest, const std::string& archive = "") const;
  std::string RewrittenPathOf(const TRewrittenPoint& later) const;
  void WriteRewrittenPoints(TArchiveRebuild& rebuild, const std::vector<TRestorePoint>& chain,
                            const std::vector<TRewrittenPoint>& rewritten,
                            const std::string& written, std::deque<TPartUndo>& parts);
  // The newest rewritten point's archive: its size and fingerprint as written; an intermediate
  // one's fingerprint read from the archive now and the kept archives.
  void CompleteRewritten(TRewrittenPoint& later, bool newest, TArchiveRebuild& rebuild,
                         const std::string& written, TChainSources& sources);
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
  std::vector<TKeptAside> CheckDisplaced(const std::vector<TRestorePoint>& chain,
                                         const TChainUndo* plan, const std::deque<TPartUndo>& parts,
                                         TUndoChoices choices, std::string& editsFolder);
  // Copies them there, flushed, before anything in the game changes.
  void KeepDisplaced(const std::vector<TRestorePoint>& chain, const std::deque<TPartUndo>& parts,
                     const std::vector<TKeptAside>& aside);
  // Raises ENoRoom unless both drives have room for what the undo writes.
  void CheckRoom(const TRestorePoint& undone, const TChainUndo* plan,
                 const std::set<std::string>& edited, const std::string& editsFolder,
                 const std::deque<TPartUndo>& parts);
  // Writes the archive as it was, or as the later installations leave it, into the rebuild;
  // `fingerprint` gets the new archive's (empty when taken back by names, which may replace
  // `plan` with its own). True when it was taken back by names.
  // `keptPath` is where chain[0] keeps its old entries of the archive, `archiveName` the
  // archive below the game folder (empty: gta3.img).
  bool PlanArchive(TArchiveRebuild& rebuild, const std::string& keptPath, TUndoChoices choices,
                   const std::vector<TRestorePoint>& chain, std::optional<TChainUndo>& plan,
                   std::string* fingerprint, const std::string& archiveName = "");
  // Writes the journal of every step, before the first archive is written.
  void BeginJournal(TJournal& journal, TGameFilesSwap& files, const std::string& pointPath,
                    const TChainUndo* plan, const std::set<std::string>& edited,
                    const std::string& editsFolder, const std::deque<TPartUndo>& parts,
                    bool keepsAside);
  // Swaps the game files and the archives, rewrites the later points, and removes the point,
  // all or nothing.
  void PutBack(TJournal& journal, TGameFilesSwap& files, TArchiveRebuild& rebuild,
               const std::vector<TRestorePoint>& chain, const TChainUndo* plan,
               const std::string& written, const std::set<std::string>& edited,
               const std::string& editsFolder, std::deque<TPartUndo>& parts,
               const std::vector<TKeptAside>& aside);

  std::string root_;
  TOperationServices services_;
  std::optional<TChangingGame> lock_;
  TRestorePoint point_;
  // The folder a point named for a moved game records (its newer points name it too).
  std::string recordedFolder_;
};

}  // namespace merva
