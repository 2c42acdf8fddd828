#include "change/point_chain.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <set>

#include "archive/archive_file.h"
#include "change/keyed_rule.h"
#include "core/errors.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "script/install_items.h"

namespace merva {

std::vector<int32_t> OldPlaces(const TArchiveLink& link, size_t nowCount) {
  const TArchiveChange& change = link.Change;
  if (nowCount != static_cast<size_t>(change.OldCount) + change.Added.size())
    throw Damaged(link.Point, "its entry count does not match the archive");
  std::vector<int32_t> placeOf(static_cast<size_t>(change.OldCount), -1);
  for (const TOrderRun& run : change.Order) {
    for (int32_t i = 0; i < run.Count; ++i) {
      const int64_t k = int64_t{run.Old} + i, j = int64_t{run.New} + i;
      if (run.Count < 0 || k < 0 || k >= change.OldCount || j < 0 ||
          j >= static_cast<int64_t>(nowCount) || placeOf[k] >= 0)
        throw Damaged(link.Point, "its order of entries does not fit the archive");
      placeOf[k] = static_cast<int32_t>(j);
    }
  }
  for (const int32_t j : placeOf)
    if (j < 0) throw Damaged(link.Point, "an entry is missing from its order");
  for (const TKeptEntry& kept : change.Replaced)
    if (kept.Index < 0 || kept.Index >= change.OldCount)
      throw Damaged(link.Point, "a replaced entry lies outside the directory");
  return placeOf;
}

int64_t ChainArchiveBytes(const TChainDirectory& entries, int32_t firstSector, TArchiveKind kind) {
  int64_t sectors = CompactionFirstSector(static_cast<int32_t>(entries.size()), firstSector, kind);
  for (const TChainEntry& entry : entries) sectors += std::max(entry.Entry.Size, 0);
  return SectorBytes(sectors);
}

namespace {

// One archive of the chain, worked out back from the one after it: its entries, and for each
// entry of the archive after it where it came from.
struct TStep {
  TChainDirectory Before;        // the archive the link found
  std::vector<int32_t> Origin;   // for each entry it left: its index before, -1 when added
  std::vector<int32_t> Written;  // for each entry it left: its Replaced or Added index, or -1
  std::vector<bool> AddedNow;    // for each entry it left: added by the link
};

TStep UndoInMemory(const TArchiveLink& link, int32_t linkIndex, const TChainDirectory& after) {
  const TArchiveChange& change = link.Change;
  const std::vector<int32_t> placeOf = OldPlaces(link, after.size());
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
  for (size_t r = 0; r < change.Replaced.size(); ++r) {
    const TKeptEntry& kept = change.Replaced[r];
    step.Before[kept.Index] = {kept.Old, {linkIndex, static_cast<int32_t>(r)}};
    step.Written[placeOf[kept.Index]] = static_cast<int32_t>(r);
  }
  // The added entries are recorded in the order they stand in the archive the link left.
  size_t added = 0;
  for (size_t j = 0; j < after.size(); ++j) {
    if (!step.AddedNow[j]) continue;
    if (EntryNameKey(change.Added[added].Name) != EntryNameKey(EntryName(after[j].Entry)))
      throw Damaged(link.Point, "an added entry is not where its record says");
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

// True when a rewritten change's old bytes are all its own kept archive's, in its order: that
// archive.img stays as it is.
bool KeepsItsOwn(const std::vector<TChainBytes>& kept, size_t own, size_t ownCount) {
  if (kept.size() != ownCount) return false;
  for (size_t r = 0; r < kept.size(); ++r)
    if (!(kept[r] == TChainBytes{static_cast<int32_t>(own), static_cast<int32_t>(r)})) return false;
  return true;
}

void CountKeptBytes(TArchiveChange& change) {
  change.KeptBytes = 0;
  for (const TKeptEntry& entry : change.Replaced) change.KeptBytes += EntryBytes(entry.Old);
}

// Each link found the archive the one before it left: not so, and something changed the archive
// between them that no point describes.
void RequireFollowing(const std::vector<TArchiveLink>& chain) {
  for (size_t i = 1; i < chain.size(); ++i) {
    const TArchiveChange &later = chain[i].Change, &before = chain[i - 1].Change;
    if (later.OldArchiveBytes != before.NewArchiveBytes ||
        int64_t{later.OldCount} !=
            int64_t{before.OldCount} + static_cast<int64_t>(before.Added.size()))
      throw Exception("The restore point " + chain[i].Point + " does not follow " +
                      chain[i - 1].Point + ": " + GameArchiveText(later.Archive) +
                      " was changed between the two installations by another program, or the "
                      "restore point of an installation between them was removed. Take back "
                      "the later installations first. Nothing was changed.");
  }
}

// The versions of every entry, worked out on the directories alone: the archive each link found
// (Archives[i]; Archives[m + 1] is the one now), and for each entry of each archive since the one
// chain[0] left, the entry of that archive it descends from (-1 when added later) and whether it
// is still the version chain[0] wrote.
struct TVersions {
  std::vector<TChainDirectory> Archives;
  std::vector<TStep> Steps;
  std::vector<std::vector<int32_t>> Base;
  std::vector<std::vector<bool>> UndoneWrote;
};

TVersions WorkBackVersions(const std::vector<TArchiveLink>& chain,
                           const std::vector<TArchiveEntry>& now) {
  TVersions v;
  v.Archives.resize(chain.size() + 1);
  v.Steps.resize(chain.size());
  for (const TArchiveEntry& entry : now) v.Archives.back().push_back({entry, {}});
  for (size_t i = chain.size(); i-- > 0;) {
    v.Steps[i] = UndoInMemory(chain[i], static_cast<int32_t>(i), v.Archives[i + 1]);
    v.Archives[i] = v.Steps[i].Before;
  }
  v.Base.resize(chain.size());
  v.UndoneWrote.resize(chain.size());
  for (size_t i = 0; i < chain.size(); ++i) {
    const TStep& step = v.Steps[i];
    const size_t count = v.Archives[i + 1].size();
    v.Base[i].assign(count, -1);
    v.UndoneWrote[i].assign(count, false);
    for (size_t j = 0; j < count; ++j) {
      const bool wrote = step.Written[j] >= 0;
      if (i == 0) {
        v.Base[0][j] = static_cast<int32_t>(j);
        v.UndoneWrote[0][j] = wrote;
      } else if (step.Origin[j] >= 0) {
        v.Base[i][j] = v.Base[i - 1][step.Origin[j]];
        v.UndoneWrote[i][j] = !wrote && v.UndoneWrote[i - 1][step.Origin[j]];
      }
    }
  }
  return v;
}

// Each archive since as it is without chain[0]'s versions: an entry still as chain[0] wrote it
// becomes the version before it (or goes, when chain[0] added it). Place[i][j] is where entry j
// of the archive link i left lies in Without[i], -1 when it went.
struct TWithoutUndone {
  std::vector<TChainDirectory> Without;
  std::vector<std::vector<int32_t>> Place;
};

TWithoutUndone DropUndoneVersions(const TVersions& v) {
  const size_t links = v.Steps.size();
  TWithoutUndone w;
  w.Without.resize(links);
  w.Place.resize(links);
  w.Without[0] = v.Archives[0];  // the archive chain[0] found, in its own order
  w.Place[0] = v.Steps[0].Origin;
  for (size_t i = 1; i < links; ++i) {
    w.Place[i].assign(v.Archives[i + 1].size(), -1);
    for (size_t j = 0; j < v.Archives[i + 1].size(); ++j) {
      TChainEntry entry = v.Archives[i + 1][j];
      if (v.UndoneWrote[i][j]) {
        const int32_t before = v.Steps[0].Origin[v.Base[i][j]];
        if (before < 0) continue;  // added by chain[0]: it goes
        entry = v.Archives[0][before];
      }
      w.Place[i][j] = static_cast<int32_t>(w.Without[i].size());
      w.Without[i].push_back(entry);
    }
  }
  return w;
}

// A kept entry of a rewritten change, and where its old bytes lie now.
struct TReplacedNow {
  TKeptEntry Kept;
  TChainBytes Bytes;
};

// Link i's entries against the archive it now finds (Without[i - 1]): its order and what it
// added go into `change`, its replaced entries are given back, each keeping the version that is
// now before it.
std::vector<TReplacedNow> RewriteEntries(const std::vector<TArchiveLink>& chain, size_t i,
                                         const TVersions& v, const TWithoutUndone& w,
                                         TArchiveChange& change, TChainUndo& result) {
  const TArchiveChange& old = chain[i].Change;
  const TStep& step = v.Steps[i];
  const TChainDirectory& after = v.Archives[i + 1];
  const TChainDirectory& found = w.Without[i - 1];
  std::vector<TReplacedNow> replaced;
  for (size_t j = 0; j < after.size(); ++j) {
    const int32_t place = w.Place[i][j];
    if (place < 0) continue;
    const int32_t origin = step.Origin[j];
    const int32_t before = origin < 0 ? -1 : w.Place[i - 1][origin];
    const TArchiveEntry& entry = after[j].Entry;
    // Taken over from chain[0] but found changed by another program: the version this link
    // kept is nobody's installation's. The link keeps what chain[0] kept under it instead (its
    // archive then follows the one before it, entry for entry), and that version has no place
    // left in any point: the undo refuses, or forced keeps it aside.
    if (origin >= 0 && step.Written[j] >= 0 &&
        IsSomeoneElses(old.Replaced[step.Written[j]].TakenFrom) &&
        (before < 0 || found[before].Bytes.Point == 0)) {
      TDisplaced displaced;
      displaced.Item = EntryName(entry);
      displaced.Later = chain[i].Point;
      displaced.KeptBy = static_cast<int32_t>(i);
      displaced.Kept = step.Written[j];
      result.Displaced.push_back(displaced);
    }
    if (before < 0) {
      // Added by this installation, or by chain[0] and taken over by this one.
      const std::string fingerprint = origin < 0 ? old.Added[step.Written[j]].NewFingerprint
                                                 : old.Replaced[step.Written[j]].NewFingerprint;
      change.Added.push_back({EntryName(entry), entry.Size, fingerprint});
      if (origin >= 0) result.Stay.push_back({EntryName(entry), chain[i].Point});
      continue;
    }
    AddToOrder(change.Order, before, place);
    if (step.Written[j] < 0) continue;
    TKeptEntry kept = old.Replaced[step.Written[j]];
    kept.Index = before;
    kept.Old = found[before].Entry;
    kept.Kept = kKeptArchiveName;
    const TChainBytes bytes = found[before].Bytes;
    if (bytes.Point == 0) {
      // Taken over from chain[0]: what it kept is kept here now.
      kept.TakenFrom = chain[0].Change.Replaced[bytes.Kept].TakenFrom;
      result.Stay.push_back({EntryName(entry), chain[i].Point});
    }
    replaced.push_back({kept, bytes});
  }
  std::stable_sort(
      replaced.begin(), replaced.end(),
      [](const TReplacedNow& a, const TReplacedNow& b) { return a.Kept.Index < b.Kept.Index; });
  return replaced;
}

// Link i's change rewritten against the archive it now finds (Without[i - 1]): each entry it
// wrote over a version of chain[0] now keeps the version chain[0] kept, and the names it
// takes over stay.
TRewrittenArchive RewriteLater(const std::vector<TArchiveLink>& chain, size_t i, const TVersions& v,
                               const TWithoutUndone& w, TChainUndo& result) {
  const TArchiveChange& old = chain[i].Change;
  const TChainDirectory& found = w.Without[i - 1];
  TRewrittenArchive rewritten;
  TArchiveChange& change = rewritten.Change;
  change = old;
  change.Order.clear();
  change.Replaced.clear();
  change.Added.clear();
  for (const TReplacedNow& kept : RewriteEntries(chain, i, v, w, change, result)) {
    change.Replaced.push_back(kept.Kept);
    rewritten.KeptEntries.push_back(kept.Bytes);
  }
  change.OldCount = static_cast<int32_t>(found.size());
  rewritten.SameKeptArchive = KeepsItsOwn(rewritten.KeptEntries, i, old.Replaced.size());
  if (!rewritten.SameKeptArchive) change.KeptArchiveFingerprint.clear();
  // The archive it found: the one chain[0] found for the first, else one an installation wrote
  // compacted.
  if (i == 1) {
    change.OldFirstSector = chain[0].Change.OldFirstSector;
    change.OldArchiveBytes = chain[0].Change.OldArchiveBytes;
  } else {
    change.OldFirstSector = HasData(found) ? FirstCompactedOffset(change.OldCount, change.Kind) : 0;
    change.OldArchiveBytes = ChainArchiveBytes(found, 0, change.Kind);
  }
  rewritten.Leaves = w.Without[i];
  rewritten.LeavesFirstSector =
      FirstCompactedOffset(static_cast<int32_t>(w.Without[i].size()), change.Kind);
  change.NewArchiveBytes = ChainArchiveBytes(w.Without[i], 0, change.Kind);
  CountKeptBytes(change);
  return rewritten;
}

}  // namespace

TChainUndo PlanChainUndo(const std::vector<TArchiveLink>& chain,
                         const std::vector<TArchiveEntry>& now) {
  RequireFollowing(chain);
  const TVersions versions = WorkBackVersions(chain, now);
  const TWithoutUndone without = DropUndoneVersions(versions);
  TChainUndo result;
  result.Archive = chain.size() == 1 ? versions.Archives[0] : without.Without.back();
  for (size_t i = 1; i < chain.size(); ++i)
    result.Rewritten.push_back(RewriteLater(chain, i, versions, without, result));
  return result;
}

namespace {

// The entries of an archive taken back by names, as the keyed rule asks for them: chain[0]'s
// and the later changes' in `result`, each known by its name.
TKeyedItems EntriesByName(const std::vector<TArchiveLink>& chain, TChainUndo& result) {
  // Captured by value or by a reference the caller owns: the rule runs after this returns.
  const TArchiveChange* undone = &chain[0].Change;
  const auto changeOf = [&chain, &result](size_t link) -> const TArchiveChange& {
    return link == 0 ? chain[0].Change : result.Rewritten[link - 1].Change;
  };
  const auto nameOf = [changeOf](size_t link, size_t item) {
    const TArchiveChange& change = changeOf(link);
    return item < change.Replaced.size() ? EntryName(change.Replaced[item].Old)
                                         : change.Added[item - change.Replaced.size()].Name;
  };
  TKeyedItems entries;
  entries.Count = [changeOf](size_t link) {
    return changeOf(link).Replaced.size() + changeOf(link).Added.size();
  };
  entries.Key = [nameOf](size_t link, size_t item) { return EntryNameKey(nameOf(link, item)); };
  entries.Replaced = [changeOf](size_t link, size_t item) {
    return item < changeOf(link).Replaced.size();
  };
  entries.TakenFrom = [changeOf](size_t link, size_t item) {
    return changeOf(link).Replaced[item].TakenFrom;
  };
  entries.Stays = [nameOf, &chain, &result](size_t u, size_t link) {
    result.Stay.push_back({nameOf(0, u), chain[link].Point});
  };
  // The later change keeps what this one kept, so that its archive follows the one before it;
  // the other program's version has no place left.
  entries.Displace = [nameOf, &chain, &result](size_t u, size_t link, size_t item) {
    TDisplaced displaced;
    displaced.Item = nameOf(0, u);
    displaced.Later = chain[link].Point;
    displaced.KeptBy = static_cast<int32_t>(link);
    displaced.Kept = static_cast<int32_t>(item);
    result.Displaced.push_back(displaced);
    return true;
  };
  entries.Pass = [undone, &result](size_t u, size_t link, size_t r) {
    TRewrittenArchive& later = result.Rewritten[link - 1];
    TKeptEntry& kept = later.Change.Replaced[r];
    if (u < undone->Replaced.size()) {
      kept.Old = undone->Replaced[u].Old;
      kept.TakenFrom = undone->Replaced[u].TakenFrom;
      later.KeptEntries[r] = {0, static_cast<int32_t>(u)};
      return;
    }
    // Added by the change taken back: the later one now adds it.
    later.Change.Added.push_back({EntryName(kept.Old), kept.NewSize, kept.NewFingerprint});
    later.Change.Replaced.erase(later.Change.Replaced.begin() + static_cast<ptrdiff_t>(r));
    later.KeptEntries.erase(later.KeptEntries.begin() + static_cast<ptrdiff_t>(r));
  };
  entries.PassMovesItems = true;  // an entry the taken change added moves to the later's Added
  return entries;
}

}  // namespace

TChainUndo PlanChainUndoByNames(const std::vector<TArchiveLink>& chain,
                                const std::vector<TArchiveEntry>& now) {
  const TArchiveChange& undone = chain[0].Change;
  TChainUndo result;
  for (size_t i = 1; i < chain.size(); ++i) {
    TRewrittenArchive rewritten;
    rewritten.Change = chain[i].Change;
    rewritten.Exact = false;
    for (size_t r = 0; r < chain[i].Change.Replaced.size(); ++r)
      rewritten.KeptEntries.push_back({static_cast<int32_t>(i), static_cast<int32_t>(r)});
    result.Rewritten.push_back(std::move(rewritten));
  }
  // Each name the change wrote: the first later change that wrote it again takes it over.
  const TKeyedItems entries = EntriesByName(chain, result);
  const std::vector<size_t> takenBy = TakeOverByKey(chain.size(), entries);
  std::set<std::string> taken;
  for (size_t u = 0; u < takenBy.size(); ++u)
    if (takenBy[u] > 0) taken.insert(entries.Key(0, u));
  for (size_t i = 1; i < chain.size(); ++i) {
    TRewrittenArchive& later = result.Rewritten[i - 1];
    later.SameKeptArchive = KeepsItsOwn(later.KeptEntries, i, chain[i].Change.Replaced.size());
    if (!later.SameKeptArchive) later.Change.KeptArchiveFingerprint.clear();
    CountKeptBytes(later.Change);
  }
  result.Archive = ArchiveByNames(undone, taken, now);
  return result;
}

TChainDirectory ArchiveByNames(const TArchiveChange& change, const std::set<std::string>& stay,
                               const std::vector<TArchiveEntry>& now) {
  std::set<std::string> added;
  for (const TAddedEntry& entry : change.Added)
    if (!stay.count(EntryNameKey(entry.Name))) added.insert(EntryNameKey(entry.Name));
  std::map<std::string, std::vector<int32_t>> replaced;
  for (size_t r = 0; r < change.Replaced.size(); ++r) {
    const std::string key = EntryNameKey(EntryName(change.Replaced[r].Old));
    if (!stay.count(key)) replaced[key].push_back(static_cast<int32_t>(r));
  }
  std::map<std::string, size_t> used;
  TChainDirectory entries;
  for (const TArchiveEntry& entry : now) {
    const std::string key = EntryNameKey(EntryName(entry));
    const auto found = replaced.find(key);
    if (found != replaced.end()) {
      const int32_t r = found->second[std::min(used[key]++, found->second.size() - 1)];
      entries.push_back({change.Replaced[r].Old, {0, r}});
    } else if (!added.count(key)) {
      entries.push_back({entry, {}});
    }
  }
  return entries;
}

namespace {

bool Below(const std::string& itemKey, const std::string& folderKey) {
  return itemKey.size() > folderKey.size() &&
         itemKey.compare(0, folderKey.size(), folderKey) == 0 &&
         (itemKey[folderKey.size()] == '\\' || itemKey[folderKey.size()] == '/');
}

// Each game file chain[0] wrote: the first later point that wrote it again takes it over, and
// keeps what chain[0] kept under it, unless the version it found is nobody's installation's.
void TakeOverGameFiles(const std::vector<TRestorePoint>& chain, TGameFilesUndo& result) {
  const std::vector<TGameFileChange>& undone = chain[0].GameFiles;
  const auto filesOf = [&](size_t link) -> std::vector<TGameFileChange>& {
    return result.Rewritten[link - 1].GameFiles;
  };
  TKeyedItems files;
  files.Count = [&](size_t link) { return link == 0 ? undone.size() : filesOf(link).size(); };
  files.Key = [&](size_t link, size_t item) {
    return GameFileItemKey(link == 0 ? undone[item].Item : filesOf(link)[item].Item);
  };
  files.Replaced = [&](size_t link, size_t item) { return filesOf(link)[item].Replaced; };
  files.TakenFrom = [&](size_t link, size_t item) { return filesOf(link)[item].TakenFrom; };
  files.Stays = [&](size_t u, size_t link) {
    result.Stay.push_back({undone[u].Item, chain[link].Folder});
  };
  // The player's version stays the later point's to give back, and what the one taken back
  // kept under it, nobody's installation's, has no place left.
  files.Displace = [&](size_t u, size_t link, size_t) {
    const TGameFileChange& change = undone[u];
    if (change.Replaced && !IsAnInstallations(change.TakenFrom)) {
      TDisplaced displaced;
      displaced.GameFile = true;
      displaced.Item = change.Item;
      displaced.Later = chain[link].Folder;
      displaced.File = change;
      result.Displaced.push_back(displaced);
    }
    return false;
  };
  files.Pass = [&](size_t u, size_t link, size_t f) {
    const TGameFileChange& change = undone[u];
    TGameFileChange& own = filesOf(link)[f];
    own.Replaced = change.Replaced;
    own.OldBytes = change.Replaced ? change.OldBytes : 0;
    own.Kept = change.Replaced ? KeptGameFileName(own.Item) : "";
    own.TakenFrom = change.Replaced ? change.TakenFrom : "";
    own.KeptFingerprint = change.Replaced ? change.KeptFingerprint : "";
    result.Rewritten[link - 1].From[f] = {0, change.Kept};
  };
  const std::vector<size_t> takenBy = TakeOverByKey(chain.size(), files);
  for (size_t u = 0; u < undone.size(); ++u)
    if (takenBy[u] == 0) result.GameFiles.push_back(undone[u]);
}

// A folder chain[0] made passes to the first later point with a game file below it, which
// then made it as far as its undo knows.
void PassFolders(const std::vector<TRestorePoint>& chain, TGameFilesUndo& result) {
  std::vector<std::vector<std::string>> passed(chain.size());
  for (const std::string& folder : chain[0].FoldersCreated) {
    const std::string key = GameFileItemKey(folder);
    size_t user = 0;
    for (size_t i = 1; i < chain.size() && user == 0; ++i)
      for (const TGameFileChange& change : chain[i].GameFiles)
        if (Below(GameFileItemKey(change.Item), key)) user = i;
    if (user == 0)
      result.FoldersCreated.push_back(folder);
    else
      passed[user].push_back(folder);
  }
  // Outermost first: the passed folders were there before the later installation made its own.
  for (size_t i = 1; i < chain.size(); ++i) {
    std::vector<std::string>& folders = result.Rewritten[i - 1].FoldersCreated;
    folders.insert(folders.begin(), passed[i].begin(), passed[i].end());
  }
}

// The level chain[0] found passes to the first later installation that set a level itself: its
// undo then leaves what the ones before it left. With none, the undo restores it.
void PassLevelBefore(const std::vector<TRestorePoint>& chain, TGameFilesUndo& result) {
  if (!chain[0].Level.Checked) return;
  for (TGameFilesUndo::TRewritten& later : result.Rewritten)
    if (later.Level.Checked) {
      later.Level.Before = chain[0].Level.Before;
      return;
    }
}

}  // namespace

TGameFilesUndo PlanGameFilesUndo(const std::vector<TRestorePoint>& chain) {
  TGameFilesUndo result;
  for (size_t i = 1; i < chain.size(); ++i) {
    TGameFilesUndo::TRewritten& later = result.Rewritten.emplace_back();
    later.GameFiles = chain[i].GameFiles;
    later.FoldersCreated = chain[i].FoldersCreated;
    later.Level = chain[i].Level;
    for (const TGameFileChange& change : chain[i].GameFiles)
      later.From.push_back({static_cast<int32_t>(i), change.Kept});
  }
  TakeOverGameFiles(chain, result);
  PassFolders(chain, result);
  PassLevelBefore(chain, result);
  return result;
}

}  // namespace merva
