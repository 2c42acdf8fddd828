#pragma once
// Which installation holds an archive entry or a game file now, as the restore points of its
// game tell: the newest installation that wrote it, while its bytes are still the ones it
// wrote (by the fingerprints the points record). The plan, the installation (for its record of
// what it took over) and the status all ask here.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "change/changes.h"

namespace merva {

// What an installation wrote: an archive entry, a game file, or a keyed line of a game file
// (which TOwnership does not count: TItemWriters tells its owner).
enum class TThing : uint8_t { kEntry, kGameFile, kLine };

enum class THolder : uint8_t {
  kGame,          // no installation of Merva wrote it
  kInstallation,  // the installation of `Point` wrote it, and it is as written
  kChangedSince,  // `Point` wrote it last, and another program changed or removed it since
  kUnknown,       // `Point` wrote it last; its record, of an earlier layout, cannot tell more
};

struct TOwner {
  THolder Holder = THolder::kGame;
  const TRestorePoint* Point = nullptr;
};

class TOwnership {
 public:
  // The points of one game, newest first (ListRestorePoints); entries are those of `archive`
  // (below the game folder), since two archives may hold entries of one name.
  explicit TOwnership(std::vector<TRestorePoint> points,
                      const std::string& archive = kArchiveInGame);
  const std::vector<TRestorePoint>& Points() const { return points_; }
  // Who holds `name` (an entry's name, a game file's path in the game folder); `fingerprintNow`
  // gives the fingerprint of its bytes now (empty when it is missing), asked only when an
  // installation wrote it, since reading costs.
  TOwner OwnerOf(TThing thing, const std::string& name,
                 const std::function<std::string()>& fingerprintNow) const;
  // What the point at `index` (in Points()) recorded for `name`: false when it wrote nothing
  // there; `fingerprint` is empty in points of earlier layouts.
  bool Wrote(size_t index, TThing thing, const std::string& name, std::string& fingerprint) const;
  // The oldest point newer than the one at `index` that wrote `name`: the installation that took
  // it over. Null when none did.
  const TRestorePoint* TakenOverBy(size_t index, TThing thing, const std::string& name) const;

 private:
  std::vector<TRestorePoint> points_;
  // For each point, by thing: the name's key -> the fingerprint written.
  std::vector<std::map<std::string, std::string>> wrote_[2];
};

// The key two names of one thing share: an entry's as the installer matches it, a game file's as
// Windows reads its path.
std::string ThingKey(TThing thing, const std::string& name);

// The keyed items that the points (newest first) wrote, each found by its key at once.
class TItemWriters {
 public:
  explicit TItemWriters(const std::vector<TRestorePoint>& points);
  // Whose the version of `item` standing now as `textNow` (none: the file lacks it) is: the
  // newest point that wrote the item while the text is what it wrote (kTakenFromPoint), changed
  // since (kTakenFromChanged), or the game's when none wrote it.
  std::string TakenFrom(const TItemChange& item, const std::optional<std::string>& textNow) const;

 private:
  const std::vector<TRestorePoint>& points_;
  std::unordered_map<std::string, std::pair<size_t, size_t>> newest_;  // point, item
};

// An owner as a record keeps it (changes.h: kTakenFrom...).
std::string TakenFromOf(const TOwner& owner);
// An owner in words, and a record's "taken from" in words (`points` name the earlier ones).
std::string OwnerText(const TOwner& owner);
std::string TakenFromText(const std::string& takenFrom, const std::vector<TRestorePoint>& points);
// A point as the player knows it: "TITLE (installed TIME, restore point NAME)".
std::string PointDescription(const TRestorePoint& point);

}  // namespace merva
