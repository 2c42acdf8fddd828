#pragma once
// The keyed items of one undo (lines merged into data files, item_kinds.h), by the one rule over
// the versions of an item (change/keyed_rule.h): an item a later installation wrote again stays
// as that one wrote it, and that one's restore point now keeps what the one taken back kept; any
// other gets its version before back, or goes when the installation added it. An item changed
// since by the player or another program stays as it is: a version no installation wrote is
// never dropped. Each file is written whole beside itself and swapped in by the undo's journal.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "change/changes.h"
#include "core/file_system.h"
#include "items/item_kinds.h"
#include "journal/journal.h"

namespace merva {

// A version of an item nobody's installation wrote that the undo would leave in no point.
struct TDisplacedItem {
  std::string Item;   // "KEY in FILE"
  std::string Later;  // the later point that took the item over
  std::string File, Text;
};

class TItemsUndo {
 public:
  TItemsUndo(IFileSystem& fs, std::string gameFolder);

  // Works out the undo of chain[0]'s items under the later points and reads each file it
  // changes. Raises for a kind this version does not know, before anything changes.
  void Plan(const std::vector<TRestorePoint>& chain);
  // chain[i]'s items as its record becomes (i >= 1).
  const std::vector<TItemChange>& Rewritten(size_t i) const { return rewritten_[i - 1]; }
  // What the undo does with each item, as the player reads it.
  const std::vector<std::string>& GivenBack() const { return givenBack_; }
  const std::vector<std::string>& Removed() const { return removed_; }
  // "ITEM stays as TITLE installed it", and the items changed since that stay as they are.
  const std::vector<std::string>& Stay() const { return stay_; }
  const std::vector<TDisplacedItem>& Displaced() const { return displaced_; }
  // Every file's new version beside it, then in its place.
  void Note(TJournal& journal);
  // Writes the new versions there, flushed.
  void Stage();
  int64_t BytesWritten() const;

 private:
  struct TFile {
    const IItemKind* Kind;
    std::string Item, Target, Bytes;
    std::vector<TDataEdit> Edits;
    std::unique_ptr<IItemsInFile> Now;  // its items as Bytes holds them, read once
  };
  void TakeOver(const std::vector<TRestorePoint>& chain, std::vector<size_t>& takenBy);
  TFile& FileOf(const IItemKind* kind, const std::string& item);

  IFileSystem& fs_;
  std::string game_;
  std::vector<std::vector<TItemChange>> rewritten_;
  std::vector<std::string> givenBack_, removed_, stay_;
  std::vector<TDisplacedItem> displaced_;
  std::vector<TFile> files_;
};

}  // namespace merva
