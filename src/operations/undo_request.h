#pragma once
// The undo as every front end asks for it and tells it: the wizard's /undo, the unattended run
// and merva-img undo find the installation the same way and say the same of what was done.
#include <memory>
#include <string>
#include <vector>

#include "operations/operation.h"
#include "operations/undo.h"

namespace merva {

struct TUndoRequest {
  std::string RestoreFolder;
  // The game whose newest installation goes; empty: the newest of any game.
  std::string GameFolder;
  // A restore point by its name or full path (PointPlaceOf), of the game in GameFolder (which
  // may have moved since); empty: the newest.
  std::string Point;
};

// The undo the request names, with its game's lock held until it is destroyed. Raises as
// TUndo's constructors do; with neither a restore folder nor a point, kNothingToTakeBack.
std::unique_ptr<TUndo> StartUndo(const TUndoRequest& request, TOperationServices services);

// "Take back the installation of "TITLE" made on TIME in GAME?"
std::string UndoQuestion(const TRestorePoint& point);
// "Take back ...?" with what stays because later installations own it.
std::string UndoQuestion(const TRestorePoint& point, const TUndoPlan& plan);
// ""TITLE" was taken back: GAME is as it was before the installation.", or with later
// installations in, that they stay.
std::string UndoDoneText(const TRestorePoint& point, const TUndoResult& result);
// What else the undo did, a sentence each: entries taken back by name, a level kept, the
// player's versions kept, what stays as later installations wrote it, the points rewritten.
std::vector<std::string> UndoRemarks(const TUndoResult& result);

}  // namespace merva
