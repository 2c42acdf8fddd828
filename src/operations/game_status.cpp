#include "operations/game_status.h"

#include <map>

#include "archive/archive.h"
#include "archive/archive_body.h"
#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/fingerprint.h"
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

}  // namespace

TGameStatus ReadGameStatus(IFileSystem& fs, const std::string& root,
                           const std::string& gameFolder) {
  const TGameLock lock(fs, gameFolder, TGameLock::TMode::kRead);
  TArchiveFile archive(fs);
  if (!archive.Open(ArchivePathOf(gameFolder), TOpenAccess::kReadOnly))
    throw EArchiveMissing(ArchivePathOf(gameFolder));
  TGameStatus status;
  status.Owners = TOwnership(root.empty() ? std::vector<TRestorePoint>{}
                                          : ListRestorePoints(fs, root, gameFolder));
  if (!root.empty()) status.Damaged = DamagedRestorePoints(fs, root, gameFolder);
  TPresent present(fs, archive, gameFolder);
  const std::vector<TRestorePoint>& points = status.Owners.Points();
  for (size_t i = 0; i < points.size(); ++i) {
    TInstallationStatus installed{&points[i], {}};
    for (const auto& [thing, name] : WrittenBy(points[i])) {
      TThingStatus state{thing, name, TThingState::kOwns};
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
  return status;
}

}  // namespace merva
