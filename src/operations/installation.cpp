#include "operations/installation.h"

#include <optional>
#include <set>

#include "archive/archive_check.h"
#include "core/environment.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/step_times.h"
#include "core/text.h"
#include "game/game_folder.h"
#include "operations/room_check.h"
#include "operations/undo.h"
#include "restore/installed_apps.h"
#include "restore/restore_names.h"

namespace merva {

namespace {

// Beside the extracted files in the scratch folder: the folders the run made in the game
// folder, one per line, so that a run killed before it kept them has them removed by the next.
constexpr char kMadeFoldersName[] = "folders.txt";

// A mod appended to an archive whose entries run past its end would be written over them, and
// its undo could not give the archive back: such an archive is refused before anything changes.
void RefuseDamagedArchive(TArchiveFile& archive) {
  RefuseMisplacedData(archive.State(), archive.File().Size(), archive.File().Path());
}

}  // namespace

void RemoveKilledInstallationLeftovers(IFileSystem& fs, const std::string& gameFolder) {
  // temp.img: as large as the archive, and never anything but ours (the game has no such file).
  const std::string tempPath = TempArchivePathOf(gameFolder);
  RemoveStaleName(fs, tempPath);
  const std::string scratch = ScratchFolderOf(gameFolder);
  if (fs.IsLink(scratch) || !fs.DirectoryExists(scratch)) return;
  const std::string list = scratch + "\\" + kMadeFoldersName;
  if (fs.FileExists(list) && !fs.IsLink(list)) {
    std::vector<std::string> made;
    try {
      made = SplitAt(ReadWholeFile(fs, list), "\n");
    } catch (const std::exception&) {
      made.clear();  // unreadable: the folders stay, as any folder the player made would
    }
    // Innermost first, and only while empty: a folder the player filled since stays.
    for (auto it = made.rbegin(); it != made.rend(); ++it)
      if (!it->empty() && GameFileItemIsInside(*it) && LinkOnTheWay(fs, gameFolder, *it).empty())
        fs.RemoveDirectory(gameFolder + "\\" + *it);
  }
  RemoveFolderTree(fs, scratch);
}

// The run's own folder for extracted files, so that no file the user keeps in the game folder
// is written over; removed with everything in it when the run ends, also after an error.
class TInstallation::TScratchFolder {
 public:
  TScratchFolder(IFileSystem& fs, const std::string& gameFolder)
      : fs_(fs), path_(ScratchFolderOf(gameFolder)) {
    // Written through, a link would put the run's files wherever it points.
    if (fs_.IsLink(path_))
      throw Exception("The folder " + path_ + " is a link, which Merva does not follow. Nothing " +
                      "was changed.");
    // What a killed run left here is ours alone, and of no use now.
    RemoveKilledInstallationLeftovers(fs_, gameFolder);
    if (!fs_.DirectoryExists(path_) && !fs_.CreateDirectory(path_))
      throw Exception("Unable to create the folder " + path_);
  }
  ~TScratchFolder() {
    for (const std::string& file : files_) fs_.DeleteFile(file);
    // Only the run's own files are in it: whatever one failed delete left goes with the folder.
    if (!fs_.RemoveDirectory(path_)) RemoveFolderTree(fs_, path_);
  }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;
  std::string File(const std::string& name) {
    files_.insert(path_ + "\\" + name);
    return path_ + "\\" + name;
  }

