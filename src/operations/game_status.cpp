#include "operations/game_status.h"

#include <algorithm>
#include <map>
#include <optional>

#include "archive/archive.h"
#include "archive/archive_body.h"
#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/fingerprint.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_lock.h"
#include "restore/restore_store.h"

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
    return GameFileFingerprint(fs_, game_ + "\\" + item);
  }

  IFileSystem& fs_;
  TArchiveFile& archive_;
  TFileBody body_;
  std::string game_;
  std::map<std::string, std::string> known_[2];
};

// Everything a point wrote: its entries, then its game files.
std::vector<std::pair<TThing, std::string>> WrittenBy(const TRestorePoint& point) {
  std::vector<std::pair<TThing, std::string>> things;
  for (const TAddedEntry& entry : point.Added) things.push_back({TThing::kEntry, entry.Name});
  for (const TKeptEntry& entry : point.Replaced)
    things.push_back({TThing::kEntry, EntryName(entry.Old)});
  for (const TGameFileChange& file : point.GameFiles)
    things.push_back({TThing::kGameFile, file.Item});
  return things;
}

// The entries of the other archives: each archive's installations told apart by the points'
// parts for it alone, since two archives may hold entries of one name.
void AddOtherArchives(IFileSystem& fs, const std::string& gameFolder, TGameStatus& status) {
  const std::vector<TRestorePoint>& points = status.Owners.Points();
  std::vector<std::string> archives, keys;
  for (const TRestorePoint& point : points)
    for (const TRestorePoint& part : point.Parts)
      if (std::find(keys.begin(), keys.end(), GameArchiveKey(part.Archive)) == keys.end()) {
        keys.push_back(GameArchiveKey(part.Archive));
        archives.push_back(part.Archive);
      }
  for (const std::string& name : archives) {
    std::vector<TRestorePoint> parts;
    std::vector<size_t> of;  // the index in `points` of each part's point
    for (size_t i = 0; i < points.size(); ++i) {
      const int n = PartIndexFor(points[i], name);
      if (n < 0) continue;
      parts.push_back(PartPoint(points[i], static_cast<size_t>(n)));
      of.push_back(i);
    }
    const TOwnership owners(parts);
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
    for (size_t j = 0; j < parts.size(); ++j) {
      for (const auto& [thing, entry] : WrittenBy(parts[j])) {
        TThingStatus state{thing, entry, name, TThingState::kOwns};
        std::string wrote;
        owners.Wrote(j, thing, entry, wrote);
        if (const TRestorePoint* by = owners.TakenOverBy(j, thing, entry)) {
          state.State = TThingState::kTakenOver;
          for (const TRestorePoint& point : points)
            if (point.Folder == by->Folder) state.By = &point;
        } else if (wrote.empty()) {
          state.State = TThingState::kCannotTell;
        } else if (!present || present->Fingerprint(thing, entry) != wrote) {
          state.State = TThingState::kChangedSince;
        }
        status.Installed[of[j]].Things.push_back(state);
      }
    }
    if (opened) archive.Close();
  }
}

}  // namespace

TGameStatus ReadGameStatus(IFileSystem& fs, const std::string& root,
                           const std::string& gameFolder) {
  const TGameLock lock(fs, gameFolder, TGameLock::TMode::kRead);
  TArchiveFile archive(fs);
  if (!archive.Open(ArchivePathOf(gameFolder), TOpenAccess::kReadOnly))
    throw EArchiveMissing(ArchivePathOf(gameFolder));
  TGameStatus status;
  // A game moved since its installations: its points record the folder it was moved from.
  const std::string movedFrom = root.empty() ? "" : MovedFromFolder(fs, root, gameFolder, nullptr);
  status.Owners = TOwnership(
      root.empty() ? std::vector<TRestorePoint>{}
                   : ListRestorePoints(fs, root, movedFrom.empty() ? gameFolder : movedFrom));
  if (!root.empty()) status.Damaged = DamagedRestorePoints(fs, root, gameFolder);
  TPresent present(fs, archive, gameFolder);
  const std::vector<TRestorePoint>& points = status.Owners.Points();
  for (size_t i = 0; i < points.size(); ++i) {
    TInstallationStatus installed{&points[i], {}};
    for (const auto& [thing, name] : WrittenBy(points[i])) {
      TThingStatus state{thing, name, "", TThingState::kOwns};
      std::string wrote;
      status.Owners.Wrote(i, thing, name, wrote);
      if ((state.By = status.Owners.TakenOverBy(i, thing, name)))
        state.State = TThingState::kTakenOver;
      else if (wrote.empty())
        state.State = TThingState::kCannotTell;
      else if (present.Fingerprint(thing, name) != wrote)
        state.State = TThingState::kChangedSince;
      installed.Things.push_back(state);
    }
    status.Installed.push_back(installed);
  }
  archive.Close();
  AddOtherArchives(fs, gameFolder, status);
  return status;
}

}  // namespace merva
