#pragma once
// One run per game folder at a time: an installation, an undo, or a change of the game's
// archive holds the game's lock from start to end, and a second run is refused at once. The
// system releases the lock when the process ends, however it ends. What only reads the game
// (a plan, a status) shares the lock with its like: none waits, and none runs during a change.
#include <memory>
#include <string>

#include "core/file_system.h"

namespace merva {

class TGameLock {
 public:
  enum class TMode { kChange, kRead };
  // Takes the lock of `gameFolder`. Raises EGameBusy when another run holds it (a reading one
  // too, for a change), or an Exception when it cannot be taken (the advice of
  // BlockedFileAdvice where it applies). A game folder that does not exist has nothing to
  // protect: the run goes on and meets that on its own.
  TGameLock(IFileSystem& fs, const std::string& gameFolder, TMode mode = TMode::kChange);

 private:
  std::unique_ptr<IHeldLock> held_;
};

}  // namespace merva