 private:
  IFileSystem& fs_;
  std::string path_;
  std::set<std::string> files_;
};

// The folders a run made, removed again (when empty) unless the run got as far as keeping them;
// noted in the scratch folder as they are made, for a run that is killed.
class TInstallation::TMadeFolders {
 public:
  TMadeFolders(IFileSystem& fs, std::string gameFolder, const std::string& list)
      : fs_(fs), game_(std::move(gameFolder)) {
    if (fs_.Create(list, listFile_) != 0) listFile_.reset();  // the run goes on without its note
  }
  ~TMadeFolders() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) fs_.RemoveDirectory(*it);
  }
  TMadeFolders(const TMadeFolders&) = delete;
  TMadeFolders& operator=(const TMadeFolders&) = delete;
  void Make(const std::string& folder) {
    const std::string path = game_ + "\\" + folder;
    if (fs_.DirectoryExists(path)) return;
    if (listFile_) {
      const std::string line = folder + "\n";
      uint32_t done = 0;
      listFile_->Write(line.data(), static_cast<uint32_t>(line.size()), done);
    }
    if (fs_.CreateDirectory(path)) made_.push_back(path);
  }
  void Keep() { made_.clear(); }

 private:
  IFileSystem& fs_;
  std::string game_;
  std::unique_ptr<IFileHandle> listFile_;
  std::vector<std::string> made_;
};

TInstallation::TInstallation(const TDATAInst& script, std::string gameFolder,
                             TOperationServices services, std::string packagePath)
    : items_(ReadInstallItems(script)),
      game_(std::move(gameFolder)),
      services_(services),
      packagePath_(std::move(packagePath)) {}

TInstallation::TInstallation(const TInstallRequest& request, std::string gameFolder,
                             TOperationServices services)
    : TInstallation(request.Script, std::move(gameFolder), services, request.PackagePath) {
  if (!request.Restore.Folder.empty()) request_ = request.Restore;
  programPath_ = request.ProgramPath;
  programCopyFolder_ = request.ProgramCopyFolder;
}

TInstallation::~TInstallation() = default;

void TInstallation::Run() {
  lock_.emplace(services_.Files, game_);
  if (request_ && request_->Time.empty()) request_->Time = LocalTimeText();
  MarkStep("start");
  try {
    Open();
    NoteGameFiles();
    services_.Progress.Start(
        static_cast<int64_t>(items_.ArchiveFiles.size() + items_.GameFiles.size()));
    PlanArchive();
    MarkStep("new archive planned");
    CheckRoom();
    // Every game file is extracted and its place made ready before the archive changes, so
    // that what can fail fails while nothing is changed yet.
    StageGameFiles();
    MarkStep("game files staged");
    ReplaceArchive();
  } catch (const EInOutError& error) {
    // The game running, or a file the user may not write, is the usual cause: say so.
    RaiseIfBlocked(error.ErrorCode(), error.Path(), "Nothing was changed.");
    throw;
  }
  PlaceGameFiles();
  MarkStep("game files placed");
  package_->Close();
  if (restore_) ListInApps();
}

void TInstallation::ListInApps() {
  IInstalledApps* apps = services_.Apps;
  if (!apps) return;
  IFileSystem& fs = services_.Files;
  const std::string& root = request_->Folder;
  UnlistVanishedInstallations(*apps, fs, root);
  const TRestorePoint& point = restore_->Point();
  // Only a point under its final name is listed, so that no entry is ever without its point.
  // The installation is done either way: a list that refuses costs the player only the entry.
  if (!fs.DirectoryExists(PointPathOf(root, point.Folder))) return;
  const std::string program =
      KeepProgramCopy(fs, programCopyFolder_.empty() ? root : programCopyFolder_, programPath_);
  if (program.empty()) return;
  ListInstallation(*apps, root, point, program, AddedBytes(point));
  RelistWithProgram(*apps, fs, root, program);
}

void TInstallation::Open() {
  IFileSystem& fs = services_.Files;
  // The archive must be there before anything changes. It stays open for the whole run: others
  // may read it, not change it.
  rebuild_.emplace(fs, ArchivePathOf(game_), TempArchivePathOf(game_));
  RefuseDamagedArchive(rebuild_->Archive());
  // What a killed run left (temp.img, the scratch folder) goes before anything new is written.
  RemoveKilledInstallationLeftovers(fs, game_);
  OpenPackage();
  if (request_) restore_.emplace(*request_, fs, game_);
}

void TInstallation::OpenPackage() {
  IFileSystem& fs = services_.Files;
  package_.emplace(TBlockFile::OpenReadOnly(fs, packagePath_));
  ReadPackageDirectory(*package_, directory_, services_.Notices);
  index_.emplace(directory_);
}

