// Model IDs chosen for a mod's "@NAME" lines from the IDE files the game loads, and the game's
// limits counted before an installation passes one, on a small game in memory.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/errors.h"
#include "game/game_folder.h"
#include "operations/exit_codes.h"
#include "operations/game_status.h"
#include "operations/installation.h"
#include "operations/limits_check.h"
#include "operations/undo.h"
#include "restore/restore_store.h"
#include "script/install_items.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/synthetic_program.h"

namespace merva {
namespace {

using test::BuildArchive;
using test::PackageBytes;

const char kRoot[] = "R";
const char kVehicles[] = "G\\data\\vehicles.ide";
const char kCityIde[] = "G\\data\\maps\\city.ide";
const char kCityIpl[] = "G\\data\\maps\\city.ipl";

std::string CarDefinition(const std::string& id, const std::string& name) {
  return id + ", " + name + ", " + name + ", car, " + name + ", " + name +
         ", null, normal, 10, 0, 0";
}

std::string HandlingLine(const std::string& name) {
  std::string line = name;
  for (size_t i = 1; i <= 35; ++i)
    line += i == 15 ? " R" : i == 16 ? " P" : i == 31 || i == 32 ? " 4000" : " 1.0";
  return line;
}

std::string Text(const TMemoryFileSystem& fs, const std::string& path) {
  const auto* bytes = fs.Get(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : "(missing)";
}

// default.dat names vehicles.ide, gta.dat the city's IDE and IPL; unused.ide lies in the folder,
// named by neither, so the game never loads its IDs.
std::unique_ptr<TMemoryFileSystem> Game(int cars = 2) {
  auto fs = std::make_unique<TMemoryFileSystem>();
  for (const char* folder : {"G", "G\\models", "G\\data", "G\\data\\maps", "R"})
    fs->AddDirectory(folder);
  fs->Put(ArchivePathOf("G"), BuildArchive({{1, 2, "a.dff"}}));
  fs->Put("G\\data\\default.dat", "IDE DATA\\VEHICLES.IDE\r\n");
  fs->Put("G\\data\\gta.dat",
          "IMG MODELS\\GTA_INT.IMG\r\nIDE DATA\\MAPS\\CITY.IDE\r\nIPL DATA\\MAPS\\CITY.IPL\r\n");
  std::string vehicles = "cars\r\n";
  for (int n = 0; n < cars; ++n)
    vehicles += CarDefinition(std::to_string(400 + n), "car" + std::to_string(n)) + "\r\n";
  fs->Put(kVehicles, vehicles + "end\r\n");
  fs->Put(kCityIde, "objs\r\n615, box, box, 100, 0\r\n616, crate, crate, 100, 0\r\nend\r\n");
  fs->Put(kCityIpl, "inst\r\n615, box, 0, 1, 2, 3, 0, 0, 0, 1, -1\r\nend\r\n");
  fs->Put("G\\data\\maps\\unused.ide", "cars\r\n" + CarDefinition("402", "ghost") +
                                           "\r\nend\r\nobjs\r\n617, x, x, 1, 0\r\nend\r\n");
  fs->Put("G\\data\\handling.cfg", "; handling\r\nCAR0 1.0\r\n;the end\r\n");
  return fs;
}

// A mod adding a car and an object that it places, all by automatic IDs.
TDATAInst Mod(TMemoryFileSystem& fs, const std::string& title, const std::string& name) {
  TDATAInst script;
  script.Title = title;
  script.DataLines = {DataLinesItemText("data\\vehicles.ide", "cars.txt"),
                      DataLinesItemText("data\\maps\\city.ide", "objs.txt"),
                      DataLinesItemText("data\\maps\\city.ipl", "inst.txt")};
  fs.Put(title + ".cab",
         PackageBytes({{"cars.txt", "cars\n" + CarDefinition("@" + name, name) + "\nend\n"},
                       {"objs.txt", "objs\n@" + name + "box, " + name + "box, gen, 100, 0\nend\n"},
                       {"inst.txt", "inst\n@" + name + "box, " + name +
                                        "box, 0, 5, 6, 7, 0, 0, 0, 1, -1\nend\n"}}));
  return script;
}

void Install(IFileSystem& fs, const TDATAInst& script, bool pastLimits = false) {
  test::TFakeBoxes boxes;
  TNoProgress progress;
  TInstallation installation(script, "G", {fs, boxes, progress}, script.Title + ".cab");
  installation.KeepRestorePoint({kRoot, script.Title, "2026-12-11 04:00:00", {}});
  if (pastLimits) installation.AllowPastLimits();
  installation.Run();
}

TInstallPlan Plan(IFileSystem& fs, const TDATAInst& script) {
  test::TFakeBoxes boxes;
  TNoProgress progress;
  TInstallation installation(script, "G", {fs, boxes, progress}, script.Title + ".cab");
  installation.KeepRestorePoint({kRoot, script.Title, "2026-12-11 04:00:00", {}});
  return installation.Plan();
}

void Undo(IFileSystem& fs, const std::string& title) {
  test::TFakeBoxes boxes;
  TNoProgress progress;
  for (const TRestorePoint& point : ListRestorePoints(fs, kRoot, "G"))
    if (point.Title == title) {
      TUndo(kRoot, point.Folder, "G", {fs, boxes, progress}).Run({});
      return;
    }
  throw Exception("no point of " + title);
}

bool Holds(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(AutomaticIds, TwoModsGetTwoIdsAndGiveThemBackInEitherOrder) {
  for (const bool firstFirst : {true, false}) {
    auto fs = Game();
    const std::string vehicles = Text(*fs, kVehicles), ide = Text(*fs, kCityIde),
                      ipl = Text(*fs, kCityIpl);
    // 402 and 617 are free: only unused.ide, which the game never loads, names them.
    const TInstallPlan plan = Plan(*fs, Mod(*fs, "A", "infa"));
    ASSERT_EQ(plan.Point.Items.size(), 3u);
    EXPECT_EQ(ItemName(plan.Point.Items[0]), "cars 402 (the ID chosen for @infa)");
    EXPECT_EQ(plan.Point.Items[1].Key, "617");
    // Counted from what the game loads: unused.ide's car is none of the game's.
    ASSERT_EQ(plan.Budget.size(), 7u);
    EXPECT_EQ(plan.Budget[0].What, "vehicle models");
    EXPECT_EQ(plan.Budget[0].GameUses, 2);
    EXPECT_EQ(plan.Budget[0].ModAdds, 1);
    EXPECT_EQ(plan.Budget[4].What, "IPL files that place things");
    EXPECT_EQ(plan.Budget[4].GameUses, 1);
    Install(*fs, Mod(*fs, "A", "infa"), true);
    Install(*fs, Mod(*fs, "B", "infb"), true);
    EXPECT_TRUE(Holds(Text(*fs, kVehicles), CarDefinition("402", "infa")));
    EXPECT_TRUE(Holds(Text(*fs, kVehicles), CarDefinition("403", "infb")));
    EXPECT_TRUE(Holds(Text(*fs, kCityIde), "617, infabox, gen") &&
                Holds(Text(*fs, kCityIde), "618, infbbox, gen"));
    EXPECT_TRUE(Holds(Text(*fs, kCityIpl), "617, infabox, 0") &&
                Holds(Text(*fs, kCityIpl), "618, infbbox, 0"));
    // Status tells which installation holds each chosen ID.
    const TGameStatus status = ReadGameStatus(*fs, kRoot, "G");
    ASSERT_EQ(status.Installed.size(), 2u);
    EXPECT_EQ(status.Installed[0].Point->Title, "B");
    EXPECT_TRUE(Holds(status.Installed[0].Things[0].Name, "403 (the ID chosen for @infb)"));
    Undo(*fs, firstFirst ? "A" : "B");
    EXPECT_EQ(Holds(Text(*fs, kCityIpl), "617, infabox"), !firstFirst);
    EXPECT_EQ(Holds(Text(*fs, kCityIpl), "618, infbbox"), firstFirst);
    Undo(*fs, firstFirst ? "B" : "A");
    EXPECT_EQ(Text(*fs, kVehicles), vehicles);
    EXPECT_EQ(Text(*fs, kCityIde), ide);
    EXPECT_EQ(Text(*fs, kCityIpl), ipl);
  }
}

TEST(AutomaticIds, AnIdFreedByAnUndoIsChosenAgain) {
  auto fs = Game();
  Install(*fs, Mod(*fs, "A", "infa"), true);
  Install(*fs, Mod(*fs, "B", "infb"), true);
  Undo(*fs, "A");
  Install(*fs, Mod(*fs, "C", "infc"), true);
  EXPECT_TRUE(Holds(Text(*fs, kVehicles), CarDefinition("402", "infc")));
}

// Without default.dat the game loads no vehicles.ide, but its lines stay the game's: the mod's
// line must take none of their IDs, or it would replace one.
TEST(AutomaticIds, AnIdOfTheFileTheLinesGoIntoIsNeverTaken) {
  auto fs = Game();
  fs->DeleteFile("G\\data\\default.dat");
  Install(*fs, Mod(*fs, "A", "infa"), true);
  EXPECT_TRUE(Holds(Text(*fs, kVehicles), CarDefinition("400", "car0")));
  EXPECT_TRUE(Holds(Text(*fs, kVehicles), CarDefinition("402", "infa")));
}

TEST(ModelLimits, RefusedByNameUnlessAllowed) {
  struct TCase {
    const char* Name;
    std::function<void(TMemoryFileSystem&)> Make;
    const char* Says;  // the limit passed; empty: none is
  };
  const std::string adjuster = "[SALIMITS]\r\nVehicleModels = 300\r\n#PedModels = 300\r\n";
  const TCase cases[] = {
      {"TheVehicleStore", [](TMemoryFileSystem&) {}, "vehicle models: the game uses 212"},
      {"RaisedByAnAdjusterOn10",
       [&](TMemoryFileSystem& fs) {
         fs.Put("G\\gta_sa.exe", test::SyntheticUs10Program());
         fs.Put("G\\III.VC.SA.LimitAdjuster.asi", "plugin");
         fs.Put("G\\III.VC.SA.LimitAdjuster.ini", adjuster);
       },
       ""},
      {"AnAdjustersIniWithoutItsPlugin",
       [&](TMemoryFileSystem& fs) {
         fs.Put("G\\gta_sa.exe", test::SyntheticUs10Program());
         fs.Put("G\\III.VC.SA.LimitAdjuster.ini", adjuster);
       },
       "vehicle models"},
      {"AnAdjusterOnAnotherEdition",
       [&](TMemoryFileSystem& fs) {
         fs.Put("G\\gta-sa.exe", test::SyntheticSteamProgram());
         fs.Put("G\\III.VC.SA.LimitAdjuster.asi", "plugin");
         fs.Put("G\\III.VC.SA.LimitAdjuster.ini", adjuster);
       },
       "vehicle models"},
  };
  for (const TCase& c : cases) {
    auto fs = Game(212);
    c.Make(*fs);
    const std::string before = Text(*fs, kVehicles);
    const TDATAInst mod = Mod(*fs, "A", "infa");
    const TInstallPlan plan = Plan(*fs, mod);
    EXPECT_EQ(PassedLimitsText(plan.Budget).empty(), !*c.Says) << c.Name;
    if (!*c.Says) {
      Install(*fs, mod);
      continue;
    }
    try {
      Install(*fs, mod);
      ADD_FAILURE() << c.Name << ": installed";
    } catch (const EPastLimits& error) {
      EXPECT_TRUE(Holds(error.what(), c.Says)) << c.Name << ": " << error.what();
      EXPECT_EQ(ExitCodeOf(error), kExitWrongEdition);
    }
    EXPECT_EQ(Text(*fs, kVehicles), before) << c.Name;
    Install(*fs, mod, true);
    EXPECT_TRUE(Holds(Text(*fs, kVehicles), "612, infa")) << c.Name;
  }
}

TEST(ModelLimits, EachLimitIsCountedFromWhatTheGameLoads) {
  struct TCase {
    const char* Name;
    std::string File, Lines;  // the mod's lines for the file
    const char* Says;
  };
  const TCase cases[] = {
      {"AnImgArchiveTooMany", "data\\gta.dat", "IMG MODELS\\A.IMG\nIMG MODELS\\B.IMG\n",
       "IMG archives named by gta.dat: the game uses 4, the mod adds 2, and the game has room for "
       "5"},
      {"AHandlingNameTheGameHasNoSlotFor", "data\\handling.cfg", HandlingLine("INFA") + "\n",
       "handling names: the game uses 1, the mod adds 1, and the game has room for 1"},
  };
  for (const TCase& c : cases) {
    auto fs = Game();
    fs->Put("G\\data\\gta.dat",
            "IMG MODELS\\GTA_INT.IMG\r\nIMG A1.IMG\r\nIMG A2.IMG\r\nIMG A3.IMG\r\n");
    TDATAInst script;
    script.Title = "A";
    script.DataLines = {DataLinesItemText(c.File, "lines.txt")};
    fs->Put("A.cab", PackageBytes({{"lines.txt", c.Lines}}));
    try {
      Install(*fs, script);
      ADD_FAILURE() << c.Name << ": installed";
    } catch (const EPastLimits& error) {
      EXPECT_TRUE(Holds(error.what(), c.Says)) << c.Name << ": " << error.what();
    }
  }
}

TEST(AutomaticIds, RefusedBeforeAnythingChanges) {
  struct TCase {
    const char* Name;
    std::string Ide, Ipl;  // the mod's lines for city.ide and city.ipl
    const char* Says;
  };
  std::string weapons = "weap\r\n";
  for (int id = 321; id <= 372; ++id) weapons += std::to_string(id) + ", w, w, null, 1, 1, 0\r\n";
  const TCase cases[] = {
      {"NoFreeIdInTheRange", "weap\n@gun, gun, gun, null, 1, 100, 0\nend\n", "",
       "No model ID is free for @gun in the weap section: the IDE files the game loads and the "
       "mod's own lines use every ID from 321 to 372"},
      {"OneNameForTwoModels", "objs\n@x, a, a, 1, 0\nend\ntobj\n@x, b, b, 1, 0, 1, 2\nend\n", "",
       "defines @x for a second model (tobj)"},
      {"PlacedAndNeverDefined", "", "inst\n@y, y, 0, 1, 2, 3, 0, 0, 0, 1, -1\nend\n",
       "places @y, which none of the mod's IDE lines defines"},
  };
  for (const TCase& c : cases) {
    auto fs = Game();
    fs->Put(kCityIde, Text(*fs, kCityIde) + weapons + "end\r\n");
    const std::string ide = Text(*fs, kCityIde);
    TDATAInst script;
    script.Title = "A";
    std::vector<std::pair<std::string, std::string>> files;
    if (!c.Ide.empty()) {
      script.DataLines.push_back(DataLinesItemText("data\\maps\\city.ide", "ide.txt"));
      files.push_back({"ide.txt", c.Ide});
    }
    if (!c.Ipl.empty()) {
      script.DataLines.push_back(DataLinesItemText("data\\maps\\city.ipl", "ipl.txt"));
      files.push_back({"ipl.txt", c.Ipl});
    }
    fs->Put("A.cab", PackageBytes(files));
    try {
      Install(*fs, script, true);
      ADD_FAILURE() << c.Name << ": installed";
    } catch (const Exception& error) {
      EXPECT_TRUE(Holds(error.what(), c.Says)) << c.Name << ": " << error.what();
    }
    EXPECT_EQ(Text(*fs, kCityIde), ide) << c.Name;
    EXPECT_TRUE(ListRestorePoints(*fs, kRoot, "G").empty()) << c.Name;
  }
}

}  // namespace
}  // namespace merva
