#include "operations/installation.h"

#include <algorithm>
#include <optional>

#include "archive/archive_check.h"
#include "core/environment.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/step_times.h"
#include "core/text.h"
#include "game/game_folder.h"
#include "operations/room_check.h"
#include "restore/installed_apps.h"
#include "restore/restore_names.h"

namespace merva {

namespace {

// A mod appended to an archive whose entries run past its end would be written over them, and
// its undo could not give the archive back: such an archive is refused before anything changes.
void RefuseDamagedArchive(TArchiveFile& archive) {
  RefuseMisplacedData(archive.State(), archive.File().Size(), archive.File().Path());
}

}  // namespace

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
  lock_.emplace(services_.Files, game_, request_ ? request_->Folder : "", &services_.Progress);
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
    PlanGameFiles();
    BeginJournal();
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
  journal_->Finish();
  for (size_t i = 0; i < staged_.size(); ++i) services_.Progress.Step();
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

void TInstallation::PlanGameFiles() {
  IFileSystem& fs = services_.Files;
  // A link on the way would put the file outside the game folder, where no undo may follow.
  for (const TGameFileItem& item : items_.GameFiles) {
    const std::string link = LinkOnTheWay(fs, game_, item.Path);
    if (!link.empty()) throw Exception(LinkOnTheWayText("game folder", link));
  }
  const std::string scratch = ScratchFolderOf(game_);
  // Written through, a link would put the run's files wherever it points.
  if (fs.IsLink(scratch))
    throw Exception("The folder " + scratch + " is a link, which Merva does not follow. Nothing " +
                    "was changed.");
  for (const TGameFileItem& item : items_.GameFiles) {
    TPackageEntry entry;
    uint32_t position;
    if (item.PackageName.empty() || !index_->Find(item.PackageName, entry, position)) continue;
    PackageFileName(PackageEntryName(entry));  // a hostile name is refused here
    for (const std::string& folder : item.Folders)
      if (!fs.DirectoryExists(game_ + "\\" + folder) &&
          std::find(madeFolders_.begin(), madeFolders_.end(), folder) == madeFolders_.end())
        madeFolders_.push_back(folder);
    const std::string target = game_ + "\\" + item.Path;
    if (fs.DirectoryExists(target))
      throw Exception("Unable to put the file " + item.Item +
                      " into the game folder: a folder has its name. Nothing was changed.");
    staged_.push_back(
        {&item, scratch + "\\" + std::to_string(staged_.size() + 1) + ".new", target});
  }
}

void TInstallation::BeginJournal() {
  IFileSystem& fs = services_.Files;
  journal_.emplace(fs, game_, request_ ? request_->Folder : "");
  for (const std::string& folder : madeFolders_) journal_->MadeFolder(game_ + "\\" + folder);
  journal_->Put(TempArchivePathOf(game_), ArchivePathOf(game_));
  journal_->Aside(ArchivePathOf(game_));
  if (restore_) {
    restore_->Reserve();
    journal_->PutPoint(restore_->PendingPath(), restore_->FinalPath());
  }
  for (const TStagedFile& file : staged_) {
    journal_->Put(file.Scratch, file.Target);
    if (fs.IsLink(file.Target) || fs.FileExists(file.Target)) journal_->Aside(file.Target);
  }
  journal_->Scratch(ScratchFolderOf(game_));
  journal_->Begin();
}

void TInstallation::StageGameFiles() {
  IFileSystem& fs = services_.Files;
  const std::string scratch = ScratchFolderOf(game_);
  if (!fs.DirectoryExists(scratch) && !fs.CreateDirectory(scratch))
    throw Exception("Unable to create the folder " + scratch);
  for (const std::string& folder : madeFolders_) fs.CreateDirectory(game_ + "\\" + folder);
  std::vector<std::string> written;
  for (const TStagedFile& file : staged_) {
    TPackageEntry entry;
    uint32_t position;
    index_->Find(file.Item->PackageName, entry, position);
    ExtractPackageEntry(*package_, entry, position, file.Scratch, fs);
    if (!fs.DirectoryExists(ParentFolder(file.Target)))
      throw Exception("Unable to put the file " + file.Item->Item +
                      " into the game folder: its folder cannot be made. Nothing was changed.");
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
  // The archive and the files the mod replaces go out of their places (the game holding one
  // stops the run here, with everything put back), and the run is committed: from here on its
  // journal owns what it wrote.
  rebuild_->Release();
  journal_->MoveAside();
  journal_->Commit();
  rebuild_->HandOver();
  if (restore_) restore_->HandOver();
  MarkStep("gta3.img replaced");
}

}  // namespace merva