TInstallPlan TInstallation::Plan() {
  IFileSystem& fs = services_.Files;
  // Read under the shared lock: never during a change, never waiting for another reader.
  const TGameLock lock(fs, game_, TGameLock::TMode::kRead);
  TArchiveFile archive(fs);
  if (!archive.Open(ArchivePathOf(game_), TOpenAccess::kReadOnly))
    throw EArchiveMissing(ArchivePathOf(game_));
  RefuseDamagedArchive(archive);
  TPlannedBody body(archive.File(), archive.File().Size());
  archive.WriteTo(body);
  OpenPackage();
  // Without a restore folder the plan still tells what a point would record.
  restore_.emplace(request_ ? *request_ : TRestoreRequest{}, fs, game_);
  NoteGameFiles();
  PutArchiveFiles(archive);
  TInstallPlan plan;
  plan.Point = restore_->Preview(archive);
  plan.Earlier = restore_->Earlier();
  if (request_) plan.Damaged = DamagedRestorePoints(fs, request_->Folder, game_);
  plan.Drives = RoomNeeded(archive).Drives();
  archive.Close();
  package_->Close();
  return plan;
}

void TInstallation::NoteGameFiles() {
  if (!restore_) return;
  // What the game files will do is seen before any of them changes.
  for (const TGameFileItem& item : items_.GameFiles) {
    TPackageEntry entry;
    uint32_t position;
    if (item.PackageName.empty() || !index_->Find(item.PackageName, entry, position)) continue;
    restore_->NoteGameFile(
        item, entry.Size,
        FileFingerprint(*package_, position, entry.Size, [this] { services_.Progress.Wait(); }));
  }
}

void TInstallation::StageGameFiles() {
  IFileSystem& fs = services_.Files;
  // A link on the way would put the file outside the game folder, where no undo may follow.
  for (const TGameFileItem& item : items_.GameFiles) {
    const std::string link = LinkOnTheWay(fs, game_, item.Path);
    if (!link.empty()) throw Exception(LinkOnTheWayText("game folder", link));
  }
  scratch_ = std::make_unique<TScratchFolder>(fs, game_);
  made_ = std::make_unique<TMadeFolders>(fs, game_, scratch_->File(kMadeFoldersName));
  for (const TGameFileItem& item : items_.GameFiles) {
    TPackageEntry entry;
    uint32_t position;
    if (item.PackageName.empty() || !index_->Find(item.PackageName, entry, position)) continue;
    PackageFileName(PackageEntryName(entry));  // a hostile name is refused here
    TStagedFile file{&item, scratch_->File(std::to_string(staged_.size() + 1) + ".new"),
                     game_ + "\\" + item.Path};
    ExtractPackageEntry(*package_, entry, position, file.Scratch, fs);
    for (const std::string& folder : item.Folders) made_->Make(folder);
    if (fs.DirectoryExists(file.Target) || !fs.DirectoryExists(ParentFolder(file.Target)))
      throw Exception("Unable to put the file " + item.Item + " into the game folder: " +
                      (fs.DirectoryExists(file.Target) ? "a folder has its name"
                                                       : "its folder cannot be made") +
                      ". Nothing was changed.");
    staged_.push_back(file);
  }
}

void TInstallation::PlanArchive() {
  // The archive files are put in and the directory sorted in the rebuild's plan; the compaction
  // comes with the writing.
  PutArchiveFiles(rebuild_->Archive());
}

void TInstallation::PutArchiveFiles(TArchiveFile& archive) {
  IProgress& progress = services_.Progress;
  for (const TArchiveItem& item : items_.ArchiveFiles) {
    TPackageEntry entry;
    uint32_t position;
    if (item.PackageName.empty() || !index_->Find(item.PackageName, entry, position)) continue;
    // A new entry is named after the package file, in small letters.
    const std::string name = AsciiLower(PackageFileName(PackageEntryName(entry)));
    archive.Put(name, {*package_, position, entry.Size}, [&] { progress.Wait(); });
    progress.Step();
  }
  archive.SortDirectory();  // in logarithmic time per entry: no wait for the window
}

