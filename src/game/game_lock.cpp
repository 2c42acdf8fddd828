#include "game/game_lock.h"

#include "core/errors.h"
#include "game/game_edition.h"
#include "game/game_folder.h"

namespace merva {

TGameLock::TGameLock(IFileSystem& fs, const std::string& gameFolder, TMode mode) {
  if (!fs.DirectoryExists(gameFolder)) return;
  // Every run that reads or changes a game passes here first, and the lock's own file would
  // already be a change to the Definitive Edition's folder, which is another game.
  RefuseDefinitiveEdition(fs, gameFolder);
  // The folder as the system knows it: every spelling of one game ("models\\..", a link to it,
  // another letter case on Windows) meets the same lock.
  const std::string canonical = fs.CanonicalPath(gameFolder);
  const std::string path = (canonical.empty() ? gameFolder : canonical) + "\\" + kGameLockName;
  const int code =
      mode == TMode::kRead ? fs.LockShared(path, held_) : fs.LockExclusive(path, held_);
  if (code == 0) return;
  if (code == kSharingViolation && mode == TMode::kRead)
    throw EGameBusy("An installation or undo of the game in " + gameFolder +
                    " is running. Wait for it to end, then try again.");
  if (code == kSharingViolation)
    throw EGameBusy("Another installation or undo of the game in " + gameFolder +
                    " is running. Wait for it to end, then try again. Nothing was changed.");
  RaiseIfBlocked(code, path, "Nothing was changed.");
  throw Exception("Unable to lock the game folder: " + path + " (" + IoErrorText(code) +
                  "). Nothing was changed.");
}

}  // namespace merva
