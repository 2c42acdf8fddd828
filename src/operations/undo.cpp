#include "operations/undo.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "apps/installed_apps.h"
#include "archive/archive_rebuild.h"
#include "archive/game_check.h"
#include "archive/sectors.h"
#include "change/level_value.h"
#include "change/ownership.h"
#include "core/file_tools.h"
#include "core/step_times.h"
#include "core/text.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_lock.h"
#include "game/game_path.h"
#include "journal/journal.h"
#include "operations/room_check.h"
#include "operations/undo_game_files.h"
#include "operations/undo_plan.h"
#include "restore/point_rewrite.h"
#include "restore/restore_names.h"
#include "restore/restore_reader.h"
#include "restore/restore_store.h"

namespace merva {

namespace {

// The game running, or a file the user may not write, is the usual cause of a failure: it is
// told as such, with what was already done.
[[noreturn]] void Rethrow(const EInOutError& error, const std::string& done) {
  RaiseIfBlocked(error.ErrorCode(), error.Path(), done);
  throw error;
}

}  // namespace

EGameFilesEdited::EGameFilesEdited(const std::string& summary, std::vector<std::string> items,
                                   std::string keptIn)
    : EUndoRefused(summary + " Nothing was changed."),
      Summary(summary),
      Items(std::move(items)),
      KeptIn(std::move(keptIn)) {}

TUndo::TUndo(std::string root, const std::string& gameFolder, TOperationServices services)
    : root_(std::move(root)), services_(services) {
  IFileSystem& fs = services_.Files;
  std::string game = gameFolder;
  if (game.empty()) {
    // A run killed on some game leaves its point unfinished, and that game half changed: it is
    // finished first, so that "nothing to take back" is never said while one waits.
    const std::vector<TUnsettledGame> unsettled = SettleKilledRuns(fs, root_, &services_.Progress);
    if (!unsettled.empty())
      throw Exception(
          "A run of Merva on " + unsettled.front().GameFolder +
          " was cut off before it finished, and cannot be finished now: " + unsettled.front().Why +
          " Take back its installation with merva.exe /undo \"" + unsettled.front().GameFolder +
          "\" once that is mended.");
    const std::vector<TRestorePoint> points = ListRestorePoints(fs, root_, "");
    if (points.empty()) throw Exception(kNothingToTakeBack);
    game = points.front().GameFolder;
  }
  lock_.emplace(fs, game, root_, &services_.Progress);
  try {
    // A game moved since its installations is found by its archive, as when a point is named.
    const std::string movedFrom = MovedFromFolder(fs, root_, game, &services_.Progress);
    if (movedFrom.empty()) {
      point_ = FindLatestRestorePoint(fs, root_, game);
    } else {
      point_ = FindLatestRestorePoint(fs, root_, movedFrom);
      recordedFolder_ = point_.GameFolder;
      point_.GameFolder = fs.CanonicalPath(game);
    }
  } catch (const Exception&) {
    UnlistVanishedPoints();
    throw;
  }
  UnlistVanishedPoints();
}

void TUndo::UnlistVanishedPoints() {
  if (services_.Apps) UnlistVanishedInstallations(*services_.Apps, services_.Files, root_);
}

TUndo::TUndo(std::string root, const std::string& pointArgument, const std::string& gameFolder,
             TOperationServices services)
    : services_(services) {
  IFileSystem& fs = services_.Files;
  const TPointPlace place = PointPlaceOf(fs, root, pointArgument);
  root_ = place.Root;
  const std::string& pointName = place.Name;
  lock_.emplace(fs, gameFolder, root_, &services_.Progress);
  UnlistVanishedPoints();
  bool found = false;
  for (const TRestorePoint& candidate : ListRestorePoints(fs, root_, ""))
    if (candidate.Folder == pointName) point_ = candidate, found = true;
  // Left unfinished by an earlier version before the game moved here: finished now if the
  // installation got as far as the archive.
  if (!found && FinishPointOfMovedGame(fs, root_, pointName, gameFolder, &services_.Progress))
    for (const TRestorePoint& candidate : ListRestorePoints(fs, root_, ""))
      if (candidate.Folder == pointName) point_ = candidate, found = true;
  const std::string pointPath = PointPathOf(root_, pointName);
  if (!found) throw EFileError(pointPath, "no restore point of " + gameFolder);
  const bool replaced = GameReplacedSince(fs, point_);
  if (SameGameFolder(fs, point_.GameFolder, gameFolder)) {
    if (!replaced) return;
    // Taken back here, it would give the old game's versions to the player's new one.
    throw EFileError(pointPath, "is a restore point of a game that was in " + point_.GameFolder +
                                    " before it was deleted; the game there now is another one");
  }
  // Named for a game folder it does not record: only a game that moved. While the folder it
  // records still holds an archive, the point is that game's (a copy of one game may have the
  // very same archive), and is taken back there.
  if (StillHoldsArchive(fs, point_.GameFolder) && !replaced)
    throw EFileError(pointPath, "is a restore point of the game in " + point_.GameFolder +
                                    ", which is still there; take it back there");
  // A game folder moved since is known by its archive: the size and fingerprint that the newest
  // installation into it recorded, made before the move or since.
  const std::string movedTo = fs.CanonicalPath(gameFolder);
  TRestorePoint newest = point_;
  for (const std::string& folder : {point_.GameFolder, movedTo})
    for (const TRestorePoint& other : ListRestorePoints(fs, root_, folder))
      if (other.Counter > newest.Counter) newest = other;
  newest.GameFolder = movedTo;
  if (movedTo.empty() || !ArchiveMatches(fs, newest, &services_.Progress))
    throw EFileError(pointPath, "no restore point of " + gameFolder);
  recordedFolder_ = point_.GameFolder;
  point_.GameFolder = movedTo;
}

TUndo::TUndo(std::string root, TRestorePoint point, TOperationServices services)
    : root_(std::move(root)), services_(services), point_(std::move(point)) {}

TUndoResult TUndo::Run(TUndoChoices choices) {
  try {
    return RunUnchecked(choices);
  } catch (const EInOutError& error) {
    Rethrow(error, "Nothing was changed.");
  }
}

TUndoResult TUndo::RunUnchecked(TUndoChoices choices) {
  const std::string pointPath = PointPathOf(root_, point_.Folder);
  const std::vector<TRestorePoint> chain = Chain();
  TArchivesUndo archives(services_, root_, point_);
  archives.Open(chain, choices);
  const TGameFilesUndo files = PlanGameFilesUndo(chain);
  items_.emplace(services_.Files, point_.GameFolder);
  items_->Plan(chain);
  const TRestorePoint undone = UndonePoint(point_, files);
  TUndoResult result;
  const std::set<std::string> edited =
      CheckGameFiles(undone, pointPath, choices, result.KeptEditedIn);
  result.KeptAside = CheckDisplaced(files, archives, choices, result.KeptEditedIn);
  CheckRoom(undone, files, edited, result.KeptEditedIn, archives);
  CheckLaterPoints(services_.Files, root_, chain, services_.Progress);
  MarkStep("start");
  // Begun before the first archive is written: every rebuild is the journal's to remove when
  // the undo stops short, whichever archive it lies beside.
  TJournal journal(services_.Files, point_.GameFolder, root_, recordedFolder_);
  TGameFilesSwap swap(services_.Files, undone, pointPath);
  BeginJournal(journal, swap, pointPath, chain, edited, result.KeptEditedIn, archives,
               !result.KeptAside.empty());
  result.ArchivesByNames = archives.Write(choices);
  result.ByNames = !result.ArchivesByNames.empty();
  PutBack(journal, swap, chain, files, edited, result.KeptEditedIn, archives, result.KeptAside);
  // With later installations in that set a level, the installed level is theirs; with none, the
  // level is what the one taken back found, as if it had never been installed.
  const bool laterLevel =
      std::any_of(chain.begin() + 1, chain.end(),
                  [](const TRestorePoint& later) { return later.Level.Checked; });
  if (services_.Registry && !laterLevel)
    result.LevelRestored = RestoreLevelValue(*services_.Registry, point_.Level);
  MarkStep("game files and gta3.img back");
  result.KeptEdited.assign(edited.begin(), edited.end());
  result.Done = TellUndo(chain, files, archives.Plans(), &*items_);
  return result;
}

std::vector<TRestorePoint> TUndo::Chain() {
  return UndoChain(services_.Files, root_, point_, recordedFolder_);
}

TUndoPlan TUndo::Plan() {
  return PlanUndoOf(services_.Files, root_, point_, recordedFolder_);
}

std::set<std::string> TUndo::CheckGameFiles(const TRestorePoint& undone,
                                            const std::string& pointPath, TUndoChoices choices,
                                            std::string& editsFolder) {
  IFileSystem& fs = services_.Files;
  if (fs.IsLink(pointPath)) throw Damaged(point_, "its folder is a link");
  // Everything the game files need is checked before anything changes.
  const std::set<std::string> edited = CheckGameFilePlaces(fs, undone, pointPath);
  if (edited.empty()) return edited;
  editsFolder = EditsFolderFor(fs, root_, point_);
  if (choices.KeepEdited) return edited;
  std::string list;
  for (const std::string& item : edited) list += (list.empty() ? "" : ", ") + item;
  throw EGameFilesEdited(GameFilesEditedText(point_, list), {edited.begin(), edited.end()},
                         editsFolder);
}

void TUndo::CheckRoom(const TRestorePoint& undone, const TGameFilesUndo& files,
                      const std::set<std::string>& edited, const std::string& editsFolder,
                      const TArchivesUndo& archives) {
  // The archives as they were and the old game files waiting beside their places on the game's
  // drive, the player's edits and the rewritten later points on the restore folder's: before
  // the first byte is written.
  IFileSystem& fs = services_.Files;
  TRoomCheck room(fs);
  int64_t staged = 0, edits = 0;
  for (const TGameFileChange& file : undone.GameFiles) {
    if (file.Replaced) staged += file.OldBytes;
    if (!edited.count(file.Item)) continue;
    const std::string path = InGameFolder(point_.GameFolder, file.Item);
    if (fs.KindOf(path) != TPathKind::kFile) continue;
    TBlockFile current = TBlockFile::OpenReadOnly(fs, path);
    edits += current.Size();
    current.Close();
  }
  const int64_t written = archives.BytesWritten();
  int64_t rewritten = archives.BytesRewritten();
  for (const TGameFilesUndo::TRewritten& later : files.Rewritten)
    for (const TGameFileChange& file : later.GameFiles)
      if (file.Replaced) rewritten += file.OldBytes;
  room.Need(point_.GameFolder, written + staged + items_->BytesWritten());
  if (!edited.empty()) room.Need(editsFolder, edits);
  if (rewritten > 0) room.Need(root_, rewritten);
  room.Check();
}

void TUndo::BeginJournal(TJournal& journal, TGameFilesSwap& files, const std::string& pointPath,
                         const std::vector<TRestorePoint>& chain,
                         const std::set<std::string>& edited, const std::string& editsFolder,
                         const TArchivesUndo& archives, bool keepsAside) {
  IFileSystem& fs = services_.Files;
  files.Note(journal, edited, editsFolder);
  if (edited.empty() && keepsAside) journal.New(editsFolder);
  archives.Note(journal);
  items_->Note(journal);
  for (size_t i = 1; i < chain.size(); ++i)
    journal.ReplacePoint(RewrittenPathOf(chain[i].Folder), PointPathOf(root_, chain[i].Folder));
  journal.RemovePoint(pointPath);
  for (size_t i = 1; i < chain.size(); ++i) {
    const std::string path = RewrittenPathOf(chain[i].Folder);
    if (fs.IsLink(path) || fs.KindOf(path) != TPathKind::kMissing)
      throw Exception("Unable to rewrite the restore point " + chain[i].Folder + ": " + path +
                      " is in the way. Nothing was changed.");
  }
  journal.Begin();
}

void TUndo::PutBack(TJournal& journal, TGameFilesSwap& swap,
                    const std::vector<TRestorePoint>& chain, const TGameFilesUndo& files,
                    const std::set<std::string>& edited, const std::string& editsFolder,
                    TArchivesUndo& archives, const std::vector<TKeptAside>& aside) {
  try {
    // The old versions wait beside their places and the player's edits are copied out: still
    // nothing in the game has changed.
    swap.Prepare(edited, editsFolder);
    items_->Stage();
    KeepDisplaced(archives, aside);
    MarkStep("game files ready");
    if (chain.size() > 1) WriteRewrittenPoints(chain, files, archives);
    MarkStep("later restore points written");
    // The current files and the archives go out of their places (the game holding one stops
    // the undo here, and the journal puts everything back), and the undo is committed.
    archives.Release();
    journal.MoveAside();
    journal.Commit();
    archives.HandOver();
    MarkStep("committed");
  } catch (const EInOutError&) {
    throw;  // told with its advice by Run
  } catch (const std::exception& error) {
    throw Exception(ErrorReportText(error.what()) + " Nothing was changed.");
  }
  journal.Finish();
  if (!services_.Apps) return;
  UnlistInstallation(*services_.Apps, root_, point_.Folder);
  // Each rewritten point as its record now says, its other archives and all.
  if (chain.size() == 1) return;
  for (const std::string& folder : {point_.GameFolder, recordedFolder_}) {
    if (folder.empty()) continue;
    for (const TRestorePoint& now : ListRestorePoints(services_.Files, root_, folder))
      for (size_t i = 1; i < chain.size(); ++i)
        if (chain[i].Folder == now.Folder) RelistSize(*services_.Apps, root_, now);
  }
}

std::string TUndo::RewrittenPathOf(const std::string& folder) const {
  return PointPathOf(root_, folder) + kPartialSuffix;
}

void TUndo::WriteRewrittenPoints(const std::vector<TRestorePoint>& chain,
                                 const TGameFilesUndo& files, TArchivesUndo& archives) {
  IFileSystem& fs = services_.Files;
  IProgress& progress = services_.Progress;
  // For changes.txt: whom each later point took things over from, the one taken back aside.
  std::vector<TRestorePoint> stay;
  for (const std::string& folder : {point_.GameFolder, recordedFolder_})
    if (!folder.empty())
      for (const TRestorePoint& other : ListRestorePoints(fs, root_, folder))
        if (other.Counter != point_.Counter) stay.push_back(other);
  SortNewestFirst(stay);
  for (size_t i = 1; i < chain.size(); ++i) {
    TRestorePoint point = chain[i];
    const TGameFilesUndo::TRewritten& own = files.Rewritten[i - 1];
    point.GameFiles = own.GameFiles;
    point.FoldersCreated = own.FoldersCreated;
    point.Level = own.Level;
    point.Items = items_->Rewritten(i);
    // Its changes of the archives the undo changes: chain[i]'s link in each archive's chain.
    const std::vector<TRewrittenChange> changes = archives.Rewrite(i, point);
    // The first archive's kept bytes count the kept game files too, as its record has it.
    TArchiveChange& first = point.Archives.front();
    first.KeptBytes = 0;
    for (const TKeptEntry& entry : first.Replaced) first.KeptBytes += EntryBytes(entry.Old);
    for (const TGameFileChange& file : point.GameFiles)
      if (file.Replaced) first.KeptBytes += file.OldBytes;
    std::vector<TRestorePoint> earlier;
    for (const TRestorePoint& other : stay)
      if (other.Counter < point.Counter) earlier.push_back(other);
    WriteRewrittenPoint(fs, root_, RewrittenPathOf(point.Folder), chain, point, own.From, changes,
                        earlier, progress);
  }
  archives.CloseSources();
}

std::vector<TKeptAside> TUndo::CheckDisplaced(const TGameFilesUndo& files, TArchivesUndo& archives,
                                              TUndoChoices choices, std::string& editsFolder) {
  using TFound = TFoundVersion;
  std::vector<TFound> found;
  archives.FindDisplaced(choices, found);
  for (const TDisplaced& displaced : files.Displaced) found.push_back({&displaced, ""});
  const std::vector<TDisplacedItem>& lines = items_->Displaced();
  if (found.empty() && lines.empty()) return {};
  const auto itemText = [](const TFound& one) {
    return one.Displaced->GameFile ? one.Displaced->Item
                                   : one.Displaced->Item + " in " + GameArchiveText(one.Archive);
  };
  std::string list;
  for (const TFound& one : found) {
    list += (list.empty() ? "" : "; ") + itemText(one) +
            (one.Displaced->Now        ? " (changed since by another program)"
             : one.Displaced->GameFile ? " (kept by restore point " + one.Displaced->Later + ")"
                                       : " (changed by another program before restore point " +
                                             one.Displaced->Later + " took it over)");
  }
  for (const TDisplacedItem& line : lines)
    list += (list.empty() ? "" : "; ") + line.Item + " (kept by restore point " + line.Later + ")";
  if (editsFolder.empty()) editsFolder = EditsFolderFor(services_.Files, root_, point_);
  // Asked as the player's edits are: the versions would be kept, not lost.
  if (!choices.KeepEdited) {
    std::vector<std::string> items;
    for (const TFound& one : found) items.push_back(one.Displaced->Item);
    for (const TDisplacedItem& line : lines) items.push_back(line.Item);
    throw EGameFilesEdited(UnkeptVersionsText(point_, list), items, editsFolder);
  }
  std::vector<TKeptAside> aside;
  for (const TFound& one : found) {
    const TDisplaced& displaced = *one.Displaced;
    // An entry under its archive's path, so that it cannot meet a game file's.
    const std::string relative =
        displaced.GameFile ? displaced.Item
                           : GameArchiveText(one.Archive) + std::string("\\") + displaced.Item;
    aside.push_back(
        {itemText(one), editsFolder + "\\" + relative, one.Archive, displaced, std::nullopt});
  }
  // A line is kept in a text beside the player's edits, one for each data file.
  for (const TDisplacedItem& line : lines) {
    TKeptAside kept;
    kept.Item = line.Item;
    kept.Path = editsFolder + "\\" + line.File + ".lines.txt";
    kept.Line = line.Text;
    aside.push_back(kept);
  }
  return aside;
}

void TUndo::KeepDisplaced(TArchivesUndo& archives, const std::vector<TKeptAside>& aside) {
  if (aside.empty()) return;
  IFileSystem& fs = services_.Files;
  const std::string pointPath = PointPathOf(root_, point_.Folder);
  std::vector<std::string> written;
  std::map<std::string, std::string> lines;  // a text of kept lines for each data file
  for (const TKeptAside& one : aside)
    if (one.Line) lines[one.Path] += *one.Line + "\r\n";
  for (const auto& [path, text] : lines) {
    CreateFolderPath(fs, ParentFolder(path));
    RemoveStaleName(fs, path);
    WriteFileFlushed(fs, path, text);
  }
  for (const TKeptAside& one : aside) {
    if (one.Line) continue;
    CreateFolderPath(fs, ParentFolder(one.Path));
    RemoveStaleName(fs, one.Path);
    if (one.From.GameFile) {
      CopyWholeFile(fs, KeptGameFilePath(pointPath, one.From.File), one.Path, false);
    } else {
      archives.CopyDisplaced(one.Archive, one.From, one.Path);
    }
    written.push_back(one.Path);
  }
  FlushFiles(fs, written);
}

}  // namespace merva
