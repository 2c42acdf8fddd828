#pragma once
// Taking an installation back from its restore point: gta3.img rebuilt in one pass without the
// added entries and with the replaced ones' old bytes, the game files put back, the level value
// restored, and the restore point removed.
#include <optional>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/file_system.h"
#include "core/game_lock.h"
#include "core/platform.h"
#include "restore/restore_point.h"

namespace merva {

extern const char kNothingToTakeBack[];  // "There is no installation to take back."

struct TUndoServices {
  IFileSystem& Files;
  IMessagePump& Pump;
  IProgress& Progress;
  IRegistry* Registry;  // null where there is none: the level value is left alone
};

// A refusal of the undo that the user may override: the archive is not the one the restore
// point recorded, or the player changed game files since (see TUndoChoices).
class EUndoRefused : public Exception {
 public:
  using Exception::Exception;
};

// The player changed game files that the installation wrote: nothing was changed. Told to go
// on, the undo keeps the player's versions in `KeptIn`.
class EGameFilesEdited : public EUndoRefused {
 public:
  EGameFilesEdited(const std::string& summary, std::vector<std::string> items, std::string keptIn);
  std::string Summary;  // which files, in one sentence
  std::vector<std::string> Items;
  std::string KeptIn;
};

// What the user chose to allow.
struct TUndoChoices {
  bool ByNames = false;     // an archive changed since is taken back by entry names
  bool KeepEdited = false;  // game files the player changed since are moved aside, not lost
};

struct TUndoResult {
  bool ByNames = false;                 // the archive had changed: entries were matched by name
  bool LevelRestored = true;            // false when the level value had changed since and was kept
  std::vector<std::string> KeptEdited;  // the player's versions, kept in KeptEditedIn
  std::string KeptEditedIn;
};

// Finishes what killed runs of `gameFolder` left in `root` (the caller holds the game's lock),
// then gives its newest restore point, or the newest of any game folder when it is empty.
// Raises when there is none.
TRestorePoint FindLatestRestorePoint(IFileSystem& fs, const std::string& root,
                                     const std::string& gameFolder, IMessagePump* pump);
// The same, taking the lock of the game first (of the newest point's game when `gameFolder` is
// empty) into `lock`, which the caller holds until its undo ends.
TRestorePoint LockAndFindLatest(IFileSystem& fs, const std::string& root,
                                const std::string& gameFolder, IMessagePump* pump,
                                std::optional<TGameLock>& lock);

// Takes back the installation of `point`, a restore point in `root`. Nothing changes when it
// refuses or fails before the archive is replaced.
TUndoResult TakeBackInstallation(const std::string& root, const TRestorePoint& point,
                                 TUndoChoices choices, TUndoServices services);

}  // namespace merva
