#pragma once
// What an undo may be refused for and what the user may allow, shared by the undo of each kind
// of change.
#include <string>

#include "change/point_chain.h"
#include "core/errors.h"

namespace merva {

// A refusal of the undo that the user may override: the archive is not the one the restore
// point recorded, or the player changed game files since (see TUndoChoices).
class EUndoRefused : public Exception {
 public:
  using Exception::Exception;
};

// What the user chose to allow.
struct TUndoChoices {
  bool ByNames = false;     // an archive changed since is taken back by entry names
  bool KeepEdited = false;  // game files the player changed since are moved aside, not lost
};

// A version that no installation wrote and that the undo would leave in no point, with the
// archive of an entry (empty for a game file).
struct TFoundVersion {
  const TDisplaced* Displaced;
  std::string Archive;
};

}  // namespace merva
