#pragma once
// The game's limits that a mod's lines count against, before an installation passes one: the
// game does not say which it passed, it crashes or hangs at start. Each limit is what the game
// uses now, what the mod adds, and the limit for this game: the stock one, or what a limit
// adjuster's ini raises it to where the adjuster works (1.0). docs/formats.md gives the table.
#include <cstdint>
#include <string>
#include <vector>

#include "change/changes.h"
#include "game/limit_adjuster.h"
#include "items/game_models.h"

namespace merva {

struct TLimitCount {
  std::string What;      // "vehicle models"
  int64_t GameUses = 0;  // now
  int64_t ModAdds = 0;
  int64_t Limit = 0;     // kNoLimit: none
  std::string RaisedBy;  // the adjuster's ini that set it; empty for the stock limit
  // The mod takes the game past it.
  bool Passed() const { return ModAdds > 0 && Limit != kNoLimit && GameUses + ModAdds > Limit; }
};

// The limits for `game` as `adjuster` sets them (when `adjusterWorks`), with what `changes` (the
// mod's lines) add. `earlier` are the game's installations: a handling name one of them added is
// not the game's own.
std::vector<TLimitCount> ModelBudget(const TGameModels& game,
                                     const std::vector<TItemChange>& changes,
                                     const std::vector<TRestorePoint>& earlier,
                                     const TAdjustedLimits& adjuster, bool adjusterWorks);

// The limits passed, in words, "; " between them; empty when none.
std::string PassedLimitsText(const std::vector<TLimitCount>& budget);

}  // namespace merva
