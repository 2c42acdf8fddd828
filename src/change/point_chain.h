#pragma once
// Taking back an installation that is not the newest: what each archive and the game files
// become, and how the restore points of the later installations are rewritten so that each of their
// undos stays exact, as if the one taken back had never been installed. Worked out on the records
// and the directory alone, before anything is read or written.
//
// Every later point describes the archive it found and the one it left. Those archives are
// worked out back to the one before the installation taken back (each point's exact undo, done
// in memory), then again forward without what it wrote: an entry it wrote that no later
// installation took over gets its old bytes back (or goes, if it added it); one that a later
// installation took over stays, and that installation's point now keeps what the one taken back
// kept for it.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "change/changes.h"

namespace merva {

// For the exact undo of `link` from an archive of `nowCount` entries: the index now of every
// entry of the archive it found. Raises Damaged when its record does not fit.
std::vector<int32_t> OldPlaces(const TArchiveLink& link, size_t nowCount);

// Where an entry's bytes lie: in the game's archive now (Point < 0), at the entry's own offset,
// or in the kept archive of the chain's link `Point`, as its Replaced[Kept].
struct TChainBytes {
  int32_t Point = -1;
  int32_t Kept = -1;
  bool operator==(const TChainBytes& other) const {
    return Point == other.Point && Kept == other.Kept;
  }
};

struct TChainEntry {
  TArchiveEntry Entry{};
  TChainBytes Bytes;
};
using TChainDirectory = std::vector<TChainEntry>;

// A later point's change of the archive as it is to be rewritten.
struct TRewrittenArchive {
  TArchiveChange Change;
  // Where the old bytes of each of Change.Replaced lie now, in that order.
  std::vector<TChainBytes> KeptEntries;
  // True when those are its own kept archive's, in its order: its archive.img stays as it is.
  bool SameKeptArchive = false;
  // False for a change rewritten by names: it no longer fits the archive exactly, and keeps the
  // sizes and fingerprints it had, so that its own undo goes by names too.
  bool Exact = true;
  // The archive it leaves, and its first data sector (for its fingerprint): the archive of the
  // run for the newest.
  TChainDirectory Leaves;
  int32_t LeavesFirstSector = 0;
};

// What stays as a later installation wrote it: for the question and the log.
struct TChainStays {
  std::string Name;   // an entry's name or a game file's path
  std::string Point;  // the folder of the point that took it over
};

// A version that no point can keep any more, since nobody's installation wrote it. A game file
// the player changed between the point taken back and the later one that took it over: the
// later point goes on keeping the player's version, and what the one taken back kept under it
// (the game's) has no place left. An entry another program changed between them: the later
// point keeps what the one taken back kept, so that its archive follows the one before it entry
// for entry, and the other program's version has no place left. The undo refuses unless forced,
// and forced copies each out beside the player's kept edits.
struct TDisplaced {
  bool GameFile = false;
  std::string Item;   // the entry's name or the game file's path
  std::string Later;  // the folder of the later point that took it over
  // For an entry: its index in the Replaced of the chain's link KeptBy, whose kept archive
  // holds it.
  int32_t Kept = -1;
  int32_t KeptBy = 0;
  TGameFileChange File;  // for a game file: the change of the point taken back
  // For an entry the point taken back wrote that another program changed since, which the
  // undo would give its old bytes back or remove: it is the entry in the archive now.
  bool Now = false;
  TArchiveEntry Entry{};
};

// The undo of one archive's chain[0] under the later links.
struct TChainUndo {
  // The game's archive after the undo: its entries in order, each from the archive now or from
  // the kept archive of the link taken back.
  TChainDirectory Archive;
  // chain[1], chain[2]... as their changes become; NewArchiveFingerprint is left to the caller,
  // who reads the archives they leave.
  std::vector<TRewrittenArchive> Rewritten;
  std::vector<TChainStays> Stay;
  std::vector<TDisplaced> Displaced;
};

// `chain` holds the change taken back and the later changes of that archive, oldest first; `now`
// is the directory of the archive the newest left. Raises Damaged, naming the point, when a
// record does not fit the archives.
TChainUndo PlanChainUndo(const std::vector<TArchiveLink>& chain,
                         const std::vector<TArchiveEntry>& now);

// The same for an archive changed since the newest installation, taken back by names: of every
// entry the change taken back wrote, a name a later installation also wrote stays, and that
// installation's change keeps what it kept; its other names get their old bytes back (the first
// kept one for the first entry of the name, and so on) or go. The later changes keep their
// orders, counts and fingerprints, which no longer fit: their undos go by names too.
TChainUndo PlanChainUndoByNames(const std::vector<TArchiveLink>& chain,
                                const std::vector<TArchiveEntry>& now);

// The archive `now` with the names `change` wrote taken back, those in `stay` (keys,
// EntryNameKey) left as they are: added names go, replaced names get their old bytes back (the
// first kept one for the first entry of the name, and so on) from its kept archive (chain link
// 0), the rest stays in its order. The forced undo of an archive changed since.
TChainDirectory ArchiveByNames(const TArchiveChange& change, const std::set<std::string>& stay,
                               const std::vector<TArchiveEntry>& now);

// The length of the archive the compaction writes for `entries` from `firstSector` (0 for its
// own first sector).
int64_t ChainArchiveBytes(const TChainDirectory& entries, int32_t firstSector, TArchiveKind kind);

// The undo of chain[0]'s game files, folders and level under the later points of its game.
struct TGameFilesUndo {
  // What the undo still does: the game files and folders that no later installation took over.
  std::vector<TGameFileChange> GameFiles;
  std::vector<std::string> FoldersCreated;
  // chain[1], chain[2]... as their game files, folders and level become.
  struct TRewritten {
    std::vector<TGameFileChange> GameFiles;
    std::vector<std::string> FoldersCreated;
    TLevelRecord Level;
    // For each of GameFiles that is replaced: the chain's point whose folder keeps its old
    // version (its own index, or 0 for the one taken back), and its name there.
    struct TKeptFile {
      int32_t Point = 0;
      std::string Kept;
    };
    std::vector<TKeptFile> From;
  };
  std::vector<TRewritten> Rewritten;
  std::vector<TChainStays> Stay;
  std::vector<TDisplaced> Displaced;
};
TGameFilesUndo PlanGameFilesUndo(const std::vector<TRestorePoint>& chain);

}  // namespace merva
