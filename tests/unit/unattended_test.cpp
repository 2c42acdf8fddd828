// The unattended runs of merva.exe (command line, log, exit codes) and the entries each
// installation leaves in the player's list of installed programs.
#include <gtest/gtest.h>

#include <filesystem>

#include "apps/installed_apps.h"
#include "archive/archive.h"
#include "core/environment.h"
#include "core/windows_names.h"
#include "game/game_folder.h"
#include "game/game_lock.h"
#include "operations/exit_codes.h"
#include "operations/installation.h"
#include "operations/undo.h"
#include "restore/restore_store.h"
#include "tests/support/fakes.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/renderware_files.h"
#include "tests/support/synthetic_program.h"
#include "wizard/form.h"

namespace merva {
namespace {

using test::ScriptBytes;
using test::TTempDir;
namespace fs = std::filesystem;

TEST(ReadCommandLine, SwitchesAsTheOtherInstallersTakeThem) {
  struct TCase {
    std::vector<std::string> words;
    bool undo;
    TRunMode mode;
    const char* folder;
    const char* log;
    const char* point;
    const char* error;  // the start of the error; "" when the line is right
  };
  const TRunMode P = TRunMode::kPages, S = TRunMode::kSilent, V = TRunMode::kVerySilent;
  const TCase cases[] = {
      {{}, false, P, "", "", "", ""},
      {{"/SILENT", "/Dir=C:\\Games\\GTA SA", "/log=C:\\x y\\run.log"},
       false,
       S,
       "C:\\Games\\GTA SA",
       "C:\\x y\\run.log",
       "",
       ""},
      {{"/verysilent"}, false, V, "", "", "", ""},
      {{"/S"}, false, V, "", "", "", ""},
      {{"/undo", "D:\\GTA"}, true, P, "D:\\GTA", "", "", ""},
      {{"D:\\GTA", "/undo"}, true, P, "D:\\GTA", "", "", ""},
      {{"/undo", "/point=game 3", "/silent", "D:\\GTA\\"}, true, S, "D:\\GTA\\", "", "game 3", ""},
      {{"/undo", "/point=game 3", "/dir=D:\\GTA"}, true, P, "D:\\GTA", "", "game 3", ""},
      {{"/quiet"}, false, P, "", "", "", "Unknown switch /quiet."},
      {{"/silent", "/verysilent"}, false, S, "", "", "", "The switch /verysilent contradicts"},
      {{"/dir="}, false, P, "", "", "", "The switch /dir= names no folder."},
      {{"/log=a", "/log=b"}, false, P, "", "", "", "The switch /log= must name one file."},
      {{"D:\\GTA"}, false, P, "D:\\GTA", "", "", "Unexpected word D:\\GTA"},
      {{"/dir=a", "/dir=b"}, false, P, "a", "", "", "More than one game folder"},
      {{"/point=game 1", "/dir=a"}, false, P, "a", "", "game 1", "The switch /point= belongs"},
      {{"/undo", "/point=game 1"}, true, P, "", "", "game 1", "The switch /point= needs"},
      {{"/undo", "/point=\\\\", "D:\\GTA"}, true, P, "D:\\GTA", "", "", "The switch /point= must"},
      {{"/undo", "/pastlimits", "D:\\GTA"},
       true,
       P,
       "D:\\GTA",
       "",
       "",
       "The switch /pastlimits belongs"},
      {{"/undo", "/replacelines", "D:\\GTA"},
       true,
       P,
       "D:\\GTA",
       "",
       "",
       "The switch /replacelines"},
  };
  for (const TCase& c : cases) {
    std::string shown;
    for (const std::string& word : c.words) shown += word + " ";
    SCOPED_TRACE(shown);
    const TCommandLine line = ReadCommandLine(c.words);
    EXPECT_EQ(line.Error.rfind(c.error, 0), 0u) << line.Error;
    EXPECT_EQ(line.Error.empty(), std::string(c.error).empty()) << line.Error;
    if (!line.Error.empty()) continue;
    EXPECT_EQ(line.Undo, c.undo);
    EXPECT_EQ(line.Mode, c.mode);
    EXPECT_EQ(line.GameFolder, c.folder);
    EXPECT_EQ(line.Log, c.log);
    EXPECT_EQ(line.Point, c.point);
  }
}

TEST(SplitCommandLine, QuotesGroupAndABackslashIsAlwaysItself) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"merva.exe", {}},
      {"\"C:\\My Mods\\merva.exe\" /silent", {"/silent"}},
      // As batch files write a folder: the backslash before the closing quote ends the value.
      {"merva.exe /dir=\"C:\\G\\GTA San Andreas\\\" /log=\"C:\\l.txt\"",
       {"/dir=C:\\G\\GTA San Andreas\\", "/log=C:\\l.txt"}},
      {"m \"/dir=D:\\\"  /S", {"/dir=D:\\", "/S"}},
      {"m /undo \"\"\t\"a b\"c", {"/undo", "", "a bc"}},
      {"m \\\\server\\share\\", {"\\\\server\\share\\"}},
  };
  for (const auto& [line, words] : cases) EXPECT_EQ(SplitCommandLine(line), words) << line;
}

