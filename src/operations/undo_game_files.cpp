#include "operations/undo_game_files.h"

#include "core/block_file.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/text.h"
#include "game/game_folder.h"
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
  const std::string target = game + "\\" + change.Item;
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
    const std::string target = point.GameFolder + "\\" + change.Item;
    for (const char* suffix : {kAsideSuffix, kStagedSuffix})
      if (fs.DirectoryExists(target + suffix) && !fs.IsLink(target + suffix))
        throw Blocked("a folder stands at " + target + suffix + ", a name the undo uses");
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
    item.Target = point.GameFolder + "\\" + change.Item;
    item.Replaced = change.Replaced;
    if (change.Replaced) item.Staged = item.Target + kStagedSuffix;
    if (change.Replaced) item.Kept = KeptGameFilePath(pointPath_, change);
    item.Aside = item.Target + kAsideSuffix;
    items_.push_back(item);
  }
}

TGameFilesSwap::~TGameFilesSwap() {
  if (done_) return;
  for (const TItem& item : items_)
    if (!item.Staged.empty() && !item.Placed) fs_.DeleteFile(item.Staged);
  for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it) fs_.RemoveDirectory(*it);
  if (!editsFolder_.empty()) RemoveFolderTree(fs_, editsFolder_);
}

void TGameFilesSwap::Prepare(const std::set<std::string>& edited, const std::string& editsFolder) {
  if (!edited.empty()) {
    // The player's versions are copied out first: whatever happens next, they are kept.
    CreateFolderPath(fs_, editsFolder);
    editsFolder_ = editsFolder;
    for (const std::string& item : edited) {
      const std::string copy = editsFolder + "\\" + item;
      CreateFolderPath(fs_, ParentFolder(copy));
      CopyWholeFile(fs_, point_.GameFolder + "\\" + item, copy, /*flush=*/true);
    }
  }
  std::vector<std::string> staged;
  for (TItem& item : items_) {
    if (item.Staged.empty()) continue;
    // A folder the player removed since is made again, and removed should the undo fail.
    std::vector<std::string> missing;
    for (std::string folder = ParentFolder(item.Target);
         !folder.empty() && folder != point_.GameFolder && !fs_.DirectoryExists(folder);
         folder = ParentFolder(folder))
      missing.insert(missing.begin(), folder);
    for (const std::string& folder : missing) {
      if (!fs_.CreateDirectory(folder)) throw Exception("Unable to create the folder " + folder);
      madeFolders_.push_back(folder);
    }
    // A name of ours: what a killed undo left there goes first (a link itself, never followed).
    RemoveStaleName(fs_, item.Staged);
    CopyWholeFile(fs_, item.Kept, item.Staged, /*flush=*/false);
    staged.push_back(item.Staged);
  }
  // On the disk before any of them takes its place; many are flushed side by side.
  FlushFiles(fs_, staged);
}

void TGameFilesSwap::Commit() {
  for (TItem& item : items_) {
    if (fs_.IsLink(item.Target) || fs_.FileExists(item.Target)) {
      RemoveStaleName(fs_, item.Aside);
      const int code = fs_.MoveFileReplace(item.Target, item.Aside);
      if (code != 0) throw EInOutError(code, item.Target);
      item.MovedAside = true;
    }
    if (!item.Replaced) continue;
    const int code = fs_.MoveFileReplace(item.Staged, item.Target);
    if (code != 0) throw EInOutError(code, item.Target);
    item.Placed = true;
  }
}

bool TGameFilesSwap::RollBack() {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    TItem& item = *it;
    if (item.Placed && !item.MovedAside && !fs_.DeleteFile(item.Target))
      stuck_.push_back(item.Target);
    if (item.MovedAside && fs_.MoveFileReplace(item.Aside, item.Target) != 0)
      stuck_.push_back(item.Target + " (its version is kept as " + item.Aside + ")");
    item.Placed = item.MovedAside = false;
  }
  return stuck_.empty();
}

void TGameFilesSwap::Finish() {
  for (const TItem& item : items_)
    if (item.MovedAside) fs_.DeleteFile(item.Aside);
  // A folder the player filled since stays.
  for (auto it = point_.FoldersCreated.rbegin(); it != point_.FoldersCreated.rend(); ++it)
    fs_.RemoveDirectory(point_.GameFolder + "\\" + *it);
  done_ = true;
}

}  // namespace merva
