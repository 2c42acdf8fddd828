#include "change/keyed_rule.h"

#include <vector>

#include "change/changes.h"

namespace merva {

bool IsSomeoneElses(const std::string& takenFrom) {
  return takenFrom == kTakenFromChanged;
}

bool IsAnInstallations(const std::string& takenFrom) {
  return !TakenFromPointName(takenFrom).empty();
}

namespace {

// The first item of chain[link] with `key`, or Count(link) when it wrote none.
size_t Find(const TKeyedItems& items, size_t link, const std::string& key) {
  const size_t count = items.Count(link);
  for (size_t item = 0; item < count; ++item)
    if (items.Key(link, item) == key) return item;
  return count;
}

}  // namespace

std::vector<size_t> TakeOverByKey(size_t links, const TKeyedItems& items) {
  std::vector<size_t> takenBy(items.Count(0), 0);
  for (size_t undone = 0; undone < takenBy.size(); ++undone) {
    const std::string key = items.Key(0, undone);
    for (size_t link = 1; link < links; ++link) {
      const size_t item = Find(items, link, key);
      if (item == items.Count(link)) continue;
      takenBy[undone] = link;
      items.Stays(undone, link);
      if (!items.Replaced(link, item)) break;
      if (IsSomeoneElses(items.TakenFrom(link, item)) && !items.Displace(undone, link, item)) break;
      items.Pass(undone, link, item);
      break;
    }
  }
  return takenBy;
}

}  // namespace merva
