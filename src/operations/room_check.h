#pragma once
// What a run will write on each drive, checked against the room there before it writes a
// byte, so that a lack of room is told at once, with the numbers, instead of after minutes of
// writing. Two folders on one drive count together.
#include <cstdint>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/file_system.h"

namespace merva {

// Too little room on a drive: nothing was written.
class ENoRoom : public Exception {
 public:
  using Exception::Exception;
};

struct TDriveNeed {
  std::string Folder;  // the first folder named on that drive
  std::string Drive;   // as the system names it; empty when it cannot tell
  int64_t Needed = 0;
  uint64_t Free = 0;
  bool Known = false;  // false: the system cannot tell the room, so it is not checked
};

class TRoomCheck {
 public:
  explicit TRoomCheck(IFileSystem& fs) : fs_(fs) {}
  // `bytes` the run will write in `folder`, which need not exist yet (its nearest existing
  // folder above tells the drive).
  void Need(const std::string& folder, int64_t bytes);
  const std::vector<TDriveNeed>& Drives() const { return drives_; }
  // Raises ENoRoom for the first drive with too little room: how much is needed, how much is
  // free, on which drive; `done` says what state the game is in.
  void Check(const std::string& done = "Nothing was changed.") const;

 private:
  IFileSystem& fs_;
  std::vector<TDriveNeed> drives_;
};

// A size for the player: "1.25 GB (1,342,177,280 bytes)".
std::string SizeText(uint64_t bytes);

}  // namespace merva
