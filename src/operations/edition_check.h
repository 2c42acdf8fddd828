#pragma once
// Whether a mod may go into the game's edition: what the mod's `editions` line says of the game
// the folder holds, checked before anything changes.
#include <string>
#include <vector>

#include "core/errors.h"
#include "game/game_edition.h"

namespace merva {

// The game is an edition the mod is not for, or one Merva cannot tell (Unknown, which the
// player may allow): nothing was changed.
class EWrongEdition : public Exception {
 public:
  EWrongEdition(const std::vector<std::string>& words, const TGameEdition& edition, bool unknown);
  bool Unknown;
  // For an edition Merva cannot tell: the question the wizard asks the player.
  std::string Question;
};

// Raises EWrongEdition unless the mod, for the editions `words` name, may go into `edition`;
// an edition Merva cannot tell passes when `allowUnknown`.
void CheckEdition(const TGameEdition& edition, const std::vector<std::string>& words,
                  bool allowUnknown);

}  // namespace merva
