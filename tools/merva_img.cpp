// merva-img: lists, checks and changes a game IMG archive exactly as the installer does.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>

#include "archive/archive.h"
#include "archive/archive_check.h"
#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/cp1251.h"
#include "core/environment.h"
#include "core/errors.h"
#include "core/game_lock.h"
#include "core/text.h"
#include "package/install.h"
#include "restore/level_value.h"
#include "core/file_tools.h"
#include "restore/restore_store.h"
#include "restore/undo.h"
#include "script/level_gate.h"
#include "script/script.h"
#include "tools/cli_support.h"
#ifdef _WIN32
#include "wizard/win32/registry.h"
#endif

using namespace merva;

namespace {

const char kUsage[] =
    "usage: merva-img COMMAND ARCHIVE [FILE...]\n"
    "\n"
    "  list ARCHIVE           the directory: index, offset and size (sectors), name\n"
    "  check ARCHIVE          the header, every entry inside the file, no overlaps;\n"
    "                         warns of what the game cannot use. Exit 0 only when sound\n"
    "  put ARCHIVE FILE...    puts each file in turn, replacing entries of its name\n"
    "                         or appending a new one\n"
    "  sort ARCHIVE           sorts the directory by data position and writes it back\n"
    "  compact ARCHIVE        rebuilds the archive without gaps through ARCHIVE.merva-tmp\n"
    "  create [--force] ARCHIVE  writes a new, empty archive; --force writes over a file\n"
    "  install GAME_FOLDER MOD_FOLDER\n"
    "                         installs the mod (MOD_FOLDER/scripts.bin and data.cab) into the\n"
    "                         game folder as the wizard does, without a window, and keeps\n"
    "                         a restore point of what it replaces\n"
    "  undo [--force] [--point NAME] GAME_FOLDER\n"
    "                         takes back the latest installation into the game folder (or\n"
    "                         the restore point NAME); --force takes it back by entry names\n"
    "                         when gta3.img has changed since\n"
    "  history [GAME_FOLDER]  lists the restore points, newest first\n"
    "\n"
    "Restore points are kept in MERVA_RESTORE_DIR, else in %LOCALAPPDATA%\\Merva\\restore\n"
    "(Windows) or $XDG_DATA_HOME/merva/restore.\n";

// A file, and nothing else, at `path`: a folder, a device or a pipe is refused before any use.
void RequireFile(const std::string& path) {
  switch (KindOfPath(path)) {
    case PathKind::kFile:
      return;
    case PathKind::kMissing:
      throw FileError(path, "file not found");
    case PathKind::kFolder:
      throw FileError(path, "is a folder, not a file");
    case PathKind::kOther:
      throw FileError(path, "is not a regular file (a device or a pipe)");
  }
}

// An IMG archive at `path`, checked before anything reads its directory or writes to it.
void RequireArchive(IFileSystem& fs, const std::string& path) {
  RequireFile(path);
  TBlockFile file = TBlockFile::OpenReadOnly(fs, path);
  char header[8] = {};
  const uint32_t got = file.ReadCounted(header, sizeof header);
  file.Close();
  if (got < sizeof header || std::memcmp(header, kArchiveTag, 4) != 0)
    throw FileError(path, "not an IMG archive (no \"VER2\" header)");
}

struct Tool {
  ConsoleNotices notices{"merva-img"};
  NoMessages pump;
  IFileSystem& fs = SystemFileSystem();
  TGTA3Archive archive;

