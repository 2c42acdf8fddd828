// merva-img: lists, checks and changes a game IMG archive exactly as the installer does.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>

#include "apps/installed_apps.h"
#include "archive/archive.h"
#include "archive/archive_check.h"
#include "archive/archive_delete.h"
#include "archive/archive_file.h"
#include "archive/archive_rebuild.h"
#include "archive/archive_rename.h"
#include "archive/game_check.h"
#include "change/level_value.h"
#include "core/block_file.h"
#include "core/cp1251.h"
#include "core/environment.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/text.h"
#include "core/windows_names.h"
#include "game/game_archives.h"
#include "game/game_edition.h"
#include "game/game_folder.h"
#include "journal/changing_game.h"
#include "journal/journal.h"
#include "operations/exit_codes.h"
#include "operations/extraction.h"
#include "operations/game_status.h"
#include "operations/installation.h"
#include "operations/undo_request.h"
#include "restore/restore_store.h"
#include "script/level_gate.h"
#include "script/script.h"
#include "tools/cli_support.h"
#include "tools/reports.h"

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
    "  extract [--force] [--to FOLDER] ARCHIVE NAME...\n"
    "                         writes each named entry's bytes to a file of its name in FOLDER\n"
    "                         (the current folder); --force writes over existing files\n"
    "  sort ARCHIVE           sorts the directory by data position and writes it back\n"
    "  compact ARCHIVE        rebuilds the archive without gaps through ARCHIVE.merva-tmp\n"
    "  delete ARCHIVE NAME... takes every entry of each name out, and rebuilds the archive\n"
    "  rename ARCHIVE OLD NEW gives the entry OLD the name NEW, and rebuilds the archive\n"
    "  create [--force] ARCHIVE  writes a new, empty archive; --force writes over a file\n"
    "  install [--replace-lines] [--any-edition] [--past-limits] GAME_FOLDER MOD_FOLDER\n"
    "                         installs the mod (MOD_FOLDER/scripts.bin and data.cab) into the\n"
    "                         game folder as the wizard does, without a window, and keeps\n"
    "                         a restore point of what it replaces; --replace-lines lets it\n"
    "                         make a data line another installed mod wrote into another\n"
    "                         model, as the wizard's /replacelines does; --any-edition lets\n"
    "                         a mod that names its editions go into a game whose edition\n"
    "                         Merva cannot tell, as /anyedition does; --past-limits lets it\n"
    "                         take the game past one of its limits, as /pastlimits does\n"
    "  undo [--force] [--point NAME] GAME_FOLDER\n"
    "                         takes back the latest installation into the game folder, or\n"
    "                         any earlier one by its restore point NAME (what later ones\n"
    "                         took over stays, and their restore points are rewritten);\n"
    "                         --force takes it back by entry names when an archive it\n"
    "                         changed has changed since\n"
    "  history [--detail] [GAME_FOLDER]\n"
    "                         lists the restore points, newest first; --detail adds what\n"
    "                         each installation changed and whose files it took over\n"
    "  plan [--json] GAME_FOLDER MOD_FOLDER\n"
    "                         tells everything the installation would do, changing nothing:\n"
    "                         each entry, game file and data line, whose it is now, the\n"
    "                         level check, the archive's size after and the room needed\n"
    "                         on each drive\n"
    "  plan [--json] --undo NAME GAME_FOLDER\n"
    "                         tells what taking back the restore point NAME would give\n"
    "                         back, remove and leave, and which later points it rewrites\n"
    "  status [--json] GAME_FOLDER\n"
    "                         the installed mods, newest first, each with what it still holds,\n"
    "                         what a later mod took over and what changed since\n"
    "\n"
    "Restore points are kept in MERVA_RESTORE_DIR, else in %LOCALAPPDATA%\\Merva\\restore\n"
    "(Windows) or $XDG_DATA_HOME/merva/restore.\n";

