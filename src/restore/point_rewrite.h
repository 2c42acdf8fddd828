#pragma once
// Writes the later restore points that an undo of an older installation rewrites
// (restore/point_chain.h), each whole beside the point it replaces, for the undo's journal to
// swap in; and reads the archives those points now leave, for their fingerprints, without
// writing them.
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_body.h"
#include "core/block_file.h"
#include "core/file_system.h"
#include "core/progress.h"
#include "restore/point_chain.h"
#include "restore/restore_point.h"
#include "restore/restore_reader.h"

namespace merva {

// The kept archives of a chain's points, each checked whole against its fingerprint before its
// first byte is used: a kept archive changed by hand is named, never copied on.
class TChainSources {
 public:
  // `keptFolders` are where each chain point keeps its old entries, for a chain of one of the
  // other archives' parts; empty: the points' own folders.
  TChainSources(IFileSystem& fs, std::string root, const std::vector<TRestorePoint>& chain,
                std::vector<std::string> keptFolders = {});
  ~TChainSources();
  TChainSources(const TChainSources&) = delete;
  TChainSources& operator=(const TChainSources&) = delete;

  // The old bytes kept by chain[bytes.Point] for its Replaced[bytes.Kept].
  TPutSource Kept(const TChainBytes& bytes, IProgress& progress);
  // Lets every file go, so that the points' folders can be renamed and removed.
  void Close();

 private:
  IFileSystem& fs_;
  std::string root_;
  const std::vector<TRestorePoint>& chain_;
  std::vector<std::string> keptFolders_;
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
                                    TBlockFile& archive, TChainSources& sources,
                                    IProgress& progress);

// One of a rewritten point's other archives, rewritten by the chain of that archive's parts.
struct TRewrittenPart {
  size_t Part = 0;            // its index in the point's Parts
  TRewrittenPoint Rewritten;  // Rewritten.Point is the part as its record becomes
  TChainSources* Sources = nullptr;
};

// Writes the rewritten point at `path`, a new folder in `root`: its mark, its kept archive
// (copied when it stays the same, else made from where the old bytes now lie), its kept game
// files, each other archive's kept archive (rewritten as `parts` say, else copied), changes.txt
// and the record, all flushed. `earlier` are the game's points before it that stay, newest
// first, for changes.txt.
void WriteRewrittenPoint(IFileSystem& fs, const std::string& root, const std::string& path,
                         const std::vector<TRestorePoint>& chain, TRewrittenPoint rewritten,
                         const std::vector<TRestorePoint>& earlier, TChainSources& sources,
                         IProgress& progress, const std::vector<TRewrittenPart>& parts = {});

}  // namespace merva
