#pragma once
// Whether a mod's lines take the game past one of its limits (items/model_budget.h), checked
// before anything changes: the game would crash or hang at start without a word why.
#include <string>
#include <vector>

#include "core/errors.h"
#include "items/model_budget.h"

namespace merva {

// The mod would take the game past a limit: nothing was changed.
class EPastLimits : public Exception {
 public:
  explicit EPastLimits(const std::vector<TLimitCount>& budget);
  // What the wizard asks the player; No is the answer that changes nothing.
  std::string Question;
};

// Raises EPastLimits for a budget the mod passes, unless `allowPast`.
void CheckLimits(const std::vector<TLimitCount>& budget, bool allowPast);

}  // namespace merva
