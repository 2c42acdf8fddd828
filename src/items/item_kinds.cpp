#include "items/item_kinds.h"

#include "items/data_lines_kind.h"

namespace merva {

const std::vector<const IItemKind*>& ItemKinds() {
  static const std::vector<const IItemKind*> kinds = {&DataLinesKind()};
  return kinds;
}

const IItemKind* ItemKindNamed(const std::string& name) {
  for (const IItemKind* kind : ItemKinds())
    if (name == kind->Name()) return kind;
  return nullptr;
}

}  // namespace merva
