#include "operations/undo_plan.h"

#include <algorithm>
#include <optional>
#include <set>

#include "archive/archive_body.h"
#include "archive/archive_file.h"
#include "core/errors.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_lock.h"
#include "operations/undo_game_files.h"
#include "restore/ownership.h"
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
    for (const TKeptEntry& entry : chain[i].Replaced) owners.push_back(entry.TakenFrom);
    for (const TRestorePoint& part : chain[i].Parts)
      for (const TKeptEntry& entry : part.Replaced) owners.push_back(entry.TakenFrom);
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

std::vector<TPartChain> PartChainsOf(const std::string& root,
                                     const std::vector<TRestorePoint>& chain) {
  std::vector<TPartChain> parts;
  for (const TRestorePoint& part : chain[0].Parts) {
    TPartChain& of = parts.emplace_back();
    of.Archive = part.Archive;
    for (size_t i = 0; i < chain.size(); ++i) {
      const int n = PartIndexFor(chain[i], part.Archive);
      if (n < 0) continue;
      of.Chain.push_back(PartPoint(chain[i], static_cast<size_t>(n)));
      // A moved game: every part is taken back where the game is now.
      of.Chain.back().GameFolder = chain[0].GameFolder;
      of.KeptFolders.push_back(PointPathOf(root, chain[i].Folder) + "\\" +
                               KeptPartFolder(static_cast<size_t>(n)));
      of.InChain.push_back(i);
    }
  }
  return parts;
}

TUndoPlan TellUndo(const std::vector<TRestorePoint>& chain, const TChainUndo& plan,
                   const std::vector<TPartPlan>& parts) {
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
  // Another archive's entries with its name: two archives may hold entries of one name.
  for (const TPartPlan& part : parts) {
    const std::string in = " in " + GameArchiveText(part.Part->Archive);
    std::set<std::string> staysThere;
    if (part.Plan)
      for (const TChainUndo::TStays& stay : part.Plan->Stay) {
        staysThere.insert(EntryNameKey(stay.Name));
        for (const TRestorePoint& later : chain)
          if (later.Folder == stay.Point)
            told.Stay.push_back(stay.Name + in + " stays as " + later.Title + " installed it");
      }
    const TRestorePoint& undone = part.Part->Chain[0];
    for (const TKeptEntry& entry : undone.Replaced)
      if (!staysThere.count(EntryNameKey(EntryName(entry.Old))))
        told.GivenBack.push_back(EntryName(entry.Old) + in);
    for (const TAddedEntry& entry : undone.Added)
      if (!staysThere.count(EntryNameKey(entry.Name))) told.Removed.push_back(entry.Name + in);
  }
  for (const TGameFileChange& file : plan.Undone.GameFiles)
    (file.Replaced ? told.GivenBack : told.Removed).push_back(file.Item);
  for (const TRewrittenPoint& rewritten : plan.Rewritten)
    told.Rewritten.push_back(rewritten.Point.Folder);
  return told;
}

