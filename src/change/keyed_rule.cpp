#include "change/keyed_rule.h"

#include <unordered_map>
#include <vector>

#include "change/changes.h"

namespace merva {

bool IsSomeoneElses(const std::string& takenFrom) {
  return takenFrom == kTakenFromChanged;
}

bool IsAnInstallations(const std::string& takenFrom) {
  return !TakenFromPointName(takenFrom).empty();
}

std::vector<size_t> TakeOverByKey(size_t links, const TKeyedItems& items) {
  // Each later link's first item of each key, indexed when first asked for: an undo takes time in
  // step with the items, not with their product. Indexed again after a Pass that moves items.
  std::vector<std::unordered_map<std::string, size_t>> firstOf(links);
  std::vector<char> indexed(links, 0);
  const auto indexOf = [&](size_t link) -> const std::unordered_map<std::string, size_t>& {
    if (!indexed[link]) {
      firstOf[link].clear();
      for (size_t item = items.Count(link); item-- > 0;)
        firstOf[link][items.Key(link, item)] = item;
      indexed[link] = 1;
    }
    return firstOf[link];
  };
  std::vector<size_t> takenBy(items.Count(0), 0);
  for (size_t undone = 0; undone < takenBy.size(); ++undone) {
    const std::string key = items.Key(0, undone);
    for (size_t link = 1; link < links; ++link) {
      const auto& index = indexOf(link);
      const auto found = index.find(key);
      if (found == index.end()) continue;
      const size_t item = found->second;
      takenBy[undone] = link;
      items.Stays(undone, link);
      if (!items.Replaced(link, item)) break;
      if (IsSomeoneElses(items.TakenFrom(link, item)) && !items.Displace(undone, link, item)) break;
      items.Pass(undone, link, item);
      if (items.PassMovesItems) indexed[link] = 0;
      break;
    }
  }
  return takenBy;
}

}  // namespace merva
