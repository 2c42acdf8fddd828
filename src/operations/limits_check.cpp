#include "operations/limits_check.h"

namespace merva {

namespace {

std::string Passes(const std::vector<TLimitCount>& budget) {
  return "This mod would take the game past its limits, and the game would crash or hang when it "
         "starts: " +
         PassedLimitsText(budget);
}

}  // namespace

EPastLimits::EPastLimits(const std::vector<TLimitCount>& budget)
    : Exception(Passes(budget) + ". Nothing was changed."),
      Question(Passes(budget) +
               ".\n\nInstall the mod anyway? Choose Yes only if a limit adjuster Merva does not "
               "read raises these limits.") {}

void CheckLimits(const std::vector<TLimitCount>& budget, bool allowPast) {
  if (allowPast || PassedLimitsText(budget).empty()) return;
  throw EPastLimits(budget);
}

}  // namespace merva
