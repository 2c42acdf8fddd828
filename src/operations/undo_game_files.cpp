#include "operations/undo_game_files.h"

#include <algorithm>

#include "core/block_file.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/text.h"
#include "game/game_folder.h"
#include "game/game_path.h"
#include "restore/restore_reader.h"
#include "restore/restore_store.h"

namespace merva {

namespace {

Exception Blocked(const std::string& what) {
  return Exception("A game file cannot be put back: " + what + ". Nothing was changed.");
}

// True when the game file is no longer what the installation wrote: the player (or another
// program) changed it since. A point of the first layout has no fingerprints: nothing is known.
bool ChangedSince(IFileSystem& fs, const std::string& target, const TGameFileChange& change) {
  if (change.NewFingerprint.empty()) return false;
  // Gone: nothing of the player's to keep.
  if (!fs.IsLink(target) && !fs.FileExists(target)) return false;
  return GameFileFingerprint(fs, target) != change.NewFingerprint;
}

// The way from the game folder to the file: no link (which would lead outside the game
// folder) before the file itself, and no file where a folder goes.
void CheckWay(IFileSystem& fs, const std::string& game, const TGameFileChange& change) {
  const std::string target = InGameFolder(game, change.Item);
  const std::string link = LinkOnTheWay(fs, game, change.Item);
  if (!link.empty() && link != target) throw Exception(LinkOnTheWayText("game folder", link));
  const std::vector<std::string> parts = SplitAt(change.Item, "\\/");
  std::string path = game;
  for (size_t i = 0; i + 1 < parts.size() && change.Replaced; ++i) {
    path += "\\" + parts[i];
    const TPathKind kind = fs.KindOf(path);
    if (kind == TPathKind::kMissing) break;  // the rest of the way is made again
    if (kind != TPathKind::kFolder)
      throw Blocked("a file stands at " + path + ", where the folder of " + change.Item + " goes");
  }
  const TPathKind kind = fs.IsLink(target) ? TPathKind::kFile : fs.KindOf(target);
  if (kind == TPathKind::kFolder)
    throw Blocked("a folder stands at " + target + ", where the file " + change.Item + " goes");
  if (kind == TPathKind::kOther) throw Blocked(target + " is a device or a pipe, not a file");
}

}  // namespace

std::set<std::string> CheckGameFilePlaces(IFileSystem& fs, const TRestorePoint& point,
                                          const std::string& pointPath) {
  std::set<std::string> edited;
  for (const TGameFileChange& change : point.GameFiles) {
    CheckWay(fs, point.GameFolder, change);
    const std::string target = InGameFolder(point.GameFolder, change.Item);
    for (const char* suffix : {kAsideSuffix, kStagedSuffix})
      if (fs.DirectoryExists(target + suffix) && !fs.IsLink(target + suffix))
        throw Blocked("a folder stands at " + target + suffix + ", a name the undo uses");
    RefuseReadOnly(fs, target);
    if (ChangedSince(fs, target, change)) edited.insert(change.Item);
    if (change.Replaced) CheckKeptGameFile(fs, point, pointPath, change);
  }
  return edited;
}

TGameFilesSwap::TGameFilesSwap(IFileSystem& fs, const TRestorePoint& point, std::string pointPath)
    : fs_(fs), point_(point), pointPath_(std::move(pointPath)) {
  for (const TGameFileChange& change : point.GameFiles) {
    TItem item;
    item.Item = change.Item;
    item.Target = InGameFolder(point.GameFolder, change.Item);
    if (change.Replaced) item.Staged = item.Target + kStagedSuffix;
    if (change.Replaced) item.Kept = KeptGameFilePath(pointPath_, change);
    items_.push_back(item);
    if (!change.Replaced) continue;
    // A folder the player removed since is made again.
    std::vector<std::string> missing;
    for (std::string folder = ParentFolder(item.Target);
         !folder.empty() && folder != point.GameFolder && !fs_.DirectoryExists(folder);
         folder = ParentFolder(folder))
      missing.insert(missing.begin(), folder);
    for (const std::string& folder : missing)
      if (std::find(missingFolders_.begin(), missingFolders_.end(), folder) ==
          missingFolders_.end())
        missingFolders_.push_back(folder);
  }
}

void TGameFilesSwap::Note(TJournal& journal, const std::set<std::string>& edited,
                          const std::string& editsFolder) {
  for (const std::string& folder : missingFolders_) journal.MadeFolder(folder);
  for (const TItem& item : items_) {
    if (!item.Staged.empty()) journal.Put(item.Staged, item.Target);
    if (fs_.IsLink(item.Target) || fs_.FileExists(item.Target)) journal.Aside(item.Target);
  }
  // A folder the player filled since stays.
  for (auto it = point_.FoldersCreated.rbegin(); it != point_.FoldersCreated.rend(); ++it)
    journal.EmptyFolder(InGameFolder(point_.GameFolder, *it));
  if (!edited.empty()) journal.New(editsFolder);
}

void TGameFilesSwap::Prepare(const std::set<std::string>& edited, const std::string& editsFolder) {
  if (!edited.empty()) {
    // The player's versions are copied out first: whatever happens next, they are kept.
    CreateFolderPath(fs_, editsFolder);
    for (const std::string& item : edited) {
      const std::string copy = editsFolder + "\\" + item;
      CreateFolderPath(fs_, ParentFolder(copy));
      CopyWholeFile(fs_, InGameFolder(point_.GameFolder, item), copy, /*flush=*/true);
    }
  }
  for (const std::string& folder : missingFolders_)
    if (!fs_.CreateDirectory(folder)) throw Exception("Unable to create the folder " + folder);
  std::vector<std::string> staged;
  for (TItem& item : items_) {
    if (item.Staged.empty()) continue;
    // A name of ours: what a killed undo left there goes first (a link itself, never followed).
    RemoveStaleName(fs_, item.Staged);
    CopyWholeFile(fs_, item.Kept, item.Staged, /*flush=*/false);
    staged.push_back(item.Staged);
  }
  // On the disk before any of them takes its place; many are flushed side by side.
  FlushFiles(fs_, staged);
}

}  // namespace merva
