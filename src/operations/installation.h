#pragma once
// The installation of one mod into one game folder, from start to end: the archive files into
// models\gta3.img and the other archives they name (install_archives.h), the game files
// extracted beside the game, and a restore point of everything it replaces; then, its journal
// committed, each takes its place. All or nothing: a failure or a power cut at any moment leaves
// the game as it was, or the run for the next one to finish (journal/journal.h).
#include <optional>
#include <string>
#include <vector>

#include "game/game_edition.h"
#include "items/items_install.h"
#include "items/model_budget.h"
#include "journal/changing_game.h"
#include "journal/journal.h"
#include "operations/install_archives.h"
#include "operations/install_request.h"
#include "operations/operation.h"
#include "operations/room_check.h"
#include "package/package.h"
#include "restore/restore_store.h"
#include "restore/restore_writer.h"
#include "script/install_items.h"
#include "script/script.h"

namespace merva {

// What an installation would do, told before it is run: the point it would record (entries
// added and replaced, game files created and replaced, folders made, each replaced one's owner
// now, the archive's size after, the bytes kept), the game's installations now, and the room
// needed and free on each drive.
struct TInstallPlan {
  TGameEdition Edition;
  std::vector<std::string> EditionsWanted;  // the mod's `editions`; none for any
  TEditionVerdict EditionVerdict = TEditionVerdict::kAny;
  // The mod's files the game may not read as their author meant (mod_files_check.h).
  std::vector<std::string> FileWarnings;
  TRestorePoint Point;
  std::vector<TRestorePoint> Earlier;  // newest first
  // Points of the game whose record is missing or cannot be read: what they wrote is not known,
  // so nothing is called the game's own while they are there.
  std::vector<TDamagedPoint> Damaged;
  std::vector<TDriveNeed> Drives;
  // The game's limits, what the game uses of each and what the mod adds (model_budget.h), and
  // the limit adjuster's ini read for them (empty: none).
  std::vector<TLimitCount> Budget;
  std::string LimitAdjuster;
  // Lines of another installation the mod would make into something else (an IDE model ID
  // given to another model), each in words: the run refuses them unless allowed.
  std::vector<std::string> Conflicts;
};

// The mod would make lines another installation wrote into something else: nothing was changed.
class EItemConflicts : public Exception {
 public:
  explicit EItemConflicts(const std::vector<std::string>& conflicts);
  std::vector<std::string> Conflicts;
};

class TInstallation {
 public:
  // `gameFolder` is read once by the caller (the edit box's text): everything goes to that one
  // game. The script's lists are read here; a script that names a place outside the game
  // folder, or one the installer itself uses, raises before anything is touched.
  TInstallation(const TDATAInst& script, std::string gameFolder, TOperationServices services,
                std::string packagePath = kPackageFileName);
  // The same for a request as every front end makes it (install_request.h), with its restore
  // point when the request names a folder for it.
  TInstallation(const TInstallRequest& request, std::string gameFolder,
                TOperationServices services);
  ~TInstallation();
  TInstallation(const TInstallation&) = delete;
  TInstallation& operator=(const TInstallation&) = delete;

  // Keeps a restore point of the run where and as `request` says (stamped with the time the run
  // starts when it has none); none is kept without it.
  void KeepRestorePoint(const TRestoreRequest& request) { request_ = request; }
  // Lets the run make another installation's lines into something else (EItemConflicts).
  void AllowConflicts() { allowConflicts_ = true; }
  // Lets the run go into a game whose edition Merva cannot tell, though the mod names the
  // editions it is for (EWrongEdition).
  void AllowUnknownEdition() { allowUnknownEdition_ = true; }
  // Lets the run take the game past its limits (EPastLimits).
  void AllowPastLimits() { allowPastLimits_ = true; }
  // Installs, once.
  void Run();
  // What Run would do, with nothing written, under the game's shared lock: the same planning,
  // the same owners and the same room the installation checks.
  TInstallPlan Plan();
  // The restore point the run kept, once it is whole; null without one.
  const TRestorePoint* Point() const { return restore_ ? &restore_->Point() : nullptr; }

 private:
  // A game file extracted into the scratch folder, its place in the game folder made ready.
  struct TStagedFile {
    const TGameFileItem* Item;
    std::string Scratch, Target;
  };
  void Open();
  // Each game file and its folders as the game folder spells them (SpellingInGame).
  void SpellGameFilesAsTheGameDoes();
  void NoteGameFiles();
  // The game files' places checked and their names in the scratch folder chosen.
  void PlanGameFiles();
  // Writes the journal of every step the run will take.
  void BeginJournal();
  void StageGameFiles();
  void OpenPackage();
  // Reads and merges the lines the mod brings for the game's data files, in memory, and notes
  // them in the restore point.
  void PlanItems();
  // The game's limits with what the mod's lines add.
  std::vector<TLimitCount> Budget(const TAdjustedLimits& adjuster);
  // The room the run needs on each drive.
  TRoomCheck RoomNeeded();
  // Writes the new archives and the restore point, then commits the run.
  void ReplaceArchives();
  // Lists the installation in the player's installed programs, with the program its uninstall
  // command runs kept beside the restore points.
  void ListInApps();

  TInstallItems items_;
  std::string game_;
  TOperationServices services_;
  std::string packagePath_;
  std::string programPath_;
  std::string programCopyFolder_;
  std::optional<TRestoreRequest> request_;
  bool allowConflicts_ = false;
  bool allowUnknownEdition_ = false;
  bool allowPastLimits_ = false;
  std::vector<std::string> editions_;  // the editions the mod is for; none for any
  TGameEdition edition_;                // the game's, read once the run has the game
  // In the order they are let go: the lock last, the journal (which takes back a run that
  // failed before its commit) just before it.
  std::optional<TChangingGame> lock_;
  std::optional<TJournal> journal_;
  std::optional<TArchivesInstall> archives_;
  std::optional<TBlockFile> package_;
  TPackageDirectory directory_;
  std::optional<TPackageIndex> index_;
  std::optional<TRestorePointWriter> restore_;
  std::optional<TItemsInstall> keyed_;
  std::vector<TItemChange> itemChanges_;
  std::vector<TRestorePoint> earlier_;  // the game's points, newest first
  std::vector<TStagedFile> staged_;
  std::vector<std::string> madeFolders_;  // outermost first
};

}  // namespace merva
