#pragma once
// The archives an undo takes back, models\gta3.img first and each other archive the
// installation changed after it, all by one rule: each opened with the chain of the points that
// changed it and its plan, written into its rebuild beside it, its part of every rewritten later
// point made, and swapped in with the rest by the undo's journal.
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_rebuild.h"
#include "change/point_chain.h"
#include "journal/journal.h"
#include "operations/operation.h"
#include "operations/undo_choices.h"
#include "operations/undo_plan.h"
#include "restore/point_rewrite.h"
#include "restore/restore_point.h"

namespace merva {

class TArchivesUndo {
 public:
  // The archives of `point` (its game folder is where they are taken back), its restore folder
  // `root`.
  TArchivesUndo(TOperationServices services, std::string root, const TRestorePoint& point);
  ~TArchivesUndo();
  TArchivesUndo(const TArchivesUndo&) = delete;
  TArchivesUndo& operator=(const TArchivesUndo&) = delete;

  // Opens each archive chain[0] changed, in its order, with its chain and plan; by names when
  // one changed since and the user allows it. Raises, before anything changes, when one is
  // missing, a record does not fit, or one changed and the user does not allow it; and when one
  // is read-only.
  void Open(const std::vector<TRestorePoint>& chain, TUndoChoices choices);
  std::vector<TArchivePlan> Plans() const;
  // Their versions that no installation wrote and that the undo would leave in no point: those
  // the plans displace, and entries chain[0] wrote that another program changed since (read
  // here under later installations, or when the undo goes by names).
  void FindDisplaced(TUndoChoices choices, std::vector<TFoundVersion>& found);
  // The bytes the new archives take on the game's drive, and the rewritten later points' kept
  // archives on the restore folder's.
  int64_t BytesWritten() const;
  int64_t BytesRewritten() const;
  // Writes into the journal each archive's rebuild put in its place and the archive moved aside.
  void Note(TJournal& journal) const;
  // Writes each archive as it was, or as the later installations leave it, into its rebuild;
  // gives the archives taken back by names, as the player reads them.
  std::vector<std::string> Write(TUndoChoices choices);
  // Copies the bytes of a displaced entry of `archive` to `path`.
  void CopyDisplaced(const std::string& archive, const TDisplaced& displaced,
                     const std::string& path);
  // chain[i]'s changes of these archives as its record becomes: `point.Archives` rewritten, and
  // what its kept archives are made of.
  std::vector<TRewrittenChange> Rewrite(size_t i, TRestorePoint& point);
  // Lets the rewritten points' sources go.
  void CloseSources();
  // Around the journal's commit: each rebuild lets its archive go, then hands its new archive
  // over to the journal.
  void Release();
  void HandOver();

 private:
  struct TArchiveUndo {
    TArchiveChain Of;
    std::optional<TArchiveRebuild> Rebuild;
    std::optional<TChainUndo> Plan;
    std::string Written;  // the new archive's fingerprint, for the newest change rewritten
    std::unique_ptr<TChainSources> Sources;
  };
  bool WriteOne(TArchiveUndo& undo, TUndoChoices choices);
  EUndoRefused Changed(const TArchiveChain& of) const;
  // The newest rewritten change's archive: its size and fingerprint as written; an intermediate
  // one's fingerprint read from the archive now and the kept archives.
  void CompleteRewritten(TRewrittenArchive& later, bool newest, TArchiveUndo& archive);

  TOperationServices services_;
  std::string root_;
  const TRestorePoint& point_;
  std::vector<TRestorePoint> chain_;
  std::deque<TArchiveUndo> archives_;
  std::deque<TDisplaced> changedNow_;  // the entries FindDisplaced read, which `found` names
};

}  // namespace merva
