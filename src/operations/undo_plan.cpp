#include "operations/undo_plan.h"

#include <algorithm>
#include <optional>
#include <set>

#include "archive/archive_file.h"
#include "core/errors.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_lock.h"
#include "restore/ownership.h"
#include "restore/restore_names.h"
#include "restore/restore_store.h"

namespace merva {

std::vector<TRestorePoint> UndoChain(IFileSystem& fs, const std::string& root,
                                     const TRestorePoint& point,
                                     const std::string& recordedFolder) {
  // The later installations of the game stay: their points are read, every one of them, before
  // anything changes. A game moved since has later points under the folder they record and,
  // once moved, under its new one.
  std::vector<TRestorePoint> chain{point};
  for (const std::string& folder : {point.GameFolder, recordedFolder}) {
    if (folder.empty()) continue;
    for (const TDamagedPoint& damaged : DamagedRestorePoints(fs, root, folder))
      if (damaged.Counter > point.Counter)
        throw Exception("The installation of " + PointDescription(point) +
                        " cannot be taken back: the restore point " + damaged.Folder +
                        " of a later installation " + DamagedPointReason(damaged) +
                        ". Nothing was changed.");
    for (const TRestorePoint& other : ListRestorePoints(fs, root, folder))
      if (other.Counter > point.Counter) chain.push_back(other);
  }
  std::sort(chain.begin() + 1, chain.end(),
            [](const TRestorePoint& a, const TRestorePoint& b) { return a.Counter < b.Counter; });
  // A later point that took things over from a point no longer there: that point was removed
  // by hand, and what it kept is not known.
  std::set<std::string> present;
  for (const std::string& folder : {point.GameFolder, recordedFolder})
    if (!folder.empty())
      for (const TRestorePoint& other : ListRestorePoints(fs, root, folder))
        present.insert(other.Folder);
  present.insert(point.Folder);
  for (size_t i = 1; i < chain.size(); ++i) {
    std::vector<std::string> owners;
    for (const TKeptEntry& entry : chain[i].Replaced) owners.push_back(entry.TakenFrom);
    for (const TGameFileChange& file : chain[i].GameFiles) owners.push_back(file.TakenFrom);
    for (const std::string& owner : owners) {
      const std::string name = TakenFromPointName(owner);
      if (!name.empty() && !present.count(name))
        throw Exception("The installation of " + PointDescription(point) +
                        " cannot be taken back: the restore point " + name + ", which " +
                        PointDescription(chain[i]) +
                        " took files over from, is missing. Take back the later installations "
                        "first. Nothing was changed.");
    }
  }
  return chain;
}

TUndoPlan TellUndo(const std::vector<TRestorePoint>& chain, const TChainUndo& plan) {
  const TRestorePoint& point = chain[0];
  TUndoPlan told;
  std::set<std::string> stays;
  for (const TChainUndo::TStays& stay : plan.Stay) {
    stays.insert(EntryNameKey(stay.Name));
    for (const TRestorePoint& point : chain)
      if (point.Folder == stay.Point)
        told.Stay.push_back(stay.Name + " stays as " + point.Title + " installed it");
  }
  for (const TKeptEntry& entry : point.Replaced)
    if (!stays.count(EntryNameKey(EntryName(entry.Old))))
      told.GivenBack.push_back(EntryName(entry.Old));
  for (const TAddedEntry& entry : point.Added)
    if (!stays.count(EntryNameKey(entry.Name))) told.Removed.push_back(entry.Name);
  // Another archive's entries with its name: no later installation changed it again.
  for (const TRestorePoint& part : point.Parts) {
    const std::string in = " in " + GameArchiveText(part.Archive);
    for (const TKeptEntry& entry : part.Replaced) told.GivenBack.push_back(EntryName(entry.Old) + in);
    for (const TAddedEntry& entry : part.Added) told.Removed.push_back(entry.Name + in);
  }
  for (const TGameFileChange& file : plan.Undone.GameFiles)
    (file.Replaced ? told.GivenBack : told.Removed).push_back(file.Item);
  for (const TRewrittenPoint& rewritten : plan.Rewritten)
    told.Rewritten.push_back(rewritten.Point.Folder);
  return told;
}

TUndoPlan PlanUndoOf(IFileSystem& fs, const std::string& root, const TRestorePoint& point,
                     const std::string& recordedFolder) {
  const std::vector<TRestorePoint> chain = UndoChain(fs, root, point, recordedFolder);
  if (chain.size() == 1) {
    // The newest: its record alone tells, whatever the archive has become since.
    TChainUndo alone;
    alone.Undone = point;
    return TellUndo(chain, alone);
  }
  TArchiveFile archive(fs);
  if (!archive.Open(ArchivePathOf(point.GameFolder), TOpenAccess::kReadOnly))
    throw EArchiveMissing(ArchivePathOf(point.GameFolder));
  std::optional<TChainUndo> plan;
  try {
    plan = PlanChainUndo(chain, archive.Entries());
  } catch (const Exception&) {
    // The archive changed since the newest installation (another tool) is no damage of a
    // point: what a forced undo would do by names is told.
    if (IsRecordedArchive(archive.File(), chain.back(), nullptr)) throw;
    plan = PlanChainUndoByNames(chain, archive.Entries());
  }
  archive.Close();
  return TellUndo(chain, *plan);
}

TUndoPlan PlanUndo(const std::string& root, const std::string& point, const std::string& game,
                   IFileSystem& fs) {
  const TPointPlace place = PointPlaceOf(fs, root, point);
  // Read under the shared lock: never during a change, never waiting for another reader.
  const TGameLock lock(fs, game, TGameLock::TMode::kRead);
  for (const TRestorePoint& candidate : ListRestorePoints(fs, place.Root, game))
    if (candidate.Folder == place.Name) return PlanUndoOf(fs, place.Root, candidate, "");
  throw EFileError(PointPathOf(place.Root, place.Name), "no restore point of " + game);
}

}  // namespace merva
