#pragma once
// The keyed items of one installation (lines merged into data files, item_kinds.h): each game
// file they go into read, merged in memory and checked before anything changes, written whole
// into the scratch folder, and swapped in by the run's journal like a game file; each item's
// version before recorded with whose it was.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "change/changes.h"
#include "core/file_system.h"
#include "items/game_models.h"
#include "items/item_kinds.h"
#include "journal/journal.h"

namespace merva {

class TItemsInstall {
 public:
  TItemsInstall(IFileSystem& fs, std::string gameFolder);

  // Reads the items every kind brings for the mod; raises, naming what is wrong, before
  // anything changes.
  void Read(const TInstallItems& items, const TPackageText& read);
  // Merges them into the game's files as they are now: raises for a file the game lacks, one
  // behind a link or read-only, or one the merge would make unreadable. Gives each item's change,
  // whose each version before was as `earlier` (the game's points, newest first) tells.
  std::vector<TItemChange> Plan(const std::vector<TRestorePoint>& earlier);
  // Every file's new version in the scratch folder of `game`, then in its place.
  void Note(TJournal& journal, const std::string& game);
  // Writes the new versions there, flushed.
  void Stage();
  int64_t StagedBytes() const;
  // What Plan found that the mod would make of another installation's items: each in words.
  const std::vector<std::string>& Conflicts() const { return conflicts_; }
  // The models the game loads, read once for the run.
  const TGameModels& GameModels();

 private:
  void NoteConflict(const std::vector<TRestorePoint>& earlier, const TItemChange& change,
                    const IItemKind* kind);
  // A model ID another installed mod gave its model in another section or IDE file: the game
  // knows each ID once, whichever file names it.
  // `byId` holds the earlier points' items that give a model ID, by kind and ID, in order.
  using TItemsById =
      std::unordered_map<std::string,
                         std::vector<std::pair<const TRestorePoint*, const TItemChange*>>>;
  void NoteIdConflict(const TItemsById& byId, const TItemChange& change, const IItemKind* kind);
  struct TFile {
    TItemsForFile Items;
    std::string Target, Staged, Bytes;
    // The automatic ID each line the mod wrote one into was written with, by its section and
    // key once the ID is chosen.
    std::map<std::pair<std::string, std::string>, std::string> Automatic;
  };
  // Gives each automatic ID of the mod the lowest ID of its section's range that no IDE file
  // the game loads and none of the mod's own lines uses, and writes it into every line that
  // uses it. Raises, naming the section and the range, when none is free.
  void ChooseAutomaticIds();
  IFileSystem& fs_;
  std::string game_;
  std::vector<TFile> files_;
  std::vector<std::string> conflicts_;
  std::optional<TGameModels> models_;
};

}  // namespace merva
