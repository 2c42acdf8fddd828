#pragma once
// What each installed mod of a game holds now: the entries and game files it wrote that are
// still as it wrote them, those a later mod took over, and those changed since outside Merva
// (by the fingerprints its restore point keeps of what it wrote). Read under the game's shared
// lock, with nothing written.
#include <string>
#include <vector>

#include "change/ownership.h"
#include "core/file_system.h"
#include "game/game_edition.h"
#include "restore/restore_point.h"
#include "restore/restore_store.h"

namespace merva {

enum class TThingState : uint8_t {
  kOwns,          // as the installation wrote it
  kTakenOver,     // a later installation wrote it: `By`
  kChangedSince,  // changed or removed since by another program (or by hand)
  kCannotTell,    // the record, of an earlier layout, keeps no fingerprint of it
};

struct TThingStatus {
  TThing Thing;
  std::string Name;
  // An entry's archive below the game folder (empty for gta3.img), or a line's file.
  std::string Archive;
  TThingState State;
  const TRestorePoint* By = nullptr;  // kTakenOver: the installation that took it over
};

struct TInstallationStatus {
  const TRestorePoint* Point;
  std::vector<TThingStatus> Things;
};

// Holds its points: not copied, so that the pointers into them stay good.
struct TGameStatus {
  TGameStatus() = default;
  TGameStatus(TGameStatus&&) = default;
  TGameStatus(const TGameStatus&) = delete;
  TGameStatus& operator=(const TGameStatus&) = delete;
  TGameEdition Edition;
  TOwnership Owners{{}};                       // the game's installations, newest first
  std::vector<TInstallationStatus> Installed;  // in that order
  // Points whose record is missing or cannot be read: what they wrote is not known.
  std::vector<TDamagedPoint> Damaged;
};

// The status of the game in `gameFolder` from the restore points in `root`. Raises
// EArchiveMissing when the folder holds no game, EGameBusy while a change runs.
TGameStatus ReadGameStatus(IFileSystem& fs, const std::string& root, const std::string& gameFolder);

}  // namespace merva
