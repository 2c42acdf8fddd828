#pragma once
// Writes the later restore points that an undo of an older installation rewrites
// (change/point_chain.h), each whole beside the point it replaces, for the undo's journal to
// swap in; and reads the archives those points now leave, for their fingerprints, without
// writing them.
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_body.h"
#include "change/point_chain.h"
#include "core/block_file.h"
#include "core/file_system.h"
#include "core/progress.h"
#include "restore/restore_point.h"
#include "restore/restore_reader.h"

namespace merva {

// The kept archives of a chain's points, each checked whole against its fingerprint before its
// first byte is used: a kept archive changed by hand is named, never copied on.
class TChainSources {
 public:
  // `links` is one archive's chain: each link keeps its old entries in its KeptFolder.
  TChainSources(IFileSystem& fs, const std::vector<TArchiveLink>& links);
  ~TChainSources();
  TChainSources(const TChainSources&) = delete;
  TChainSources& operator=(const TChainSources&) = delete;

  // The old bytes kept by links[bytes.Point] for its Replaced[bytes.Kept].
  TPutSource Kept(const TChainBytes& bytes, IProgress& progress);
  // Lets every file go, so that the points' folders can be renamed and removed.
  void Close();

 private:
  IFileSystem& fs_;
  const std::vector<TArchiveLink>& links_;
  std::vector<std::unique_ptr<TKeptEntries>> kept_;
};

// Checks, before anything changes, the kept files of the later points (chain[1]...): each kept
// archive whole against its fingerprint, each kept game file there and of its size. Raises
// Damaged, naming the point.
void CheckLaterPoints(IFileSystem& fs, const std::string& root,
                      const std::vector<TRestorePoint>& chain, IProgress& progress);

// The fingerprint of the archive that the compaction would write for `entries` from
// `firstSector`: their data read from `archive` (the game's archive now) and the kept archives.
std::string ChainArchiveFingerprint(const TChainDirectory& entries, int32_t firstSector,
                                    TArchiveKind kind, TBlockFile& archive, TChainSources& sources,
                                    IProgress& progress);

// One of a rewritten point's archives, rewritten by the chain of that archive.
struct TRewrittenChange {
  size_t Archive = 0;  // its index in the point's Archives
  TRewrittenArchive Rewritten;
  TChainSources* Sources = nullptr;
};

// Writes the rewritten `point` at `path`, a new folder in `root`: its mark, the kept archive of
// each archive it changed (rewritten as `archives` say: copied when it stays the same, else made
// from where the old bytes now lie; else copied as it is), its kept game files (each from the
// chain's point `gameFileFrom` names), changes.txt and the record, all flushed. `earlier` are
// the game's points before it that stay, newest first, for changes.txt.
void WriteRewrittenPoint(IFileSystem& fs, const std::string& root, const std::string& path,
                         const std::vector<TRestorePoint>& chain, TRestorePoint point,
                         const std::vector<TGameFilesUndo::TRewritten::TKeptFile>& gameFileFrom,
                         const std::vector<TRewrittenChange>& archives,
                         const std::vector<TRestorePoint>& earlier, IProgress& progress);

}  // namespace merva
