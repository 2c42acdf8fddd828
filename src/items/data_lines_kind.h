#pragma once
// Lines a mod merges by key into the game's data files (data/data_rules.h): the first kind of
// keyed item.
#include "items/item_kinds.h"

namespace merva {

const IItemKind& DataLinesKind();

}  // namespace merva
