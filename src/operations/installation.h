#pragma once
// The installation of one mod into one game folder, from start to end: the archive files into
// models\gta3.img (planned in memory, written once beside the old archive, put in its place in
// one move), then the game files to their listed paths, with a restore point of everything it
// replaces. All or nothing: a failure at any moment leaves the game as it was.
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_rebuild.h"
#include "game/game_lock.h"
#include "operations/install_request.h"
#include "operations/operation.h"
#include "operations/room_check.h"
#include "package/package.h"
#include "restore/restore_store.h"
#include "restore/restore_writer.h"
#include "script/install_items.h"
#include "script/script.h"

namespace merva {

// Removes what a killed installation left in the game folder: temp.img, the scratch folder, and
// the folders it made on the way to its game files, while they are empty. The caller holds the
// game's lock.
void RemoveKilledInstallationLeftovers(IFileSystem& fs, const std::string& gameFolder);

// What an installation would do, told before it is run: the point it would record (entries
// added and replaced, game files created and replaced, folders made, each replaced one's owner
// now, the archive's size after, the bytes kept), the game's installations now, and the room
// needed and free on each drive.
struct TInstallPlan {
  TRestorePoint Point;
  std::vector<TRestorePoint> Earlier;  // newest first
  // Points of the game whose record is missing or cannot be read: what they wrote is not known,
  // so nothing is called the game's own while they are there.
  std::vector<TDamagedPoint> Damaged;
  std::vector<TDriveNeed> Drives;
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
  class TScratchFolder;
  class TMadeFolders;

  void Open();
  void NoteGameFiles();
  void StageGameFiles();
  void OpenPackage();
  void PlanArchive();
  void PutArchiveFiles(TArchiveFile& archive);
  TRoomCheck RoomNeeded(TArchiveFile& archive);
  void CheckRoom();
  void ReplaceArchive();
  void PlaceGameFiles();
  // Lists the installation in the player's installed programs, with the program its uninstall
  // command runs kept beside the restore points.
  void ListInApps();
  // Takes back what the run did after a failure; `done` says what state the game is in.
  bool TakeBackAfterFailure(const std::vector<const TGameFileItem*>& moved, std::string& done);

  TInstallItems items_;
  std::string game_;
  TOperationServices services_;
  std::string packagePath_;
  std::string programPath_;
  std::string programCopyFolder_;
  std::optional<TRestoreRequest> request_;
  // In the order they are let go: the lock last, the folders the run made (when empty) first.
  std::optional<TGameLock> lock_;
  std::optional<TArchiveRebuild> rebuild_;
  std::optional<TBlockFile> package_;
  TPackageDirectory directory_;
  std::optional<TPackageIndex> index_;
  std::unique_ptr<TScratchFolder> scratch_;
  std::optional<TRestorePointWriter> restore_;
  std::vector<TStagedFile> staged_;
  std::unique_ptr<TMadeFolders> made_;
};

}  // namespace merva
