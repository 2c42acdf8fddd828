#include "operations/undo.h"

#include <deque>
#include <map>
#include <optional>
#include <set>

#include "archive/archive_file.h"
#include "archive/sectors.h"
#include "core/block_file.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/step_times.h"
#include "core/text.h"
#include "restore/level_value.h"
#include "restore/restore_store.h"

namespace merva {

namespace {

std::string Describe(const TRestorePoint& point) {
  return point.Title + " (installed " + point.Time + ", restore point " + point.Folder + ")";
}

Exception Damaged(const TRestorePoint& point, const std::string& what) {
  return Exception("The restore point " + point.Folder + " is damaged: " + what +
                   ". Nothing was changed.");
}

// The entries of the archive before the installation, in their order, with their data:
// entries the installation left from the archive as it is, replaced ones from the kept files.
class TUndoDirectory {
 public:
  TUndoDirectory(const std::string& pointPath, const TRestorePoint& point, IFileSystem& fs,
                 TPlannedBody& plan)
      : pointPath_(pointPath), point_(point), fs_(fs), plan_(plan) {}

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
    for (const TAddedEntry& entry : point_.Added) added.insert(AsciiUpper(entry.Name));
    std::map<std::string, std::vector<const TKeptEntry*>> replaced;
    for (const TKeptEntry& kept : point_.Replaced)
      replaced[AsciiUpper(EntryName(kept.Old))].push_back(&kept);
    std::map<std::string, size_t> used;
    std::vector<TArchiveEntry> entries;
    for (const TArchiveEntry& entry : now) {
      const std::string key = AsciiUpper(EntryName(entry));
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

  // The kept files are needed until the new archive is written, no longer.
  void CloseFiles() {
    for (TBlockFile& file : files_)
      if (file.IsOpen()) file.Close();
    keptArchive_ = nullptr;
  }

 private:
  // The old entry, its data placed at the end of the plan from where the point keeps it.
  TArchiveEntry FromKeptFile(const TKeptEntry& kept) {
    if (kept.Kept == kKeptArchiveName) return FromKeptArchive(kept);
    const std::string path = pointPath_ + "\\" + kept.Kept;
    if (fs_.IsLink(path)) throw Damaged(point_, "the kept file " + kept.Kept + " is a link");
    if (!fs_.FileExists(path)) throw Damaged(point_, "the kept file " + kept.Kept + " is missing");
    TBlockFile& file = files_.emplace_back(TBlockFile::OpenReadOnly(fs_, path));
    const int64_t bytes = int64_t{std::max(kept.Old.Size, 0)} * kSector;
    if (file.Size() != bytes)
      throw Damaged(point_, "the kept file " + kept.Kept + " is not the size recorded");
    const int64_t at = SectorsFor(plan_.Length()) * kSector;
    CheckArchiveLength(at + bytes);
    if (bytes > 0) plan_.WriteSource(at, {file, 0, bytes});
    TArchiveEntry entry = kept.Old;
    entry.Offset = static_cast<int32_t>(at / kSector);
    return entry;
  }

  // The same from archive.img: the n-th replaced entry is its n-th entry, of the size recorded.
  TArchiveEntry FromKeptArchive(const TKeptEntry& kept) {
    const size_t n = static_cast<size_t>(&kept - point_.Replaced.data());
    const std::string name = kKeptArchiveName;
    if (!keptArchive_) {
      const std::string path = pointPath_ + "\\" + name;
      if (fs_.IsLink(path)) throw Damaged(point_, "the kept file " + name + " is a link");
      if (!fs_.FileExists(path)) throw Damaged(point_, "the kept file " + name + " is missing");
      keptArchive_ = &files_.emplace_back(TBlockFile::OpenReadOnly(fs_, path));
      TGTA3Archive read;
      bool sound = false;
      try {
        sound = ReadArchiveDirectory(*keptArchive_, read) &&
                read.Entries.size() == point_.Replaced.size();
      } catch (const Exception&) {
        sound = false;  // a count past the file, or an impossible one
      }
      if (!sound) throw Damaged(point_, "the kept file " + name + " is not the archive recorded");
      keptEntries_ = read.Entries;
    }
    const TArchiveEntry& stored = keptEntries_.at(n);
    const int64_t bytes = int64_t{std::max(kept.Old.Size, 0)} * kSector;
    const int64_t from = int64_t{stored.Offset} * kSector;
    if (stored.Size != std::max(kept.Old.Size, 0) || from < 0 ||
        from + bytes > keptArchive_->Size())
      throw Damaged(point_, "the kept file " + name + " does not hold the entry " +
                                EntryName(kept.Old) + " as recorded");
    const int64_t at = SectorsFor(plan_.Length()) * kSector;
    CheckArchiveLength(at + bytes);
    if (bytes > 0) plan_.WriteSource(at, {*keptArchive_, from, bytes});
    TArchiveEntry entry = kept.Old;
    entry.Offset = static_cast<int32_t>(at / kSector);
    return entry;
  }

  std::string pointPath_;
  const TRestorePoint& point_;
  IFileSystem& fs_;
  TPlannedBody& plan_;
  std::deque<TBlockFile> files_;  // open until the new archive is written
  TBlockFile* keptArchive_ = nullptr;
  std::vector<TArchiveEntry> keptEntries_;
};

// True when the game file is no longer what the installation wrote: the player (or another
// program) changed it since. A point of the first layout has no fingerprints: nothing is known.
bool ChangedSince(IFileSystem& fs, const std::string& target, const TGameFileChange& change) {
  if (change.NewFingerprint.empty()) return false;
  if (fs.IsLink(target)) return true;
  if (!fs.FileExists(target)) return false;  // gone: nothing of the player's to keep
  TBlockFile file = TBlockFile::OpenReadOnly(fs, target);
  const int64_t size = file.Size();
  const bool changed =
      size != change.NewBytes || FileFingerprint(file, 0, size) != change.NewFingerprint;
  file.Close();
  return changed;
}

// Everything the game files need is checked before anything changes: each kept file is there,
// a plain file of the size recorded, and no folder on the way to a game file is a link, which
// would lead outside the game folder. Gives the items the player changed since.
std::set<std::string> CheckGameFiles(const std::string& pointPath, const TRestorePoint& point,
                                     IFileSystem& fs) {
  std::set<std::string> edited;
  for (const TGameFileChange& change : point.GameFiles) {
    std::string path = point.GameFolder;
    for (const std::string& part : SplitAt(change.Item, "\\/")) {
      path += "\\" + part;
      if (fs.IsLink(path) && path != point.GameFolder + "\\" + change.Item)
        throw Exception("The game folder holds a link at " + path +
                        ", which Merva does not follow. Nothing was changed.");
    }
    if (ChangedSince(fs, point.GameFolder + "\\" + change.Item, change)) edited.insert(change.Item);
    if (!change.Replaced) continue;
    const std::string kept = pointPath + "\\" + change.Kept;
    if (fs.IsLink(kept)) throw Damaged(point, "the kept file " + change.Kept + " is a link");
    if (!fs.FileExists(kept)) throw Damaged(point, "the kept file " + change.Kept + " is missing");
    TBlockFile file = TBlockFile::OpenReadOnly(fs, kept);
    const int64_t bytes = file.Size();
    file.Close();
    if (bytes != change.OldBytes)
      throw Damaged(point, "the kept file " + change.Kept + " is not the size recorded");
  }
  return edited;
}

// Where the player's versions of changed game files go: beside the restore points, under a
// name that is no point's ("GTA San Andreas 3 edits", then "... edits 2").
std::string EditsFolder(IFileSystem& fs, const std::string& root, const TRestorePoint& point) {
  const std::string base = root + "\\" + point.Folder + " edits";
  std::string folder = base;
  for (int n = 2; fs.DirectoryExists(folder) || fs.FileExists(folder) || fs.IsLink(folder); ++n)
    folder = base + " " + std::to_string(n);
  return folder;
}

// Puts the game folder back as it was: replaced files from their kept copies, created files
// deleted, and the folders the installation made removed when they are empty.
void RestoreGameFiles(const std::string& pointPath, const TRestorePoint& point, IFileSystem& fs,
                      const std::set<std::string>& edited, const std::string& editsFolder) {
  for (const TGameFileChange& change : point.GameFiles) {
    const std::string target = point.GameFolder + "\\" + change.Item;
    if (edited.count(change.Item)) {
      // The player's version is moved aside, never lost.
      const std::string aside = editsFolder + "\\" + change.Item;
      CreateFolderPath(fs, ParentFolder(aside));
      const int code = fs.MoveFileReplace(target, aside);
      if (code != 0) throw EInOutError(code, target);
    }
    if (!change.Replaced) {
      fs.DeleteFile(target);
      continue;
    }
    CreateFolderPath(fs, ParentFolder(target));
    TFileBeside copy(fs, target + ".merva-tmp", target);
    CopyWholeFile(fs, pointPath + "\\" + change.Kept, copy.Path(), /*flush=*/true);
    const int code = copy.Replace();
    if (code != 0) {
      const std::string advice = BlockedFileAdvice(code, target);
      throw Exception(advice.empty() ? "Unable to put back the file " + target : advice);
    }
  }
  for (auto it = point.FoldersCreated.rbegin(); it != point.FoldersCreated.rend(); ++it)
    fs.RemoveDirectory(point.GameFolder + "\\" + *it);  // a folder the player filled stays
}

}  // namespace

namespace {

// The game running, or a file the user may not write, is the usual cause of a failure: it is
// told as such, with what was already done.
[[noreturn]] void Rethrow(const EInOutError& error, const std::string& done) {
  const std::string advice = BlockedFileAdvice(error.ErrorCode(), error.Path());
  if (advice.empty()) throw error;
  throw Exception(advice + " " + done);
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
  lock_.emplace(fs, game);
  point_ = FindLatestRestorePoint(fs, root_, game, &services_.Progress);
}

TUndo::TUndo(std::string root, const std::string& pointName, const std::string& gameFolder,
             TOperationServices services)
    : root_(std::move(root)), services_(services) {
  IFileSystem& fs = services_.Files;
  lock_.emplace(fs, gameFolder);
  RecoverRestorePoints(fs, root_, gameFolder, &services_.Progress);
  bool found = false;
  for (const TRestorePoint& candidate : ListRestorePoints(fs, root_, ""))
    if (candidate.Folder == pointName) point_ = candidate, found = true;
  // A game folder moved since is known by its archive: the size and fingerprint recorded.
  if (found && !SameGameFolder(fs, point_.GameFolder, gameFolder)) {
    TRestorePoint moved = point_;
    moved.GameFolder = fs.CanonicalPath(gameFolder);
    found = ArchiveMatches(fs, moved, &services_.Progress);
    if (found) point_ = moved;
  }
  if (!found) throw EFileError(root_ + "\\" + pointName, "no restore point of " + gameFolder);
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
  IFileSystem& fs = services_.Files;
  const std::string& root = root_;
  const TRestorePoint& point = point_;
  const std::string pointPath = root + "\\" + point.Folder;
  TUndoResult result;
  // Newest first, forced or not: an older installation taken back under a newer one would
  // bring back files that no restore point covers.
  for (const TRestorePoint& other : ListRestorePoints(fs, root, point.GameFolder)) {
    if (other.Counter <= point.Counter) continue;
    throw Exception("The installation of " + Describe(other) +
                    " was made after it: take that back first. Nothing was changed.");
  }

  if (fs.IsLink(pointPath)) throw Damaged(point, "its folder is a link");
  const std::set<std::string> edited = CheckGameFiles(pointPath, point, fs);
  const std::string editsFolder = edited.empty() ? "" : EditsFolder(fs, root, point);
  if (!edited.empty() && !choices.KeepEdited) {
    std::string list;
    for (const std::string& item : edited) list += (list.empty() ? "" : ", ") + item;
    throw EGameFilesEdited(
        "Game files were changed since " + Describe(point) + " was installed: " + list + ".",
        {edited.begin(), edited.end()}, editsFolder);
  }

  const std::string archivePath = ArchivePathOf(point.GameFolder);
  const std::string tempPath = TempArchivePathOf(point.GameFolder);
  // A killed run's temp.img is ours and of no use now.
  if (fs.FileExists(tempPath) || fs.IsLink(tempPath)) fs.DeleteFile(tempPath);
  TArchiveFile archive(fs);
  if (!archive.Open(archivePath, OpenAccess::kReadWriteOthersRead))
    throw Exception(MissingArchiveText(archivePath));
  MarkStep("start");
  IProgress& progress = services_.Progress;
  const bool same = IsRecordedArchive(archive.File(), point, &progress);
  MarkStep("gta3.img checked");
  if (!same && !choices.ByNames)
    throw EUndoRefused("models\\gta3.img has changed since " + Describe(point) +
                       " was installed: another program, or a mod installed without Merva, "
                       "changed it. Nothing was changed.");
  result.ByNames = !same;

  TPlannedBody plan(archive.File(), archive.File().Size());
  archive.WriteTo(plan);
  TUndoDirectory directory(pointPath, point, fs, plan);
  const std::vector<TArchiveEntry>& now = archive.Entries();
  archive.SetDirectory(same ? directory.Exact(now) : directory.ByNames(now));
  TFileBeside rebuilt(fs, tempPath, archivePath);
  WriteCompactedArchive(archive, rebuilt.Path(), progress, fs, same ? point.OldFirstSector : 0);
  // The kept files are read: closed now, so that the point's folder can be renamed and removed
  // (Windows keeps an open file, and its folder, in place).
  directory.CloseFiles();
  MarkStep("temp.img written and flushed");

  // From here the restore point is marked as being taken back: a kill leaves it to be
  // finished or given back its name by whichever run looks next.
  const std::string undoing = pointPath + kUndoingSuffix;
  if (fs.MoveFolder(pointPath, undoing) != 0) {
    throw Exception("Unable to rename the restore point " + pointPath + ". Nothing was changed.");
  }
  bool gameFilesBack = false;
  try {
    RestoreGameFiles(undoing, point, fs, edited, editsFolder);
    gameFilesBack = true;
    if (services_.Registry)
      result.LevelRestored = RestoreLevelValue(*services_.Registry, point.Level);
    archive.Close();
    ReplaceArchiveFile(rebuilt);
  } catch (const EInOutError& error) {
    fs.MoveFolder(undoing, pointPath);
    // The game files are put back before the archive: taking the installation back again
    // once the game is closed finishes it.
    if (gameFilesBack)
      Rethrow(error,
              "The game files were put back, models\\gta3.img not: take the installation "
              "back again.");
    throw;
  } catch (...) {
    fs.MoveFolder(undoing, pointPath);
    throw;
  }
  RemovePointFolder(fs, undoing);
  MarkStep("game files and gta3.img back");
  result.KeptEdited.assign(edited.begin(), edited.end());
  if (!edited.empty()) result.KeptEditedIn = editsFolder;
  return result;
}

}  // namespace merva
