#include "items/items_undo.h"

#include "change/keyed_rule.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "game/game_folder.h"
#include "game/game_path.h"
#include "script/install_items.h"

namespace merva {

TItemsUndo::TItemsUndo(IFileSystem& fs, std::string gameFolder)
    : fs_(fs), game_(std::move(gameFolder)) {}

void TItemsUndo::TakeOver(const std::vector<TRestorePoint>& chain, std::vector<size_t>& takenBy) {
  const std::vector<TItemChange>& undone = chain[0].Items;
  const auto itemsOf = [&](size_t link) -> std::vector<TItemChange>& {
    return rewritten_[link - 1];
  };
  const auto item = [&](size_t link, size_t i) -> const TItemChange& {
    return link == 0 ? undone[i] : itemsOf(link)[i];
  };
  TKeyedItems items;
  items.Count = [&](size_t link) { return link == 0 ? undone.size() : itemsOf(link).size(); };
  items.Key = [&](size_t link, size_t i) { return ItemKey(item(link, i)); };
  items.Replaced = [&](size_t link, size_t i) { return !item(link, i).Added; };
  items.TakenFrom = [&](size_t link, size_t i) { return item(link, i).TakenFrom; };
  items.Stays = [&](size_t u, size_t link) {
    stay_.push_back(ItemText(undone[u]) + " stays as " + chain[link].Title + " installed it");
  };
  // The later point keeps the version it found, nobody's installation's; what the one taken
  // back kept under it has no place left when nobody's installation wrote it either.
  items.Displace = [&](size_t u, size_t link, size_t) {
    const TItemChange& change = undone[u];
    if (!change.Added && !IsAnInstallations(change.TakenFrom))
      displaced_.push_back({ItemText(change), chain[link].Folder, change.File, change.Old});
    return false;
  };
  items.Pass = [&](size_t u, size_t link, size_t i) {
    const TItemChange& change = undone[u];
    TItemChange& own = itemsOf(link)[i];
    own.Added = change.Added;
    own.Old = change.Old;
    own.TakenFrom = change.TakenFrom;
  };
  takenBy = TakeOverByKey(chain.size(), items);
}

TItemsUndo::TFile& TItemsUndo::FileOf(const IItemKind* kind, const std::string& item) {
  for (TFile& file : files_)
    if (file.Kind == kind && GameFileItemKey(file.Item) == GameFileItemKey(item)) return file;
  return files_.emplace_back(TFile{kind, item, InGameFolder(game_, item), "", {}, nullptr});
}

void TItemsUndo::Plan(const std::vector<TRestorePoint>& chain) {
  for (const TRestorePoint& point : chain)
    for (const TItemChange& item : point.Items)
      if (!ItemKindNamed(item.Kind))
        throw Exception("The restore point " + point.Folder + " holds lines of a kind (" +
                        item.Kind + ") that only a newer Merva takes back. Nothing was changed.");
  rewritten_.clear();
  for (size_t i = 1; i < chain.size(); ++i) rewritten_.push_back(chain[i].Items);
  std::vector<size_t> takenBy;
  TakeOver(chain, takenBy);
  const std::vector<TItemChange>& undone = chain[0].Items;
  for (size_t u = 0; u < undone.size(); ++u) {
    if (takenBy[u] != 0) continue;
    const TItemChange& change = undone[u];
    TFile& file = FileOf(ItemKindNamed(change.Kind), change.File);
    const std::string link = LinkOnTheWay(fs_, game_, change.File);
    if (!link.empty()) throw Exception(LinkOnTheWayText("game folder", link));
    // A file gone since holds none of the installation's lines: nothing of the player's to keep.
    if (!file.Now) {
      if (fs_.KindOf(file.Target) == TPathKind::kFile) file.Bytes = ReadWholeFile(fs_, file.Target);
      file.Now = file.Kind->ReadItems(change.File, file.Bytes);
    }
    const std::optional<std::string> now = file.Now->Find(change.Section, change.Key);
    if (!now || *now != change.New) {
      stay_.push_back(ItemText(change) + " stays as changed since");
      continue;
    }
    if (change.Added) {
      file.Edits.push_back({change.Section, change.Key, std::nullopt});
      removed_.push_back(ItemText(change));
    } else {
      file.Edits.push_back({change.Section, change.Key, change.Old});
      givenBack_.push_back(ItemText(change));
    }
  }
  // Only the files that change are written.
  std::vector<TFile> changed;
  for (TFile& file : files_) {
    if (file.Edits.empty()) continue;
    RefuseReadOnly(fs_, file.Target);
    std::vector<TDataOutcome> outcomes;
    file.Bytes = file.Kind->Put(file.Item, file.Bytes, file.Edits, outcomes);
    changed.push_back(std::move(file));
  }
  files_ = std::move(changed);
}

void TItemsUndo::Note(TJournal& journal) {
  for (const TFile& file : files_) {
    journal.Put(file.Target + kStagedSuffix, file.Target);
    journal.Aside(file.Target);
  }
}

void TItemsUndo::Stage() {
  std::vector<std::string> staged;
  for (const TFile& file : files_) {
    RemoveStaleName(fs_, file.Target + kStagedSuffix);
    WriteWholeFile(fs_, file.Target + kStagedSuffix, file.Bytes);
    staged.push_back(file.Target + kStagedSuffix);
  }
  FlushFiles(fs_, staged);  // side by side, each flush waiting for the disk on its own
}

int64_t TItemsUndo::BytesWritten() const {
  int64_t bytes = 0;
  for (const TFile& file : files_) bytes += static_cast<int64_t>(file.Bytes.size());
  return bytes;
}

}  // namespace merva
