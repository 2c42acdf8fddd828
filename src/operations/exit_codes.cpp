#include "operations/exit_codes.h"

#include "archive/archive.h"
#include "core/errors.h"
#include "game/game_folder.h"

namespace merva {

TExitCode ExitCodeOf(const std::exception& error) {
  if (dynamic_cast<const EHalfDone*>(&error)) return kExitHalfDone;
  if (dynamic_cast<const EGameBusy*>(&error)) return kExitBusy;
  if (const auto* io = dynamic_cast<const EInOutError*>(&error))
    if (io->ErrorCode() == kSharingViolation || io->ErrorCode() == kLockViolation) return kExitBusy;
  if (dynamic_cast<const EArchiveMissing*>(&error) || dynamic_cast<const ENotAGame*>(&error))
    return kExitNoGame;
  return kExitFailed;
}

}  // namespace merva