void TInstallation::CheckRoom() {
  RoomNeeded(rebuild_->Archive()).Check();
}

TRoomCheck TInstallation::RoomNeeded(TArchiveFile& archive) {
  // temp.img and the staged game files on the game's drive, the old bytes on the restore
  // folder's.
  TRoomCheck room(services_.Files);
  int64_t staged = 0;
  for (const TGameFileItem& item : items_.GameFiles) {
    TPackageEntry entry;
    uint32_t position;
    if (!item.PackageName.empty() && index_->Find(item.PackageName, entry, position))
      staged += entry.Size;
  }
  room.Need(game_, CompactedArchiveBytes(archive.State()) + staged);
  if (request_ && restore_) room.Need(request_->Folder, restore_->KeptBytesFor(archive));
  return room;
}

void TInstallation::ReplaceArchive() {
  IProgress& progress = services_.Progress;
  if (restore_) restore_->Keep(rebuild_->Archive(), progress);
  MarkStep("old game files kept");
  std::string fingerprint;
  // The old archive is read once, front to back.
  std::optional<TKeptBytesAlong> keepAlong;
  if (restore_) keepAlong.emplace(*restore_);
  rebuild_->Write(progress, 0, restore_ ? &fingerprint : nullptr, nullptr,
                  keepAlong ? &*keepAlong : nullptr);
  MarkStep("temp.img written and flushed");
  // The restore point is whole on the disk before the new archive takes the old one's place.
  if (restore_) restore_->Finish(rebuild_->WrittenPath(), fingerprint, progress);
  MarkStep("restore point flushed");
  rebuild_->Replace();
  made_->Keep();
  MarkStep("gta3.img replaced");
  if (restore_) restore_->Commit();
}

void TInstallation::PlaceGameFiles() {
  // The archive is in place: the staged game files take theirs. Should one fail, what this run
  // did is taken back through its own restore point, so the run is all or nothing.
  std::vector<const TGameFileItem*> moved;
  for (const TStagedFile& file : staged_) {
    const int code = services_.Files.MoveFileReplace(file.Scratch, file.Target);
    if (code != 0) {
      std::string done;
      const bool back = TakeBackAfterFailure(moved, done);
      if (!back) {
        const std::string advice = BlockedFileAdvice(code, file.Target);
        throw EHalfDone((advice.empty() ? "Unable to put the file " + file.Item->Item +
                                              " into the game folder (" + IoErrorText(code) + ")."
                                        : advice) +
                        " " + done);
      }
      RaiseIfBlocked(code, file.Target, done);
      throw Exception("Unable to put the file " + file.Item->Item + " into the game folder (" +
                      IoErrorText(code) + "). " + done);
    }
    moved.push_back(file.Item);
    services_.Progress.Step();
  }
}

bool TInstallation::TakeBackAfterFailure(const std::vector<const TGameFileItem*>& moved,
                                         std::string& done) {
  // The run's own restore point, cut to the game files already moved, takes everything back.
  if (!restore_) {
    done = kArchiveInGame +
           std::string(" and the game files before it were changed; no restore point was kept.");
    return false;
  }
  TRestorePoint point = restore_->Point();
  std::vector<TGameFileChange> changed;
  for (const TGameFileChange& change : point.GameFiles)
    for (const TGameFileItem* item : moved)
      if (AsciiUpper(item->Path) == AsciiUpper(change.Item)) changed.push_back(change);
  point.GameFiles = changed;
  try {
    TUndo undo(request_->Folder, point, {services_.Files, services_.Notices, services_.Progress});
    undo.Run({});
    done = "Nothing was changed.";
    return true;
  } catch (const std::exception& error) {
    done = std::string("Taking the installation back failed as well (") + error.what() +
           "): take it back with merva.exe /undo.";
    return false;
  }
}

}  // namespace merva
