#pragma once
// The game files of one undo, put back all or nothing. Everything that can be checked is checked
// first (CheckGameFilePlaces); the old versions are then copied beside their places
// (Prepare: nothing in the game changes yet), and the swap (Commit) moves each current file
// aside under a name of its own in its folder and the old version into its place, one rename
// each, inside one drive. Until Finish, RollBack puts every current file back as it was.
#include <set>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/file_system.h"
#include "restore/restore_point.h"

namespace merva {

// Checks, before anything changes, that every game file of the point can be put back: no link
// on the way to it (nor at its folder), no folder or device where the file goes, no file where a
// folder on its way goes. Raises in plain words; gives the items the player changed since.
std::set<std::string> CheckGameFilePlaces(IFileSystem& fs, const TRestorePoint& point,
                                          const std::string& pointPath);

class TGameFilesSwap {
 public:
  TGameFilesSwap(IFileSystem& fs, const TRestorePoint& point, std::string pointPath);
  ~TGameFilesSwap();  // removes what Prepare wrote, unless committed
  TGameFilesSwap(const TGameFilesSwap&) = delete;
  TGameFilesSwap& operator=(const TGameFilesSwap&) = delete;

  // Copies the player's versions of `edited` into `editsFolder` (made here) and every kept old
  // version beside its place, flushed: across drives this is a copy, never a move.
  void Prepare(const std::set<std::string>& edited, const std::string& editsFolder);
  // Swaps every file; raises EInOutError at the first that fails (RollBack then).
  void Commit();
  // Puts the game files back as they were before Commit; false when one could not be.
  bool RollBack();
  // The undo is done: the files moved aside go, and the folders the installation made go when
  // they are empty.
  void Finish();
  // What RollBack could not put back, for the message.
  const std::vector<std::string>& Stuck() const { return stuck_; }

 private:
  struct TItem {
    std::string Item, Target, Staged, Aside;
    std::string Kept;  // the path of the old version in the point, for a replaced file
    bool Replaced = false, MovedAside = false, Placed = false;
  };
  IFileSystem& fs_;
  const TRestorePoint& point_;
  std::string pointPath_;
  std::vector<TItem> items_;
  std::vector<std::string> madeFolders_;  // by Prepare, for a place whose folder had gone
  std::string editsFolder_;               // made by Prepare
  bool done_ = false;
  std::vector<std::string> stuck_;
};

}  // namespace merva
