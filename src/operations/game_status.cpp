#include "operations/game_status.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

#include "archive/archive.h"
#include "archive/archive_body.h"
#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_lock.h"
#include "game/game_path.h"
#include "items/item_kinds.h"
#include "restore/restore_store.h"
#include "script/install_items.h"

namespace merva {

namespace {

// The fingerprints of what is there now, read once per name: an entry as the game reads it (the
// first of its name), a game file whole; empty for what is missing.
class TPresent {
 public:
  TPresent(IFileSystem& fs, TArchiveFile& archive, const std::string& gameFolder)
      : fs_(fs), archive_(archive), body_(archive.File()), game_(gameFolder) {}

  const std::string& Fingerprint(TThing thing, const std::string& name) {
    const std::string key = ThingKey(thing, name);
    auto& known = known_[static_cast<int>(thing)];
    const auto found = known.find(key);
    if (found != known.end()) return found->second;
    return known[key] = thing == TThing::kEntry ? OfEntry(name) : OfGameFile(name);
  }

 private:
  std::string OfEntry(const std::string& name) {
    const std::vector<int32_t> indices = archive_.Find(name);
    if (indices.empty()) return "";
    const TArchiveEntry& entry = archive_.Entries()[indices.front()];
    return BodyFingerprint(body_, EntryStart(entry), EntryBytes(entry));
  }
  std::string OfGameFile(const std::string& item) {
    return GameFileFingerprint(fs_, InGameFolder(game_, item));
  }