// A command's words after its name: options (--force, --point NAME, --to FOLDER) and the rest.
struct TArguments {
  std::vector<std::string> Rest;
  bool Force = false;
  bool Json = false;
  bool Detail = false;
  std::string Point;
  std::string To;
  std::string UndoPoint;      // plan --undo NAME
  bool ReplaceLines = false;  // install --replace-lines
  bool AnyEdition = false;    // install --any-edition
  bool PastLimits = false;    // install --past-limits
};

// Everything a command reaches the system through.
struct TTool {
  IFileSystem& fs = SystemFileSystem();
  TConsoleNotices notices{"merva-img"};
};

// What is missing is told as missing, unless the system cannot even take a path that long.
EFileError NotFound(IFileSystem& fs, const std::string& path, const std::string& what) {
  std::unique_ptr<IFileHandle> probe;
  if (fs.Open(path, TOpenAccess::kReadOnly, probe) == kPathTooLong)
    return EFileError(path, IoErrorPlainText(kPathTooLong));
  return EFileError(path, what);
}

// A file, and nothing else, at `path`: a folder, a device or a pipe is refused before any use.
void RequireFile(IFileSystem& fs, const std::string& path) {
  switch (fs.KindOf(path)) {
    case TPathKind::kFile:
      return;
    case TPathKind::kMissing:
      throw NotFound(fs, path, "file not found");
    case TPathKind::kFolder:
      throw EFileError(path, "is a folder, not a file");
    case TPathKind::kOther:
      throw EFileError(path, "is not a regular file (a device or a pipe)");
  }
}

constexpr char kNoHeaderText[] = "not an IMG archive (no \"VER2\" header)";

// An IMG archive at `path`, checked before anything reads its directory or writes to it.
void RequireArchive(IFileSystem& fs, const std::string& path) {
  RequireFile(fs, path);
  if (!HasArchiveHeader(fs, path)) throw EFileError(path, kNoHeaderText);
}

// A game: its folder and its archive, checked before a run is asked of it.
// What a command does with a run cut off on the game: one that changes the game finishes it
// under the game's lock before it looks at the archive; one that only reads tells it.
enum class TUnfinishedRun { kFinish, kTell };

void RequireGame(IFileSystem& fs, const std::string& gameFolder, TUnfinishedRun unfinished) {
  if (HasUnfinishedRun(fs, gameFolder)) {
    if (unfinished == TUnfinishedRun::kFinish) return;
    throw EGameBusy("A run of Merva on " + DisplayPath(gameFolder) +
                    " was cut off before it finished: the game is neither as before nor as "
                    "after it. Any installation or undo finishes it first; merva-img history \"" +
                    DisplayPath(gameFolder) + "\" does only that.");
  }
  const std::string archive = ArchivePathOf(gameFolder);
  switch (CheckGameFolder(fs, gameFolder)) {
    case TGameCheck::kGame:
      return;
    case TGameCheck::kNoFolder:
      throw ENotAGame(gameFolder, NotFound(fs, gameFolder, "folder not found").Text());
    case TGameCheck::kNotAFolder:
      throw ENotAGame(gameFolder, "is not a folder");
    case TGameCheck::kDefinitive:
      throw EDefinitiveEdition(gameFolder);
    case TGameCheck::kNoArchive:
      throw ENotAGame(archive, NotFound(fs, archive, "file not found").Text());
    case TGameCheck::kArchiveNoFile:
      throw ENotAGame(archive, fs.KindOf(archive) == TPathKind::kFolder
                                   ? "is a folder, not a file"
                                   : "is not a regular file (a device or a pipe)");
    case TGameCheck::kArchiveNotImg:
      throw ENotAGame(archive, kNoHeaderText);
  }
}

TGTA3Archive ReadArchive(IFileSystem& fs, const std::string& path) {
  RequireArchive(fs, path);
  TGTA3Archive archive;
  if (!OpenArchive(archive, path, fs)) throw EFileError(path, "not an IMG archive");
  return archive;
}

