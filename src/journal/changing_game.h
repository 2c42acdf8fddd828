#pragma once
// The game's lock, taken for a change, and the one place where what an earlier run left is
// settled: every run that changes a game starts here (the installation, the undo, merva-img on
// a game's archive), and so does merva-img history.
#include <functional>
#include <string>
#include <vector>

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

// Settles, each under its game's lock, the runs killed on the games that the unfinished points in
// `restoreRoot` name: what a run not given a game folder does first. A game another run holds is
// left to it; each other that could not be settled is given with why.
struct TUnsettledGame {
  std::string GameFolder, Why;
};
std::vector<TUnsettledGame> SettleKilledRuns(IFileSystem& fs, const std::string& restoreRoot,
                                             IProgress* progress = nullptr);

// Changes an archive of the game in `gameFolder` (whose lock the caller holds; `archive` below
// it, empty for models\gta3.img) under the game's journal: `rebuild` writes the new archive at
// RebuiltArchivePathOf and moves it over the archive (archive/archive_rebuild.h); a run cut off
// anywhere leaves the old archive or the new one, and nothing of its own once the next run has
// looked.
void RebuildGameArchive(IFileSystem& fs, const std::string& gameFolder,
                        const std::function<void()>& rebuild, const std::string& archive = "");

// Removes what a killed installation of an earlier version left in the game folder: temp.img,
// the scratch folder, and the folders it made on the way to its game files, while they are
// empty. The caller holds the game's lock.
void RemoveKilledInstallationLeftovers(IFileSystem& fs, const std::string& gameFolder);

// A game folder an archive lies in, and the archive's place there (empty for models\gta3.img).
struct TGameOfArchive {
  std::string Folder, Archive;
};

// A game's archives (GAME\models\gta3.img, GAME\models\gta_int.img...) change only under the
// game's lock, as during an installation or an undo: the locks of the game folders `archive` lies
// in, each taken for a change, with their folders and the archive's place in each in `games`.
// The game is found by what the path is, not by how it is spelt: as written
// ("models\.\gta3.img", a linked models folder) and as the system resolves it.
std::vector<TChangingGame> LockIfGameArchive(IFileSystem& fs, const std::string& archive,
                                             std::vector<TGameOfArchive>* games = nullptr);

}  // namespace merva
