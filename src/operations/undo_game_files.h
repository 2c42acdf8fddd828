#pragma once
// The game files of one undo, put back all or nothing. Everything that can be checked is checked
// first (CheckGameFilePlaces); every move then stays inside the file's own folder, on one
// drive.
#include <set>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/file_system.h"
#include "journal/journal.h"
#include "restore/restore_point.h"

namespace merva {

// Checks, before anything changes, that every game file of the point can be put back: no link
// on the way to it (nor at its folder), no folder or device where the file goes, no file where a
// folder on its way goes. Raises in plain words; gives the items the player changed since.
std::set<std::string> CheckGameFilePlaces(IFileSystem& fs, const TRestorePoint& point,
                                          const std::string& pointPath);

// The game files of one undo, through the undo's journal: the old versions written beside their
// places, the player's edits copied out, the current files moved aside before the commit and
// the old versions put in place after it.
class TGameFilesSwap {
 public:
  TGameFilesSwap(IFileSystem& fs, const TRestorePoint& point, std::string pointPath);
  TGameFilesSwap(const TGameFilesSwap&) = delete;
  TGameFilesSwap& operator=(const TGameFilesSwap&) = delete;

  // Writes into the journal every step the game files take.
  void Note(TJournal& journal, const std::set<std::string>& edited, const std::string& editsFolder);
  // Copies the player's versions of `edited` into `editsFolder` (made here) and every kept old
  // version beside its place, flushed: across drives this is a copy, never a move.
  void Prepare(const std::set<std::string>& edited, const std::string& editsFolder);

 private:
  struct TItem {
    std::string Item, Target, Staged;
    std::string Kept;  // the path of the old version in the point, for a replaced file
  };
  IFileSystem& fs_;
  const TRestorePoint& point_;
  std::string pointPath_;
  std::vector<TItem> items_;
  std::vector<std::string> missingFolders_;  // for places whose folder had gone, outermost first
};

}  // namespace merva
