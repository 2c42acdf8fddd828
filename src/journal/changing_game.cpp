#include "journal/changing_game.h"

#include <algorithm>

#include "core/errors.h"
#include "core/file_tools.h"
#include "core/text.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_path.h"
#include "journal/journal.h"
#include "restore/restore_store.h"
#include "script/install_items.h"

namespace merva {

namespace {

// Where an earlier version noted the folders its installation made.

}  // namespace

TChangingGame::TChangingGame(IFileSystem& fs, const std::string& gameFolder,
                             const std::string& restoreRoot, IProgress* progress)
    : lock_(fs, gameFolder) {
  if (!fs.DirectoryExists(gameFolder)) return;
  RecoverJournal(fs, gameFolder);
  if (!restoreRoot.empty()) RecoverRestorePoints(fs, restoreRoot, gameFolder, progress);
  RemoveKilledInstallationLeftovers(fs, gameFolder);
}

std::vector<TUnsettledGame> SettleKilledRuns(IFileSystem& fs, const std::string& restoreRoot,
                                             IProgress* progress) {
  std::vector<TUnsettledGame> unsettled;
  if (restoreRoot.empty()) return unsettled;
  for (const std::string& game : GamesOfUnfinishedPoints(fs, restoreRoot)) {
    try {
      const TChangingGame settle(fs, game, restoreRoot, progress);
    } catch (const EGameBusy&) {
      // Another run holds that game: it is alive, and finishes its own work.
    } catch (const Exception& error) {
      unsettled.push_back({game, error.Message()});
    }
  }
  return unsettled;
}

void RebuildGameArchive(IFileSystem& fs, const std::string& gameFolder,
                        const std::function<void()>& rebuild, const std::string& archive) {
  TJournal journal(fs, gameFolder, "");
  journal.Put(RebuiltArchivePathOf(gameFolder, archive), GameArchivePathOf(gameFolder, archive));
  journal.Begin();
  // The move over the archive is one step: old or new, whenever the run stops.
  rebuild();
  journal.Commit();
  journal.Finish();
}

void RemoveKilledInstallationLeftovers(IFileSystem& fs, const std::string& gameFolder) {
  // temp.img: as large as the archive, and never anything but ours (the game has no such file).
  const std::string tempPath = TempArchivePathOf(gameFolder);
  RemoveStaleName(fs, tempPath);
  const std::string scratch = ScratchFolderOf(gameFolder);
  if (fs.IsLink(scratch) || !fs.DirectoryExists(scratch)) return;
  const std::string list = MadeFoldersListOf(gameFolder);
  if (fs.FileExists(list) && !fs.IsLink(list)) {
    std::vector<std::string> made;
    try {
      made = SplitAt(ReadWholeFile(fs, list), "\n");
    } catch (const std::exception&) {
      made.clear();  // unreadable: the folders stay, as any folder the player made would
    }
    // Innermost first, and only while empty: a folder the player filled since stays.
    for (auto it = made.rbegin(); it != made.rend(); ++it)
      if (!it->empty() && GamePathIsInside(*it) && LinkOnTheWay(fs, gameFolder, *it).empty())
        fs.RemoveDirectory(InGameFolder(gameFolder, *it));
  }
  RemoveFolderTree(fs, scratch);
}

namespace {

// The path with "." and empty parts dropped and ".." taking the part before it away, as the
// system reads the spelling before it follows any link.
std::string LexicalPath(const std::string& path) {
  std::vector<std::string> kept;
  const std::vector<std::string> parts = SplitAt(path, "\\/");
  for (size_t i = 0; i < parts.size(); ++i) {
    if ((parts[i].empty() && i > 0) || parts[i] == ".") continue;
    if (parts[i] == ".." && kept.size() > 1)
      kept.pop_back();
    else
      kept.push_back(parts[i]);
  }
  std::string joined;
  for (size_t i = 0; i < kept.size(); ++i) joined += (i ? "\\" : "") + kept[i];
  return joined.empty() ? path : joined;
}

}  // namespace

std::vector<TChangingGame> LockIfGameArchive(IFileSystem& fs, const std::string& archive,
                                             std::vector<TGameOfArchive>* gamesOut) {
  std::vector<TChangingGame> locks;
  std::vector<TGameOfArchive> games;
  for (std::string path : {LexicalPath(fs.AbsolutePath(archive)), fs.CanonicalPath(archive)}) {
    std::replace(path.begin(), path.end(), '/', '\\');
    std::string game, place;
    if (!GameOfArchivePath(fs, path, game, place)) continue;
    bool known = false;
    for (const TGameOfArchive& other : games)
      known = known || SameGameFolder(fs, other.Folder, game);
    if (known) continue;
    games.push_back({game.empty() ? "\\" : game, place});
    locks.emplace_back(fs, games.back().Folder);
  }
  if (gamesOut) *gamesOut = games;
  return locks;
}

}  // namespace merva
