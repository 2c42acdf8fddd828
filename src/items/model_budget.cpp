#include "items/model_budget.h"

#include <set>

#include "core/text.h"
#include "data/data_rules.h"

namespace merva {

namespace {

struct TLimitRule {
  const char* What;
  const char* Section;  // the IDE section counted; "" for the others
  int64_t Stock;
  const char* AdjusterKey;  // the adjuster ini's key, lower case; "" where it raises none
};

// The model stores of the game's program, the IPL files whose placements it can index and the
// archives gta.dat may name (besides the 3 the game opens itself).
const TLimitRule kModelStores[] = {
    {"vehicle models", "cars", 212, "vehiclemodels"},
    {"ped models", "peds", 278, "pedmodels"},
    {"weapon models", "weap", 51, "weaponmodels"},
    {"object models", "objs", 14000, "atomicmodels"},
};
const TLimitRule kPlacingIpls = {"IPL files that place things", "", 40, "entityipl"};
const TLimitRule kImgArchives = {"IMG archives named by gta.dat", "", 5, ""};

bool IsKind(const TItemChange& change, TDataKind kind) {
  const TDataRule* rule = DataRuleOf(change.File);
  return rule && rule->Kind == kind;
}

TLimitCount Count(const TLimitRule& rule, int64_t uses, int64_t adds,
                  const TAdjustedLimits& adjuster, bool adjusterWorks) {
  TLimitCount count{rule.What, uses, adds, rule.Stock, ""};
  const auto raised = adjusterWorks && *rule.AdjusterKey ? adjuster.Limits.find(rule.AdjusterKey)
                                                         : adjuster.Limits.end();
  if (raised != adjuster.Limits.end()) {
    count.Limit = raised->second;
    count.RaisedBy = adjuster.Ini;
  }
  return count;
}

}  // namespace

std::vector<TLimitCount> ModelBudget(const TGameModels& game,
                                     const std::vector<TItemChange>& changes,
                                     const std::vector<TRestorePoint>& earlier,
                                     const TAdjustedLimits& adjuster, bool adjusterWorks) {
  std::vector<TLimitCount> budget;
  for (const TLimitRule& rule : kModelStores) {
    int64_t adds = 0;
    for (const TItemChange& change : changes)
      adds += change.Added && IsKind(change, TDataKind::kIde) && change.Section == rule.Section;
    const auto uses = game.Models.find(rule.Section);
    budget.push_back(
        Count(rule, uses == game.Models.end() ? 0 : uses->second, adds, adjuster, adjusterWorks));
  }
  int64_t ipls = 0, imgs = 0, names = 0;
  for (const TItemChange& change : changes) {
    if (!change.Added) continue;
    // Every IPL file the mod names is counted as one that places things.
    if (IsKind(change, TDataKind::kGtaDat)) ipls += change.Section == "IPL";
    if (IsKind(change, TDataKind::kGtaDat)) imgs += change.Section == "IMG";
    if (IsKind(change, TDataKind::kHandling)) names += change.Section.empty();
  }
  budget.push_back(Count(kPlacingIpls, game.PlacingIpls, ipls, adjuster, adjusterWorks));
  budget.push_back(Count(kImgArchives, game.ImgArchives, imgs, adjuster, adjusterWorks));
  // The game keeps a car's handling under a name of its own table: one it lacks gets no slot.
  // The table is the handling.cfg names no installation added.
  std::set<std::string> added;
  for (const TRestorePoint& point : earlier)
    for (const TItemChange& change : point.Items)
      if (change.Added && !change.New.empty() && IsKind(change, TDataKind::kHandling) &&
          change.Section.empty())
        added.insert(change.Key);
  int64_t table = 0;
  for (const std::string& name : game.HandlingNames) table += !added.count(name);
  const int64_t uses = static_cast<int64_t>(game.HandlingNames.size());
  budget.push_back({"handling names", uses, names, table, ""});
  return budget;
}

std::string PassedLimitsText(const std::vector<TLimitCount>& budget) {
  std::string text;
  for (const TLimitCount& count : budget) {
    if (!count.Passed()) continue;
    text += (text.empty() ? "" : "; ") + count.What + ": the game uses " +
            std::to_string(count.GameUses) + ", the mod adds " + std::to_string(count.ModAdds) +
            ", and the game has room for " + std::to_string(count.Limit) +
            (count.RaisedBy.empty() ? "" : " (as " + count.RaisedBy + " raises it)");
  }
  return text;
}

}  // namespace merva
