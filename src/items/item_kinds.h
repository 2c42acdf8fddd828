#pragma once
// The kinds of keyed items that an installation writes into the game's files: lines merged into
// the game's data files, so far. A kind says only which items a mod brings, and how an item is
// found in a file, put in or taken out by its key. The installation (items_install.h), the undo
// (items_undo.h), the restore record and the reports do the rest alike for every kind: the file
// rewritten whole beside itself and swapped through the journal, each item's version before
// kept in the record with whose it was, one rule over the versions of an item. A new kind is
// its own files and its line in ItemKinds().
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/data_lines.h"
#include "script/install_items.h"

namespace merva {

class IItemKind;

// The items a game file holds now.
class IItemsInFile {
 public:
  virtual ~IItemsInFile() = default;
  // The item's text; none when the file does not hold it.
  virtual std::optional<std::string> Find(const std::string& section,
                                          const std::string& key) const = 0;
};

// The items a mod brings for one game file.
struct TItemsForFile {
  const IItemKind* Kind = nullptr;
  std::string File;  // below the game folder
  std::vector<TDataEdit> Edits;
};

// A package file's bytes by its name; none when the package lacks it.
using TPackageText = std::function<std::optional<std::string>(const std::string& name)>;

class IItemKind {
 public:
  virtual ~IItemKind() = default;
  // Its name in the restore record.
  virtual const char* Name() const = 0;
  // The items the mod brings, file by file, each checked as the game will read it: raises,
  // naming the file and what is wrong, before anything changes.
  virtual std::vector<TItemsForFile> ModItems(const TInstallItems& items,
                                              const TPackageText& read) const = 0;
  // `bytes` of the game file `file` with `edits` put in, and what each found and left.
  virtual std::string Put(const std::string& file, const std::string& bytes,
                          const std::vector<TDataEdit>& edits,
                          std::vector<TDataOutcome>& outcomes) const = 0;
  // True when a version `newText` makes the item another thing than `oldText` did, rather than a
  // version of the same: a model ID of an IDE file given to another model.
  virtual bool MakesAnother(const std::string& file, const std::string& section,
                            const std::string& oldText, const std::string& newText) const = 0;
  // The model ID the item gives a model, in the one number space of every IDE file the game
  // loads; empty for an item that gives none.
  virtual std::string ModelId(const std::string& file, const std::string& key) const = 0;
  // The items of the game file `file` whose bytes are `bytes`, read once to be found by key.
  virtual std::unique_ptr<IItemsInFile> ReadItems(const std::string& file,
                                                  const std::string& bytes) const = 0;
};

// Every kind, in the order an installation puts them.
const std::vector<const IItemKind*>& ItemKinds();
// The kind a record names; null for one this version does not know.
const IItemKind* ItemKindNamed(const std::string& name);

}  // namespace merva
