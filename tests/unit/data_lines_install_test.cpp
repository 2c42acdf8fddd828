// Mods that merge lines into the game's data files, installed and taken back in any order on a
// file system in memory: every line gets the newest version that stays, and a line no
// installation wrote is never dropped.
#include <gtest/gtest.h>

#include <string>

#include "core/errors.h"
#include "core/file_tools.h"
#include "game/game_folder.h"
#include "operations/game_status.h"
#include "operations/installation.h"
#include "operations/undo.h"
#include "restore/restore_store.h"
#include "script/install_items.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"

namespace merva {
namespace {

using test::BuildArchive;
using test::PackageBytes;

const char kRoot[] = "R";
const char kHandling[] = "G\\data\\handling.cfg";
const std::string kHandlingBefore =
    "; handling\r\nLANDSTAL 1700.0\r\nINFERNUS 1400.0\r\n%  PREDATOR 2200.0\r\n;the end\r\n";

std::string CarLine(const std::string& id, const std::string& mass) {
  std::string line = id + " " + mass;
  for (size_t i = 2; i <= 35; ++i)
    line += i == 15 ? " R" : i == 16 ? " P" : i == 31 || i == 32 ? " 40002004" : " 1.0";
  return line;
}

std::string Text(const TMemoryFileSystem& fs, const std::string& path) {
  const auto* bytes = fs.Get(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : "(missing)";
}

std::unique_ptr<TMemoryFileSystem> Game() {
  auto fs = std::make_unique<TMemoryFileSystem>();
  for (const char* folder : {"G", "G\\models", "G\\data", "R"}) fs->AddDirectory(folder);
  fs->Put(ArchivePathOf("G"), BuildArchive({{1, 2, "a.dff"}}));
  fs->Put(kHandling, kHandlingBefore);
  fs->Put("G\\data\\vehicles.ide", "cars\n400, landstal, landstal\nend\n");
  return fs;
}

// A mod of one line for handling.cfg (and, given, one for vehicles.ide).
TDATAInst Mod(TMemoryFileSystem& fs, const std::string& title, const std::string& line,
              const std::string& ide = "") {
  std::vector<std::pair<std::string, std::string>> files = {{"handling.txt", line + "\r\n"}};
  TDATAInst script;
  script.Title = title;
  script.DataLines = {DataLinesItemText("data\\handling.cfg", "handling.txt")};
  if (!ide.empty()) {
    files.push_back({"cars.txt", "cars\n" + ide + "\nend\n"});
    script.DataLines.push_back(DataLinesItemText("data\\vehicles.ide", "cars.txt"));
  }
  fs.Put(title + ".cab", PackageBytes(files));
  return script;
}

void Install(IFileSystem& fs, const TDATAInst& script) {
  test::TFakeBoxes boxes;
  TNoProgress progress;
  TInstallation installation(script, "G", {fs, boxes, progress}, script.Title + ".cab");
  installation.KeepRestorePoint({kRoot, script.Title, "2026-12-09 19:00:00", {}});
  // Their cars' new handling names would pass the game's table: the limits are not these tests'.
  installation.AllowPastLimits();
  installation.Run();
}

TUndoResult Undo(IFileSystem& fs, const std::string& title, bool force = false) {
  test::TFakeBoxes boxes;
  TNoProgress progress;
  for (const TRestorePoint& point : ListRestorePoints(fs, kRoot, "G"))
    if (point.Title == title)
      return TUndo(kRoot, point.Folder, "G", {fs, boxes, progress}).Run({force, force});
  throw Exception("no point of " + title);
}

TEST(DataLinesInstall, TwoModsOnOneKeyTakenBackInEitherOrder) {
  const std::string a = CarLine("INFERNUS", "1500.0"), b = CarLine("INFERNUS", "1600.0");
  for (const bool firstFirst : {true, false}) {
    auto fs = Game();
    Install(*fs, Mod(*fs, "A", a, "611, mycar, mycar, car, A, A, null, normal, 10, 0, 0"));
    Install(*fs, Mod(*fs, "B", b));
    EXPECT_NE(Text(*fs, kHandling).find(b), std::string::npos);
    Undo(*fs, firstFirst ? "A" : "B");
    // B's line stays while B is installed; A's goes with A.
    const std::string half = Text(*fs, kHandling);
    EXPECT_EQ(half.find(firstFirst ? b : a) != std::string::npos, true) << half;
    EXPECT_EQ(Text(*fs, "G\\data\\vehicles.ide").find("611") != std::string::npos, !firstFirst);
    Undo(*fs, firstFirst ? "B" : "A");
    EXPECT_EQ(Text(*fs, kHandling), kHandlingBefore);
    EXPECT_EQ(Text(*fs, "G\\data\\vehicles.ide"), "cars\n400, landstal, landstal\nend\n");
  }
}

TEST(DataLinesInstall, APlayersEditOfTheLineStaysThroughTheUndo) {
  auto fs = Game();
  Install(*fs, Mod(*fs, "A", CarLine("MYCAR", "900.0")));
  std::string edited = Text(*fs, kHandling);
  edited.replace(edited.find("MYCAR 900.0"), 11, "MYCAR 950.0");
  fs->Put(kHandling, edited);
  const TUndoResult result = Undo(*fs, "A");
  EXPECT_EQ(Text(*fs, kHandling), edited);
  ASSERT_EQ(result.Done.Stay.size(), 1u);
  EXPECT_EQ(result.Done.Stay[0], "MYCAR in data\\handling.cfg stays as changed since");
}

// A game deleted and a stock one put at the same place, with the same archive byte for byte, is
// another game: the old one's installation is neither told nor taken back there, and the new
// game's own line comes back when the new game's installation is taken back.
TEST(DataLinesInstall, AGameDeletedAndAnotherPutInItsPlaceIsNotTheOldOnes) {
  auto fs = Game();
  const std::string line = CarLine("INFERNUS", "1500.0");
  Install(*fs, Mod(*fs, "Old", line));
  const std::string oldPoint = ListRestorePoints(*fs, kRoot, "G").front().Folder;
  RemoveFolderTree(*fs, "G");
  for (const char* folder : {"G", "G\\models", "G\\data"}) fs->AddDirectory(folder);
  fs->Put(ArchivePathOf("G"), BuildArchive({{1, 2, "a.dff"}}));
  std::string players = kHandlingBefore;
  players.replace(players.find("INFERNUS 1400.0"), 15, "INFERNUS 1450.0");
  fs->Put(kHandling, players);
  Install(*fs, Mod(*fs, "New", line));

  const std::vector<TRestorePoint> points = ListRestorePoints(*fs, kRoot, "G");
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(points[0].Title, "New");
  EXPECT_EQ(ReadGameStatus(*fs, kRoot, "G").Installed.size(), 1u);
  test::TFakeBoxes boxes;
  TNoProgress progress;
  try {
    TUndo(kRoot, oldPoint, "G", {*fs, boxes, progress}).Run({});
    ADD_FAILURE() << "the old game's point was taken back in the new game";
  } catch (const EFileError& error) {
    EXPECT_NE(std::string(error.what()).find("before it was deleted"), std::string::npos)
        << error.what();
  }
  Undo(*fs, "New");
  EXPECT_EQ(Text(*fs, kHandling), players);
}

TEST(DataLinesInstall, AModelIdAnotherModUsesIsAConflictToldBeforeAndRefusedUnlessAllowed) {
  auto fs = Game();
  Install(*fs, Mod(*fs, "A", CarLine("MYCAR", "900.0"),
                   "611, mycar, mycar, car, A, A, null, normal, 10, 0, 0"));
  const TDATAInst b = Mod(*fs, "B", CarLine("MYCAR", "950.0"),
                          "611, othercar, othercar, car, A, A, null, normal, 10, 0, 0");
  test::TFakeBoxes boxes;
  TNoProgress progress;
  TInstallation planned(b, "G", {*fs, boxes, progress}, "B.cab");
  planned.KeepRestorePoint({kRoot, "B", "2026-12-09 19:30:00", {}});
  const TInstallPlan plan = planned.Plan();
  ASSERT_EQ(plan.Conflicts.size(), 1u);
  EXPECT_EQ(plan.Conflicts[0],
            "611 in data\\vehicles.ide is \"611, mycar, mycar, car, A, A, null, normal, 10, 0, 0\" "
            "of A; this mod "
            "makes it \"611, othercar, othercar, car, A, A, null, normal, 10, 0, 0\"");
  // The handling line is B's own version of A's: no conflict, owned by A now.
  ASSERT_EQ(plan.Point.Items.size(), 2u);
  EXPECT_EQ(plan.Point.Items[0].TakenFrom, "point:" + ListRestorePoints(*fs, kRoot, "G")[0].Folder);
  const std::string ide = Text(*fs, "G\\data\\vehicles.ide");
  EXPECT_THROW(Install(*fs, b), EItemConflicts);
  EXPECT_EQ(Text(*fs, "G\\data\\vehicles.ide"), ide);
  TInstallation allowed(b, "G", {*fs, boxes, progress}, "B.cab");
  allowed.KeepRestorePoint({kRoot, "B", "2026-12-09 19:30:00", {}});
  allowed.AllowConflicts();
  allowed.Run();
  EXPECT_NE(Text(*fs, "G\\data\\vehicles.ide").find("othercar"), std::string::npos);
}

// A model ID is one number space across the sections and the IDE files the game loads: an object
// of 611 in another file, or another section of the same one, is told as a conflict too.
TEST(DataLinesInstall, AModelIdAnotherModUsesInAnotherFileOrSectionIsAConflict) {
  for (const char* file : {"data\\vehicles.ide", "data\\maps\\props.ide"}) {
    auto fs = Game();
    fs->AddDirectory("G\\data\\maps");
    fs->Put("G\\data\\maps\\props.ide", "objs\r\nend\r\n");
    Install(*fs, Mod(*fs, "A", CarLine("MYCAR", "900.0"),
                     "611, mycar, mycar, car, A, A, null, normal, 10, 0, 0"));
    TDATAInst b = Mod(*fs, "B", CarLine("MYCAR", "900.0"));
    fs->Put("B.cab", PackageBytes({{"handling.txt", CarLine("MYCAR", "900.0") + "\r\n"},
                                   {"objs.txt", "objs\r\n611, crate, crate, 100, 0\r\nend\r\n"}}));
    b.DataLines.push_back(DataLinesItemText(file, "objs.txt"));
    test::TFakeBoxes boxes;
    TNoProgress progress;
    TInstallation planned(b, "G", {*fs, boxes, progress}, "B.cab");
    planned.KeepRestorePoint({kRoot, "B", "2026-12-09 19:30:00", {}});
    const TInstallPlan plan = planned.Plan();
    ASSERT_EQ(plan.Conflicts.size(), 1u) << file;
    EXPECT_EQ(
        plan.Conflicts[0],
        "model ID 611 is \"611, mycar, mycar, car, A, A, null, normal, 10, 0, 0\" (cars 611 in "
        "data\\vehicles.ide) of A; this mod gives it to \"611, crate, crate, 100, 0\" (objs 611 "
        "in " +
            std::string(file) + ")");
    EXPECT_THROW(Install(*fs, b), EItemConflicts) << file;
  }
}

// A mod's "DATA\\HANDLING.CFG" is the player's data\\handling.cfg, on a case-sensitive disk too
// (a game for Wine or Proton), as it is for a game file the mod replaces whole.
TEST(DataLinesInstall, TheFileIsFoundAsWindowsFindsIt) {
  auto fs = Game();
  TDATAInst script = Mod(*fs, "A", CarLine("INFERNUS", "900.0"));
  script.DataLines = {DataLinesItemText("DATA\\HANDLING.CFG.", "handling.txt")};
  Install(*fs, script);
  EXPECT_NE(Text(*fs, kHandling).find(CarLine("INFERNUS", "900.0")), std::string::npos);
  EXPECT_EQ(fs->Get("G\\DATA\\HANDLING.CFG."), nullptr);
  Undo(*fs, "A");
  EXPECT_EQ(Text(*fs, kHandling), kHandlingBefore);
}

TEST(DataLinesInstall, RefusedWithNothingChanged) {
  struct TCase {
    const char* Name;
    std::function<void(TMemoryFileSystem&, TDATAInst&)> Make;
    const char* Says;
  };
  const TCase cases[] = {
      {"TheGameLacksTheFile", [](TMemoryFileSystem& fs, TDATAInst&) { fs.DeleteFile(kHandling); },
       "which the game folder does not hold"},
      {"AWrongLine",
       [](TMemoryFileSystem& fs, TDATAInst&) {
         fs.Put("A.cab", PackageBytes({{"handling.txt", "MYCAR 1.0\r\n"}}));
       },
       "handling.txt: line 1: a car's handling line has 36 fields"},
      {"ReplacedWholeAndMergedInto",
       [](TMemoryFileSystem&, TDATAInst& script) { script.GameFiles = {"data\\HANDLING.CFG"}; },
       "both replaces"},
      {"AFileWithoutAKeyRule",
       [](TMemoryFileSystem&, TDATAInst& script) {
         script.DataLines = {DataLinesItemText("data\\timecyc.dat", "handling.txt")};
       },
       "cannot tell apart by a key"},
  };
  for (const TCase& c : cases) {
    auto fs = Game();
    TDATAInst script = Mod(*fs, "A", CarLine("MYCAR", "900.0"));
    c.Make(*fs, script);
    const std::string before = Text(*fs, kHandling);
    try {
      Install(*fs, script);
      ADD_FAILURE() << c.Name << ": installed";
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.what()).find(c.Says), std::string::npos)
          << c.Name << ": " << error.what();
    }
    EXPECT_EQ(Text(*fs, kHandling), before) << c.Name;
    EXPECT_TRUE(ListRestorePoints(*fs, kRoot, "G").empty()) << c.Name;
  }
}

}  // namespace
}  // namespace merva