// A game folder as the user gave it, from the root and without a final separator, so that a
// restore point names it the same way whatever folder the tool ran in and however it was typed.
std::string GameFolderArgument(IFileSystem& fs, const std::string& argument) {
  return FolderWithoutFinalSeparators(fs.AbsolutePath(argument));
}

// Where restore points are kept; a tool that changes a game must have one.
std::string RestoreFolder() {
  const std::string folder = RestoreFolderFromEnvironment();
  if (folder.empty()) throw Exception("no folder for restore points: set MERVA_RESTORE_DIR");
  return folder;
}

int List(TTool& tool, const TArguments& args) {
  const TGTA3Archive archive = ReadArchive(tool.fs, args.Rest[0]);
  for (int32_t i = 0; i < archive.EntryCount(); ++i) {
    const TArchiveEntry& e = archive.Entries[i];
    std::printf("%d %d %d %s\n", i, e.Offset, e.Size, EntryName(e).c_str());
  }
  return 0;
}

int Check(TTool& tool, const TArguments& args) {
  const std::string& path = args.Rest[0];
  const TGTA3Archive archive = ReadArchive(tool.fs, path);
  TBlockFile file = TBlockFile::OpenReadOnly(tool.fs, path);
  const int64_t length = file.Size();
  file.Close();
  const TArchiveReport report = CheckArchive(archive, length);
  for (const TArchiveFinding& finding : report.Findings)
    std::printf("%s: %s\n", finding.Error ? "error" : "warning", finding.Text.c_str());
  std::printf("%s: %d entries, %lld bytes, %d errors, %d warnings\n",
              report.Sound() ? "sound" : "damaged", archive.EntryCount(),
              static_cast<long long>(length), report.Errors, report.Warnings);
  return report.Sound() ? 0 : 1;
}

int Put(TTool& tool, const TArguments& args) {
  const std::string& path = args.Rest[0];
  const std::vector<std::string> files(args.Rest.begin() + 1, args.Rest.end());
  // Every file is checked before the archive changes at all.
  RequireArchive(tool.fs, path);
  for (const std::string& file : files) {
    RequireFile(tool.fs, file);
    if (tool.fs.SameFile(file, path)) throw EFileError(file, "is the archive itself");
    TBlockFile opened = TBlockFile::OpenReadOnly(tool.fs, file);
    const int64_t bytes = opened.Size();
    opened.Close();
    if (bytes > SectorBytes(kGameSectorLimit)) throw EFileError(file, kTooLargeForTheGame);
    const std::string fault = NewEntryNameFault(ExtractFileNamePart(file));
    if (!fault.empty()) throw EFileError(file, fault);
  }
  const std::vector<TChangingGame> locks = LockIfGameArchive(tool.fs, path);
  TConsoleProgress progress("put");
  PutFilesIntoArchive(path, files, tool.fs, progress);
  return 0;
}

int Extract(TTool& tool, const TArguments& args) {
  const std::string& path = args.Rest[0];
  RequireArchive(tool.fs, path);
  const std::string folder = args.To.empty() ? "." : args.To;
  const TPathKind kind = tool.fs.KindOf(folder);
  if (kind != TPathKind::kFolder && kind != TPathKind::kMissing)
    throw EFileError(folder, "is not a folder");
  TConsoleProgress progress("extract");
  TExtraction extraction(path, {args.Rest.begin() + 1, args.Rest.end()}, folder,
                         {tool.fs, tool.notices, progress});
  extraction.Overwrite(args.Force);
  for (const TExtracted& file : extraction.Run())
    std::printf("%s\t%lld bytes\n", DisplayPath(folder + "\\" + file.Name).c_str(),
                static_cast<long long>(file.Bytes));
  return 0;
}

