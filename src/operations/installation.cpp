#include "operations/installation.h"

#include <algorithm>
#include <optional>

#include "apps/installed_apps.h"
#include "archive/archive_check.h"
#include "archive/sectors.h"
#include "core/environment.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/step_times.h"
#include "core/text.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_path.h"
#include "game/limit_adjuster.h"
#include "operations/edition_check.h"
#include "operations/limits_check.h"
#include "operations/mod_files_check.h"
#include "operations/room_check.h"
#include "restore/restore_names.h"

namespace merva {

namespace {

// The most a package file of lines for the game's data files may hold.
constexpr uint32_t kModLinesLimit = 4 << 20;

}  // namespace

TInstallation::TInstallation(const TDATAInst& script, std::string gameFolder,
                             TOperationServices services, std::string packagePath)
    : items_(ReadInstallItems(script)),
      game_(std::move(gameFolder)),
      services_(services),
      packagePath_(std::move(packagePath)),
      editions_(script.Editions.empty() ? std::vector<std::string>{}
                                        : EditionWordsOf(script.Editions)) {}

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
  edition_ = GameEditionOf(services_.Files, game_);
  CheckEdition(edition_, editions_, allowUnknownEdition_);
  try {
    Open();
    SpellGameFilesAsTheGameDoes();
    NoteGameFiles();
    services_.Progress.Start(
        static_cast<int64_t>(items_.ArchiveFiles.size() + items_.GameFiles.size()));
    archives_->Put(items_, *index_, *package_);
    MarkStep("new archive planned");
    PlanItems();
    if (!keyed_->Conflicts().empty() && !allowConflicts_) throw EItemConflicts(keyed_->Conflicts());
    // Only lines count against the limits: a mod without any adds nothing to them.
    if (!itemChanges_.empty())
      CheckLimits(Budget(ReadLimitAdjuster(services_.Files, game_)), allowPastLimits_);
    RoomNeeded().Check();
    PlanGameFiles();
    BeginJournal();
    // Every game file is extracted and its place made ready before the archive changes, so
    // that what can fail fails while nothing is changed yet.
    StageGameFiles();
    MarkStep("game files staged");
    ReplaceArchives();
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
  archives_.emplace(services_, game_, TArchivesInstall::TFor::kRun);
  archives_->OpenGameArchive();
  OpenPackage();
  MarkStep("package opened");
  const std::vector<std::string> warnings = CheckModFiles(*package_, *index_, items_);
  if (!warnings.empty()) services_.Notices.Notice(TNoticeKind::kWarning, ModFilesWarning(warnings));
  MarkStep("mod files checked");
  archives_->OpenOthers(items_, *index_);
  if (request_) {
    restore_.emplace(*request_, fs, game_);
    archives_->NoteIn(*restore_);
  }
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
  archives_.emplace(services_, game_, TArchivesInstall::TFor::kPlan);
  archives_->OpenGameArchive();
  OpenPackage();
  TInstallPlan plan;
  plan.FileWarnings = CheckModFiles(*package_, *index_, items_);
  archives_->OpenOthers(items_, *index_);
  // Without a restore folder the plan still tells what a point would record.
  restore_.emplace(request_ ? *request_ : TRestoreRequest{}, fs, game_);
  archives_->NoteIn(*restore_);
  NoteGameFiles();
  PlanItems();
  archives_->Put(items_, *index_, *package_);
  archives_->Preview();
  plan.Edition = edition_ = GameEditionOf(fs, game_);
  plan.EditionsWanted = editions_;
  plan.EditionVerdict = EditionVerdictOf(plan.Edition, editions_);
  plan.Point = restore_->Preview();
  plan.Earlier = restore_->Earlier();
  if (request_) plan.Damaged = DamagedRestorePoints(fs, request_->Folder, game_);
  plan.Drives = RoomNeeded().Drives();
  plan.Conflicts = keyed_->Conflicts();
  const TAdjustedLimits adjuster = ReadLimitAdjuster(fs, game_);
  plan.Budget = Budget(adjuster);
  plan.LimitAdjuster = adjuster.Ini;
  archives_->Close();
  package_->Close();
  return plan;
}

void TInstallation::PlanItems() {
  IFileSystem& fs = services_.Files;
  keyed_.emplace(fs, game_);
  keyed_->Read(items_, [this](const std::string& name) -> std::optional<std::string> {
    TPackageEntry entry;
    uint32_t position;
    if (!index_->Find(name, entry, position)) return std::nullopt;
    // Lines for the game's text files: a text of that size is no such thing.
    if (entry.Size > kModLinesLimit)
      throw EFileError(name, "is too large to be lines for the game's data files");
    std::string text(entry.Size, '\0');
    package_->Seek(position);
    if (!text.empty()) package_->ReadExact(&text[0], entry.Size);
    return text;
  });
  earlier_ =
      request_ ? ListRestorePoints(fs, request_->Folder, game_) : std::vector<TRestorePoint>{};
  itemChanges_ = keyed_->Plan(earlier_);
  if (restore_) restore_->NoteItems(itemChanges_);
}

std::vector<TLimitCount> TInstallation::Budget(const TAdjustedLimits& adjuster) {
  // Limit adjusters are written for 1.0's program: on another edition they raise nothing.
  const bool adjusterWorks = edition_.Line == "1.0";
  return ModelBudget(keyed_->GameModels(), itemChanges_, earlier_, adjuster, adjusterWorks);
}

EItemConflicts::EItemConflicts(const std::vector<std::string>& conflicts)
    : Exception([&] {
        std::string list;
        for (const std::string& conflict : conflicts) list += (list.empty() ? "" : "; ") + conflict;
        return "The mod would change what another installed mod wrote: " + list +
               ". Nothing was changed.";
      }()),
      Conflicts(conflicts) {}

void TInstallation::SpellGameFilesAsTheGameDoes() {
  for (TGameFileItem& item : items_.GameFiles) {
    if (item.Path.empty()) continue;
    item.Path = SpellingInGame(services_.Files, game_, item.Path);
    const std::vector<std::string> parts = SplitAt(item.Path, "\\");
    for (size_t n = 0; n < item.Folders.size() && n + 1 < parts.size(); ++n) {
      std::string folder;
      for (size_t i = 0; i <= n; ++i) folder += (i ? "\\" : "") + parts[i];
      item.Folders[n] = folder;
    }
  }
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
  // Every file the run replaces is moved aside and then removed.
  archives_->RefuseReadOnly();
  for (const TGameFileItem& item : items_.GameFiles)
    RefuseReadOnly(fs, InGameFolder(game_, item.Path));
  // A link on the way would put the file outside the game folder, where no undo may follow.
  for (const TGameFileItem& item : items_.GameFiles) {
    const std::string link = LinkOnTheWay(fs, game_, item.Path);
    if (!link.empty()) throw Exception(LinkOnTheWayText("game folder", link));
    archives_->RefuseGameFile(item);
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
      if (!fs.DirectoryExists(InGameFolder(game_, folder)) &&
          std::find(madeFolders_.begin(), madeFolders_.end(), folder) == madeFolders_.end())
        madeFolders_.push_back(folder);
    const std::string target = InGameFolder(game_, item.Path);
    if (fs.DirectoryExists(target))
      throw Exception("Unable to put the file " + item.Item +
                      " into the game folder: a folder has its name. Nothing was changed.");
    staged_.push_back({&item, StagedGameFileOf(game_, staged_.size() + 1), target});
  }
}

void TInstallation::BeginJournal() {
  IFileSystem& fs = services_.Files;
  journal_.emplace(fs, game_, request_ ? request_->Folder : "");
  for (const std::string& folder : madeFolders_) journal_->MadeFolder(InGameFolder(game_, folder));
  archives_->Note(*journal_);
  if (restore_) {
    restore_->Reserve();
    journal_->PutPoint(restore_->PendingPath(), restore_->FinalPath());
  }
  for (const TStagedFile& file : staged_) {
    journal_->Put(file.Scratch, file.Target);
    if (fs.IsLink(file.Target) || fs.FileExists(file.Target)) journal_->Aside(file.Target);
  }
  keyed_->Note(*journal_, game_);
  journal_->Scratch(ScratchFolderOf(game_));
  journal_->Begin();
}

void TInstallation::StageGameFiles() {
  IFileSystem& fs = services_.Files;
  const std::string scratch = ScratchFolderOf(game_);
  if (!fs.DirectoryExists(scratch) && !fs.CreateDirectory(scratch))
    throw Exception("Unable to create the folder " + scratch);
  for (const std::string& folder : madeFolders_) fs.CreateDirectory(InGameFolder(game_, folder));
  keyed_->Stage();
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

TRoomCheck TInstallation::RoomNeeded() {
  // The new archives and the staged game files on the game's drive, the old bytes on the
  // restore folder's.
  TRoomCheck room(services_.Files);
  int64_t staged = 0;
  for (const TGameFileItem& item : items_.GameFiles) {
    TPackageEntry entry;
    uint32_t position;
    if (!item.PackageName.empty() && index_->Find(item.PackageName, entry, position))
      staged += entry.Size;
  }
  if (keyed_) staged += keyed_->StagedBytes();
  // Every archive's rebuild waits beside it until the commit.
  room.Need(game_, archives_->BytesWritten() + staged);
  if (request_ && restore_)
    room.Need(request_->Folder, archives_->BytesKept() + restore_->KeptGameFileBytes());
  return room;
}

void TInstallation::ReplaceArchives() {
  IProgress& progress = services_.Progress;
  if (restore_) restore_->Keep(progress);
  MarkStep("old game files kept");
  archives_->Write();
  // The restore point is whole on the disk before the new archives take the old ones' places.
  if (restore_) restore_->Finish(progress);
  MarkStep("restore point flushed");
  // The archives and the files the mod replaces go out of their places (the game holding one
  // stops the run here, with everything put back), and the run is committed: from here on its
  // journal owns what it wrote.
  archives_->Release();
  journal_->MoveAside();
  journal_->Commit();
  archives_->HandOver();
  if (restore_) restore_->HandOver();
  MarkStep("gta3.img replaced");
}

}  // namespace merva
