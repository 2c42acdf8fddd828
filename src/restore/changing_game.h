#pragma once
// The game's lock, taken for a change, and the one place where what an earlier run left is
// settled: every run that changes a game starts here (the installation, the undo, merva-img on
// a game's archive), and so does merva-img history.
#include <string>

#include "core/file_system.h"
#include "core/progress.h"
#include "game/game_lock.h"

namespace merva {

class TChangingGame {
 public:
  // Takes the lock of `gameFolder` (raising as TGameLock does), then settles its journal
  // (RecoverJournal) and what runs of earlier versions, which kept none, left: their restore
  // points in `restoreRoot` (when given), the new archive and the scratch folder.
  TChangingGame(IFileSystem& fs, const std::string& gameFolder, const std::string& restoreRoot = "",
                IProgress* progress = nullptr);

 private:
  TGameLock lock_;
};

// Removes what a killed installation of an earlier version left in the game folder: temp.img,
// the scratch folder, and the folders it made on the way to its game files, while they are
// empty. The caller holds the game's lock.
void RemoveKilledInstallationLeftovers(IFileSystem& fs, const std::string& gameFolder);

}  // namespace merva
