#include "operations/undo_plan.h"

#include <algorithm>
#include <optional>
#include <set>

#include "archive/archive_body.h"
#include "archive/archive_file.h"
#include "change/ownership.h"
#include "core/errors.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_lock.h"
#include "operations/undo_game_files.h"
#include "restore/restore_names.h"
#include "restore/restore_reader.h"
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
    for (const TArchiveChange& change : chain[i].Archives)
      for (const TKeptEntry& entry : change.Replaced) owners.push_back(entry.TakenFrom);
    for (const TGameFileChange& file : chain[i].GameFiles) owners.push_back(file.TakenFrom);
    for (const TItemChange& item : chain[i].Items) owners.push_back(item.TakenFrom);
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

std::vector<TArchiveChain> ArchiveChainsOf(const std::string& root,
                                           const std::vector<TRestorePoint>& chain) {
  std::vector<TArchiveChain> archives;
  for (const TArchiveChange& undone : chain[0].Archives) {
    TArchiveChain& of = archives.emplace_back();
    of.Archive = undone.Archive;
    for (size_t i = 0; i < chain.size(); ++i) {
      const std::vector<TArchiveChange>& changes = chain[i].Archives;
      for (size_t n = 0; n < changes.size(); ++n) {
        if (GameArchiveKey(changes[n].Archive) != GameArchiveKey(undone.Archive)) continue;
        of.Links.push_back({chain[i].Folder,
                            KeptArchiveFolderOf(PointPathOf(root, chain[i].Folder), n),
                            changes[n]});
        of.InChain.push_back(i);
      }
    }
  }
  return archives;
}

std::optional<TChainUndo> PlanArchiveChain(const TArchiveChain& of, TArchiveFile& archive,
                                           IProgress* progress, bool& byNames) {
  byNames = false;
  try {
    return PlanChainUndo(of.Links, archive.Entries());
  } catch (const Exception&) {
    // The newest there: its undo works out by names what an archive changed since becomes.
    if (of.Links.size() == 1) return std::nullopt;
    // The archive changed since the newest installation (another tool) is no damage of a point.
    if (IsRecordedArchive(archive.File(), of.Links.back().Change, progress)) throw;
  }
  byNames = true;
  return PlanChainUndoByNames(of.Links, archive.Entries());
}

TRestorePoint UndonePoint(const TRestorePoint& point, const TGameFilesUndo& files) {
  TRestorePoint undone = point;
  undone.GameFiles = files.GameFiles;
  undone.FoldersCreated = files.FoldersCreated;
  return undone;
}

TUndoPlan TellUndo(const std::vector<TRestorePoint>& chain, const TGameFilesUndo& files,
                   const std::vector<TArchivePlan>& archives, const TItemsUndo* items) {
  TUndoPlan told;
  const auto title = [&](const std::string& folder) -> const std::string* {
    for (const TRestorePoint& point : chain)
      if (point.Folder == folder) return &point.Title;
    return nullptr;
  };
  // Another archive's entries with its name: two archives may hold entries of one name.
  for (const TArchivePlan& archive : archives) {
    const std::string in =
        IsMainArchive(archive.Of->Archive) ? "" : " in " + GameArchiveText(archive.Of->Archive);
    std::set<std::string> stays;
    if (archive.Plan)
      for (const TChainStays& stay : archive.Plan->Stay) {
        stays.insert(EntryNameKey(stay.Name));
        if (const std::string* by = title(stay.Point))
          told.Stay.push_back(stay.Name + in + " stays as " + *by + " installed it");
      }
    const TArchiveChange& undone = archive.Of->Links[0].Change;
    for (const TKeptEntry& entry : undone.Replaced)
      if (!stays.count(EntryNameKey(EntryName(entry.Old))))
        told.GivenBack.push_back(EntryName(entry.Old) + in);
    for (const TAddedEntry& entry : undone.Added)
      if (!stays.count(EntryNameKey(entry.Name))) told.Removed.push_back(entry.Name + in);
  }
  for (const TChainStays& stay : files.Stay)
    if (const std::string* by = title(stay.Point))
      told.Stay.push_back(stay.Name + " stays as " + *by + " installed it");
  for (const TGameFileChange& file : files.GameFiles)
    (file.Replaced ? told.GivenBack : told.Removed).push_back(file.Item);
  if (items) {
    told.GivenBack.insert(told.GivenBack.end(), items->GivenBack().begin(),
                          items->GivenBack().end());
    told.Removed.insert(told.Removed.end(), items->Removed().begin(), items->Removed().end());
    told.Stay.insert(told.Stay.end(), items->Stay().begin(), items->Stay().end());
  }
  for (size_t i = 1; i < chain.size(); ++i) told.Rewritten.push_back(chain[i].Folder);
  return told;
}