  IFileSystem& fs_;
  TArchiveFile& archive_;
  TFileBody body_;
  std::string game_;
  std::map<std::string, std::string> known_[2];
};

// Whose each of the installations' versions of `thing` is now: still as it wrote it, taken over
// by a later one, changed since, or not known (a record of an earlier layout).
void AddStates(TGameStatus& status, const TOwnership& owners, TThing thing,
               const std::string& archive, std::optional<TPresent>& present,
               const std::function<std::vector<std::string>(const TRestorePoint&)>& wrote) {
  const std::vector<TRestorePoint>& points = owners.Points();
  for (size_t i = 0; i < points.size(); ++i) {
    for (const std::string& name : wrote(points[i])) {
      TThingStatus state{thing, name, archive, TThingState::kOwns};
      std::string print;
      owners.Wrote(i, thing, name, print);
      if (const TRestorePoint* by = owners.TakenOverBy(i, thing, name)) {
        // Named by the status's own copy of the points, which outlives `owners`.
        state.By = &status.Owners.Points()[static_cast<size_t>(by - points.data())];
        state.State = TThingState::kTakenOver;
      } else if (print.empty())
        state.State = TThingState::kCannotTell;
      else if (!present || present->Fingerprint(thing, name) != print)
        state.State = TThingState::kChangedSince;
      status.Installed[i].Things.push_back(state);
    }
  }
}

// The archives the installations changed, models\gta3.img first, each once.
std::vector<std::string> ArchivesChangedBy(const std::vector<TRestorePoint>& points) {
  std::vector<std::string> archives{kArchiveInGame}, keys{GameArchiveKey(kArchiveInGame)};
  for (const TRestorePoint& point : points)
    for (const TArchiveChange& change : point.Archives)
      if (std::find(keys.begin(), keys.end(), GameArchiveKey(change.Archive)) == keys.end()) {
        keys.push_back(GameArchiveKey(change.Archive));
        archives.push_back(change.Archive);
      }
  return archives;
}

// Each line an installation merged into a game file: as it wrote it, taken over by the oldest
// newer installation that wrote it again, or changed since.
void AddLineStates(IFileSystem& fs, const std::string& gameFolder, TGameStatus& status) {
  const std::vector<TRestorePoint>& points = status.Owners.Points();
  // A file's items now, read once; none for a file that is not there.
  std::map<std::string, std::unique_ptr<IItemsInFile>> files;
  // Each item's newest writer among the points seen so far (newer ones first), which for the
  // next point is the oldest of those newer than it.
  std::unordered_map<std::string, size_t> writer;
  for (size_t p = 0; p < points.size(); ++p) {
    for (const TItemChange& item : points[p].Items) {
      TThingStatus thing{TThing::kLine, ItemName(item), item.File, TThingState::kOwns};
      const auto newer = writer.find(ItemKey(item));
      if (newer != writer.end()) thing.By = &points[newer->second];
      const IItemKind* kind = ItemKindNamed(item.Kind);
      if (thing.By) {
        thing.State = TThingState::kTakenOver;
      } else if (!kind) {
        thing.State = TThingState::kCannotTell;
      } else {
        const std::string path = InGameFolder(gameFolder, item.File);
        auto [at, read] = files.emplace(GameFileItemKey(item.File), nullptr);
        if (read && !fs.IsLink(path) && fs.KindOf(path) == TPathKind::kFile)
          at->second = kind->ReadItems(item.File, ReadWholeFile(fs, path));
        const std::optional<std::string> now =
            at->second ? at->second->Find(item.Section, item.Key) : std::nullopt;
        if (!now || *now != item.New) thing.State = TThingState::kChangedSince;
      }
      status.Installed[p].Things.push_back(thing);
    }
    for (const TItemChange& item : points[p].Items) writer[ItemKey(item)] = p;
  }
}

}  // namespace

TGameStatus ReadGameStatus(IFileSystem& fs, const std::string& root,
                           const std::string& gameFolder) {
  const TGameLock lock(fs, gameFolder, TGameLock::TMode::kRead);
  TArchiveFile game(fs);
  if (!game.Open(ArchivePathOf(gameFolder), TOpenAccess::kReadOnly))
    throw EArchiveMissing(ArchivePathOf(gameFolder));
  game.Close();
  TGameStatus status;
  status.Edition = GameEditionOf(fs, gameFolder);
  // A game moved since its installations: its points record the folder it was moved from.
  const std::string movedFrom = root.empty() ? "" : MovedFromFolder(fs, root, gameFolder, nullptr);
  status.Owners = TOwnership(
      root.empty() ? std::vector<TRestorePoint>{}
                   : ListRestorePoints(fs, root, movedFrom.empty() ? gameFolder : movedFrom));
  if (!root.empty()) status.Damaged = DamagedRestorePoints(fs, root, gameFolder);
  const std::vector<TRestorePoint>& points = status.Owners.Points();
  for (const TRestorePoint& point : points) status.Installed.push_back({&point, {}});
  // Each archive's installations told apart by their changes of it alone, since two archives
  // may hold entries of one name.
  for (const std::string& name : ArchivesChangedBy(points)) {
    TArchiveFile archive(fs);
    const std::string path = GameArchivePathOf(gameFolder, name);
    // Missing or no archive now: what the installations wrote there is gone.
    bool opened = false;
    try {
      opened = !fs.IsLink(path) && archive.Open(path, TOpenAccess::kReadOnly);
    } catch (const EInOutError&) {
      opened = false;
    }
    std::optional<TPresent> present;
    if (opened) present.emplace(fs, archive, gameFolder);
    const TOwnership owners(points, name);
    AddStates(status, owners, TThing::kEntry, IsMainArchive(name) ? "" : name, present,
              [&name](const TRestorePoint& point) {
                std::vector<std::string> names;
                if (const TArchiveChange* change = ArchiveChangeOf(point, name)) {
                  for (const TAddedEntry& entry : change->Added) names.push_back(entry.Name);
                  for (const TKeptEntry& entry : change->Replaced)
                    names.push_back(EntryName(entry.Old));
                }
                return names;
              });
    if (IsMainArchive(name))
      AddStates(status, status.Owners, TThing::kGameFile, "", present,
                [](const TRestorePoint& point) {
                  std::vector<std::string> items;
                  for (const TGameFileChange& file : point.GameFiles) items.push_back(file.Item);
                  return items;
                });
    if (opened) archive.Close();
  }
  AddLineStates(fs, gameFolder, status);
  return status;
}

}  // namespace merva