int Sort(TTool& tool, const TArguments& args) {
  const std::string& path = args.Rest[0];
  RequireArchive(tool.fs, path);
  const std::vector<TChangingGame> locks = LockIfGameArchive(tool.fs, path);
  RewriteSortedDirectory(path, tool.fs);
  return 0;
}

// Where the tool writes a rebuilt archive: a name of its own beside the archive, so that it can
// never be the archive. A game's archive is rebuilt where the installation rebuilds it
// (models\temp.img, NAME.merva-new), so that what a killed run leaves is what every later run
// of that game removes.
// A command that rebuilds ARCHIVE (the first word): the archive checked first, the game's lock
// held when it is a game's, the change given where to write the new archive and a progress line.
template <typename TChange>
int Rebuilding(TTool& tool, const TArguments& args, const char* command, const TChange& change) {
  const std::string& path = args.Rest[0];
  RequireArchive(tool.fs, path);
  std::vector<TGameOfArchive> games;
  const std::vector<TChangingGame> locks = LockIfGameArchive(tool.fs, path, &games);
  TConsoleProgress progress(command);
  if (games.empty()) {
    change(path, path + kBesideSuffix, progress);
    return 0;
  }
  const TGameOfArchive& game = games.front();
  RebuildGameArchive(
      tool.fs, game.Folder,
      [&] {
        change(GameArchivePathOf(game.Folder, game.Archive),
               RebuiltArchivePathOf(game.Folder, game.Archive), progress);
      },
      game.Archive);
  return 0;
}

int Compact(TTool& tool, const TArguments& args) {
  return Rebuilding(tool, args, "compact",
                    [&](const std::string& path, const std::string& temp, IProgress& progress) {
                      CompactArchive(path, temp, progress, tool.fs);
                    });
}

int Delete(TTool& tool, const TArguments& args) {
  return Rebuilding(tool, args, "delete",
                    [&](const std::string& path, const std::string& temp, IProgress& progress) {
                      const int32_t gone = DeleteArchiveEntries(
                          tool.fs, path, temp, {args.Rest.begin() + 1, args.Rest.end()}, progress);
                      std::printf("deleted %d entries\n", gone);
                    });
}

int Rename(TTool& tool, const TArguments& args) {
  return Rebuilding(tool, args, "rename",
                    [&](const std::string& path, const std::string& temp, IProgress& progress) {
                      RenameArchiveEntry(tool.fs, path, temp, args.Rest[1], args.Rest[2], progress);
                    });
}

int Create(TTool& tool, const TArguments& args) {
  const std::string& path = args.Rest[0];
  const TPathKind kind = tool.fs.KindOf(path);
  if (kind == TPathKind::kFolder || kind == TPathKind::kOther) RequireFile(tool.fs, path);
  if (kind == TPathKind::kFile && !args.Force)
    throw EFileError(path, "already exists; give --force to write a new archive over it");
  CreateEmptyArchive(tool.fs, path);
  return 0;
}

// The installation request for the mod in `mod` (its scripts.bin and data.cab), checked before
// anything reads it: a damaged package is one line naming it.
TInstallRequest ModRequest(TTool& tool, const std::string& mod) {
  const std::string scriptPath = mod + "\\" + kScriptFileName;
  const std::string packagePath = mod + "\\" + kPackageFileName;
  RequireFile(tool.fs, scriptPath);
  RequireFile(tool.fs, packagePath);
  {
    TKeptNotices said;
    TPackageDirectory directory;
    TBlockFile package = TBlockFile::OpenReadOnly(tool.fs, packagePath);
    try {
      ReadPackageDirectory(package, directory, said);
    } catch (const Exception&) {
      said.First = kPackageDamagedMessage;
    }
    if (!said.First.empty())
      throw EFileError(packagePath, "not a Merva package, or damaged (" + said.First + ")");
  }
  return ReadInstallRequest(tool.fs, tool.notices, SystemRegistry(), SystemLocale(),
                            RestoreFolder(), scriptPath, packagePath);
}