std::vector<TDisplaced> EntriesChangedSince(IFileSystem& fs, const std::string& gameFolder,
                                            const TArchiveChange& undone, const TChainUndo* plan) {
  std::set<std::string> stays;
  if (plan)
    for (const TChainStays& stay : plan->Stay) stays.insert(EntryNameKey(stay.Name));
  std::vector<std::pair<std::string, std::string>> wrote;  // name, fingerprint
  for (const TKeptEntry& kept : undone.Replaced)
    wrote.push_back({EntryName(kept.Old), kept.NewFingerprint});
  for (const TAddedEntry& added : undone.Added) wrote.push_back({added.Name, added.NewFingerprint});
  std::vector<TDisplaced> changed;
  TArchiveFile now(fs);
  if (!now.Open(GameArchivePathOf(gameFolder, undone.Archive), TOpenAccess::kReadOnly))
    return changed;
  TFileBody body(now.File());
  for (const auto& [name, fingerprint] : wrote) {
    if (fingerprint.empty() || stays.count(EntryNameKey(name))) continue;
    const std::vector<int32_t> found = now.Find(name);
    if (found.empty()) continue;  // gone: nothing of another's to keep
    const TArchiveEntry& entry = now.Entries()[found.front()];
    if (BodyFingerprint(body, EntryStart(entry), EntryBytes(entry)) == fingerprint) continue;
    TDisplaced displaced;
    displaced.Item = name;
    displaced.Now = true;
    displaced.Entry = entry;
    changed.push_back(displaced);
  }
  now.Close();
  return changed;
}

std::string ArchiveChangedText(const std::string& archive, const TRestorePoint& newest) {
  return GameArchiveText(archive) + std::string(" has changed since ") + PointDescription(newest) +
         " was installed: another program, or a mod installed without Merva, changed it.";
}

std::string GameFilesEditedText(const TRestorePoint& point, const std::string& list) {
  return "Game files were changed since " + PointDescription(point) + " was installed: " + list +
         ".";
}

std::string UnkeptVersionsText(const TRestorePoint& point, const std::string& list) {
  return "Versions that no installation wrote would be in no file after taking back " +
         PointDescription(point) + ": " + list + ".";
}