TEST(RestoreFolder, ReadOnceAsAFullPathWithoutAFinalSeparator) {
  const std::pair<const char*, const char*> trimmed[] = {
      {"C:\\R\\", "C:\\R"}, {"C:\\R\\\\/", "C:\\R"}, {"C:\\", "C:\\"},
      {"\\", "\\"},         {"C:\\R", "C:\\R"},      {"", ""},
  };
  for (const auto& [folder, expected] : trimmed)
    EXPECT_EQ(FolderWithoutFinalSeparators(folder), expected) << folder;

  const char* before = std::getenv("MERVA_RESTORE_DIR");
  const std::string kept = before ? before : "";
  ::setenv("MERVA_RESTORE_DIR", "points\\", 1);
  const std::string read = RestoreFolderFromEnvironment();
  before ? ::setenv("MERVA_RESTORE_DIR", kept.c_str(), 1) : ::unsetenv("MERVA_RESTORE_DIR");
  EXPECT_EQ(read, SystemFileSystem().AbsolutePath("points"));
  EXPECT_TRUE(read[0] == '\\' || read[0] == '/') << read;

  TTempDir dir;
  const std::pair<std::string, TPointPlace> places[] = {
      {"game 3", {"ROOT", "game 3"}},
      {dir / "R\\game 3", {dir / "R", "game 3"}},
      {dir / "R\\game 3\\", {dir / "R", "game 3"}},
  };
  for (const auto& [argument, place] : places) {
    const TPointPlace got = PointPlaceOf(SystemFileSystem(), "ROOT", argument);
    EXPECT_EQ(got.Root, place.Root) << argument;
    EXPECT_EQ(got.Name, place.Name) << argument;
  }
}

TEST(ExitCodeOf, EachFailureHasTheCodeABatchFileActsOn) {
  EXPECT_EQ(ExitCodeOf(Exception("anything")), kExitFailed);
  EXPECT_EQ(ExitCodeOf(EAbort()), kExitFailed);
  EXPECT_EQ(ExitCodeOf(EGameBusy("running")), kExitBusy);
  EXPECT_EQ(ExitCodeOf(EInOutError(kSharingViolation, "x")), kExitBusy);
  EXPECT_EQ(ExitCodeOf(EInOutError(kLockViolation, "x")), kExitBusy);
  EXPECT_EQ(ExitCodeOf(EInOutError(kDiskFull, "x")), kExitFailed);
  EXPECT_EQ(ExitCodeOf(EArchiveMissing("x")), kExitNoGame);
  EXPECT_EQ(ExitCodeOf(ENotAGame("x", "folder not found")), kExitNoGame);
  EXPECT_EQ(ExitCodeOf(EHalfDone("stuck")), kExitHalfDone);
  EXPECT_EQ(ExitCodeOf(std::runtime_error("other")), kExitFailed);
}

TEST(LongPathForm, FullPathsTakeTheSystemsLongForm) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Games\\GTA", "\\\\?\\C:\\Games\\GTA"},
      {"z:\\", "\\\\?\\z:\\"},
      {"\\\\server\\share\\GTA", "\\\\?\\UNC\\server\\share\\GTA"},
      {"\\\\?\\C:\\already", "\\\\?\\C:\\already"},
      {"\\\\.\\CON", "\\\\.\\CON"},  // a device stays a device
      {"relative\\path", "relative\\path"},
      {"C:drive-relative", "C:drive-relative"},
      {"1:\\not a drive", "1:\\not a drive"},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(LongPathForm(path), expected) << path;
  EXPECT_TRUE(IsFullPath("C:/Games"));
  EXPECT_TRUE(IsFullPath("//server/share"));
  EXPECT_FALSE(IsFullPath("scripts.bin"));
  EXPECT_FALSE(IsFullPath("\\rooted on the current drive"));
}

// A Windows program's bytes with a version resource's fixed part for `major.minor.patch.build`.
std::string ProgramBytes(uint16_t major, uint16_t minor, uint16_t patch, uint16_t build) {
  std::string bytes = "MZ" + std::string(300, 'p') + "\xBD\x04\xEF\xFE" + std::string(4, '\0');
  for (uint32_t word : {uint32_t(major) << 16 | minor, uint32_t(patch) << 16 | build})
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>(word >> (8 * i) & 0xFF);
  return bytes + std::string(100, 'q');
}

