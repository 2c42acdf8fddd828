// Where an unattended run may write its log: anywhere but the files the run itself writes,
// holds or reads. A log at the archive would add its lines to the game's archive; at a game file
// of the mod, to the player's file; at the lock or temp.img, it would stop the run it tells of.
#include "core/file_tools.h"
#include "core/text.h"
#include "core/windows_names.h"
#include "game/game_folder.h"
#include "package/package.h"
#include "restore/restore_store.h"
#include "script/install_items.h"
#include "wizard/form.h"

namespace merva {

namespace {

// A script read only for its lists: nothing is told, and a script that cannot be read names
// nothing (the run then refuses it itself).
std::vector<std::string> GameFilesOfScript(IFileSystem& fs, const std::string& path) {
  class TQuiet : public INotices {
   public:
    void Notice(TNoticeKind, const std::string&) override {}
  } quiet;
  std::vector<std::string> paths;
  try {
    TDATAInst script;
    LoadScript(script, fs, quiet, nullptr, path);
    for (const TGameFileItem& item : ReadInstallItems(script).GameFiles) paths.push_back(item.Path);
  } catch (const std::exception&) {
  }
  return paths;
}

}  // namespace

std::string TForm1::LogTargetFault(const TCommandLine& line) {
  if (line.Log.empty()) return "";
  // Runs before the window's first message, where nothing would catch an error: a log that
  // cannot be checked is not written.
  try {
    return LogTargetFaultUnchecked(line);
  } catch (const std::exception& error) {
    return "The log " + line.Log + " cannot be checked (" + error.what() +
           "). Give /log= another file.";
  }
}

std::string TForm1::LogTargetFaultUnchecked(const TCommandLine& line) {
  IFileSystem& fs = services_.Files;
  const std::string log = PlaceKey(fs, line.Log);
  const auto fault = [&line](const std::string& what) {
    return "The log " + line.Log + " would be " + what +
           ", which this run writes or reads. Give /log= another file.";
  };

  std::vector<std::string> games, gameFiles;
  if (!line.GameFolder.empty()) games.push_back(line.GameFolder);
  if (line.GameFolder.empty() && !line.Undo) games.push_back(Edit1.Text);
  std::vector<std::string> roots;
  if (!services_.RestoreFolder.empty()) roots.push_back(services_.RestoreFolder);
  if (!line.Point.empty())
    roots.push_back(PointPlaceOf(fs, services_.RestoreFolder, line.Point).Root);
  for (const std::string& root : roots)
    if (PlaceIsInside(log, PlaceKey(fs, root))) return fault("in the restore folder " + root);

  // The mod's files, where either of its folders holds them.
  for (const std::string& folder : {std::string(), ParentFolder(services_.ProgramPath)}) {
    const std::string prefix = folder.empty() ? "" : folder + "\\";
    for (const char* name : {kScriptFileName, kPackageFileName}) {
      const std::string path = prefix + name;
      if (PlaceKey(fs, path) == log) return fault("the mod's " + std::string(name));
    }
    if (!line.Undo)
      for (const std::string& file : GameFilesOfScript(fs, prefix + kScriptFileName))
        gameFiles.push_back(file);
  }
  if (!services_.ProgramPath.empty() && PlaceKey(fs, services_.ProgramPath) == log)
    return fault("the installer itself");

  // An undo writes back what its points of the game name.
  if (line.Undo) {
    for (const std::string& root : roots) {
      for (const TRestorePoint& point : ListRestorePoints(fs, root, line.GameFolder)) {
        if (line.GameFolder.empty()) games.push_back(point.GameFolder);
        for (const TGameFileChange& file : point.GameFiles) gameFiles.push_back(file.Item);
      }
    }
  }
  for (const std::string& game : games) {
    const std::string gameKey = PlaceKey(fs, game);
    if (!PlaceIsInside(log, gameKey) || log == gameKey) continue;
    // A game at a drive's root keeps its separator in its key.
    const size_t below = gameKey.back() == '\\' ? gameKey.size() : gameKey.size() + 1;
    const std::vector<std::string> parts = SplitAt(log.substr(below), "\\");
    if (IsInstallersOwnPath(parts)) return fault("one of the installer's own files in " + game);
    for (const std::string& file : gameFiles)
      if (WindowsPathKey(SplitAt(file, "\\/")) == WindowsPathKey(parts))
        return fault("the game file " + file);
  }
  return "";
}

}  // namespace merva