// True when the level check means anything here: with a registry, or for a mod never checked.
bool LevelChecked(const TInstallRequest& request) {
  const std::string& level = request.Script.Level;
  return SystemRegistry() || level.empty() || level == "0";
}

int Install(TTool& tool, const TArguments& args) {
  const std::string game = GameFolderArgument(tool.fs, args.Rest[0]);
  RequireGame(tool.fs, game, TUnfinishedRun::kFinish);
  TInstallRequest request = ModRequest(tool, args.Rest[1]);
  request.ProgramCopyFolder = ProgramCopyFolderFromEnvironment();
  IRegistry* registry = SystemRegistry();
  if (!LevelChecked(request))
    std::cerr << "merva-img: the installed level is kept in the Windows registry; this build "
                 "skips the level check\n";
  if (request.Refused) {
    std::cerr << "merva-img: the mod is refused: " << request.Script.RefusalText << "\n";
    return kExitRefusedByLevel;
  }
  TConsoleProgress progress("install");
  // merva-img is no merva.exe: its installations are listed with the copy that an installation
  // by the wizard left, when there is one.
  TInstallation installation(request, game,
                             {tool.fs, tool.notices, progress, registry, SystemInstalledApps()});
  if (args.ReplaceLines) installation.AllowConflicts();
  if (args.AnyEdition) installation.AllowUnknownEdition();
  if (args.PastLimits) installation.AllowPastLimits();
  installation.Run();
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

int Undo(TTool& tool, const TArguments& args) {
  const std::string game = GameFolderArgument(tool.fs, args.Rest[0]);
  RequireGame(tool.fs, game, TUnfinishedRun::kFinish);
  const std::string root = RestoreFolder();
  TConsoleProgress progress("undo");
  const std::unique_ptr<TUndo> undo =
      StartUndo({root, game, args.Point},
                {tool.fs, tool.notices, progress, SystemRegistry(), SystemInstalledApps()});
  TUndoResult result;
  try {
    result = undo->Run({args.Force, args.Force});
  } catch (const EGameFilesEdited& edited) {
    std::cerr << "merva-img: " << DisplayText(edited.what()) << "\n"
              << "merva-img: give --force to take it back all the same; your versions are then "
                 "kept in "
              << DisplayPath(edited.KeptIn) << "\n";
    return kExitFailed;
  } catch (const EUndoRefused& refusal) {
    std::cerr << "merva-img: " << DisplayText(refusal.what()) << "\n"
              << "merva-img: give --force to take it back all the same, by entry names\n";
    return kExitFailed;
  }
  result.KeptEditedIn = DisplayPath(result.KeptEditedIn);
  for (const std::string& item : result.Done.GivenBack) std::cout << "given back\t" << item << "\n";
  for (const std::string& item : result.Done.Removed) std::cout << "removed\t" << item << "\n";
  for (const std::string& remark : UndoRemarks(result)) std::cout << remark << "\n";
  std::cout << "took back " << PointLine(undo->Point()) << "\n";
  return 0;
}

int PlanOfUndo(TTool& tool, const TArguments& args) {
  const std::string game = GameFolderArgument(tool.fs, args.Rest[0]);
  RequireGame(tool.fs, game, TUnfinishedRun::kTell);
  const TUndoPlan plan = PlanUndo(RestoreFolder(), args.UndoPoint, game, tool.fs);
  std::cout << (args.Json ? UndoPlanJson(args.UndoPoint, plan)
                          : UndoPlanText(args.UndoPoint, plan));
  // Ends as the undo would.
  return plan.Refusals.empty() ? 0 : kExitFailed;
}

int Plan(TTool& tool, const TArguments& args) {
  if (!args.UndoPoint.empty()) return PlanOfUndo(tool, args);
  const std::string game = GameFolderArgument(tool.fs, args.Rest[0]);
  RequireGame(tool.fs, game, TUnfinishedRun::kTell);
  const TInstallRequest request = ModRequest(tool, args.Rest[1]);
  TPlanReport report;
  report.GameFolder = DisplayPath(game);
  report.Title = request.Script.Title;
  report.Level = !LevelChecked(request) ? TLevelVerdict::kNotChecked
                 : request.Refused      ? TLevelVerdict::kRefused
                                        : TLevelVerdict::kPasses;
  report.Refusal = request.Script.RefusalText;
  TNoProgress quiet;
  TInstallation installation(request, game,
                             {tool.fs, tool.notices, quiet, nullptr, SystemInstalledApps()});
  report.Plan = installation.Plan();
  std::cout << (args.Json ? PlanJson(report) : PlanText(report));
  return 0;
}

int Status(TTool& tool, const TArguments& args) {
  const std::string game = GameFolderArgument(tool.fs, args.Rest[0]);
  RequireGame(tool.fs, game, TUnfinishedRun::kTell);
  const TGameStatus status = ReadGameStatus(tool.fs, RestoreFolder(), game);
  std::cout << (args.Json ? StatusJson(DisplayPath(game), status)
                          : StatusText(DisplayPath(game), status));
  return 0;
}

// A point's changes.txt, indented under its line, with the installations it took files over from
// named from the points older than it.
std::string PointDetail(const std::vector<TRestorePoint>& newestFirst, size_t index) {
  const std::vector<TRestorePoint> older(newestFirst.begin() + static_cast<ptrdiff_t>(index) + 1,
                                         newestFirst.end());
  std::string detail;
  for (const std::string& line : SplitAt(ChangesText(newestFirst[index], older), "\n")) {
    const std::string text =
        !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
    if (!text.empty()) detail += "    " + text + "\n";
  }
  return detail;
}

int History(TTool& tool, const TArguments& args) {
  const std::string game = args.Rest.empty() ? "" : GameFolderArgument(tool.fs, args.Rest[0]);
  if (!game.empty()) RefuseDefinitiveEdition(tool.fs, game);
  const std::string root = RestoreFolder();
  // What killed runs left is made whole first, each game under its lock. A listing never needs
  // to write: a game that another run holds, or whose folder cannot be written, is listed as it
  // stands and left to the next run.
  TNoProgress quiet;
  for (const std::string& other :
       game.empty() ? GamesOfUnfinishedPoints(tool.fs, root) : std::vector<std::string>{game}) {
    try {
      const TChangingGame lock(tool.fs, other, root, &quiet);
    } catch (const Exception& busy) {
      if (!game.empty())
        std::cerr << "merva-img: " << DisplayPath(other)
                  << ": recovered nothing there: " << DisplayText(busy.what()) << "\n";
    }
  }
  if (IInstalledApps* apps = SystemInstalledApps())
    UnlistVanishedInstallations(*apps, tool.fs, root);
  std::vector<TRestorePoint> points = ListRestorePoints(tool.fs, root, game);
  for (const TDamagedPoint& damaged : DamagedRestorePoints(tool.fs, root, game)) {
    TRestorePoint shown;
    shown.Folder = damaged.Folder;
    shown.Counter = damaged.Counter;
    shown.Time = "-";
    shown.Title =
        damaged.NewerField.empty()
            ? "(damaged: the record is missing or cannot be read)"
            : "(made by a newer version of Merva: its record holds \"" + damaged.NewerField + "\")";
    shown.GameFolder = damaged.GameFolder;
    points.push_back(shown);
  }
  SortNewestFirst(points);
  for (size_t i = 0; i < points.size(); ++i) {
    std::cout << PointLine(points[i]) << "\n";
    if (args.Detail && points[i].Time != "-") std::cout << PointDetail(points, i);
  }
  return 0;
}

// Every command: its options, how many other words it takes, and what runs it.
struct TCommand {
  const char* Name;
  size_t Least, Most;  // words besides the options
  bool TakesForce;
  bool TakesPoint;  // --point NAME
  bool TakesTo;     // --to FOLDER
  bool TakesJson;   // --json
  // A run on a game (install, undo, plan, status, history): it ends with the unattended exit
  // codes.
  bool GameRun;
  int (*Run)(TTool&, const TArguments&);
};

constexpr size_t kAny = SIZE_MAX;

// clang-format off
const TCommand kCommands[] = {
  // name       least most  force  point  to     json   game   run
  {"list",      1,    1,    false, false, false, false, false, List},
  {"check",     1,    1,    false, false, false, false, false, Check},
  {"put",       2,    kAny, false, false, false, false, false, Put},
  {"extract",   2,    kAny, true,  false, true,  false, false, Extract},
  {"sort",      1,    1,    false, false, false, false, false, Sort},
  {"compact",   1,    1,    false, false, false, false, false, Compact},
  {"delete",    2,    kAny, false, false, false, false, false, Delete},
  {"rename",    3,    3,    false, false, false, false, false, Rename},
  {"create",    1,    1,    true,  false, false, false, false, Create},
  {"install",   2,    2,    false, false, false, false, true,  Install},
  {"undo",      1,    1,    true,  true,  false, false, true,  Undo},
  {"plan",      1,    2,    false, false, false, true,  true,  Plan},
  {"status",    1,    1,    false, false, false, true,  true,  Status},
  {"history",   0,    1,    false, false, false, false, true,  History},
};
// clang-format on

// The command's words as options and the rest; false for words the command does not take.
bool ReadArguments(const TCommand& command, const std::vector<std::string>& words,
                   TArguments& args) {
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    // An option's value: a word of its own, never empty (an empty point would be no point, and
    // the newest installation would be taken back instead).
    const auto value = [&](std::string& into) {
      if (i + 1 >= words.size() || words[i + 1].empty()) return false;
      into = words[++i];
      return true;
    };
    if (command.TakesForce && word == "--force") {
      args.Force = true;
    } else if (command.TakesPoint && word == "--point") {
      if (!value(args.Point)) return false;
    } else if (command.TakesJson && word == "--json") {
      args.Json = true;
    } else if (command.Run == History && word == "--detail") {
      args.Detail = true;
    } else if (command.Run == Install && word == "--replace-lines") {
      args.ReplaceLines = true;
    } else if (command.Run == Install && word == "--any-edition") {
      args.AnyEdition = true;
    } else if (command.Run == Install && word == "--past-limits") {
      args.PastLimits = true;
    } else if (command.Run == Plan && word == "--undo") {
      if (!value(args.UndoPoint)) return false;
    } else if (command.TakesTo && word == "--to") {
      if (!value(args.To)) return false;
    } else {
      args.Rest.push_back(word);
    }
  }
  // plan takes a game and a mod, or with --undo a game alone.
  if (command.Run == Plan) return args.Rest.size() == (args.UndoPoint.empty() ? 2u : 1u);
  return args.Rest.size() >= command.Least && args.Rest.size() <= command.Most;
}

}  // namespace

int main(int argc, char** argv) {
  const TCommand* running = nullptr;
  return RunTool(
      "merva-img", kUsage, argc, argv,
      [&](const std::vector<std::string>& words) -> int {
        for (const TCommand& command : kCommands) {
          if (words[0] != command.Name) continue;
          TArguments args;
          if (!ReadArguments(command, words, args)) {
            std::cerr << kUsage;
            return kExitUsage;
          }
          TTool tool;
          running = &command;
          return command.Run(tool, args);
        }
        std::cerr << "merva-img: unknown command " << words[0] << "\n" << kUsage;
        return kExitUsage;
      },
      [&](const std::exception& error) -> int {
        return running && running->GameRun ? ExitCodeOf(error) : kExitFailed;
      });
}