TEST(KeepProgramCopy, TheNewestVersionWinsAndNoLinkIsWrittenThrough) {
  TTempDir dir;
  IFileSystem& files = SystemFileSystem();
  const std::string root = dir / "restore";
  test::MakeDirs(root);
  test::WriteFile(dir / "v1.exe", ProgramBytes(1, 2, 0, 0));
  test::WriteFile(dir / "v2.exe", ProgramBytes(1, 10, 0, 0));
  test::WriteFile(dir / "none.exe", "MZ no version here");
  EXPECT_EQ(ProgramFileVersion(files, dir / "v2.exe"), 0x0001000A00000000u);
  EXPECT_EQ(ProgramFileVersion(files, dir / "none.exe"), 0u);
  EXPECT_EQ(ProgramFileVersion(files, dir / "missing.exe"), 0u);

  const std::string copy = root + "\\merva.exe";
  EXPECT_EQ(KeepProgramCopy(files, root, ""), "") << "no program, no copy yet";
  const std::pair<const char*, const char*> steps[] = {
      {"v1.exe", "v1.exe"},  // the first copy
      {"v2.exe", "v2.exe"},  // a newer one replaces it
      {"v1.exe", "v2.exe"},  // an older one does not
      {"none.exe", "v2.exe"},
  };
  for (const auto& [program, kept] : steps) {
    EXPECT_EQ(KeepProgramCopy(files, root, dir / program), copy) << program;
    EXPECT_EQ(test::ReadFile(copy), test::ReadFile(dir / kept)) << program;
  }
  EXPECT_FALSE(test::Exists(copy + ".new"));
  EXPECT_EQ(KeepProgramCopy(files, root, ""), copy) << "the copy there serves";

  fs::remove(test::Native(copy));
  fs::create_symlink(test::Native(dir / "v1.exe"), test::Native(copy));
  EXPECT_EQ(KeepProgramCopy(files, root, dir / "v2.exe"), "");
  EXPECT_EQ(test::ReadFile(dir / "v1.exe"), ProgramBytes(1, 2, 0, 0)) << "written through";
}

// merva.exe in a mod folder of its own (the current directory), a game, and a restore folder.
struct TUnattendedTest : ::testing::Test, test::TWizardFakes {
  TTempDir dir;
  std::string previous;
  std::unique_ptr<TForm1> form;
  std::string game = dir / "game";
  std::string restore = dir / "restore";
  std::string program = dir / "mod\\merva.exe";
  std::string programs;  // the program copy's folder; beside the points when empty
  std::string original;

  void SetUp() override {
    previous = fs::current_path();
    test::MakeDirs(dir / "mod");
    fs::current_path(test::Native(dir / "mod"));
    test::MakeDirs(game + "\\models");
    original = test::BuildArchive({{1, 1, "a.dff"}});
    test::WriteFile(game + "\\models\\gta3.img", original);
    test::WriteFile(program, ProgramBytes(1, 0, 0, 0));
    WriteMod("Title!", "");
  }
  void TearDown() override { fs::current_path(previous); }
  // `pastLimits`: the mod also gives a car a handling name the game's table lacks.
  void WriteMod(const std::string& title, const std::string& level,
                const std::string& editions = "", bool pastLimits = false) {
    std::vector<std::pair<uint8_t, std::string>> records = {
        {20, title},  {14, "progress"}, {15, "finish"},        {10, "refused\nfor good"},
        {1, "a.dff"}, {1, "b.dff"},     {2, "data\\notes.txt"}};
    if (!editions.empty()) records.push_back({5, editions});
    if (!level.empty()) records.push_back({21, level});
    std::string handling = "NEWCAR";
    for (size_t i = 1; i <= 35; ++i)
      handling += i == 15 ? " R" : i == 16 ? " P" : i == 31 || i == 32 ? " 4000" : " 1.0";
    if (pastLimits) {
      records.push_back({4, "data\\handling.cfg|handling.txt"});
      test::MakeDirs(game + "\\data");
      test::WriteFile(game + "\\data\\handling.cfg", "CAR0 1.0\r\n;the end\r\n");
    }
    test::WriteFile("scripts.bin", ScriptBytes(records));
    // Models the game can read, so that nothing is warned about.
    test::WriteFile("data.cab", test::PackageBytes({{"a.dff", test::RenderWareModel() + title},
                                                    {"b.dff", test::RenderWareModel()},
                                                    {"notes.txt", "notes of " + title},
                                                    {"handling.txt", handling + "\r\n"}}));
  }
  TWizardServices Services() {
    TWizardServices services{SystemFileSystem(), boxes, pump,   process, registry, locale,
                             folderDialog,       shell, restore};
    services.Apps = &apps;
    services.ProgramPath = program;
    services.ProgramCopyFolder = programs;
    return services;
  }
  // One run of merva.exe with these words; its exit code, its log in `log`.
  int Run(std::vector<std::string> words, std::string* log = nullptr) {
    words.push_back("/log=" + (dir / "run.log"));
    const TCommandLine line = ReadCommandLine(words);
    EXPECT_EQ(line.Error, "");
    fs::remove(test::Native(dir / "run.log"));
    form = std::make_unique<TForm1>(Services());
    int code = -1;
    {
      TRunLog runLog(SystemFileSystem(), line.Log);
      code = line.Undo ? form->SilentUndo(line, runLog) : form->SilentInstall(line, runLog);
    }
    if (log) *log = test::ReadFile(dir / "run.log");
    EXPECT_TRUE(boxes.Shown.empty() && boxes.Asked.empty()) << "an unattended run asks nothing";
    EXPECT_TRUE(form->CloseRequested);
    return code;
  }
  std::string Img() { return test::ReadFile(game + "\\models\\gta3.img"); }
};

