#include "operations/exit_codes.h"

#include "archive/archive.h"
#include "core/errors.h"
#include "game/game_folder.h"
#include "operations/edition_check.h"
#include "operations/limits_check.h"

namespace merva {

const TExitCodeMeaning kExitCodeMeanings[8] = {
    {kExitDone, "done"},
    {kExitFailed, "failed; nothing was changed"},
    {kExitUsage, "a wrong command line"},
    {kExitRefusedByLevel, "refused by the installed level"},
    {kExitBusy,
     "another installation or undo of that game is running, or the game holds its archive "
     "(close the game, try again); or a run on that game was cut off and waits: `status` and "
     "`plan` say so until a run finishes it (`merva-img history GAME_FOLDER`), and a run whose "
     "restore folder is out of reach (a drive unplugged, a profile not loaded) waits, whole, "
     "until it is connected again"},
    {kExitNoGame,
     "the game folder is not a game: no `models\\gta3.img` there, or GTA San Andreas \xE2\x80\x93 "
     "The Definitive Edition, a different game"},
    {kExitHalfDone,
     "failed after a change and could not take it back; the message (and the log) says what "
     "state the game is in"},
    {kExitWrongEdition,
     "refused: the game is an edition the mod is not for, or one Merva cannot tell (`/anyedition`, "
     "`--any-edition` install it all the same); or the mod would take the game past one of its "
     "limits (`/pastlimits`, `--past-limits` install it all the same)"},
};

TExitCode ExitCodeOf(const std::exception& error) {
  if (dynamic_cast<const EHalfDone*>(&error)) return kExitHalfDone;
  if (dynamic_cast<const EWrongEdition*>(&error) || dynamic_cast<const EPastLimits*>(&error))
    return kExitWrongEdition;
  if (dynamic_cast<const EGameBusy*>(&error)) return kExitBusy;
  if (const auto* io = dynamic_cast<const EInOutError*>(&error))
    if (io->ErrorCode() == kSharingViolation || io->ErrorCode() == kLockViolation) return kExitBusy;
  if (dynamic_cast<const EArchiveMissing*>(&error) || dynamic_cast<const ENotAGame*>(&error))
    return kExitNoGame;
  return kExitFailed;
}

}  // namespace merva