namespace {

// The refusals the undo would give, found by its own checks before its first change, and what
// --force would do about each: the plan ends as the undo would.
void AddUndoChecks(IFileSystem& fs, const std::string& root,
                   const std::vector<TRestorePoint>& chain,
                   const std::vector<TArchivePlan>& archives, const TGameFilesUndo& files,
                   const TItemsUndo& items, TUndoPlan& told) {
  const TRestorePoint& point = chain[0];
  const TRestorePoint undone = UndonePoint(point, files);
  std::string list;
  for (const TDisplaced& displaced : files.Displaced)
    list += (list.empty() ? "" : ", ") + displaced.Item;
  for (const TDisplacedItem& line : items.Displaced())
    list += (list.empty() ? "" : ", ") + line.Item;
  for (const TArchivePlan& plan : archives) {
    const TArchiveChain& of = *plan.Of;
    const std::string path = GameArchivePathOf(point.GameFolder, of.Archive);
    TArchiveFile archive(fs);
    if (fs.IsLink(path) || !archive.Open(path, TOpenAccess::kReadOnly)) {
      // Without its archive the folder is no game.
      if (IsMainArchive(of.Archive)) throw EArchiveMissing(path);
      told.Refusals.push_back(path + " is missing or is a link: the installation of " +
                              PointDescription(point) +
                              " changed it, and it cannot be given back.");
      continue;
    }
    const TRestorePoint& newest = chain[of.InChain.back()];
    if (!IsRecordedArchive(archive.File(), of.Links.back().Change, nullptr)) {
      told.Refusals.push_back(ArchiveChangedText(of.Archive, newest));
      told.Forced.push_back(std::string("the entries of ") + GameArchiveText(of.Archive) +
                            " are taken back by name");
    }
    archive.Close();
    const std::string in = IsMainArchive(of.Archive) ? "" : " in " + GameArchiveText(of.Archive);
    if (plan.Plan)
      for (const TDisplaced& displaced : plan.Plan->Displaced)
        list += (list.empty() ? "" : ", ") + displaced.Item + in;
    // Under later installations, an entry it wrote that another program changed since.
    if (of.Links.size() > 1)
      for (const TDisplaced& now :
           EntriesChangedSince(fs, point.GameFolder, of.Links[0].Change, plan.Plan))
        list += (list.empty() ? "" : ", ") + now.Item + in;
  }
  std::set<std::string> edited;
  try {
    edited = CheckGameFilePlaces(fs, undone, PointPathOf(root, point.Folder));
  } catch (const Exception& blocked) {
    told.Refusals.push_back(blocked.Message());
  }
  if (!edited.empty()) {
    std::string files;
    for (const std::string& item : edited) files += (files.empty() ? "" : ", ") + item;
    told.Refusals.push_back(GameFilesEditedText(point, files));
    told.Forced.push_back("your versions of " + files + " are kept in " +
                          EditsFolderFor(fs, root, point));
  }
  if (!list.empty()) {
    told.Refusals.push_back(UnkeptVersionsText(point, list));
    told.Forced.push_back("those versions of " + list + " are kept in " +
                          EditsFolderFor(fs, root, point));
  }
}

}  // namespace

TUndoPlan PlanUndoOf(IFileSystem& fs, const std::string& root, const TRestorePoint& point,
                     const std::string& recordedFolder, bool withChecks) {
  const std::vector<TRestorePoint> chain = UndoChain(fs, root, point, recordedFolder);
  const std::vector<TArchiveChain> chains = ArchiveChainsOf(root, chain);
  // The newest in an archive: its record alone tells, whatever the archive has become since.
  std::vector<std::optional<TChainUndo>> plans(chains.size());
  std::vector<TArchivePlan> archives;
  for (size_t c = 0; c < chains.size(); ++c) {
    const TArchiveChain& of = chains[c];
    if (of.Links.size() > 1) {
      TArchiveFile archive(fs);
      const std::string path = GameArchivePathOf(point.GameFolder, of.Archive);
      if (fs.IsLink(path) || !archive.Open(path, TOpenAccess::kReadOnly)) {
        if (IsMainArchive(of.Archive)) throw EArchiveMissing(path);
        archives.push_back({&of, nullptr});  // told among the refusals
        continue;
      }
      bool byNames = false;
      plans[c] = PlanArchiveChain(of, archive, nullptr, byNames);
      archive.Close();
    }
    archives.push_back({&of, plans[c] ? &*plans[c] : nullptr});
  }
  const TGameFilesUndo files = PlanGameFilesUndo(chain);
  TItemsUndo items(fs, point.GameFolder);
  items.Plan(chain);
  TUndoPlan told = TellUndo(chain, files, archives, &items);
  if (withChecks) AddUndoChecks(fs, root, chain, archives, files, items, told);
  return told;
}

TUndoPlan PlanUndo(const std::string& root, const std::string& point, const std::string& game,
                   IFileSystem& fs) {
  const TPointPlace place = PointPlaceOf(fs, root, point);
  // Read under the shared lock: never during a change, never waiting for another reader.
  const TGameLock lock(fs, game, TGameLock::TMode::kRead);
  for (const TRestorePoint& candidate : ListRestorePoints(fs, place.Root, game))
    if (candidate.Folder == place.Name) return PlanUndoOf(fs, place.Root, candidate, "", true);
  throw EFileError(PointPathOf(place.Root, place.Name), "no restore point of " + game);
}

}  // namespace merva
