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
#include "operations/room_check.h"
#include "restore/restore_names.h"

namespace merva {

namespace {

// The most a package file of lines for the game's data files may hold.
constexpr uint32_t kModLinesLimit = 4 << 20;

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
    SpellGameFilesAsTheGameDoes();
    NoteGameFiles();
    services_.Progress.Start(
        static_cast<int64_t>(items_.ArchiveFiles.size() + items_.GameFiles.size()));
    PlanArchive();
    MarkStep("new archive planned");
    PlanItems();
    if (!keyed_->Conflicts().empty() && !allowConflicts_) throw EItemConflicts(keyed_->Conflicts());
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
  OpenOtherArchives();
  if (request_) {
    restore_.emplace(*request_, fs, game_);
    for (TOtherArchive& other : others_) other.Point = &restore_->AddPart(other.Archive);
  }
}

namespace {

// The other archives the items name, each once however it is spelt, in the order they are first
// named; one whose items the package all lacks is not touched.
std::vector<std::string> OtherArchivesOf(const TInstallItems& items, const TPackageIndex& index) {
  std::vector<std::string> archives, keys;
  for (const TArchiveItem& item : items.ArchiveFiles) {
    TPackageEntry entry;
    uint32_t position;
    if (item.Archive.empty() || item.PackageName.empty() ||
        !index.Find(item.PackageName, entry, position))
      continue;
    const std::string key = GameArchiveKey(item.Archive);
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
    keys.push_back(key);
    archives.push_back(item.Archive);
  }
  return archives;
}

// The archive below the game folder, checked before it is opened: there, no link on the way,
// an archive of the game. Raises naming it.
void CheckOtherArchive(IFileSystem& fs, const std::string& game, const std::string& archive) {
  const std::string path = GameArchivePathOf(game, archive);
  const std::string link = LinkOnTheWay(fs, game, archive);
  if (!link.empty()) throw Exception(LinkOnTheWayText("game folder", link));
  if (fs.IsLink(path))
    throw Exception("The archive " + path + " is a link, which Merva does not follow. Nothing " +
                    "was changed.");
  if (!fs.FileExists(path))
    throw Exception("The mod puts files into " + archive + ", which is not in the game folder " +
                    game + ". Nothing was changed.");
}

// Two names the mod gives its archives that are one file (a name and its 8.3 short name,
// INTE~GHH.IMG): the run would hold the file twice and never get it.
void RefuseOneArchiveTwice(IFileSystem& fs, const std::string& game,
                           const std::vector<std::string>& archives) {
  std::vector<std::string> names = {kArchiveInGame};
  names.insert(names.end(), archives.begin(), archives.end());
  for (size_t i = 1; i < names.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (fs.SameFile(GameArchivePathOf(game, names[j]), GameArchivePathOf(game, names[i])))
        throw Exception("The mod puts files into " + names[j] + " and into " + names[i] +
                        ", which are one file in " + game +
                        " (one name is the other's short name). Nothing was changed.");
}

[[noreturn]] void RaiseNotAnArchive(const std::string& path) {
  throw Exception("The mod puts files into " + path +
                  ", which is not an IMG archive of the game. Nothing was changed.");
}

// Each other archive the mod names, checked before any is opened.
void CheckOtherArchives(IFileSystem& fs, const std::string& game,
                        const std::vector<std::string>& archives) {
  for (const std::string& archive : archives) CheckOtherArchive(fs, game, archive);
  RefuseOneArchiveTwice(fs, game, archives);
}

// Opens another archive by `open` (read-only for a plan, for its rebuild for a run): a file that
// is no archive of the game, or shorter than an archive's header, is refused in the mod's words.
template <typename Open>
void OpenOtherArchive(const std::string& path, const Open& open) {
  bool opened = false;
  try {
    opened = open();
  } catch (const EArchiveMissing&) {
    opened = false;
  } catch (const EInOutError& error) {
    if (error.ErrorCode() != kReadBeyondEnd) throw;
  }
  if (!opened) RaiseNotAnArchive(path);
}

}  // namespace

void TInstallation::OpenOtherArchives() {
  IFileSystem& fs = services_.Files;
  const std::vector<std::string> names = OtherArchivesOf(items_, *index_);
  CheckOtherArchives(fs, game_, names);
  for (const std::string& archive : names) {
    TOtherArchive& other = others_.emplace_back();
    other.Archive = archive;
    OpenOtherArchive(GameArchivePathOf(game_, archive), [&] {
      other.Rebuild.emplace(fs, GameArchivePathOf(game_, archive),
                            RebuiltArchivePathOf(game_, archive));
      return true;
    });
    RefuseDamagedArchive(other.Rebuild->Archive());
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
  TArchiveFile archive(fs);
  if (!archive.Open(ArchivePathOf(game_), TOpenAccess::kReadOnly))
    throw EArchiveMissing(ArchivePathOf(game_));
  RefuseDamagedArchive(archive);
  TPlannedBody body(archive.File(), archive.File().Size());
  archive.WriteTo(body);
  OpenPackage();
  // The other archives, read-only with their plans, in the order the items name them.
  std::deque<TArchiveFile> others;
  std::deque<TPlannedBody> otherBodies;
  std::vector<TArchiveFile*> otherPlans;
  const std::vector<std::string> otherNames = OtherArchivesOf(items_, *index_);
  CheckOtherArchives(fs, game_, otherNames);
  for (const std::string& name : otherNames) {
    TArchiveFile& other = others.emplace_back(fs);
    const std::string path = GameArchivePathOf(game_, name);
    OpenOtherArchive(path, [&] { return other.Open(path, TOpenAccess::kReadOnly); });
    RefuseDamagedArchive(other);
    other.WriteTo(otherBodies.emplace_back(other.File(), other.File().Size()));
    otherPlans.push_back(&other);
  }
  // Without a restore folder the plan still tells what a point would record.
  restore_.emplace(request_ ? *request_ : TRestoreRequest{}, fs, game_);
  NoteGameFiles();
  PlanItems();
  PutArchiveFiles(archive);
  for (size_t i = 0; i < otherNames.size(); ++i) {
    PutArchiveFiles(*otherPlans[i], otherNames[i]);
    restore_->AddPart(otherNames[i]).Preview(*otherPlans[i]);
  }
  TInstallPlan plan;
  plan.Point = restore_->Preview(archive);
  plan.Earlier = restore_->Earlier();
  if (request_) plan.Damaged = DamagedRestorePoints(fs, request_->Folder, game_);
  plan.Drives = RoomNeeded(archive, otherPlans).Drives();
  plan.Conflicts = keyed_->Conflicts();
  archive.Close();
  for (TArchiveFile& other : others) other.Close();
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
  const std::vector<TRestorePoint> earlier =
      request_ ? ListRestorePoints(fs, request_->Folder, game_) : std::vector<TRestorePoint>{};
  std::vector<TItemChange> changes = keyed_->Plan(earlier);
  if (restore_) restore_->NoteItems(std::move(changes));
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
  RefuseReadOnly(fs, ArchivePathOf(game_));
  for (const TOtherArchive& other : others_)
    RefuseReadOnly(fs, GameArchivePathOf(game_, other.Archive));
  for (const TGameFileItem& item : items_.GameFiles)
    RefuseReadOnly(fs, InGameFolder(game_, item.Path));
  // A link on the way would put the file outside the game folder, where no undo may follow.
  for (const TGameFileItem& item : items_.GameFiles) {
    const std::string link = LinkOnTheWay(fs, game_, item.Path);
    if (!link.empty()) throw Exception(LinkOnTheWayText("game folder", link));
    // One file cannot be both rebuilt and replaced by the run.
    for (const TOtherArchive& other : others_)
      if (GameFileItemKey(item.Path) == GameArchiveKey(other.Archive))
        throw Exception("The script names " + item.Item +
                        " as a game file and as an archive to put files into. Nothing was "
                        "changed.");
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
    staged_.push_back(
        {&item, scratch + "\\" + std::to_string(staged_.size() + 1) + ".new", target});
  }
}

void TInstallation::BeginJournal() {
  IFileSystem& fs = services_.Files;
  journal_.emplace(fs, game_, request_ ? request_->Folder : "");
  for (const std::string& folder : madeFolders_) journal_->MadeFolder(InGameFolder(game_, folder));
  journal_->Put(TempArchivePathOf(game_), ArchivePathOf(game_));
  journal_->Aside(ArchivePathOf(game_));
  for (const TOtherArchive& other : others_) {
    journal_->Put(RebuiltArchivePathOf(game_, other.Archive),
                  GameArchivePathOf(game_, other.Archive));
    journal_->Aside(GameArchivePathOf(game_, other.Archive));
  }
  if (restore_) {
    restore_->Reserve();
    journal_->PutPoint(restore_->PendingPath(), restore_->FinalPath());
  }
  for (const TStagedFile& file : staged_) {
    journal_->Put(file.Scratch, file.Target);
    if (fs.IsLink(file.Target) || fs.FileExists(file.Target)) journal_->Aside(file.Target);
  }
  keyed_->Note(*journal_, ScratchFolderOf(game_));
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

void TInstallation::PlanArchive() {
  // The archive files are put in and the directory sorted in the rebuild's plan; the compaction
  // comes with the writing.
  std::string archive;
  try {
    PutArchiveFiles(rebuild_->Archive());
    for (TOtherArchive& other : others_) {
      archive = other.Archive;
      PutArchiveFiles(other.Rebuild->Archive(), other.Archive);
    }
  } catch (const EArchiveTooLarge&) {
    // Planned in memory: the game is as it was.
    throw Exception(std::string("The mod would take ") + GameArchiveText(archive) +
                    " past 2 GB, which the game cannot read. Nothing was changed.");
  }
}

void TInstallation::PutArchiveFiles(TArchiveFile& archive, const std::string& into) {
  IProgress& progress = services_.Progress;
  const std::string key = GameArchiveKey(into);
  for (const TArchiveItem& item : items_.ArchiveFiles) {
    if (GameArchiveKey(item.Archive) != key) continue;
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
  std::vector<TArchiveFile*> others;
  for (TOtherArchive& other : others_) others.push_back(&other.Rebuild->Archive());
  RoomNeeded(rebuild_->Archive(), others).Check();
}

TRoomCheck TInstallation::RoomNeeded(TArchiveFile& archive,
                                     const std::vector<TArchiveFile*>& others) {
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
  // Every archive's rebuild waits beside it until the commit.
  int64_t rebuilt = CompactedArchiveBytes(archive.State());
  for (TArchiveFile* other : others) rebuilt += CompactedArchiveBytes(other->State());
  if (keyed_) staged += keyed_->StagedBytes();
  room.Need(game_, rebuilt + staged);
  if (request_ && restore_) {
    int64_t kept = restore_->KeptBytesFor(archive);
    for (size_t i = 0; i < others.size() && i < others_.size(); ++i)
      if (others_[i].Point) kept += others_[i].Point->KeptBytesFor(*others[i]);
    room.Need(request_->Folder, kept);
  }
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
  for (TOtherArchive& other : others_) {
    // Each other archive the same way, its old bytes kept in its part of the point.
    std::string print;
    std::optional<TKeptBytesAlong> along;
    if (other.Point) {
      other.Point->Keep(other.Rebuild->Archive(), progress);
      along.emplace(*other.Point);
    }
    other.Rebuild->Write(progress, 0, other.Point ? &print : nullptr, nullptr,
                         along ? &*along : nullptr);
    if (other.Point) other.Point->Finish(other.Rebuild->WrittenPath(), print, progress);
  }
  if (!others_.empty()) MarkStep("other archives written and flushed");
  // The restore point is whole on the disk before the new archives take the old ones' places.
  if (restore_) restore_->Finish(rebuild_->WrittenPath(), fingerprint, progress);
  MarkStep("restore point flushed");
  // The archives and the files the mod replaces go out of their places (the game holding one
  // stops the run here, with everything put back), and the run is committed: from here on its
  // journal owns what it wrote.
  rebuild_->Release();
  for (TOtherArchive& other : others_) other.Rebuild->Release();
  journal_->MoveAside();
  journal_->Commit();
  rebuild_->HandOver();
  for (TOtherArchive& other : others_) other.Rebuild->HandOver();
  if (restore_) restore_->HandOver();
  MarkStep("gta3.img replaced");
}

}  // namespace merva
