#include "restore/point_chain.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <set>

#include "archive/archive_file.h"
#include "core/errors.h"
#include "game/game_folder.h"
#include "restore/restore_names.h"
#include "restore/restore_reader.h"
#include "script/install_items.h"

namespace merva {

std::vector<int32_t> OldPlaces(const TRestorePoint& point, size_t nowCount) {
  if (nowCount != static_cast<size_t>(point.OldCount) + point.Added.size())
    throw Damaged(point, "its entry count does not match the archive");
  std::vector<int32_t> placeOf(static_cast<size_t>(point.OldCount), -1);
  for (const TOrderRun& run : point.Order) {
    for (int32_t i = 0; i < run.Count; ++i) {
      const int64_t k = int64_t{run.Old} + i, j = int64_t{run.New} + i;
      if (run.Count < 0 || k < 0 || k >= point.OldCount || j < 0 ||
          j >= static_cast<int64_t>(nowCount) || placeOf[k] >= 0)
        throw Damaged(point, "its order of entries does not fit the archive");
      placeOf[k] = static_cast<int32_t>(j);
    }
  }
  for (const int32_t j : placeOf)
    if (j < 0) throw Damaged(point, "an entry is missing from its order");
  for (const TKeptEntry& kept : point.Replaced)
    if (kept.Index < 0 || kept.Index >= point.OldCount)
      throw Damaged(point, "a replaced entry lies outside the directory");
  return placeOf;
}

int64_t ChainArchiveBytes(const TChainDirectory& entries, int32_t firstSector) {
  int64_t sectors = CompactionFirstSector(static_cast<int32_t>(entries.size()), firstSector);
  for (const TChainEntry& entry : entries) sectors += std::max(entry.Entry.Size, 0);
  return SectorBytes(sectors);
}

namespace {

// One archive of the chain, worked out back from the one after it: its entries, and for each
// entry of the archive after it where it came from.
struct TStep {
  TChainDirectory Before;        // the archive the point found
  std::vector<int32_t> Origin;   // for each entry it left: its index before, -1 when added
  std::vector<int32_t> Written;  // for each entry it left: its Replaced or Added index, or -1
  std::vector<bool> AddedNow;    // for each entry it left: added by the point
};

TStep UndoInMemory(const TRestorePoint& point, int32_t pointIndex, const TChainDirectory& after) {
  const std::vector<int32_t> placeOf = OldPlaces(point, after.size());
  TStep step;
  step.Before.resize(placeOf.size());
  step.Origin.assign(after.size(), -1);
  step.Written.assign(after.size(), -1);
  step.AddedNow.assign(after.size(), true);
  for (size_t k = 0; k < placeOf.size(); ++k) {
    step.Before[k] = after[placeOf[k]];
    step.Origin[placeOf[k]] = static_cast<int32_t>(k);
    step.AddedNow[placeOf[k]] = false;
  }
  for (size_t r = 0; r < point.Replaced.size(); ++r) {
    const TKeptEntry& kept = point.Replaced[r];
    step.Before[kept.Index] = {kept.Old, {pointIndex, static_cast<int32_t>(r)}};
    step.Written[placeOf[kept.Index]] = static_cast<int32_t>(r);
  }
  // The added entries are recorded in the order they stand in the archive the point left.
  size_t added = 0;
  for (size_t j = 0; j < after.size(); ++j) {
    if (!step.AddedNow[j]) continue;
    if (EntryNameKey(point.Added[added].Name) != EntryNameKey(EntryName(after[j].Entry)))
      throw Damaged(point, "an added entry is not where its record says");
    step.Written[j] = static_cast<int32_t>(added++);
  }
  return step;
}

bool HasData(const TChainDirectory& entries) {
  return std::any_of(entries.begin(), entries.end(),
                     [](const TChainEntry& entry) { return entry.Entry.Size > 0; });
}

// The runs of entries that keep their order, as the writer records them.
void AddToOrder(std::vector<TOrderRun>& order, int32_t old, int32_t now) {
  TOrderRun* last = order.empty() ? nullptr : &order.back();
  if (last && last->Old + last->Count == old && last->New + last->Count == now)
    ++last->Count;
  else
    order.push_back({old, now, 1});
}

bool Below(const std::string& itemKey, const std::string& folderKey) {
  return itemKey.size() > folderKey.size() &&
         itemKey.compare(0, folderKey.size(), folderKey) == 0 &&
         (itemKey[folderKey.size()] == '\\' || itemKey[folderKey.size()] == '/');
}

// The game files and folders of the point taken back that later installations took over.
void PassGameFiles(const std::vector<TRestorePoint>& chain, TChainUndo& result) {
  const TRestorePoint& undone = chain[0];
  result.Undone.GameFiles.clear();
  for (const TGameFileChange& change : undone.GameFiles) {
    const std::string key = GameFileItemKey(change.Item);
    bool taken = false;
    for (size_t i = 1; i < chain.size() && !taken; ++i) {
      TRewrittenPoint& later = result.Rewritten[i - 1];
      for (size_t f = 0; f < later.Point.GameFiles.size() && !taken; ++f) {
        TGameFileChange& own = later.Point.GameFiles[f];
        if (GameFileItemKey(own.Item) != key) continue;
        taken = true;
        result.Stay.push_back({change.Item, later.Point.Folder});
        // Found gone by the later installation: it keeps what it recorded.
        if (!own.Replaced) break;
        // Found changed by the player or another program: that version stays its to give back,
        // and what the one taken back kept under it, nobody's installation, has no place left.
        if (own.TakenFrom == kTakenFromChanged) {
          if (change.Replaced && TakenFromPointName(change.TakenFrom).empty())
            result.Displaced.push_back({true, change.Item, later.Point.Folder, -1, 0, change});
          break;
        }
        own.Replaced = change.Replaced;
        own.OldBytes = change.Replaced ? change.OldBytes : 0;
        own.Kept = change.Replaced ? KeptGameFileName(own.Item) : "";
        own.TakenFrom = change.Replaced ? change.TakenFrom : "";
        own.KeptFingerprint = change.Replaced ? change.KeptFingerprint : "";
        later.GameFileFrom[f] = {0, change.Kept};
      }
    }
    if (!taken) result.Undone.GameFiles.push_back(change);
  }
  result.Undone.FoldersCreated.clear();
  std::vector<std::vector<std::string>> passed(chain.size());
  for (const std::string& folder : undone.FoldersCreated) {
    const std::string key = GameFileItemKey(folder);
    size_t user = 0;
    for (size_t i = 1; i < chain.size() && user == 0; ++i)
      for (const TGameFileChange& change : chain[i].GameFiles)
        if (Below(GameFileItemKey(change.Item), key)) user = i;
    if (user == 0)
      result.Undone.FoldersCreated.push_back(folder);
    else
      passed[user].push_back(folder);
  }
  // Outermost first: the passed folders were there before the later installation made its own.
  for (size_t i = 1; i < chain.size(); ++i) {
    std::vector<std::string>& folders = result.Rewritten[i - 1].Point.FoldersCreated;
    folders.insert(folders.begin(), passed[i].begin(), passed[i].end());
  }
}

// True when a rewritten point's old bytes are all its own kept archive's, in its order: that
// archive.img stays as it is.
bool KeepsItsOwn(const std::vector<TChainBytes>& kept, size_t own, size_t ownCount) {
  if (kept.size() != ownCount) return false;
  for (size_t r = 0; r < kept.size(); ++r)
    if (!(kept[r] == TChainBytes{static_cast<int32_t>(own), static_cast<int32_t>(r)})) return false;
  return true;
}

// The level the point taken back found passes to the first later installation that set a level
// itself: its undo then leaves what the ones before it left. With none, the undo restores it.
void PassLevelBefore(const TRestorePoint& undone, std::vector<TRewrittenPoint>& rewritten) {
  if (!undone.Level.Checked) return;
  for (TRewrittenPoint& later : rewritten)
    if (later.Point.Level.Checked) {
      later.Point.Level.Before = undone.Level.Before;
      return;
    }
}

void CountKeptBytes(TRestorePoint& point) {
  point.KeptBytes = 0;
  for (const TKeptEntry& entry : point.Replaced) point.KeptBytes += EntryBytes(entry.Old);
  for (const TGameFileChange& change : point.GameFiles)
    if (change.Replaced) point.KeptBytes += change.OldBytes;
}

}  // namespace

TChainUndo PlanChainUndo(const std::vector<TRestorePoint>& chain,
                         const std::vector<TArchiveEntry>& now) {
  const size_t m = chain.size() - 1;
  // Each point found the archive the one before it left: not so, and something changed the
  // archive between them that no point describes.
  for (size_t i = 1; i < chain.size(); ++i)
    if (chain[i].OldArchiveBytes != chain[i - 1].NewArchiveBytes ||
        int64_t{chain[i].OldCount} !=
            int64_t{chain[i - 1].OldCount} + static_cast<int64_t>(chain[i - 1].Added.size()))
      throw Exception("The restore point " + chain[i].Folder + " does not follow " +
                      chain[i - 1].Folder + ": " + kArchiveInGame +
                      " was changed between the two installations by another program, or the "
                      "restore point of an installation between them was removed. Take back "
                      "the later installations first. Nothing was changed.");
  // archives[i + 1] is the archive chain[i] left; archives[0] the one before chain[0].
  std::vector<TChainDirectory> archives(chain.size() + 1);
  std::vector<TStep> steps(chain.size());
  for (const TArchiveEntry& entry : now) archives[m + 1].push_back({entry, {}});
  for (size_t i = chain.size(); i-- > 0;) {
    steps[i] = UndoInMemory(chain[i], static_cast<int32_t>(i), archives[i + 1]);
    archives[i] = steps[i].Before;
  }

  // For each entry of each archive since: the entry it descends from in the archive chain[0]
  // left (-1 when added later), and whether it is still as chain[0] wrote it.
  std::vector<std::vector<int32_t>> base(chain.size());
  std::vector<std::vector<bool>> undoneWrote(chain.size());
  for (size_t i = 0; i < chain.size(); ++i) {
    const TStep& step = steps[i];
    const size_t count = archives[i + 1].size();
    base[i].assign(count, -1);
    undoneWrote[i].assign(count, false);
    for (size_t j = 0; j < count; ++j) {
      const bool wrote = step.Written[j] >= 0;
      if (i == 0) {
        base[0][j] = static_cast<int32_t>(j);
        undoneWrote[0][j] = wrote;
      } else if (step.Origin[j] >= 0) {
        base[i][j] = base[i - 1][step.Origin[j]];
        undoneWrote[i][j] = !wrote && undoneWrote[i - 1][step.Origin[j]];
      }
    }
  }

  // The archives without what chain[0] wrote, and where each entry of an archive since went.
  std::vector<TChainDirectory> without(chain.size());
  std::vector<std::vector<int32_t>> placeWithout(chain.size());
  without[0] = archives[0];  // the archive chain[0] found, in its own order
  placeWithout[0] = steps[0].Origin;
  for (size_t i = 1; i < chain.size(); ++i) {
    placeWithout[i].assign(archives[i + 1].size(), -1);
    for (size_t j = 0; j < archives[i + 1].size(); ++j) {
      TChainEntry entry = archives[i + 1][j];
      if (undoneWrote[i][j]) {
        const int32_t before = steps[0].Origin[base[i][j]];
        if (before < 0) continue;  // added by chain[0]: it goes
        entry = archives[0][before];
      }
      placeWithout[i][j] = static_cast<int32_t>(without[i].size());
      without[i].push_back(entry);
    }
  }

  TChainUndo result;
  result.Undone = chain[0];
  result.Archive = m == 0 ? archives[0] : without[m];
  for (size_t i = 1; i < chain.size(); ++i) {
    const TRestorePoint& old = chain[i];
    const TStep& step = steps[i];
    TRewrittenPoint rewritten;
    TRestorePoint& point = rewritten.Point;
    point = old;
    point.Order.clear();
    point.Replaced.clear();
    point.Added.clear();
    const TChainDirectory& found = without[i - 1];
    struct TReplaced {
      TKeptEntry Kept;
      TChainBytes Bytes;
    };
    std::vector<TReplaced> replaced;
    for (size_t j = 0; j < archives[i + 1].size(); ++j) {
      const int32_t place = placeWithout[i][j];
      if (place < 0) continue;
      const int32_t origin = step.Origin[j];
      const int32_t before = origin < 0 ? -1 : placeWithout[i - 1][origin];
      const TArchiveEntry& entry = archives[i + 1][j].Entry;
      // Taken over from chain[0] but found changed by another program: the version this point
      // kept is nobody's installation's. The point keeps what chain[0] kept under it instead
      // (its archive then follows the one before it, entry for entry), and that version has no
      // place left in any point: the undo refuses, or forced keeps it aside.
      if (origin >= 0 && step.Written[j] >= 0 &&
          old.Replaced[step.Written[j]].TakenFrom == kTakenFromChanged &&
          (before < 0 || found[before].Bytes.Point == 0)) {
        TChainUndo::TDisplaced displaced;
        displaced.Item = EntryName(entry);
        displaced.Later = old.Folder;
        displaced.KeptBy = static_cast<int32_t>(i);
        displaced.Kept = step.Written[j];
        result.Displaced.push_back(displaced);
      }
      if (before < 0) {
        // Added by this installation, or by chain[0] and taken over by this one.
        const std::string fingerprint = origin < 0 ? old.Added[step.Written[j]].NewFingerprint
                                                   : old.Replaced[step.Written[j]].NewFingerprint;
        point.Added.push_back({EntryName(entry), entry.Size, fingerprint});
        if (origin >= 0) result.Stay.push_back({EntryName(entry), old.Folder});
        continue;
      }
      AddToOrder(point.Order, before, place);
      if (step.Written[j] < 0) continue;
      TKeptEntry kept = old.Replaced[step.Written[j]];
      kept.Index = before;
      kept.Old = found[before].Entry;
      kept.Kept = kKeptArchiveName;
      const TChainBytes bytes = found[before].Bytes;
      if (bytes.Point == 0) {
        // Taken over from chain[0]: what it kept is kept here now.
        kept.TakenFrom = chain[0].Replaced[bytes.Kept].TakenFrom;
        result.Stay.push_back({EntryName(entry), old.Folder});
      }
      replaced.push_back({kept, bytes});
    }
    point.OldCount = static_cast<int32_t>(found.size());
    std::stable_sort(replaced.begin(), replaced.end(), [](const TReplaced& a, const TReplaced& b) {
      return a.Kept.Index < b.Kept.Index;
    });
    for (const TReplaced& kept : replaced) {
      point.Replaced.push_back(kept.Kept);
      rewritten.KeptEntries.push_back(kept.Bytes);
    }
    rewritten.SameKeptArchive = KeepsItsOwn(rewritten.KeptEntries, i, old.Replaced.size());
    if (!rewritten.SameKeptArchive) point.KeptArchiveFingerprint.clear();
    // The archive it found: the one chain[0] found for the first, else one an installation
    // wrote compacted.
    if (i == 1) {
      point.OldFirstSector = chain[0].OldFirstSector;
      point.OldArchiveBytes = chain[0].OldArchiveBytes;
    } else {
      point.OldFirstSector = HasData(found) ? FirstCompactedOffset(point.OldCount) : 0;
      point.OldArchiveBytes = ChainArchiveBytes(found, 0);
    }
    rewritten.Leaves = without[i];
    rewritten.LeavesFirstSector = FirstCompactedOffset(static_cast<int32_t>(without[i].size()));
    point.NewArchiveBytes = ChainArchiveBytes(without[i], 0);
    for (const TGameFileChange& change : point.GameFiles)
      rewritten.GameFileFrom.push_back({static_cast<int32_t>(i), change.Kept});
    result.Rewritten.push_back(std::move(rewritten));
  }
  PassGameFiles(chain, result);
  PassLevelBefore(chain[0], result.Rewritten);
  for (TRewrittenPoint& rewritten : result.Rewritten) CountKeptBytes(rewritten.Point);
  return result;
}

TChainUndo PlanChainUndoByNames(const std::vector<TRestorePoint>& chain,
                                const std::vector<TArchiveEntry>& now) {
  const TRestorePoint& undone = chain[0];
  TChainUndo result;
  result.Undone = undone;
  for (size_t i = 1; i < chain.size(); ++i) {
    TRewrittenPoint rewritten;
    rewritten.Point = chain[i];
    rewritten.Exact = false;
    for (size_t r = 0; r < chain[i].Replaced.size(); ++r)
      rewritten.KeptEntries.push_back({static_cast<int32_t>(i), static_cast<int32_t>(r)});
    for (const TGameFileChange& change : chain[i].GameFiles)
      rewritten.GameFileFrom.push_back({static_cast<int32_t>(i), change.Kept});
    result.Rewritten.push_back(std::move(rewritten));
  }
  // Each name the point wrote: the first later point that wrote it again takes it over.
  std::set<std::string> taken;
  const auto takeOver = [&](const std::string& name, const TKeptEntry* kept, int32_t keptIndex) {
    const std::string key = EntryNameKey(name);
    for (TRewrittenPoint& later : result.Rewritten) {
      TRestorePoint& point = later.Point;
      for (size_t r = 0; r < point.Replaced.size(); ++r) {
        if (EntryNameKey(EntryName(point.Replaced[r].Old)) != key) continue;
        taken.insert(key);
        result.Stay.push_back({name, point.Folder});
        // Found changed by another program: that version has no place left (see
        // PlanChainUndo).
        if (point.Replaced[r].TakenFrom == kTakenFromChanged) {
          TChainUndo::TDisplaced displaced;
          displaced.Item = name;
          displaced.Later = point.Folder;
          displaced.KeptBy = static_cast<int32_t>(&later - &result.Rewritten.front()) + 1;
          displaced.Kept = static_cast<int32_t>(r);
          result.Displaced.push_back(displaced);
        }
        if (kept) {
          point.Replaced[r].Old = kept->Old;
          point.Replaced[r].TakenFrom = kept->TakenFrom;
          later.KeptEntries[r] = {0, keptIndex};
        } else {
          point.Added.push_back({EntryName(point.Replaced[r].Old), point.Replaced[r].NewSize,
                                 point.Replaced[r].NewFingerprint});
          point.Replaced.erase(point.Replaced.begin() + static_cast<ptrdiff_t>(r));
          later.KeptEntries.erase(later.KeptEntries.begin() + static_cast<ptrdiff_t>(r));
        }
        return;
      }
      for (const TAddedEntry& added : point.Added)
        if (EntryNameKey(added.Name) == key) {
          // Found gone by the later installation: it keeps what it recorded.
          taken.insert(key);
          result.Stay.push_back({name, point.Folder});
          return;
        }
    }
  };
  for (size_t r = 0; r < undone.Replaced.size(); ++r)
    takeOver(EntryName(undone.Replaced[r].Old), &undone.Replaced[r], static_cast<int32_t>(r));
  for (const TAddedEntry& added : undone.Added) takeOver(added.Name, nullptr, -1);
  for (size_t i = 1; i < chain.size(); ++i) {
    TRewrittenPoint& later = result.Rewritten[i - 1];
    later.SameKeptArchive = KeepsItsOwn(later.KeptEntries, i, chain[i].Replaced.size());
    if (!later.SameKeptArchive) later.Point.KeptArchiveFingerprint.clear();
  }
  result.Archive = ArchiveByNames(undone, taken, now);
  PassGameFiles(chain, result);
  PassLevelBefore(undone, result.Rewritten);
  for (TRewrittenPoint& rewritten : result.Rewritten) CountKeptBytes(rewritten.Point);
  return result;
}

TChainDirectory ArchiveByNames(const TRestorePoint& point, const std::set<std::string>& stay,
                               const std::vector<TArchiveEntry>& now) {
  std::set<std::string> added;
  for (const TAddedEntry& entry : point.Added)
    if (!stay.count(EntryNameKey(entry.Name))) added.insert(EntryNameKey(entry.Name));
  std::map<std::string, std::vector<int32_t>> replaced;
  for (size_t r = 0; r < point.Replaced.size(); ++r) {
    const std::string key = EntryNameKey(EntryName(point.Replaced[r].Old));
    if (!stay.count(key)) replaced[key].push_back(static_cast<int32_t>(r));
  }
  std::map<std::string, size_t> used;
  TChainDirectory entries;
  for (const TArchiveEntry& entry : now) {
    const std::string key = EntryNameKey(EntryName(entry));
    const auto found = replaced.find(key);
    if (found != replaced.end()) {
      const int32_t r = found->second[std::min(used[key]++, found->second.size() - 1)];
      entries.push_back({point.Replaced[r].Old, {0, r}});
    } else if (!added.count(key)) {
      entries.push_back({entry, {}});
    }
  }
  return entries;
}

}  // namespace merva
