// Damaged input is refused before anything changes: an archive whose entries run past its end
// or overlap, and a script that ends inside a record, through merva-img install and plan and
// through the wizard's unattended run. The whole folder (game, mod, restore points) stays as it
// was, and no Installed apps entry is made.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "operations/exit_codes.h"
#include "tests/support/fakes.h"
#include "tests/support/shell.h"
#include "wizard/form.h"

namespace merva {
namespace {

using test::RunShell;
using test::ShellQuoted;
using test::TTempDir;
namespace fs = std::filesystem;

const std::string kImg = ShellQuoted(MERVA_IMG);

// A game whose archive holds a.dff, cheetah.dff and b.dff; a mod that replaces a.dff, adds
// infernus.dff, replaces a game file and creates another. The lists come last in the script, so
// that a script cut short loses items of them.
struct TDamagedScene {
  TTempDir dir;
  const std::string game = dir / "game", mod = dir / "mod", restore = dir / "restore";
  const std::string archive = game + "\\models\\gta3.img";
  const std::string script = test::ScriptBytes({{20, "Mod"},
                                                {11, std::string(200, 'w')},
                                                {1, "a.dff"},
                                                {1, "infernus.dff"},
                                                {2, "data\\handling.cfg"},
                                                {2, "data\\new.txt"}});

  TDamagedScene() {
    test::MakeDirs(game + "\\models");
    test::MakeDirs(game + "\\data");
    test::MakeDirs(mod);
    test::WriteFile(archive,
                    test::BuildArchive({{1, 1, "a.dff"}, {2, 2, "cheetah.dff"}, {4, 2, "b.dff"}}));
    test::WriteFile(game + "\\data\\handling.cfg", "old handling");
    test::WriteFile(mod + "\\scripts.bin", script);
    test::WriteFile(mod + "\\data.cab", test::PackageBytes({{"a.dff", std::string(3000, 'a')},
                                                            {"infernus.dff", "infernus"},
                                                            {"handling.cfg", "new handling"},
                                                            {"new.txt", "new"}}));
  }
  void CutArchive(size_t length) {
    test::WriteFile(archive, test::ReadFile(archive).substr(0, length));
  }
  void CutScript(size_t by) {
    test::WriteFile(mod + "\\scripts.bin", script.substr(0, script.size() - by));
  }
  void OverlapArchive() {
    // b.dff's entry moved to start inside cheetah.dff's data.
    std::string bytes = test::ReadFile(archive);
    bytes[8 + 2 * 32] = 3;
    test::WriteFile(archive, bytes);
  }
};

struct TDamage {
  const char* what;
  std::function<void(TDamagedScene&)> damage;
  const char* says;
};

const TDamage kDamages[] = {
    // 5,000 bytes: cheetah.dff (sectors 2-4) and b.dff (4-6) run past the end.
    {"archive cut short", [](TDamagedScene& s) { s.CutArchive(5000); },
     "entry 1 (cheetah.dff) runs past the end of the file; entry 2 (b.dff) runs past the end"},
    {"entries overlapping", [](TDamagedScene& s) { s.OverlapArchive(); },
     "entries 1 (cheetah.dff) and 2 (b.dff) overlap"},
    {"script cut by 30", [](TDamagedScene& s) { s.CutScript(30); }, "ends inside a record"},
    {"script cut by 60", [](TDamagedScene& s) { s.CutScript(60); }, "ends inside a record"},
    {"script cut by 200", [](TDamagedScene& s) { s.CutScript(200); }, "ends inside a record"},
    {"script cut in a length", [](TDamagedScene& s) { s.CutScript(17 - 3); },
     "ends inside a record"},
};

TEST(DamagedInput, MervaImgInstallAndPlanRefuseItAndChangeNothing) {
  for (const TDamage& damage : kDamages) {
    for (const char* command : {"install", "plan"}) {
      SCOPED_TRACE(std::string(damage.what) + ", " + command);
      TDamagedScene s;
      damage.damage(s);
      const auto before = test::TreeOf(s.dir.Path());
      const test::TToolRun run =
          RunShell("MERVA_RESTORE_DIR=" + ShellQuoted(s.restore) + " " + kImg + " " + command +
                   " " + ShellQuoted(s.game) + " " + ShellQuoted(s.mod));
      EXPECT_EQ(run.status, kExitFailed) << run.output;
      EXPECT_NE(run.output.find(damage.says), std::string::npos) << run.output;
      EXPECT_EQ(test::TreeDifference(test::TreeOf(s.dir.Path()), before), "");
    }
  }
}

TEST(DamagedInput, AnArchiveWithAPartLastSectorIsWhole) {
  // Some tools leave the last sector short: the missing bytes are the zeros the game reads.
  TDamagedScene s;
  s.CutArchive(6 * 2048 - 100);
  const test::TToolRun run = RunShell("MERVA_RESTORE_DIR=" + ShellQuoted(s.restore) + " " + kImg +
                                      " install " + ShellQuoted(s.game) + " " + ShellQuoted(s.mod));
  EXPECT_EQ(run.status, kExitDone) << run.output;
  const std::string after = test::ReadFile(s.archive);
  const std::vector<test::TEntryLayout> directory = test::DirectoryOf(after);
  ASSERT_EQ(directory.size(), 4u);
  const auto b = std::find_if(directory.begin(), directory.end(),
                              [](const test::TEntryLayout& e) { return e.Name == "b.dff"; });
  ASSERT_NE(b, directory.end());
  EXPECT_EQ(test::DataOf(after, *b),
            test::EntryData("b.dff", 2).substr(0, 2 * 2048 - 100) + std::string(100, '\0'));
}

// The wizard's unattended run in the mod's folder: the same refusals, exit code 1, the reason in
// the log, and nothing changed but the log.
struct TDamagedUnattended : ::testing::Test, test::TWizardFakes {
  TDamagedScene scene;
  std::string previous = fs::current_path();
  void SetUp() override { fs::current_path(test::Native(scene.mod)); }
  void TearDown() override { fs::current_path(previous); }
  int Run(std::string& log) {
    const std::string logPath = scene.dir / "run.log";
    const TCommandLine line =
        ReadCommandLine({"/verysilent", "/dir=" + scene.game, "/log=" + logPath});
    TWizardServices services{SystemFileSystem(), boxes, pump,         process, registry, locale,
                             folderDialog,       shell, scene.restore};
    services.Apps = &apps;
    TForm1 form(services);
    int code = -1;
    {
      TRunLog runLog(SystemFileSystem(), line.Log);
      code = form.SilentInstall(line, runLog);
    }
    log = test::ReadFile(logPath);
    fs::remove(test::Native(logPath));
    return code;
  }
};

TEST_F(TDamagedUnattended, RefusesItWithExitCodeOneAndChangesNothing) {
  for (const TDamage& damage : kDamages) {
    SCOPED_TRACE(damage.what);
    const TDamagedScene fresh;
    test::WriteFile(scene.archive, test::ReadFile(fresh.archive));
    test::WriteFile(scene.mod + "\\scripts.bin", scene.script);
    damage.damage(scene);
    const auto before = test::TreeOf(scene.dir.Path());
    std::string log;
    EXPECT_EQ(Run(log), kExitFailed) << log;
    EXPECT_NE(log.find(damage.says), std::string::npos) << log;
    EXPECT_EQ(log.find("Done"), std::string::npos) << log;
    EXPECT_EQ(test::TreeDifference(test::TreeOf(scene.dir.Path()), before), "");
    EXPECT_TRUE(apps.Entries.empty());
    EXPECT_TRUE(boxes.Shown.empty());
  }
}

}  // namespace
}  // namespace merva