  void Open(const std::string& path) {
    RequireArchive(fs, path);
    if (!OpenArchive(archive, path, fs)) throw FileError(path, "not an IMG archive");
  }
};

// A game's archive (GAME\models\gta3.img) changes only under the game's lock, as during an
// installation or an undo.
std::optional<TGameLock> LockIfGameArchive(IFileSystem& fs, const std::string& archive) {
  std::optional<TGameLock> lock;
  const std::string path = AbsolutePath(archive);
  const std::string models = ParentFolder(path);
  if (AsciiUpper(ExtractFileNamePart(path)) == "GTA3.IMG" &&
      AsciiUpper(ExtractFileNamePart(models)) == "MODELS")
    lock.emplace(fs, ParentFolder(models));
  return lock;
}

int List(Tool& tool, const std::string& path) {
  tool.Open(path);
  for (int32_t i = 0; i < tool.archive.Count; ++i) {
    const TArchiveEntry& e = tool.archive.Entries[i];
    std::printf("%d %d %d %s\n", i, e.Offset, e.Size, EntryName(e).c_str());
  }
  return 0;
}

int Check(Tool& tool, const std::string& path) {
  tool.Open(path);
  TBlockFile file = TBlockFile::OpenReadOnly(tool.fs, path);
  const int64_t length = file.Size();
  file.Close();
  const TArchiveReport report = CheckArchive(tool.archive, length);
  for (const TArchiveFinding& finding : report.Findings)
    std::printf("%s: %s\n", finding.Error ? "error" : "warning", finding.Text.c_str());
  std::printf("%s: %d entries, %lld bytes, %d errors, %d warnings\n",
              report.Sound() ? "sound" : "damaged", static_cast<int>(tool.archive.Entries.size()),
              static_cast<long long>(length), report.Errors, report.Warnings);
  return report.Sound() ? 0 : 1;
}

int Put(Tool& tool, const std::string& path, const std::vector<std::string>& files) {
  // Every file is checked before the archive changes at all.
  RequireArchive(tool.fs, path);
  for (const std::string& file : files) {
    RequireFile(file);
    if (SameFile(file, path)) throw FileError(file, "is the archive itself");
    const std::string name = ExtractFileNamePart(file);
    if (!EntryNameFits(name)) throw FileError(file, kNameOutsideCp1251);
    if (Cp1251FromUtf8(name).size() > sizeof(TArchiveEntry::Name))
      throw FileError(file,
                      "the name is longer than 24 characters, which an archive entry "
                      "cannot hold");
  }
  const std::optional<TGameLock> lock = LockIfGameArchive(tool.fs, path);
  // The archive stays open for the whole command, its directory read once.
  TArchiveFile archive(tool.archive, tool.fs);
  if (!archive.Open(path, OpenAccess::kReadWriteOthersRead))
    throw FileError(path, "not an IMG archive");
  ConsoleProgress progress("put");
  progress.SetMax(static_cast<int>(files.size()));
  for (const std::string& file : files) {
    TBlockFile source = TBlockFile::OpenReadOnly(tool.fs, file);
    archive.Put(ExtractFileNamePart(file), {source, 0, source.Size()}, nullptr);
    source.Close();
    progress.SetPosition(progress.Position() + 1);
  }
  archive.Close();
  return 0;
}

int Sort(Tool& tool, const std::string& path) {
  RequireArchive(tool.fs, path);
  const std::optional<TGameLock> lock = LockIfGameArchive(tool.fs, path);
  tool.archive.FileName = path;
  RewriteSortedDirectory(tool.archive, tool.fs);
  return 0;
}

int Compact(Tool& tool, const std::string& path) {
  RequireArchive(tool.fs, path);
  const std::optional<TGameLock> lock = LockIfGameArchive(tool.fs, path);
  // A name of the tool's own beside the archive, so that it can never be the archive.
  const std::string temp = path + ".merva-tmp";
  ConsoleProgress progress("compact");
  CompactArchiveFile(tool.archive, path, temp, progress, tool.fs);
  return 0;
}

int Create(Tool& tool, const std::string& path, bool force) {
  const PathKind kind = KindOfPath(path);
  if (kind == PathKind::kFolder || kind == PathKind::kOther) RequireFile(path);
  if (kind == PathKind::kFile && !force)
    throw FileError(path, "already exists; give --force to write a new archive over it");
  CreateEmptyArchive(tool.fs, path);
  return 0;
}

// Where restore points are kept; a tool that changes a game must have one.
std::string RestoreFolder() {
  const std::string folder = RestoreFolderFromEnvironment();
  if (folder.empty())
    throw std::runtime_error("no folder for restore points: set MERVA_RESTORE_DIR");
  return folder;
}

int Install(Tool& tool, const std::string& game, const std::string& mod) {
  if (KindOfPath(game) != PathKind::kFolder) throw FileError(game, "folder not found");
  const std::string scriptPath = mod + "\\" + kScriptFileName;
  const std::string packagePath = mod + "\\" + kPackageFileName;
  RequireFile(scriptPath);
  RequireFile(packagePath);
  RequireArchive(tool.fs, ArchivePathOf(game));
  {
    // Read once before the run, so that a damaged package is one line naming it.
    KeptNotices said;
    TPackageDirectory directory;
    TBlockFile package = TBlockFile::OpenReadOnly(tool.fs, packagePath);
    try {
      ReadPackageDirectory(package, directory, said);
    } catch (const Exception&) {
      said.First = kPackageDamagedMessage;
    }
    if (!said.First.empty())
      throw FileError(packagePath, "not a Merva package, or damaged (" + said.First + ")");
  }
  TDATAInst script;
  bool refused = false;
  TRestoreRequest restore{RestoreFolder(), "", LocalTimeText(), {}};
#ifdef _WIN32
  Win32Registry registry;
  Win32Locale locale;
  LoadScript(
      script, tool.fs, tool.notices,
      [&](const std::string& level) {
        refused =
            CheckLevelRecorded(level, {registry, locale}, restore.Level) == TLevelCheck::kRefused;
      },
      scriptPath);
#else
  LoadScript(script, tool.fs, tool.notices, nullptr, scriptPath);
  if (!script.Level.empty() && script.Level != "0")
    std::cerr << "merva-img: the installed level is kept in the Windows registry; this build "
                 "skips the level check\n";
#endif
  if (refused) {
    std::cerr << "merva-img: the mod is refused: " << script.RefusalText << "\n";
    return 1;
  }
  TPackageDirectory package;
  ConsoleProgress progress("install");
  restore.Title = script.Title;
  InstallPackage(script, tool.archive, package, game,
                 {tool.fs, tool.notices, tool.pump, progress, &restore}, packagePath);
  return 0;
}

// A restore point as a line for the terminal: name, date, mod, game folder.
std::string PointLine(const TRestorePoint& point) {
  // A title or a folder may hold any character: the line stays one line of four fields.
  const auto field = [](std::string text) {
    for (char& c : text)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return text;
  };
  return field(point.Folder) + "\t" + field(point.Time) + "\t" + field(point.Title) + "\t" +
         field(DisplayPath(point.GameFolder));
}

int Undo(Tool& tool, const std::string& game, const std::string& pointName, bool force) {
  if (KindOfPath(game) != PathKind::kFolder) throw FileError(game, "folder not found");
  const std::string root = RestoreFolder();
  const TGameLock lock(tool.fs, game);
  TRestorePoint point;
  if (pointName.empty()) {
    point = FindLatestRestorePoint(tool.fs, root, game, &tool.pump);
  } else {
    RecoverRestorePoints(tool.fs, root, game, &tool.pump);
    bool found = false;
    for (const TRestorePoint& candidate : ListRestorePoints(tool.fs, root, ""))
      if (candidate.Folder == pointName) point = candidate, found = true;
    // A game folder moved since is known by its archive: the size and fingerprint recorded.
    if (found && !SameGameFolder(tool.fs, point.GameFolder, game)) {
      TRestorePoint moved = point;
      moved.GameFolder = tool.fs.CanonicalPath(game);
      found = ArchiveMatches(tool.fs, moved, &tool.pump);
      if (found) point = moved;
    }
    if (!found) throw FileError(root + "\\" + pointName, "no restore point of " + game);
  }
  ConsoleProgress progress("undo");
#ifdef _WIN32
  Win32Registry registry;
  IRegistry* levels = &registry;
#else
  IRegistry* levels = nullptr;
#endif
  TUndoResult result;
  try {
    result =
        TakeBackInstallation(root, point, {force, force}, {tool.fs, tool.pump, progress, levels});
  } catch (const EGameFilesEdited& edited) {
    std::cerr << "merva-img: " << edited.what() << "\n"
              << "merva-img: give --force to take it back all the same; your versions are then "
                 "kept in "
              << DisplayPath(edited.KeptIn) << "\n";
    return 1;
  } catch (const EUndoRefused& refusal) {
    std::cerr << "merva-img: " << refusal.what() << "\n"
              << "merva-img: give --force to take it back all the same, by entry names\n";
    return 1;
  }
  if (result.ByNames)
    std::cout << "gta3.img had changed since the installation: entries were taken back by "
                 "name\n";
  if (!result.LevelRestored)
    std::cout << "the installed level had changed since the installation and was kept\n";
  if (!result.KeptEdited.empty())
    std::cout << "your versions of " << result.KeptEdited.size()
              << " game files changed since the installation were kept in "
              << DisplayPath(result.KeptEditedIn) << "\n";
  std::cout << "took back " << PointLine(point) << "\n";
  return 0;
}

int History(Tool& tool, const std::string& game) {
  const std::string root = RestoreFolder();
  // What killed runs left is made whole first, each game under its lock; a game that another
  // run holds is left to that run.
  for (const std::string& other :
       game.empty() ? GamesOfUnfinishedPoints(tool.fs, root) : std::vector<std::string>{game}) {
    try {
      const TGameLock lock(tool.fs, other);
      RecoverRestorePoints(tool.fs, root, other, &tool.pump);
    } catch (const Exception&) {
      if (!game.empty()) throw;
    }
  }
  std::vector<TRestorePoint> points = ListRestorePoints(tool.fs, root, game);
  for (const TDamagedPoint& damaged : DamagedRestorePoints(tool.fs, root, game)) {
    TRestorePoint shown;
    shown.Folder = damaged.Folder;
    shown.Counter = damaged.Counter;
    shown.Time = "-";
    shown.Title = "(damaged: the record is missing or cannot be read)";
    shown.GameFolder = damaged.GameFolder;
    points.push_back(shown);
  }
  std::stable_sort(
      points.begin(), points.end(),
      [](const TRestorePoint& a, const TRestorePoint& b) { return a.Counter > b.Counter; });
  for (const TRestorePoint& point : points) std::cout << PointLine(point) << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return RunTool("merva-img", kUsage, argc, argv, [&](const std::vector<std::string>& args) {
    const std::string& command = args[0];
    if (command == "undo" || command == "history") {
      bool undoForce = false;
      std::string pointName;
      std::vector<std::string> rest;
      for (size_t i = 1; i < args.size(); ++i) {
        if (command == "undo" && args[i] == "--force") {
          undoForce = true;
        } else if (command == "undo" && args[i] == "--point" && i + 1 < args.size()) {
          pointName = args[++i];
        } else {
          rest.push_back(args[i]);
        }
      }
      if (rest.size() > 1 || (command == "undo" && rest.size() != 1)) {
        std::cerr << kUsage;
        return 2;
      }
      Tool tool;
      if (command == "history") return History(tool, rest.empty() ? "" : AbsolutePath(rest[0]));
      return Undo(tool, AbsolutePath(rest[0]), pointName, undoForce);
    }
    const bool force = args.size() == 3 && command == "create" && args[1] == "--force";
    const bool known = command == "list" || command == "check" || command == "put" ||
                       command == "sort" || command == "compact" || command == "create" ||
                       command == "install";
    if (!known) {
      std::cerr << "merva-img: unknown command " << command << "\n" << kUsage;
      return 2;
    }
    const bool fits = command == "put"       ? args.size() >= 3
                      : command == "install" ? args.size() == 3
                                             : args.size() == (force ? 3u : 2u);
    if (!fits) {
      std::cerr << kUsage;
      return 2;
    }
    Tool tool;
    const std::string& archive = args.back();
    if (command == "list") return List(tool, archive);
    if (command == "check") return Check(tool, archive);
    if (command == "put") return Put(tool, args[1], {args.begin() + 2, args.end()});
    if (command == "sort") return Sort(tool, archive);
    if (command == "compact") return Compact(tool, archive);
    if (command == "install") return Install(tool, AbsolutePath(args[1]), args[2]);
    return Create(tool, archive, force);
  });
}
