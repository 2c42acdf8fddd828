#pragma once
// Writes one archive's change of a restore point: what the installation's plan adds, replaces
// and moves in that archive, and the replaced entries' old bytes in its kept archive.img, read
// from the old archive in one pass with the new archive's writing. The point's writer
// (restore_writer.h) holds one for each archive the run changes, models\gta3.img first.
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "archive/entry_prints_along.h"
#include "archive/rebuild_reads.h"
#include "change/changes.h"
#include "core/background_flush.h"
#include "core/block_file.h"
#include "core/file_system.h"
#include "core/progress.h"
#include "restore/restore_point.h"

namespace merva {

class TArchiveChangeWriter {
 public:
  // `archive` below the game folder (empty: models\gta3.img); `keptFolder` where its kept
  // archive goes, a name that is known once the point's folder is chosen; `earlier` the game's
  // points before this one, newest first, which tell each replaced entry's owner (none without
  // a restore folder).
  TArchiveChangeWriter(IFileSystem& fs, const std::string& restoreFolder,
                       const std::string& archive, const std::string& keptFolder,
                       const std::vector<TRestorePoint>& earlier);
  ~TArchiveChangeWriter() { Abandon(); }
  TArchiveChangeWriter(const TArchiveChangeWriter&) = delete;
  TArchiveChangeWriter& operator=(const TArchiveChangeWriter&) = delete;

  // The change as Keep and Finish would record it for the plan in `archive`, sizes and owners
  // and all, with nothing written. Its KeptBytes count the kept entries' bytes.
  const TArchiveChange& Preview(TArchiveFile& archive);
  // The bytes Keep will write for the plan in `archive`, for the room check before anything is
  // written.
  int64_t KeptBytesFor(TArchiveFile& archive) const;
  // Records the plan in `archive` and makes archive.img ready for the replaced entries' old
  // bytes, once the run has planned the new archive. Those are read from the old archive in one
  // pass with the new archive's writing (KeepArchiveBytesBefore), or at the latest by Finish;
  // the fingerprints of the entries the plan writes are taken from the mod's bytes in the same
  // pass (WantsBytes, TakeBytes), or at the latest by Finish.
  void Keep(TArchiveFile& archive, IProgress& progress);
  // Copies into archive.img the old bytes of the replaced entries that start before byte
  // `position` of the old archive, in the order they lie there; once every one is copied (at the
  // latest when `position` is INT64_MAX), archive.img goes to the disk in the background.
  void KeepArchiveBytesBefore(int64_t position);
  // Whether the fingerprints still want the bytes of `piece` as the new archive's writing reads
  // them, and those bytes, `size` of them from `at` in its file.
  bool WantsBytes(const TPiece& piece) { return prints_ && prints_->Wants(piece); }
  void TakeBytes(const TPiece& piece, int64_t at, const char* data, size_t size) {
    if (prints_) prints_->Read(piece, at, data, size);
  }
  // Every fingerprint of an entry the plan writes, read from the plan where the writing did not
  // hand its bytes over.
  void TakeFingerprints();
  // Once the new archive is written at `newArchivePath` with that fingerprint: archive.img is on
  // the disk and the change knows the new archive.
  void Finish(const std::string& newArchivePath, const std::string& newArchiveFingerprint,
              IProgress& progress);
  // Lets its kept archive go, before the folder that holds it goes.
  void Abandon();

  const TArchiveChange& Change() const { return change_; }

 private:
  template <typename Step>
  void Checked(const Step& step);
  void RecordArchiveChanges(TArchiveFile& archive);
  std::vector<std::string*> WrittenFingerprints();
  void NoteOwners(TArchiveFile& archive);
  void WriteKeptArchive(TBlockFile& archive, const std::string& path);
  void CopyKeptBytesBefore(int64_t position);
  void JoinKeptFlush(IProgress& progress);

  IFileSystem& fs_;
  const std::string& restoreFolder_;
  const std::string& keptFolder_;
  const std::vector<TRestorePoint>& earlier_;
  TArchiveChange change_;
  // The entries the plan writes whose fingerprints the change records, in the order of
  // WrittenFingerprints, and those fingerprints as the new archive's writing reads their bytes.
  std::vector<TArchiveEntry> written_;
  std::optional<TEntryPrintsAlong> prints_;
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
};

// Follows the rebuild of the new archive: the replaced entries' old bytes go to the restore point
// as the rebuild's reading of the old archive passes them, and the fingerprints of the mod's
// entries are taken as it reads them from the package, so that each is read once.
class TArchiveChangeAlong final : public IRebuildReads {
 public:
  explicit TArchiveChangeAlong(TArchiveChangeWriter& change) : change_(change) {}
  void Before(const TPiece& piece) override {
    if (piece.Source == TPiece::kArchive) change_.KeepArchiveBytesBefore(piece.From);
  }
  bool Wants(const TPiece& piece) override { return change_.WantsBytes(piece); }
  void Read(const TPiece& piece, int64_t at, const char* data, size_t size) override {
    change_.TakeBytes(piece, at, data, size);
  }
  void Finished() override {
    change_.KeepArchiveBytesBefore(INT64_MAX);
    change_.TakeFingerprints();
  }

 private:
  TArchiveChangeWriter& change_;
};

// A step of a restore point's writing that failed, in the program's words.
[[noreturn]] void RaiseUnwrittenPoint(const std::string& restoreFolder,
                                      const std::exception& error);

}  // namespace merva
