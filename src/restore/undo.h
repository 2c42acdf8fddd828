#pragma once
// Taking an installation back from its restore point: gta3.img rebuilt in one pass without the
// added entries and with the replaced ones' old bytes, the game files put back, the level value
// restored, and the restore point removed.
#include <optional>
#include <string>

#include "core/game_lock.h"
#include "core/errors.h"
#include "core/file_system.h"
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

// A refusal of the undo: the archive is not the one the restore point recorded (`force`
// overrides it), or a newer installation into the same game folder must be taken back first
// (nothing overrides that).
class EUndoRefused : public Exception {
 public:
  using Exception::Exception;
};

struct TUndoResult {
  bool ByNames = false;       // the archive had changed: entries were matched by name
  bool LevelRestored = true;  // false when the level value had changed since and was kept
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
TUndoResult TakeBackInstallation(const std::string& root, const TRestorePoint& point, bool force,
                                 TUndoServices services);

}  // namespace merva
