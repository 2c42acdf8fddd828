#include "game/game_archives.h"

#include <vector>

#include "core/text.h"
#include "core/windows_names.h"
#include "game/game_folder.h"

namespace merva {

namespace {

const char kArchiveExtension[] = ".IMG";

std::vector<std::string> PlaceParts(const std::string& relative) {
  std::vector<std::string> parts;
  for (const std::string& part : SplitAt(relative, "\\/"))
    if (!part.empty() && part != ".") parts.push_back(part);
  return parts;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::string GameArchivePath(const std::string& relative) {
  std::string path;
  for (const std::string& part : PlaceParts(relative)) path += (path.empty() ? "" : "\\") + part;
  return path;
}

std::string GameArchiveKey(const std::string& relative) {
  return WindowsPathKey(PlaceParts(relative));
}

bool IsMainArchive(const std::string& relative) {
  return PlaceParts(relative).empty() || GameArchiveKey(relative) == GameArchiveKey(kArchiveInGame);
}

std::string GameArchiveFault(const std::string& relative) {
  if (IsMainArchive(relative)) return relative.empty() ? "no archive is named" : "";
  const std::vector<std::string> raw = SplitAt(relative, "\\/");
  // A drive leads out; a ':' further on is a name Windows does not allow (below).
  bool inside =
      (relative.size() < 2 || relative[1] != ':') && relative[0] != '\\' && relative[0] != '/';
  for (const std::string& part : raw) inside = inside && part != "..";
  if (!inside) return "it lies outside the game folder";
  const std::vector<std::string> parts = PlaceParts(relative);
  for (const std::string& part : parts) {
    const std::string fault = WindowsNameFault(part);
    if (!fault.empty()) return fault;
  }
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

}  // namespace merva
