#include "script/install_items.h"

#include <map>

#include "core/errors.h"
#include "core/text.h"
#include "core/windows_names.h"
#include "data/data_rules.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_path.h"

namespace merva {

namespace {

TGameFileItem ReadGameFileItem(const std::string& item) {
  const std::vector<std::string> parts = GamePathParts(item);
  // An empty item (a script's end record may carry the game-file tag) names no package file and
  // is passed over like any other item the package lacks.
  if (!item.empty() && !GamePathIsInside(item))
    throw Exception("The script names a game file outside the game folder: " + item);
  if (IsInstallersOwnPath(parts))
    throw Exception("The script names a game file that the installer itself uses: " + item +
                    ". Nothing was changed.");
  const std::string fault = GamePathWindowsFault(item);
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

TDataLinesItem ReadDataLinesItem(const std::string& text) {
  if (text.empty()) return {};  // as an empty item: nothing
  std::string file, lines;
  if (!SplitNamedArchiveItem(text, file, lines) || lines.empty())
    throw Exception("The script names lines for a data file without their file: " + text +
                    ". Nothing was changed.");
  if (!GamePathIsInside(file) || IsInstallersOwnPath(GamePathParts(file)) ||
      !GamePathWindowsFault(file).empty())
    throw Exception("The script names lines for a file a mod may not change: " + file +
                    ". Nothing was changed.");
  if (!DataRuleOf(file))
    throw Exception("The script names lines for " + file +
                    ", whose lines Merva cannot tell apart by a key; a mod replaces that file "
                    "whole as a game file instead. Nothing was changed.");
  TDataLinesItem read;
  read.Item = text;
  const std::vector<std::string> parts = GamePathParts(file);
  for (size_t i = 0; i < parts.size(); ++i) read.File += (i ? "\\" : "") + parts[i];
  read.PackageName = ExtractFileNamePart(lines);
  return read;
}

}  // namespace

std::string DataLinesItemText(const std::string& file, const std::string& lines) {
  return file + "|" + lines;
}

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

bool GameFileItemIsInstallers(const std::string& item) {
  return IsInstallersOwnPath(GamePathParts(item));
}

std::string GameFileItemKey(const std::string& item) {
  return WindowsPathKey(GamePathParts(item));
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
  for (const std::string& text : Script.DataLines) {
    const TDataLinesItem& read = items.DataLines.emplace_back(ReadDataLinesItem(text));
    // Replaced whole and merged into by one mod, the file would be neither.
    if (!read.File.empty() && seen.count(GameFileItemKey(read.File)))
      throw Exception("The script both replaces " + read.File +
                      " whole and merges lines into it. Nothing was changed.");
  }
  return items;
}

}  // namespace merva
