#pragma once
// Writes the restore point of one installation. It is written, flushed, beside its final name
// while the new archive waits as temp.img, and the run's journal gives it its final name with
// the new archive: a run that fails or is killed leaves no restore point, or one that is whole
// and matches the archive.
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "archive/rebuild_reads.h"
#include "core/background_flush.h"
#include "core/file_system.h"
#include "core/progress.h"
#include "restore/restore_point.h"
#include "script/install_items.h"

namespace merva {

// What the installation's caller knows that the run does not: where restore points are kept,
// the mod, the time and the level check's registry value before and after it.
struct TRestoreRequest {
  std::string Folder;
  std::string Title;
  std::string Time;
  TLevelRecord Level;
};

class TRestorePointWriter {
 public:
  TRestorePointWriter(const TRestoreRequest& request, IFileSystem& fs,
                      const std::string& gameFolder);
  ~TRestorePointWriter();  // removes a point that never got its final name
  TRestorePointWriter(const TRestorePointWriter&) = delete;
  TRestorePointWriter& operator=(const TRestorePointWriter&) = delete;

  // Notes, before anything changes, a game file the run will write: created or replaced, and
  // the folders it will create. Only the first note of a file counts.
  void NoteGameFile(const TGameFileItem& item, int64_t newBytes, const std::string& fingerprint);
  // Notes, before anything changes, the keyed items the run will write into game files.
  void NoteItems(std::vector<TItemChange> items) { point_.Items = std::move(items); }
  // Chooses the point's name, before the run's journal is written: the next counter, passing
  // over any name in use.
  void Reserve();
  // Where the point is written, and the name it takes once the run is done.
  const std::string& PendingPath() const { return pending_; }
  const std::string& FinalPath() const { return final_; }
  // Makes the point's folder and keeps in it the old bytes of every replaced game file, and makes
  // archive.img ready for the replaced entries' old bytes, once the run has planned the new
  // archive. Those are read from the old archive in one pass with the new archive's writing
  // (KeepArchiveBytesBefore), or at the latest by Finish.
  void Keep(TArchiveFile& archive, IProgress& progress);
  // Copies into archive.img the old bytes of the replaced entries that start before byte
  // `position` of the old archive, in the order they lie there; once every one is copied (at the
  // latest when `position` is INT64_MAX), archive.img goes to the disk in the background.
  void KeepArchiveBytesBefore(int64_t position);
  // Once the new archive is written at `newArchivePath` with that fingerprint: flushes the kept
  // files, then writes changes.txt and the record, flushed. The point is then whole.
  void Finish(const std::string& newArchivePath, const std::string& newArchiveFingerprint,
              IProgress& progress);
  // The run is committed: its journal gives the point its name from here on.
  void HandOver() { handedOver_ = true; }
  // The writer of what the run changes in another of the game's archives (`archive` below the
  // game folder), kept in this point's KeptArchiveFolderOf: Keep, KeepArchiveBytesBefore and Finish
  // it with that archive's plan and new file, after this point's Keep and before its Finish,
  // which records it. Its Preview goes before this point's.
  TRestorePointWriter& AddPart(const std::string& archive);
  // The point as Keep and Finish would record it for the plan in `archive`, sizes and owners
  // and all, with nothing written: what `merva-img plan` tells. Its Folder is empty and its
  // KeptBytes count the kept entries' and files' bytes.
  TRestorePoint Preview(TArchiveFile& archive);
  // The bytes Keep will write for the plan in `archive`: archive.img and the replaced game
  // files (noted before), for the room check before anything is written.
  int64_t KeptBytesFor(TArchiveFile& archive);

  const TRestorePoint& Point() const { return point_; }
  // The game's points before this one, newest first, once Keep or Preview has looked.
  const std::vector<TRestorePoint>& Earlier() const { return earlier_; }

 private:
  TRestorePointWriter(TRestorePointWriter& owner, const std::string& archive, size_t n);
  // Runs a step; a failure removes the unfinished point and is told in the program's words.
  template <typename Step>
  void Checked(const Step& step);
  void KeepUnchecked(TArchiveFile& archive, IProgress& progress);
  void FinishUnchecked(const std::string& newArchivePath, const std::string& newArchiveFingerprint,
                       IProgress& progress);
  void RecordArchiveChanges(TArchiveFile& archive);
  void NoteOwners(TArchiveFile& archive);
  int64_t GameFileBytes(const TGameFileChange& change);
  void WriteKeptArchive(TBlockFile& archive, const std::string& path);
  void CopyKeptBytesBefore(int64_t position);
  void JoinKeptFlush(IProgress& progress);
  // What it records of its own archive: models\gta3.img's for the point, the part's own.
  TArchiveChange& Change() { return point_.Archives.front(); }
  // The point's changes: its own, then each part's.
  void CollectParts();

  TRestoreRequest request_;
  IFileSystem& fs_;
  std::string gameFolder_;
  TRestorePoint point_;
  std::vector<TRestorePoint> earlier_;  // the game's points before this one, newest first
  std::set<std::string> notedFiles_, notedFolders_;
  std::vector<std::string> keptFiles_;
  // archive.img goes to the disk on this thread while the new archive is written.
  std::optional<TBlockFile> keptArchive_;
  // The replaced entries' old bytes still to copy into it, in the old archive's order.
  struct TKeptRange {
    int64_t From, Length, To;
  };
  std::vector<TKeptRange> keptRanges_;
  size_t keptCopied_ = 0;
  TBlockFile* keptSource_ = nullptr;
  TBackgroundFlush keptFlush_;
  // For a part: the point it belongs to, and its index in the point's Archives; its own parts
  // otherwise.
  TRestorePointWriter* owner_ = nullptr;
  size_t partIndex_ = 0;
  std::vector<std::unique_ptr<TRestorePointWriter>> parts_;
  std::string pending_;  // the folder while it is written
  std::string final_;
  bool made_ = false, handedOver_ = false;
};

// Follows the rebuild of the new archive: the replaced entries' old bytes go to the restore point
// as the rebuild's reading of the old archive passes them, so that it is read once.
class TKeptBytesAlong final : public IRebuildReads {
 public:
  explicit TKeptBytesAlong(TRestorePointWriter& point) : point_(point) {}
  void Before(const TPiece& piece) override {
    if (piece.Source == TPiece::kArchive) point_.KeepArchiveBytesBefore(piece.From);
  }
  bool Wants(const TPiece&) override { return false; }
  void Read(const TPiece&, int64_t, const char*, size_t) override {}
  void Finished() override { point_.KeepArchiveBytesBefore(INT64_MAX); }

 private:
  TRestorePointWriter& point_;
};

}  // namespace merva
