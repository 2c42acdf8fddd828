#include "operations/undo.h"

#include <map>
#include <optional>
#include <set>

#include "archive/archive_rebuild.h"
#include "archive/sectors.h"
#include "core/file_tools.h"
#include "core/step_times.h"
#include "core/text.h"
#include "game/game_folder.h"
#include "operations/room_check.h"
#include "operations/undo_game_files.h"
#include "restore/installed_apps.h"
#include "restore/journal.h"
#include "restore/level_value.h"
#include "restore/ownership.h"
#include "restore/restore_names.h"
#include "restore/restore_reader.h"
#include "restore/restore_store.h"

namespace merva {

namespace {

// The entries of the archive before the installation, in their order, with their data:
// entries the installation left from the archive as it is, replaced ones from the kept files.
class TUndoDirectory {
 public:
  TUndoDirectory(const std::string& pointPath, const TRestorePoint& point, IFileSystem& fs,
                 IArchiveBody& plan)
      : point_(point), plan_(plan), kept_(fs, pointPath, point) {}

  // The exact way: the restore point's record of where every old entry went.
  std::vector<TArchiveEntry> Exact(const std::vector<TArchiveEntry>& now) {
    if (now.size() != static_cast<size_t>(point_.OldCount) + point_.Added.size())
      throw Damaged(point_, "its entry count does not match the archive");
    std::vector<int32_t> newIndexOf(static_cast<size_t>(point_.OldCount), -1);
    for (const TOrderRun& run : point_.Order) {
      for (int32_t i = 0; i < run.Count; ++i) {
        const int64_t k = int64_t{run.Old} + i, j = int64_t{run.New} + i;
        if (run.Count < 0 || k < 0 || k >= point_.OldCount || j < 0 ||
            j >= static_cast<int64_t>(now.size()) || newIndexOf[k] >= 0)
          throw Damaged(point_, "its order of entries does not fit the archive");
        newIndexOf[k] = static_cast<int32_t>(j);
      }
    }
    for (const int32_t j : newIndexOf)
      if (j < 0) throw Damaged(point_, "an entry is missing from its order");
    std::vector<TArchiveEntry> entries;
    entries.reserve(newIndexOf.size());
    for (const int32_t j : newIndexOf) entries.push_back(now[j]);
    for (const TKeptEntry& kept : point_.Replaced) {
      if (kept.Index < 0 || kept.Index >= point_.OldCount)
        throw Damaged(point_, "a replaced entry lies outside the directory");
      entries[kept.Index] = FromKeptFile(kept);
    }
    return entries;
  }

  // The forced way, for an archive changed since: added names leave, replaced names get their
  // old bytes back (the first kept one for the first entry of the name, and so on), the rest
  // stays in its order.
  std::vector<TArchiveEntry> ByNames(const std::vector<TArchiveEntry>& now) {
    std::set<std::string> added;
    for (const TAddedEntry& entry : point_.Added) added.insert(EntryNameKey(entry.Name));
    std::map<std::string, std::vector<const TKeptEntry*>> replaced;
    for (const TKeptEntry& kept : point_.Replaced)
      replaced[EntryNameKey(EntryName(kept.Old))].push_back(&kept);
    std::map<std::string, size_t> used;
    std::vector<TArchiveEntry> entries;
    for (const TArchiveEntry& entry : now) {
      const std::string key = EntryNameKey(EntryName(entry));
      const auto found = replaced.find(key);
      if (found != replaced.end()) {
        const size_t n = std::min(used[key]++, found->second.size() - 1);
        entries.push_back(FromKeptFile(*found->second[n]));
      } else if (!added.count(key)) {
        entries.push_back(entry);
      }
    }
    return entries;
  }

  TKeptEntries& Kept() { return kept_; }
  // The kept files are needed until the new archive is written, no longer.
  void CloseFiles() { kept_.Close(); }

 private:
  // The old entry, its data placed at the end of the plan from where the point keeps it.
  TArchiveEntry FromKeptFile(const TKeptEntry& kept) {
    const TPutSource source = kept_.Source(kept);
    const int64_t at = SectorBytes(SectorsFor(plan_.Length()));
    CheckArchiveLength(at + source.Length);
    if (source.Length > 0) plan_.WriteSource(at, source);
    TArchiveEntry entry = kept.Old;
    entry.Offset = static_cast<int32_t>(at / kSector);
    return entry;
  }