TEST_F(TUnattendedTest, EachOutcomeEndsWithItsCodeAndIsToldInTheLog) {
  struct TCase {
    const char* what;
    std::function<void(TUnattendedTest&)> prepare;
    std::vector<std::string> words;
    int code;
    std::vector<const char*> logSays;
    bool installed;
  };
  const TCase cases[] = {
      {"installed",
       [](TUnattendedTest&) {},
       {"/silent", "/dir=GAME"},
       kExitDone,
       {"Mod: Title!.", "Game folder: GAME.", "Replaced entry a.dff in models\\gta3.img.",
        "Added entry b.dff to models\\gta3.img.", "Created game file data\\notes.txt.",
        "Restore point: game 1.", "Done: exit code 0."},
       true},
      {"refused by the installed level",
       [](TUnattendedTest& t) { t.WriteMod("Title!", "2.0"); },
       {"/verysilent", "/dir=GAME"},
       kExitRefusedByLevel,
       {"Refused by the installed level: refused for good\r\n", "exit code 3."},
       false},
      {"no game there",
       [](TUnattendedTest&) {},
       {"/silent", "/dir=GAME\\nothing"},
       kExitNoGame,
       {"Error: ", "models\\gta3.img", "exit code 5."},
       false},
      {"the Definitive Edition",
       [](TUnattendedTest& t) {
         test::MakeDirs(t.game + "\\Gameface\\Binaries\\Win64");
         test::WriteFile(t.game + "\\Gameface\\Binaries\\Win64\\SanAndreas.exe", "MZ");
       },
       {"/silent", "/dir=GAME"},
       kExitNoGame,
       {"Error: ", "The Definitive Edition, a different game", "exit code 5."},
       false},
      {"a mod for 1.0 into Steam 3.0",
       [](TUnattendedTest& t) {
         t.WriteMod("Title!", "", "1.0");
         test::WriteFile(t.game + "\\gta-sa.exe", test::SyntheticSteamProgram());
       },
       {"/silent", "/dir=GAME", "/anyedition"},
       kExitWrongEdition,
       {"Error: This mod is for GTA San Andreas 1.0 (US or EU); the game in this folder is Steam "
        "3.0. Nothing was changed.",
        "exit code 7."},
       false},
      {"a mod for 1.0 into an edition Merva cannot tell",
       [](TUnattendedTest& t) { t.WriteMod("Title!", "", "1.0"); },
       {"/silent", "/dir=GAME"},
       kExitWrongEdition,
       {"the game in this folder is an edition Merva does not know", "exit code 7."},
       false},
      {"the same, allowed",
       [](TUnattendedTest& t) { t.WriteMod("Title!", "", "1.0"); },
       {"/silent", "/dir=GAME", "/anyedition"},
       kExitDone,
       {"Done: exit code 0."},
       true},
      {"a mod past the game's limits",
       [](TUnattendedTest& t) { t.WriteMod("Title!", "", "", true); },
       {"/silent", "/dir=GAME"},
       kExitWrongEdition,
       {"Error: This mod would take the game past its limits", "handling names: the game uses 1",
        "exit code 7."},
       false},
      {"the same, allowed",
       [](TUnattendedTest& t) { t.WriteMod("Title!", "", "", true); },
       {"/silent", "/dir=GAME", "/pastlimits"},
       kExitDone,
       {"Done: exit code 0."},
       true},
      {"a mod for 1.0 into 1.0 US",
       [](TUnattendedTest& t) {
         t.WriteMod("Title!", "", "1.0 EU, 1.0 US");
         test::WriteFile(t.game + "\\gta_sa.exe", test::SyntheticUs10Program());
       },
       {"/silent", "/dir=GAME"},
       kExitDone,
       {"Done: exit code 0."},
       true},
      {"a doubtful model, warned about",
       [](TUnattendedTest&) {
         test::WriteFile("data.cab",
                         test::PackageBytes({{"a.dff", test::RenderWareModel(0x1003FFFF)},
                                             {"b.dff", "not a model"},
                                             {"notes.txt", "notes"}}));
       },
       {"/silent", "/dir=GAME"},
       kExitDone,
       {"Warning: a.dff: it was made with RenderWare 3.4.0.3",
        "Warning: b.dff: it is too short to be RenderWare", "Done: exit code 0."},
       true},
      {"no data files",
       [](TUnattendedTest&) { fs::remove("data.cab"); },
       {"/silent", "/dir=GAME"},
       kExitFailed,
       {"Error: Not found \"scripts.bin\" or \"data.cab\" files", "exit code 1."},
       false},
      {"a damaged script",
       [](TUnattendedTest&) { test::WriteFile("scripts.bin", "xx"); },
       {"/silent", "/dir=GAME"},
       kExitFailed,
       {"Notice: Unknow version of script-file or file damaged", "exit code 1."},
       false},
      // Last: it leaves another current folder. A batch file need not change folders.
      {"started from another folder",
       [](TUnattendedTest& t) { fs::current_path(t.dir.Path()); },
       {"/silent", "/dir=GAME"},
       kExitDone,
       {"Mod folder: ", "Replaced entry a.dff", "Done: exit code 0."},
       true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(test::Native(restore));
    test::WriteFile(game + "\\models\\gta3.img", original);
    fs::remove_all(test::Native(game + "\\data"));
    fs::remove_all(test::Native(game + "\\Gameface"));
    fs::remove(test::Native(game + "\\gta_sa.exe"));
    fs::remove(test::Native(game + "\\gta-sa.exe"));
    WriteMod("Title!", "");
    c.prepare(*this);
    std::vector<std::string> words;
    for (std::string word : c.words) {
      const size_t at = word.find("GAME");
      if (at != std::string::npos) word.replace(at, 4, game);
      words.push_back(word);
    }
    std::string log;
    EXPECT_EQ(Run(words, &log), c.code) << log;
    for (std::string says : c.logSays) {
      const size_t at = says.find("GAME");
      if (at != std::string::npos) says.replace(at, 4, game);
      EXPECT_NE(log.find(says), std::string::npos) << says << "\n" << log;
    }
    EXPECT_EQ(Img() != original, c.installed);
    EXPECT_EQ(apps.Entries.size(), c.installed ? 1u : 0u);
    apps.Entries.clear();
  }
}

// A model ID another installed mod uses for its own car is given to another only when told.
TEST_F(TUnattendedTest, ALineAnotherModWroteBecomesAnotherThingOnlyWhenTold) {
  const std::string ide = game + "\\data\\vehicles.ide";
  test::MakeDirs(game + "\\data");
  test::WriteFile(ide, "cars\r\nend\r\n");
  const auto mod = [](const std::string& title, const std::string& model) {
    test::WriteFile("scripts.bin", ScriptBytes({{20, title}, {4, "data\\vehicles.ide|cars.txt"}}));
    test::WriteFile("data.cab",
                    test::PackageBytes(
                        {{"cars.txt", "cars\r\n611, " + model +
                                          ", x, car, A, A, null, normal, 10, 0, 0\r\nend\r\n"}}));
  };
  mod("First", "mycar");
  ASSERT_EQ(Run({"/verysilent", "/dir=" + game}), kExitDone);
  mod("Second", "othercar");
  std::string log;
  EXPECT_EQ(Run({"/verysilent", "/dir=" + game}, &log), kExitFailed);
  EXPECT_NE(
      log.find(
          "The mod would change what another installed mod wrote: 611 in "
          "data\\vehicles.ide is \"611, mycar, x, car, A, A, null, normal, 10, 0, 0\" of First"),
      std::string::npos)
      << log;
  EXPECT_EQ(test::ReadFile(ide),
            "cars\r\n611, mycar, x, car, A, A, null, normal, 10, 0, 0\r\nend\r\n");
  EXPECT_EQ(Run({"/verysilent", "/replacelines", "/dir=" + game}, &log), kExitDone);
  EXPECT_EQ(test::ReadFile(ide),
            "cars\r\n611, othercar, x, car, A, A, null, normal, 10, 0, 0\r\nend\r\n");
  EXPECT_NE(log.find("Replaced line cars 611 in data\\vehicles.ide."), std::string::npos) << log;
}

TEST_F(TUnattendedTest, AGameHeldByAnotherRunEndsWithCodeFour) {
  const TGameLock held(SystemFileSystem(), game);
  std::string log;
  EXPECT_EQ(Run({"/verysilent", "/dir=" + game}, &log), kExitBusy);
  EXPECT_NE(log.find("is running"), std::string::npos) << log;
  EXPECT_EQ(Img(), original);
}

TEST_F(TUnattendedTest, TheEntryTakesExactlyThatInstallationBackAndLeavesWithIt) {
  ASSERT_EQ(Run({"/silent", "/dir=" + game}), kExitDone);
  ASSERT_EQ(apps.Entries.size(), 1u);
  const std::string key = InstalledAppKey(restore, "game 1");
  ASSERT_EQ(apps.Entries.count(key), 1u);
  std::map<std::string, TAppValue>& entry = apps.Entries[key];
  const std::string copy = restore + "\\merva.exe";
  const std::string undo = "\"" + copy + "\" /undo /point=\"" + restore + "\\game 1\" /dir=\"" +
                           test::Native(game) + "\"";
  EXPECT_EQ(entry["DisplayName"].Text, "Title! (GTA San Andreas mod)");
  EXPECT_EQ(entry["UninstallString"].Text, undo);
  EXPECT_EQ(entry["QuietUninstallString"].Text, undo + " /silent");
  EXPECT_EQ(entry["InstallLocation"].Text, test::Native(game));
  EXPECT_EQ(entry["DisplayIcon"].Text, copy);
  EXPECT_EQ(entry["InstallDate"].Text.size(), 8u);
  EXPECT_TRUE(entry["NoModify"].IsNumber && entry["NoModify"].Number == 1);
  EXPECT_TRUE(entry["NoRepair"].IsNumber && entry["NoRepair"].Number == 1);
  EXPECT_TRUE(entry["EstimatedSize"].IsNumber && entry["EstimatedSize"].Number >= 1);
  EXPECT_EQ(test::ReadFile(copy), test::ReadFile(program));

  // Its quiet uninstall command, once the mod's own folder is gone.
  WriteMod("Second", "");
  ASSERT_EQ(Run({"/silent", "/dir=" + game}), kExitDone);
  ASSERT_EQ(apps.Entries.size(), 2u);
  std::string log;
  const std::string installed = Img();
  // The older one goes first, under the later one, which stays listed with its point rewritten.
  ASSERT_EQ(Run({"/undo", "/point=game 1", "/dir=" + game, "/silent"}, &log), kExitDone) << log;
  EXPECT_NE(log.find("stays as Second installed it."), std::string::npos) << log;
  EXPECT_NE(log.find("The restore points of the later installations were rewritten: game 2."),
            std::string::npos)
      << log;
  EXPECT_EQ(apps.Entries.count(key), 0u);
  EXPECT_EQ(apps.Entries.count(InstalledAppKey(restore, "game 2")), 1u);
  EXPECT_EQ(Img(), installed) << "both mods wrote the same entries: the later one's stay";
  fs::remove_all(test::Native(dir / "mod"));
  ASSERT_EQ(Run({"/undo", "/point=game 2", "/dir=" + game, "/verysilent"}, &log), kExitDone) << log;
  EXPECT_TRUE(apps.Entries.empty());
  EXPECT_EQ(Img(), original);
  EXPECT_FALSE(test::Exists(game + "\\data\\notes.txt"));
  EXPECT_NE(installed, original);
}

// Two restore folders (MERVA_RESTORE_DIR set for one run) both hold a "game 1": each entry's
// command, split as merva.exe splits it, takes back its own point, whatever restore folder the
// process that runs it is given.
TEST_F(TUnattendedTest, EachEntryTakesBackItsOwnPointWhateverFolderItsProcessIsGiven) {
  const std::string first = dir / "r1", second = dir / "r2\\";
  test::MakeDirs(first);
  test::MakeDirs(second);
  restore = first;
  ASSERT_EQ(Run({"/silent", "/dir=" + game}), kExitDone);
  const std::string afterFirst = Img();
  WriteMod("Second", "");
  restore = FolderWithoutFinalSeparators(second);
  ASSERT_EQ(Run({"/silent", "/dir=" + game}), kExitDone);
  ASSERT_EQ(apps.Entries.size(), 2u) << "one entry for each point";
  const std::string secondKey = InstalledAppKey(restore, "game 1");
  const std::string quiet = apps.Entries[secondKey]["QuietUninstallString"].Text;

  restore = first;  // the process that runs the command is given the other folder
  std::string log;
  ASSERT_EQ(Run(SplitCommandLine(quiet), &log), kExitDone) << quiet << "\n" << log;
  EXPECT_EQ(Img(), afterFirst);
  EXPECT_FALSE(test::Exists(second + "game 1"));
  EXPECT_TRUE(test::Exists(first + "\\game 1"));
  EXPECT_EQ(apps.Entries.count(secondKey), 0u);
  EXPECT_EQ(apps.Entries.count(InstalledAppKey(first, "game 1")), 1u);
}

// An entry an earlier version made runs a copy beside the points and names its point alone: the
// next installation lists it again with the copy in the program folder, and the old copy is
// left unused.
TEST_F(TUnattendedTest, EarlierEntriesRunTheProtectedCopyOnceOneIsKept) {
  ASSERT_EQ(Run({"/silent", "/dir=" + game}), kExitDone);
  const std::string key = InstalledAppKey(restore, "game 1");
  const std::string oldCopy = restore + "\\merva.exe";
  ASSERT_TRUE(test::Exists(oldCopy));
  const std::string oldCommand = "\"" + oldCopy + "\" /undo /point=\"game 1\" \"" + game + "\"";
  apps.Entries[key]["DisplayIcon"].Text = oldCopy;
  apps.Entries[key]["UninstallString"].Text = oldCommand;

  programs = dir / "Program Files\\Merva";
  WriteMod("Second", "");
  ASSERT_EQ(Run({"/silent", "/dir=" + game}), kExitDone);
  const std::string copy = programs + "\\merva.exe";
  EXPECT_EQ(test::ReadFile(copy), test::ReadFile(program));
  for (const char* point : {"game 1", "game 2"}) {
    std::map<std::string, TAppValue>& entry = apps.Entries[InstalledAppKey(restore, point)];
    EXPECT_EQ(entry["DisplayIcon"].Text, copy) << point;
    EXPECT_EQ(entry["UninstallString"].Text, "\"" + copy + "\" /undo /point=\"" + restore + "\\" +
                                                 point + "\" /dir=\"" + test::Native(game) + "\"")
        << point;
  }
  EXPECT_EQ(apps.Entries[key]["DisplayName"].Text, "Title! (GTA San Andreas mod)");
}

// A log is never a file the run writes, holds or reads, however the path is spelt; it may be
// any other file, in the game folder too. Nothing is written to find out.
TEST_F(TUnattendedTest, TheLogIsRefusedAtAnyFileTheRunTouches) {
  ASSERT_EQ(Run({"/silent", "/dir=" + game}), kExitDone);  // a point, for the undo's cases
  const std::string mod = dir / "mod";
  struct TCase {
    std::string log;
    bool undo;
    const char* says;  // empty: allowed
  };
  const TCase cases[] = {
      {game + "\\models\\gta3.img", false, "one of the installer's own files"},
      {game + "\\MODELS\\.\\Gta3.img. ", false, "one of the installer's own files"},
      {game + "\\models\\temp.img", false, "one of the installer's own files"},
      {game + "\\merva.lock", true, "one of the installer's own files"},
      {game + "\\merva-install.tmp\\x.log", false, "one of the installer's own files"},
      {game + "\\data\\notes.txt", false, "the game file data\\notes.txt"},
      {game + "\\Data\\NOTES.TXT", true, "the game file data\\notes.txt"},
      {restore + "\\run.log", false, "in the restore folder"},
      {restore + "\\game 1\\changes.txt", true, "in the restore folder"},
      {mod + "\\scripts.bin", false, "the mod's scripts.bin"},
      {"data.cab", false, "the mod's data.cab"},
      {program, true, "the installer itself"},
      {game + "\\install.log", false, ""},
      {game + "\\data\\other.txt", true, ""},
      {dir / "batch.log", false, ""},
  };
  form = std::make_unique<TForm1>(Services());
  const auto before = test::TreeOf(dir.Path());
  for (const TCase& c : cases) {
    std::vector<std::string> words = {"/silent", "/dir=" + game, "/log=" + c.log};
    if (c.undo) words.push_back("/undo");
    const std::string fault = form->LogTargetFault(ReadCommandLine(words));
    if (*c.says)
      EXPECT_NE(fault.find(c.says), std::string::npos) << c.log << ": " << fault;
    else
      EXPECT_EQ(fault, "") << c.log;
  }
  EXPECT_EQ(test::TreeDifference(test::TreeOf(dir.Path()), before), "");
}

// Unattended, nothing is asked: the player's later edit refuses the undo, which says how to
// choose, and changes nothing.
TEST_F(TUnattendedTest, AnUndoThatWouldAskRefusesAndSaysHowToChoose) {
  ASSERT_EQ(Run({"/silent", "/dir=" + game}), kExitDone);
  test::WriteFile(game + "\\data\\notes.txt", "the player's notes");
  const std::string installed = Img();
  std::string log;
  EXPECT_EQ(Run({"/undo", "/verysilent", "/dir=" + game}, &log), kExitFailed);
  EXPECT_NE(log.find("Game files were changed since Title!"), std::string::npos) << log;
  EXPECT_NE(log.find("Run merva.exe /undo without /silent to choose.\r\n"), std::string::npos)
      << log;
  EXPECT_LT(log.find("to choose."), log.find("Ended with exit code 1.")) << log;
  EXPECT_EQ(Img(), installed);
  EXPECT_EQ(test::ReadFile(game + "\\data\\notes.txt"), "the player's notes");
  EXPECT_EQ(apps.Entries.size(), 1u);
}

TEST_F(TUnattendedTest, AnEntryWhosePointWentIsTakenOutByTheNextRun) {
  ASSERT_EQ(Run({"/silent", "/dir=" + game}), kExitDone);
  apps.Entries["Merva.foreign"]["MervaRestorePoint"] = {"MervaRestorePoint", dir / "other\\game 1"};
  apps.Entries["SomeoneElse"]["DisplayName"] = {"DisplayName", "Not ours"};
  // The point goes as the recovery of a killed undo removes it.
  RemovePointFolder(SystemFileSystem(), restore + "\\game 1");
  UnlistVanishedInstallations(apps, SystemFileSystem(), restore);
  EXPECT_EQ(apps.Entries.count(InstalledAppKey(restore, "game 1")), 0u);
  EXPECT_EQ(apps.Entries.count("Merva.foreign"), 1u) << "another restore folder's";
  EXPECT_EQ(apps.Entries.count("SomeoneElse"), 1u);
}

// The restore folder spelt otherwise, as Windows reads it ("C:\R", "c:\r\"): the entry of a
// point is still found, when its point goes and when its installation is taken back.
TEST(InstalledApps, AnEntryIsFoundWhateverTheSpellingOfItsRestoreFolder) {
  TTempDir dir;
  test::TFakeInstalledApps apps;
  TRestorePoint point;
  point.Folder = "game 1";
  point.GameFolder = "C:\\G";
  const std::string listedAs = dir / "Restore", readAs = dir / "RESTORE\\";
  ASSERT_TRUE(ListInstallation(apps, listedAs, point, "C:\\merva.exe", 10));
  UnlistVanishedInstallations(apps, SystemFileSystem(), FolderWithoutFinalSeparators(readAs));
  EXPECT_TRUE(apps.Entries.empty()) << "its point is not there";

  ASSERT_TRUE(ListInstallation(apps, listedAs, point, "C:\\merva.exe", 10));
  UnlistInstallation(apps, FolderWithoutFinalSeparators(readAs), "GAME 1");
  EXPECT_TRUE(apps.Entries.empty());
}

// A failure at any step of an installation leaves either its point with its entry, or neither:
// never an entry without a point.
TEST_F(TUnattendedTest, AFailureAtAnyStepLeavesNoEntryWithoutItsPoint) {
  TFaultyFileSystem faulty(SystemFileSystem());
  test::TFakeBoxes notices;
  TNoProgress progress;
  TInstallRequest request;
  for (uint64_t n = 1;; ++n) {
    // A fresh start: a journal left for the restore folder removed here would wait for it.
    fs::remove_all(test::Native(restore));
    fs::remove(test::Native(JournalPathOf(game)));
    test::WriteFile(game + "\\models\\gta3.img", original);
    fs::remove_all(test::Native(game + "\\data"));
    apps.Entries.clear();
    request = ReadInstallRequest(SystemFileSystem(), notices, nullptr, locale, restore);
    request.ProgramPath = program;
    faulty.FailAt(n, kDiskFull);
    try {
      TInstallation(request, game, {faulty, notices, progress, nullptr, &apps}).Run();
    } catch (const Exception& e) {
      if (!faulty.Fired()) ADD_FAILURE() << e.what();
    }
    for (const std::string& key : apps.Keys()) {
      const std::string point = apps.ReadText(key, "MervaRestorePoint");
      EXPECT_TRUE(fs::is_directory(test::Native(point))) << "step " << n << ": " << point;
    }
    if (!faulty.Fired()) break;
  }
  EXPECT_EQ(apps.Entries.size(), 1u) << "the run without a fault is listed";
}

// An installation killed right after its commit leaves its point unfinished and the game half
// changed: a run that is not given the game finishes that run first. The wizard, opened and
// cancelled, leaves it installed; an undo takes it back, never saying there is nothing to take
// back.
TEST_F(TUnattendedTest, ARunWithoutAFolderFinishesAKilledInstallationFirst) {
  const auto killAfterCommit = [&] {
    TFaultyFileSystem faulty(SystemFileSystem());
    TNoProgress progress;
    bool halfDone = false;
    for (uint64_t n = 1; !halfDone; ++n) {
      fs::remove_all(test::Native(restore));
      fs::remove(test::Native(JournalPathOf(game)));
      test::WriteFile(game + "\\models\\gta3.img", original);
      fs::remove_all(test::Native(game + "\\data"));
      TInstallRequest request =
          ReadInstallRequest(SystemFileSystem(), boxes, nullptr, locale, restore);
      faulty.FailAt(n, kAccessDenied);
      try {
        TInstallation(request, game, {faulty, boxes, progress}).Run();
      } catch (const EHalfDone&) {
        halfDone = true;
      } catch (const Exception&) {
      }
      ASSERT_TRUE(halfDone || faulty.Fired()) << "no step of the finish failed";
    }
    ASSERT_TRUE(ListRestorePoints(SystemFileSystem(), restore, "").empty()) << "the point is done";
  };
  killAfterCommit();
  form = std::make_unique<TForm1>(Services());
  form->HandleEvent([&] { form->FormCreate(); });
  form->HandleEvent([&] { form->Image5Click(); });
  EXPECT_EQ(ListRestorePoints(SystemFileSystem(), restore, "").size(), 1u);
  EXPECT_FALSE(test::Exists(JournalPathOf(game)));
  EXPECT_EQ(test::ReadFile(game + "\\data\\notes.txt"), "notes of Title!");

  killAfterCommit();
  std::string log;
  EXPECT_EQ(Run({"/undo", "/verysilent"}, &log), kExitDone) << log;
  EXPECT_EQ(test::ReadFile(game + "\\models\\gta3.img"), original);
  EXPECT_FALSE(test::Exists(game + "\\data\\notes.txt"));
}

}  // namespace
}  // namespace merva
