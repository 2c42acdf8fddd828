#include "script/install_items.h"

#include <map>

#include "core/errors.h"
#include "core/text.h"
#include "core/windows_names.h"
#include "game/game_archives.h"
#include "game/game_folder.h"

namespace merva {

namespace {

// The item's parts between separators, empty ones included.
std::vector<std::string> RawParts(const std::string& item) {
  return SplitAt(item, "\\/");
}

// Without empty or "." parts: "data\\.\\x" is "data\x".
std::vector<std::string> PlaceParts(const std::vector<std::string>& raw) {
  std::vector<std::string> parts;
  for (const std::string& part : raw)
    if (!part.empty() && part != ".") parts.push_back(part);
  return parts;
}

bool IsInside(const std::string& item, const std::vector<std::string>& raw) {
  // A drive ("C:", "C:\\") leads out; a ':' further on is a name Windows does not allow, told
  // as such by WindowsFault.
  bool inside =
      !item.empty() && (item.size() < 2 || item[1] != ':') && item[0] != '\\' && item[0] != '/';
  for (const std::string& part : raw) inside = inside && part != "..";
  return inside;
}

std::string WindowsFault(const std::vector<std::string>& parts) {
  for (const std::string& part : parts) {
    const std::string fault = WindowsNameFault(part);
    if (!fault.empty()) return fault;
  }
  return "";
}

TGameFileItem ReadGameFileItem(const std::string& item) {
  const std::vector<std::string> raw = RawParts(item);
  const std::vector<std::string> parts = PlaceParts(raw);
  // An empty item (a script's end record may carry the game-file tag) names no package file and
  // is passed over like any other item the package lacks.
  if (!item.empty() && !IsInside(item, raw))
    throw Exception("The script names a game file outside the game folder: " + item);
  if (IsInstallersOwnPath(parts))
    throw Exception("The script names a game file that the installer itself uses: " + item +
                    ". Nothing was changed.");
  const std::string fault = WindowsFault(parts);
  if (!fault.empty())
    throw Exception("The script names a game file that Windows cannot hold: " + item + " (" +
                    fault + "). Nothing was changed.");
  TGameFileItem read;
  read.Item = item;
  read.PackageName = ExtractFileNamePart(item);
  for (size_t i = 0; i < parts.size(); ++i) {
    read.Path += (i ? "\\" : "") + parts[i];
    if (i + 1 < parts.size()) read.Folders.push_back(read.Path);
  }
  return read;
}

TArchiveItem ReadNamedArchiveItem(const std::string& text) {
  // An empty record (an end record may carry the tag) names nothing, as an empty item.
  if (text.empty()) return {};
  std::string archive, item;
  if (!SplitNamedArchiveItem(text, archive, item))
    throw Exception("The script names an archive item without its archive: " + text +
                    ". Nothing was changed.");
  const std::string fault = GameArchiveFault(archive);
  if (!fault.empty())
    throw Exception("The script names an archive that a mod may not change: " + archive + " (" +
                    fault + "). Nothing was changed.");
  return {item, IsMainArchive(archive) ? "" : GameArchivePath(archive)};
}

}  // namespace

std::string NamedArchiveItemText(const std::string& archive, const std::string& item) {
  return archive + "|" + item;
}

bool SplitNamedArchiveItem(const std::string& text, std::string& archive, std::string& item) {
  const size_t bar = text.find('|');
  if (bar == std::string::npos) return false;
  archive = text.substr(0, bar);
  item = text.substr(bar + 1);
  return true;
}

bool GameFileItemIsInside(const std::string& item) {
  return IsInside(item, RawParts(item));
}

bool GameFileItemIsInstallers(const std::string& item) {
  return IsInstallersOwnPath(PlaceParts(RawParts(item)));
}

std::string GameFileItemWindowsFault(const std::string& item) {
  return WindowsFault(PlaceParts(RawParts(item)));
}

std::string GameFileItemKey(const std::string& item) {
  return WindowsPathKey(PlaceParts(RawParts(item)));
}

TInstallItems ReadInstallItems(const TDATAInst& Script) {
  TInstallItems items;
  std::map<std::string, const TGameFileItem*> seen;
  items.GameFiles.reserve(Script.GameFiles.size());
  for (const std::string& item : Script.GameFiles) {
    const TGameFileItem& read = items.GameFiles.emplace_back(ReadGameFileItem(item));
    // One file on Windows under two spellings would be one file there and two on a system that
    // tells letter case apart: a restore point could keep only one of them.
    const auto [known, added] = seen.emplace(GameFileItemKey(read.Path), &read);
    if (!added && known->second->Path != read.Path)
      throw Exception("The script names one game file twice, as " + known->second->Item +
                      " and as " + item + ". Nothing was changed.");
  }
  for (const std::string& item : Script.ArchiveFiles) items.ArchiveFiles.push_back({item, ""});
  for (const std::string& text : Script.NamedArchiveFiles)
    items.ArchiveFiles.push_back(ReadNamedArchiveItem(text));
  return items;
}

}  // namespace merva