  const TRestorePoint& point_;
  IArchiveBody& plan_;
  TKeptEntries kept_;
};

// The undo's rebuild reads gta3.img and the point's archive.img each front to back: their
// fingerprints are taken from that reading, so that each is read from the disk once.
class TChecksAlong final : public IRebuildReads {
 public:
  TChecksAlong(TRecordedArchiveCheck& archive, TKeptEntries& kept)
      : archive_(archive), kept_(kept) {}
  void Before(const TPiece& piece) override {
    if (piece.Source == TPiece::kArchive) archive_.ReadUpTo(piece.From);
    if (IsKeptArchive(piece)) kept_.ReadUpTo(piece.From);
  }
  bool Wants(const TPiece& piece) override {
    return (piece.Source == TPiece::kArchive && archive_.SizeMatches()) || IsKeptArchive(piece);
  }
  void Read(const TPiece& piece, int64_t at, const char* data, size_t size) override {
    if (piece.Source == TPiece::kArchive) archive_.Take(at, data, size);
    if (IsKeptArchive(piece)) kept_.Take(at, data, size);
  }
  void Finished() override {}

 private:
  bool IsKeptArchive(const TPiece& piece) const {
    return piece.Source == TPiece::kFile && piece.File && piece.File == kept_.KeptArchive();
  }
  TRecordedArchiveCheck& archive_;
  TKeptEntries& kept_;
};

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
    const std::vector<TRestorePoint> points = ListRestorePoints(fs, root_, "");
    if (points.empty()) throw Exception(kNothingToTakeBack);
    game = points.front().GameFolder;
  }
  lock_.emplace(fs, game, root_, &services_.Progress);
  try {
    point_ = FindLatestRestorePoint(fs, root_, game);
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
  const std::string pointPath = PointPathOf(root_, pointName);
  if (!found) throw EFileError(pointPath, "no restore point of " + gameFolder);
  if (SameGameFolder(fs, point_.GameFolder, gameFolder)) return;
  // Named for a game folder it does not record: only a game that moved. While the folder it
  // records still holds an archive, the point is that game's (a copy of one game may have the
  // very same archive), and is taken back there.
  if (fs.FileExists(ArchivePathOf(point_.GameFolder)) ||
      fs.IsLink(ArchivePathOf(point_.GameFolder)))
    throw EFileError(pointPath, "is a restore point of the game in " + point_.GameFolder +
                                    ", which is still there; take it back there");
  // A game folder moved since is known by its archive: the size and fingerprint recorded.
  TRestorePoint moved = point_;
  moved.GameFolder = fs.CanonicalPath(gameFolder);
  if (moved.GameFolder.empty() || !ArchiveMatches(fs, moved, &services_.Progress))
    throw EFileError(pointPath, "no restore point of " + gameFolder);
  recordedFolder_ = point_.GameFolder;
  point_ = moved;
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
  RefuseUnderNewerPoints();
  TUndoResult result;
  const std::set<std::string> edited = CheckGameFiles(pointPath, choices, result.KeptEditedIn);
  CheckRoom(edited, result.KeptEditedIn);
  TArchiveRebuild rebuild(services_.Files, ArchivePathOf(point_.GameFolder),
                          TempArchivePathOf(point_.GameFolder));
  MarkStep("start");
  result.ByNames = PlanArchive(rebuild, pointPath, choices);
  MarkStep("temp.img written and flushed");
  PutBack(rebuild, pointPath, edited, result.KeptEditedIn);
  if (services_.Registry)
    result.LevelRestored = RestoreLevelValue(*services_.Registry, point_.Level);
  MarkStep("game files and gta3.img back");
  result.KeptEdited.assign(edited.begin(), edited.end());
  return result;
}

void TUndo::RefuseUnderNewerPoints() {
  // Newest first, forced or not: an older installation taken back under a newer one would
  // bring back files that no restore point covers. A game moved since has newer points under
  // the folder they record and, once moved, under its new one.
  // Every one of them is named, so that the player knows the whole way back.
  std::string newer;
  for (const std::string& folder : {point_.GameFolder, recordedFolder_}) {
    if (folder.empty()) continue;
    for (const TRestorePoint& other : ListRestorePoints(services_.Files, root_, folder))
      if (other.Counter > point_.Counter)
        newer += (newer.empty() ? "" : "; then ") + PointDescription(other);
  }
  if (newer.empty()) return;
  throw Exception("The installation of " + PointDescription(point_) +
                  " cannot be taken back yet: installations were made after it. Take these back "
                  "first: " +
                  newer + ". Nothing was changed.");
}

std::set<std::string> TUndo::CheckGameFiles(const std::string& pointPath, TUndoChoices choices,
                                            std::string& editsFolder) {
  IFileSystem& fs = services_.Files;
  if (fs.IsLink(pointPath)) throw Damaged(point_, "its folder is a link");
  // Everything the game files need is checked before anything changes.
  const std::set<std::string> edited = CheckGameFilePlaces(fs, point_, pointPath);
  if (edited.empty()) return edited;
  editsFolder = EditsFolderFor(fs, root_, point_);
  if (choices.KeepEdited) return edited;
  std::string list;
  for (const std::string& item : edited) list += (list.empty() ? "" : ", ") + item;
  throw EGameFilesEdited(
      "Game files were changed since " + PointDescription(point_) + " was installed: " + list + ".",
      {edited.begin(), edited.end()}, editsFolder);
}

void TUndo::CheckRoom(const std::set<std::string>& edited, const std::string& editsFolder) {
  // The archive as it was and the old game files waiting beside their places on the game's
  // drive, the player's edits on the restore folder's: before the first byte is written.
  IFileSystem& fs = services_.Files;
  TRoomCheck room(fs);
  int64_t staged = 0, edits = 0;
  for (const TGameFileChange& file : point_.GameFiles) {
    if (file.Replaced) staged += file.OldBytes;
    if (!edited.count(file.Item)) continue;
    const std::string path = point_.GameFolder + "\\" + file.Item;
    if (fs.KindOf(path) != TPathKind::kFile) continue;
    TBlockFile current = TBlockFile::OpenReadOnly(fs, path);
    edits += current.Size();
    current.Close();
  }
  room.Need(point_.GameFolder, point_.OldArchiveBytes + staged);
  if (!edited.empty()) room.Need(editsFolder, edits);
  room.Check();
}

bool TUndo::PlanArchive(TArchiveRebuild& rebuild, const std::string& pointPath,
                        TUndoChoices choices) {
  IProgress& progress = services_.Progress;
  TArchiveFile& archive = rebuild.Archive();
  TUndoDirectory directory(pointPath, point_, services_.Files, archive.Body());
  const std::vector<TArchiveEntry> opened = archive.Entries();
  // The archive's fingerprint is taken as the exact way is written, from the bytes the rebuild
  // reads (the rest is read during the last flush): when the size is the one recorded, that way
  // is written first. Should the check find the archive changed after all, that writing is
  // thrown away.
  TRecordedArchiveCheck check(archive.File(), point_);
  TChecksAlong along(check, directory.Kept());
  std::optional<std::vector<TArchiveEntry>> exact;
  if (check.SizeMatches()) {
    try {
      exact = directory.Exact(opened);
    } catch (const Exception&) {
      exact.reset();  // an archive that is not the recorded one; the check tells which
    }
  }
  if (exact) {
    archive.SetDirectory(*exact);
    rebuild.Write(
        progress, point_.OldFirstSector, nullptr, [&check] { return check.Step(); }, &along);
  }
  const bool same = check.Same(&progress);
  MarkStep("gta3.img checked");
  if (!same && !choices.ByNames)
    throw EUndoRefused(kArchiveInGame + std::string(" has changed since ") +
                       PointDescription(point_) +
                       " was installed: another program, or a mod installed without Merva, "
                       "changed it. Nothing was changed.");
  if (!exact || !same) {
    // The recorded archive that its point does not fit raises here (Exact).
    archive.SetDirectory(same ? directory.Exact(opened) : directory.ByNames(opened));
    rebuild.Write(progress, same ? point_.OldFirstSector : 0, nullptr, nullptr, &along);
  }
  directory.Kept().CheckKeptArchive(progress);
  // The kept files are read: closed now, so that the point's folder can be renamed and removed
  // (Windows keeps an open file, and its folder, in place).
  directory.CloseFiles();
  return !same;
}

void TUndo::PutBack(TArchiveRebuild& rebuild, const std::string& pointPath,
                    const std::set<std::string>& edited, const std::string& editsFolder) {
  IFileSystem& fs = services_.Files;
  TJournal journal(fs, point_.GameFolder, root_, recordedFolder_);
  TGameFilesSwap files(fs, point_, pointPath);
  files.Note(journal, edited, editsFolder);
  journal.Put(TempArchivePathOf(point_.GameFolder), ArchivePathOf(point_.GameFolder));
  journal.Aside(ArchivePathOf(point_.GameFolder));
  journal.RemovePoint(pointPath);
  try {
    journal.Begin();
    // The old versions wait beside their places and the player's edits are copied out: still
    // nothing in the game has changed.
    files.Prepare(edited, editsFolder);
    MarkStep("game files ready");
    // The current files and the archive go out of their places (the game holding one stops
    // the undo here, and the journal puts everything back), and the undo is committed.
    rebuild.Release();
    journal.MoveAside();
    journal.Commit();
    rebuild.HandOver();
  } catch (const EInOutError&) {
    throw;  // told with its advice by Run
  } catch (const std::exception& error) {
    throw Exception(ErrorReportText(error.what()) + " Nothing was changed.");
  }
  journal.Finish();
  if (services_.Apps) UnlistInstallation(*services_.Apps, root_, point_.Folder);
}

}  // namespace merva
