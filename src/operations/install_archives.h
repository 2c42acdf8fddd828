#pragma once
// The archives an installation puts files into, models\gta3.img first and each other archive
// the items name after it, all by one rule: each opened (for its rebuild, or read-only for a
// plan), its items put in and its directory sorted, its room counted, written beside itself
// with its change of the restore point, and swapped in with the rest by the run's journal.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_body.h"
#include "archive/archive_rebuild.h"
#include "journal/journal.h"
#include "operations/operation.h"
#include "package/package.h"
#include "restore/restore_writer.h"
#include "script/install_items.h"

namespace merva {

class TArchivesInstall {
 public:
  enum class TFor { kRun, kPlan };
  // For a plan, each archive is opened read-only, with nothing beside it touched.
  TArchivesInstall(TOperationServices services, std::string game, TFor use);
  ~TArchivesInstall();
  TArchivesInstall(const TArchivesInstall&) = delete;
  TArchivesInstall& operator=(const TArchivesInstall&) = delete;

  // Opens models\gta3.img, which must be there before anything else is read, then each other
  // archive whose items `index` holds, all checked before any of them is opened. Raises, naming
  // it, for one that is missing, damaged, no archive of the game, or behind a link.
  void OpenGameArchive();
  void OpenOthers(const TInstallItems& items, const TPackageIndex& index);
  // Gives each archive its change in `point`, in the archives' order.
  void NoteIn(TRestorePointWriter& point);
  // Puts the items into each archive's plan, named after their package files, and sorts it;
  // raises for one the mod would take past 2 GB.
  void Put(const TInstallItems& items, const TPackageIndex& index, TBlockFile& package);
  // Each archive's change as its writer previews it.
  void Preview();
  // The bytes the new archives take beside the old ones, and their kept entries in the point.
  int64_t BytesWritten();
  int64_t BytesKept();
  // Raises for an archive the run could not move aside.
  void RefuseReadOnly();
  // Raises for a game file of the mod that is one of these archives.
  void RefuseGameFile(const TGameFileItem& item) const;
  // Writes into the journal each archive's rebuild put in its place and the archive moved aside.
  void Note(TJournal& journal) const;
  // Writes each new archive beside its old one, flushed, with its change of the point.
  void Write();
  // Around the journal's commit: each rebuild lets its archive go, then hands its new archive
  // over to the journal.
  void Release();
  void HandOver();
  void Close();

 private:
  struct TArchiveInstall {
    std::string Archive;  // below the game folder, as the first item spells it; empty: gta3.img
    std::optional<TArchiveRebuild> Rebuild;  // for a run
    std::optional<TArchiveFile> Read;        // for a plan
    std::optional<TPlannedBody> Body;
    TArchiveChangeWriter* Change = nullptr;
    TArchiveFile& Plan() { return Rebuild ? Rebuild->Archive() : *Read; }
  };
  void OpenOne(TArchiveInstall& archive);

  TOperationServices services_;
  std::string game_;
  TFor use_;
  std::deque<TArchiveInstall> archives_;
};

}  // namespace merva
