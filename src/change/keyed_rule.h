#pragma once
// The any-order rule for items known by a key (a game file by its path, an archive entry by its
// name when an archive is taken back by names, next a keyed line of a data file): each item the
// change taken back wrote passes to the first later change that wrote it again. Each kind of
// change supplies only how its versions are found and kept (TKeyedItems); the rule is here once.
//
// For each item of chain[0], in order:
//  1. no later change wrote it: the undo gives chain[0]'s kept version back (or removes what it
//     made);
//  2. the first later change that wrote it takes it over, and it stays as that one wrote it;
//  3. that change found it gone, or made it: it keeps what it recorded;
//  4. it found a version nobody's installation wrote (someone else's): one version has no place
//     left in any point, and the kind says which (Displace), and whether the later change still
//     takes what chain[0] kept;
//  5. else it now keeps what chain[0] kept under it (Pass), whose it was and all.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace merva {

struct TKeyedItems {
  // The items chain[link] wrote, as they stand now (a Pass may change a later link's items).
  std::function<size_t(size_t link)> Count;
  std::function<std::string(size_t link, size_t item)> Key;
  // True when it replaced a version (whose TakenFrom tells); false when it made the item.
  std::function<bool(size_t link, size_t item)> Replaced;
  std::function<std::string(size_t link, size_t item)> TakenFrom;
  // What the steps above do, for chain[0]'s item `undone` and the later link's `item`.
  std::function<void(size_t undone, size_t link)> Stays;
  std::function<bool(size_t undone, size_t link, size_t item)> Displace;  // true: pass too
  std::function<void(size_t undone, size_t link, size_t item)> Pass;
  // True when a Pass may move a link's items to other places, or change their keys.
  bool PassMovesItems = false;
};

// True for a version found changed by another program or by hand: nobody's installation's.
bool IsSomeoneElses(const std::string& takenFrom);
// True for a version an installation of Merva wrote ("point:NAME").
bool IsAnInstallations(const std::string& takenFrom);

// Applies the rule to chain[0]'s items over `links` links; for each item, the later link that
// took it over, or 0 when none did.
std::vector<size_t> TakeOverByKey(size_t links, const TKeyedItems& items);

}  // namespace merva
