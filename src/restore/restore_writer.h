#pragma once
// Writes the restore point of one installation. It is written, flushed, beside its final name
// while the new archive waits as temp.img, and the run's journal gives it its final name with
// the new archive: a run that fails or is killed leaves no restore point, or one that is whole
// and matches the archive.
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "core/progress.h"
#include "restore/archive_change_writer.h"
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
  // The writer of what the run changes in the game's archive `archive` (below the game folder,
  // empty for models\gta3.img), in the point's order: models\gta3.img's first, then each other
  // archive's. Each is kept after this point's Keep and finished before its Finish.
  TArchiveChangeWriter& AddArchive(const std::string& archive);
  // Chooses the point's name, before the run's journal is written: the next counter, passing
  // over any name in use.
  void Reserve();
  // Where the point is written, and the name it takes once the run is done.
  const std::string& PendingPath() const { return pending_; }
  const std::string& FinalPath() const { return final_; }
  // Makes the point's folder and keeps in it the old bytes of every replaced game file.
  void Keep(IProgress& progress);
  // Once every archive's change is finished: flushes the kept files, then writes changes.txt
  // and the record, flushed. The point is then whole.
  void Finish(IProgress& progress);
  // The run is committed: its journal gives the point its name from here on.
  void HandOver() { handedOver_ = true; }
  // The point as Keep and Finish would record it, once each archive's change is previewed
  // (TArchiveChangeWriter::Preview), sizes and owners and all, with nothing written: what
  // `merva-img plan` tells. Its Folder is empty and its KeptBytes count the kept entries' and
  // files' bytes.
  TRestorePoint Preview();
  // The bytes Keep will write for the replaced game files (noted before), for the room check
  // before anything is written.
  int64_t KeptGameFileBytes();

  const TRestorePoint& Point() const { return point_; }
  // The game's points before this one, newest first.
  const std::vector<TRestorePoint>& Earlier();

 private:
  // Runs a step; a failure removes the unfinished point and is told in the program's words.
  template <typename Step>
  void Checked(const Step& step);
  void KeepUnchecked(IProgress& progress);
  void FinishUnchecked(IProgress& progress);
  void NoteGameFileOwners();
  int64_t GameFileBytes(const TGameFileChange& change);
  // The point's changes, models\gta3.img's first; the game files' old versions are counted
  // with the first one's kept bytes.
  void CollectArchives(int64_t keptGameFileBytes);

  TRestoreRequest request_;
  IFileSystem& fs_;
  std::string gameFolder_;
  TRestorePoint point_;
  std::vector<TRestorePoint> earlier_;  // read once, when first asked
  bool earlierRead_ = false;
  std::set<std::string> notedFiles_, notedFolders_;
  std::vector<std::string> keptFiles_;
  int64_t keptFileBytes_ = 0;
  // Each archive's change, and where its kept archive lies in the point.
  std::deque<std::string> keptFolders_;
  std::deque<TArchiveChangeWriter> archives_;
  std::string pending_;  // the folder while it is written
  std::string final_;
  bool made_ = false, handedOver_ = false;
};

}  // namespace merva
