// Every run that changes a game, with the power cut at each of its file operations in turn:
// once the next run has looked, the game folder and the restore folder are the old state or the
// new one, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

#include "archive/archive_delete.h"
#include "archive/archive_rebuild.h"
#include "archive/archive_rename.h"
#include "core/errors.h"
#include "game/game_folder.h"
#include "journal/changing_game.h"
#include "journal/journal.h"
#include "operations/installation.h"
#include "operations/undo.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/power_loss_file_system.h"

namespace merva {
namespace {

using test::BuildArchive;
using test::PackageBytes;

const char kGame[] = "G";
const char kRoot[] = "R";

using test::CopyOf;
using test::DiskOf;

// An installation with its restore point, as the wizard runs it.
void InstallScript(IFileSystem& fs, const TDATAInst& script, const std::string& package) {
  test::TFakeBoxes boxes;
  TNoProgress progress;
  TInstallation installation(script, kGame, {fs, boxes, progress}, package);
  installation.KeepRestorePoint({kRoot, script.Title, "2026-12-09 10:00:00", {}});
  installation.Run();
}

// A mod that replaces an entry and a game file, and adds an entry and a game file in a folder
// of its own.
void Install(IFileSystem& fs) {
  TDATAInst script;
  script.Title = "Car Pack";
  script.ArchiveFiles = {"a.dff", "new.txd"};
  script.GameFiles = {"data\\handling.cfg", "data\\mymod\\cars.ide"};
  InstallScript(fs, script, "data.cab");
}

// Two more mods over the first, sharing its entry and its game file, each with one of its own.
void InstallMore(IFileSystem& fs, int number) {
  TDATAInst script;
  script.Title = "More " + std::to_string(number);
  script.ArchiveFiles = {"a.dff", "more" + std::to_string(number) + ".dff"};
  script.GameFiles = {"data\\mymod\\cars.ide"};
  InstallScript(fs, script, "more" + std::to_string(number) + ".cab");
}

// An interior mod: entries into gta3.img, gta_int.img (one replaced) and player.img.
void InstallInterior(IFileSystem& fs) {
  TDATAInst script;
  script.Title = "Interior";
  script.ArchiveFiles = {"a.dff"};
  script.NamedArchiveFiles = {"models\\gta_int.img|room.dff", "models\\gta_int.img|new.txd",
                              "models\\player.img|shirt.dff"};
  InstallScript(fs, script, "interior.cab");
}

// A mod over the interior mod in two of its archives.
void InstallOverInterior(IFileSystem& fs) {
  TDATAInst script;
  script.Title = "Over";
  script.NamedArchiveFiles = {"models\\gta_int.img|room.dff", "models\\player.img|hat.dff"};
  InstallScript(fs, script, "over.cab");
}

// A mod that merges lines into object.dat: one replaced, one added.
void InstallLines(IFileSystem& fs) {
  TDATAInst script;
  script.Title = "Lines";
  script.DataLines = {"data\\object.dat|object.txt"};
  InstallScript(fs, script, "lines.cab");
}

// An installation under later ones, by its point's name.
void UndoPoint(IFileSystem& fs, const std::string& point) {
  test::TFakeBoxes boxes;
  TNoProgress progress;
  TUndo(kRoot, point, kGame, {fs, boxes, progress}).Run({});
}

void Undo(IFileSystem& fs) {
  test::TFakeBoxes boxes;
  TNoProgress progress;
  TUndo(kRoot, kGame, {fs, boxes, progress}).Run({});
}

// merva-img's rebuilds of a game's archive, as the tool runs them.
void ChangeArchive(IFileSystem& fs, const std::function<void(IProgress&)>& change) {
  TNoProgress progress;
  const TChangingGame lock(fs, kGame);
  RebuildGameArchive(fs, kGame, [&] { change(progress); });
}

// The game with that many mods in; kInteriorIn: the interior mod alone.
constexpr int kInteriorIn = -1;
constexpr int kOverInteriorIn = -2;  // and a mod over it in two of its archives
constexpr int kLinesIn = -3;         // the mod of lines alone

std::unique_ptr<TMemoryFileSystem> Game(int installed) {
  auto fs = std::make_unique<TMemoryFileSystem>();
  for (const char* folder : {"G", "G\\models", "G\\data", "R"}) fs->AddDirectory(folder);
  fs->Put(ArchivePathOf(kGame), BuildArchive({{1, 2, "a.dff"}, {5, 1, "b.txd"}, {7, 3, "c.dff"}}));
  fs->Put("G\\models\\gta_int.img", BuildArchive({{1, 2, "room.dff"}, {3, 1, "a.dff"}}));
  fs->Put("G\\models\\player.img", BuildArchive({{1, 1, "torso.dff"}}));
  fs->Put("interior.cab", PackageBytes({{"a.dff", std::string(4000, 'a')},
                                        {"room.dff", std::string(6000, 'R')},
                                        {"new.txd", std::string(100, 'n')},
                                        {"shirt.dff", std::string(2500, 'S')}}));
  fs->Put("over.cab",
          PackageBytes({{"room.dff", std::string(3000, 'O')}, {"hat.dff", std::string(100, 'H')}}));
  if (installed == kInteriorIn || installed == kOverInteriorIn) InstallInterior(*fs);
  if (installed == kOverInteriorIn) InstallOverInterior(*fs);
  fs->Put("G\\data\\object.dat", "barrel 100\r\n*\r\n");
  fs->Put("lines.cab", PackageBytes({{"object.txt", "barrel 150\r\ncrate9 10\r\n"}}));
  if (installed == kLinesIn) InstallLines(*fs);
  fs->Put("G\\data\\handling.cfg", "the game's handling");
  fs->Put("data.cab", PackageBytes({{"a.dff", std::string(5000, 'A')},
                                    {"new.txd", std::string(700, 'N')},
                                    {"handling.cfg", "the mod's handling"},
                                    {"cars.ide", "the mod's cars"}}));
  for (int number : {2, 3})
    fs->Put("more" + std::to_string(number) + ".cab",
            PackageBytes({{"a.dff", std::string(1000 * number, static_cast<char>('0' + number))},
                          {"more" + std::to_string(number) + ".dff", std::string(3000, 'M')},
                          {"cars.ide", "cars of " + std::to_string(number)}}));
  if (installed >= 1) Install(*fs);
  for (int number = 2; number <= installed; ++number) InstallMore(*fs, number);
  return fs;
}

TEST(PowerLoss, EveryRunIsWholeOrNotDoneOnceTheNextRunHasLooked) {
  const std::string archive = ArchivePathOf(kGame), temp = TempArchivePathOf(kGame);
  struct TCase {
    const char* Name;
    int Installed;  // the run starts from the game with that many mods in
    std::function<void(IFileSystem&)> Run;
  };
  const TCase cases[] = {
      {"install", 0, Install},
      {"undo", 1, Undo},
      {"install into three archives", 0, InstallInterior},
      {"install with data lines", 0, InstallLines},
      {"undo of data lines", kLinesIn, Undo},
      {"undo of three archives", kInteriorIn, Undo},
      {"undo of three archives under a later one", kOverInteriorIn,
       [](IFileSystem& fs) { UndoPoint(fs, "G 1"); }},
      {"undo under one later", 2, [](IFileSystem& fs) { UndoPoint(fs, "G 1"); }},
      {"undo under two later", 3, [](IFileSystem& fs) { UndoPoint(fs, "G 1"); }},
      {"undo of the middle", 3, [](IFileSystem& fs) { UndoPoint(fs, "G 2"); }},
      {"compact", 0,
       [&](IFileSystem& fs) {
         ChangeArchive(fs, [&](IProgress& p) { CompactArchive(archive, temp, p, fs); });
       }},
      {"delete", 1,
       [&](IFileSystem& fs) {
         ChangeArchive(
             fs, [&](IProgress& p) { DeleteArchiveEntries(fs, archive, temp, {"b.txd"}, p); });
       }},
      {"rename", 1,
       [&](IFileSystem& fs) {
         ChangeArchive(
             fs, [&](IProgress& p) { RenameArchiveEntry(fs, archive, temp, "c.dff", "z.dff", p); });
       }},
  };
  for (const TCase& c : cases) {
    const std::unique_ptr<TMemoryFileSystem> start = Game(c.Installed);
    const test::TCutResults cuts = test::CutAtEveryOperation(
        *start, c.Run,
        [](TMemoryFileSystem& kept) { const TChangingGame next(kept, kGame, kRoot); });
    EXPECT_EQ(cuts.Neither, std::vector<std::string>{}) << c.Name;
    // Cut before its commit, a run is taken back; after it, finished.
    EXPECT_GT(cuts.Before, 3) << c.Name;
    EXPECT_GT(cuts.After, 0) << c.Name;
  }
}

// The journal lies in the game folder: a game moved after a cut brings its unfinished run along,
// and `undo --point NAME NEW_FOLDER` finds the point that run was writing.
TEST(PowerLoss, AGameMovedAfterACutIsFinishedAndTakenBackInItsNewFolder) {
  const std::unique_ptr<TMemoryFileSystem> start = Game(0);
  for (uint64_t cut = 1;; ++cut) {
    const std::unique_ptr<TMemoryFileSystem> live = CopyOf(*start);
    TPowerLossFileSystem disk(*live);
    disk.CutPowerAt(cut);
    try {
      Install(disk);
    } catch (const std::exception&) {
    }
    ASSERT_TRUE(disk.Cut()) << "no cut left the run committed and unfinished";
    const std::unique_ptr<TMemoryFileSystem> kept = disk.AfterCut();
    const TMemoryFileSystem::Bytes* journal = kept->Get(JournalPathOf(kGame));
    const std::string commit = kJournalCommitLine;
    if (!journal || journal->size() < commit.size() ||
        !std::equal(commit.begin(), commit.end(), journal->end() - commit.size()))
      continue;
    ASSERT_EQ(kept->MoveFolder(kGame, "G2"), 0);
    test::TFakeBoxes boxes;
    TNoProgress progress;
    TUndo(kRoot, "G 1", "G2", {*kept, boxes, progress}).Run({});
    // As an installation and its undo leave the game (compacted), in the new folder.
    const std::unique_ptr<TMemoryFileSystem> undone = CopyOf(*start);
    Install(*undone);
    Undo(*undone);
    std::map<std::string, std::string> moved;
    for (const auto& [path, what] : DiskOf(*undone))
      moved[path.rfind("G", 0) == 0 && (path.size() == 1 || path[1] == '\\') ? "G2" + path.substr(1)
                                                                             : path] = what;
    EXPECT_EQ(test::TreeDifference(DiskOf(*kept), moved), "") << "power cut at " << cut;
    return;
  }
}

}  // namespace
}  // namespace merva
