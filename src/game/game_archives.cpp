#include "game/game_archives.h"

#include <vector>

#include "core/file_tools.h"
#include "core/text.h"
#include "core/windows_names.h"
#include "game/game_folder.h"
#include "game/game_path.h"

namespace merva {

namespace {

const char kArchiveExtension[] = ".IMG";

}  // namespace

std::string GameArchivePath(const std::string& relative) {
  std::string path;
  for (const std::string& part : GamePathParts(relative)) path += (path.empty() ? "" : "\\") + part;
  return path;
}

std::string GameArchiveKey(const std::string& relative) {
  return WindowsPathKey(GamePathParts(relative));
}

bool IsMainArchive(const std::string& relative) {
  return GamePathParts(relative).empty() ||
         GameArchiveKey(relative) == GameArchiveKey(kArchiveInGame);
}

std::string GameArchiveFault(const std::string& relative) {
  if (IsMainArchive(relative)) return relative.empty() ? "no archive is named" : "";
  if (!GamePathIsInside(relative)) return "it lies outside the game folder";
  const std::string fault = GamePathWindowsFault(relative);
  if (!fault.empty()) return fault;
  const std::vector<std::string> parts = GamePathParts(relative);
  if (IsInstallersOwnPath(parts)) return "the installer itself uses it";
  if (!EndsWith(WindowsNameKey(parts.back()), kArchiveExtension))
    return "it is not an IMG archive (.img)";
  return "";
}

std::string GameArchivePathOf(const std::string& gameFolder, const std::string& relative) {
  if (IsMainArchive(relative)) return ArchivePathOf(gameFolder);
  return gameFolder + "\\" + GameArchivePath(relative);
}

std::string RebuiltArchivePathOf(const std::string& gameFolder, const std::string& relative) {
  if (IsMainArchive(relative)) return TempArchivePathOf(gameFolder);
  return GameArchivePathOf(gameFolder, relative) + kStagedSuffix;
}

std::string GameArchiveText(const std::string& relative) {
  return IsMainArchive(relative) ? kArchiveInGame : GameArchivePath(relative);
}

bool GameOfArchivePath(IFileSystem& fs, const std::string& path, std::string& game,
                       std::string& archive) {
  const std::string models = ParentFolder(path);
  if (path.empty()) return false;
  if (WindowsNameKey(ExtractFileNamePart(path)) == "GTA3.IMG" &&
      WindowsNameKey(ExtractFileNamePart(models)) == "MODELS") {
    game = ParentFolder(models);
    archive.clear();
    return true;
  }
  for (std::string folder = models; !folder.empty(); folder = ParentFolder(folder)) {
    if (fs.FileExists(ArchivePathOf(folder)) && !fs.IsLink(ArchivePathOf(folder))) {
      game = folder;
      archive = path.substr(folder.size() + 1);
      return true;
    }
  }
  return false;
}

}  // namespace merva