std::vector<TChainUndo::TDisplaced> EntriesChangedSince(IFileSystem& fs,
                                                        const std::string& gameFolder,
                                                        const TRestorePoint& undone,
                                                        const TChainUndo* plan,
                                                        const std::string& archive) {
  std::set<std::string> stays;
  if (plan)
    for (const TChainUndo::TStays& stay : plan->Stay) stays.insert(EntryNameKey(stay.Name));
  std::vector<std::pair<std::string, std::string>> wrote;  // name, fingerprint
  for (const TKeptEntry& kept : undone.Replaced)
    wrote.push_back({EntryName(kept.Old), kept.NewFingerprint});
  for (const TAddedEntry& added : undone.Added) wrote.push_back({added.Name, added.NewFingerprint});
  std::vector<TChainUndo::TDisplaced> changed;
  TArchiveFile now(fs);
  if (!now.Open(GameArchivePathOf(gameFolder, archive), TOpenAccess::kReadOnly)) return changed;
  TFileBody body(now.File());
  for (const auto& [name, fingerprint] : wrote) {
    if (fingerprint.empty() || stays.count(EntryNameKey(name))) continue;
    const std::vector<int32_t> found = now.Find(name);
    if (found.empty()) continue;  // gone: nothing of another's to keep
    const TArchiveEntry& entry = now.Entries()[found.front()];
    if (BodyFingerprint(body, EntryStart(entry), EntryBytes(entry)) == fingerprint) continue;
    TChainUndo::TDisplaced displaced;
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
                   const std::vector<TRestorePoint>& chain, const std::vector<TPartChain>& parts,
                   const TRestorePoint& undone, const std::vector<const TChainUndo*>& plans,
                   TUndoPlan& told) {
  const TRestorePoint& point = chain[0];
  const auto changed = [&](const std::string& archive, const TRestorePoint& newest) {
    told.Refusals.push_back(ArchiveChangedText(archive, newest));
    told.Forced.push_back(std::string("the entries of ") + GameArchiveText(archive) +
                          " are taken back by name");
  };
  {
    TArchiveFile archive(fs);
    if (fs.IsLink(ArchivePathOf(point.GameFolder)) ||
        !archive.Open(ArchivePathOf(point.GameFolder), TOpenAccess::kReadOnly))
      throw EArchiveMissing(ArchivePathOf(point.GameFolder));
    if (!IsRecordedArchive(archive.File(), chain.back(), nullptr)) changed("", chain.back());
  }
  for (const TPartChain& part : parts) {
    const std::string path = GameArchivePathOf(point.GameFolder, part.Archive);
    TArchiveFile archive(fs);
    if (fs.IsLink(path) || !archive.Open(path, TOpenAccess::kReadOnly)) {
      told.Refusals.push_back(path + " is missing or is a link: the installation of " +
                              PointDescription(point) +
                              " changed it, and it cannot be given back.");
      continue;
    }
    if (!IsRecordedArchive(archive.File(), part.Chain.back(), nullptr))
      changed(part.Archive, part.Chain.back());
  }
  std::set<std::string> edited;
  try {
    edited = CheckGameFilePlaces(fs, undone, PointPathOf(root, point.Folder));
  } catch (const Exception& blocked) {
    told.Refusals.push_back(blocked.Message());
  }
  if (!edited.empty()) {
    std::string list;
    for (const std::string& item : edited) list += (list.empty() ? "" : ", ") + item;
    told.Refusals.push_back(GameFilesEditedText(point, list));
    told.Forced.push_back("your versions of " + list + " are kept in " +
                          EditsFolderFor(fs, root, point));
  }
  std::string list;
  for (const TChainUndo* plan : plans)
    if (plan)
      for (const TChainUndo::TDisplaced& displaced : plan->Displaced)
        list += (list.empty() ? "" : ", ") + displaced.Item;
  // Under later installations, an entry it wrote that another program changed since.
  if (chain.size() > 1)
    for (const TChainUndo::TDisplaced& now :
         EntriesChangedSince(fs, point.GameFolder, point, plans[0], ""))
      list += (list.empty() ? "" : ", ") + now.Item;
  for (size_t p = 0; p < parts.size(); ++p)
    if (parts[p].Chain.size() > 1)
      for (const TChainUndo::TDisplaced& now : EntriesChangedSince(
               fs, point.GameFolder, parts[p].Chain[0], plans[p + 1], parts[p].Archive))
        list += (list.empty() ? "" : ", ") + now.Item + " in " + GameArchiveText(parts[p].Archive);
  if (!list.empty()) {
    told.Refusals.push_back(UnkeptVersionsText(point, list));
    told.Forced.push_back("those versions of " + list + " are kept in " +
                          EditsFolderFor(fs, root, point));
  }
}

std::vector<const TChainUndo*> PlansOf(const TChainUndo* main,
                                       const std::vector<std::optional<TChainUndo>>& parts) {
  std::vector<const TChainUndo*> plans = {main};
  for (const std::optional<TChainUndo>& part : parts) plans.push_back(part ? &*part : nullptr);
  return plans;
}

}  // namespace

TUndoPlan PlanUndoOf(IFileSystem& fs, const std::string& root, const TRestorePoint& point,
                     const std::string& recordedFolder, bool withChecks) {
  const std::vector<TRestorePoint> chain = UndoChain(fs, root, point, recordedFolder);
  const std::vector<TPartChain> partChains = PartChainsOf(root, chain);
  // Each other archive's plan, worked out as gta3.img's below.
  std::vector<std::optional<TChainUndo>> partUndos(partChains.size());
  std::vector<TPartPlan> parts;
  for (size_t p = 0; p < partChains.size(); ++p) {
    const TPartChain& part = partChains[p];
    if (part.Chain.size() > 1) {
      TArchiveFile archive(fs);
      const std::string path = GameArchivePathOf(point.GameFolder, part.Archive);
      if (fs.IsLink(path) || !archive.Open(path, TOpenAccess::kReadOnly)) {
        parts.push_back({&part, nullptr});  // told among the refusals
        continue;
      }
      try {
        partUndos[p] = PlanChainUndo(part.Chain, archive.Entries());
      } catch (const Exception&) {
        if (IsRecordedArchive(archive.File(), part.Chain.back(), nullptr)) throw;
        partUndos[p] = PlanChainUndoByNames(part.Chain, archive.Entries());
      }
      archive.Close();
    }
    parts.push_back({&part, partUndos[p] ? &*partUndos[p] : nullptr});
  }
  if (chain.size() == 1) {
    // The newest: its record alone tells, whatever the archive has become since.
    TChainUndo alone;
    alone.Undone = point;
    TUndoPlan told = TellUndo(chain, alone, parts);
    if (withChecks)
      AddUndoChecks(fs, root, chain, partChains, point, PlansOf(nullptr, partUndos), told);
    return told;
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
  TUndoPlan told = TellUndo(chain, *plan, parts);
  if (withChecks)
    AddUndoChecks(fs, root, chain, partChains, plan->Undone, PlansOf(&*plan, partUndos), told);
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
