#include "operations/undo_request.h"

#include "game/game_folder.h"
#include "restore/restore_store.h"

namespace merva {

std::unique_ptr<TUndo> StartUndo(const TUndoRequest& request, TOperationServices services) {
  if (request.RestoreFolder.empty() && request.Point.empty()) throw Exception(kNothingToTakeBack);
  if (request.Point.empty())
    return std::make_unique<TUndo>(request.RestoreFolder, request.GameFolder, services);
  return std::make_unique<TUndo>(request.RestoreFolder, request.Point, request.GameFolder,
                                 services);
}

std::string UndoQuestion(const TRestorePoint& point) {
  return "Take back the installation of \"" + point.Title + "\" made on " + point.Time + " in " +
         point.GameFolder + "?";
}

std::string UndoQuestion(const TRestorePoint& point, const TUndoPlan& plan) {
  std::string question = UndoQuestion(point);
  if (plan.Stay.empty()) return question;
  std::string stays;
  for (const std::string& stay : plan.Stay) stays += (stays.empty() ? "" : "; ") + stay;
  return question + " Later installations stay: " + stays + ".";
}

std::string UndoDoneText(const TRestorePoint& point, const TUndoResult& result) {
  // By names, what another program changed since stays: the game is not as it was.
  if (result.ByNames)
    return "\"" + point.Title + "\" was taken back: what it wrote into " + point.GameFolder +
           " was taken back by name, and what other programs changed since stays.";
  if (!result.Done.Rewritten.empty())
    return "\"" + point.Title + "\" was taken back: " + point.GameFolder +
           " is as if it had never been installed, with the later installations in.";
  return "\"" + point.Title + "\" was taken back: " + point.GameFolder +
         " is as it was before the installation.";
}

std::vector<std::string> UndoRemarks(const TUndoResult& result) {
  std::vector<std::string> remarks;
  for (const std::string& archive : result.ArchivesByNames)
    remarks.push_back(archive +
                      " had changed since the installation: its entries were taken back "
                      "by name.");
  if (!result.LevelRestored)
    remarks.push_back("The installed level was changed since by another installation and is kept.");
  if (!result.KeptEdited.empty())
    remarks.push_back("Your versions of the " + std::to_string(result.KeptEdited.size()) +
                      " game files changed since are kept in " + result.KeptEditedIn + ".");
  if (!result.KeptAside.empty()) {
    std::string items;
    for (const TKeptAside& aside : result.KeptAside)
      items += (items.empty() ? "" : ", ") + aside.Item;
    remarks.push_back(
        "Versions that no installation wrote, which no restore point could keep any "
        "more, are kept in " +
        result.KeptEditedIn + ": " + items + ".");
  }
  for (const std::string& stay : result.Done.Stay) remarks.push_back(stay + ".");
  if (!result.Done.Rewritten.empty()) {
    std::string points;
    for (const std::string& point : result.Done.Rewritten)
      points += (points.empty() ? "" : ", ") + point;
    remarks.push_back("The restore points of the later installations were rewritten: " + points +
                      ".");
  }
  return remarks;
}

}  // namespace merva
