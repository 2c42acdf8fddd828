#include <gtest/gtest.h>

#include <filesystem>

#include "core/cp1251.h"
#include "core/errors.h"
#include "operations/mod_files_check.h"
#include "tests/support/fakes.h"
#include "tests/support/renderware_files.h"
#include "tests/support/synthetic_program.h"
#include "wizard/form.h"

namespace merva {
namespace {

using test::ScriptBytes;
using test::TTempDir;

// The wizard on fakes, in a mod folder of its own that is the current directory.
struct TWizardTest : ::testing::Test, test::TWizardFakes {
  TTempDir dir;
  std::string previous;
  std::unique_ptr<TForm1> form;
  std::string game = dir / "game";

  void SetUp() override {
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    test::MakeDirs(dir / "game\\models");
    test::WriteFile(dir / "game\\models\\gta3.img", test::BuildArchive({{1, 1, "a.dff"}}));
    WriteMod(ScriptBytes({{20, "Title!"},
                          {11, "welcome"},
                          {12, "agreement"},
                          {13, "folder"},
                          {14, "progress"},
                          {15, "finish"},
                          {10, "refused"},
                          {22, "agree"},
                          {1, "a.dff"}}));
    MakeForm();
  }
  void MakeForm() {
    form = std::make_unique<TForm1>(TWizardServices{SystemFileSystem(), boxes, pump, process,
                                                    registry, locale, folderDialog, shell});
  }
  void TearDown() override { std::filesystem::current_path(previous); }
  void WriteMod(const std::string& script) {
    test::WriteFile("scripts.bin", script);
    test::WriteFile("data.cab", test::PackageBytes({{"a.dff", test::RenderWareModel()}}));
  }
  void Event(void (TForm1::*handler)()) {
    form->HandleEvent([&] { (form.get()->*handler)(); });
  }
  // A click through the window: a hidden or disabled picture does not react.
  void Click(void (TForm1::*handler)(), const TControl& control) {
    if (control.Visible && control.Enabled) Event(handler);
  }
  void Next() { Click(&TForm1::Image4Click, form->Image4); }
  // A new wizard that keeps restore points, taken through the pages to its installation.
  void InstallThroughThePages() {
    form =
        std::make_unique<TForm1>(TWizardServices{SystemFileSystem(), boxes, pump, process, registry,
                                                 locale, folderDialog, shell, dir / "restore"});
    Start();
    Next();
    Tick();
    Next();
    Next();
  }
  void Back() { Click(&TForm1::Image3Click, form->Image3); }
  void Start() {
    Event(&TForm1::FormCreate);
    form->Edit1.Text = game;
  }
  void Tick() {
    form->CheckBox1.Checked = !form->CheckBox1.Checked;
    Event(&TForm1::CheckBox1Click);
  }
  // Visible and enabled state of Back, Next, Cancel, then the other controls shown.
  std::string Page() {
    auto state = [](const TControl& c) {
      return std::string(c.Visible ? "shown" : "hidden") + (c.Enabled ? "" : "-off");
    };
    std::string page = state(form->Image3) + " " + state(form->Image4) + " " + state(form->Image5);
    if (form->CheckBox1.Visible) page += " +check";
    if (form->Edit1.Visible) page += " +edit";
    if (form->Button4.Visible) page += " +browse";
    if (form->ProgressBar1.Visible) page += " +progress";
    return page;
  }
};

TEST_F(TWizardTest, TheNormalWayThroughEveryPage) {
  Start();
  EXPECT_EQ(form->Label2.Text, "Title!");
  enum TAction { kNone, kNext, kTick };
  struct TRow {
    TAction action;
    int step;
    const char* text;
    const char* page;
  };
  const TRow rows[] = {
      {kNone, 1, "welcome", "hidden-off shown shown"},
      {kNext, 2, "agreement", "shown shown-off shown +check"},
      {kNext, 2, "agreement", "shown shown-off shown +check"},  // not ticked: Next is off
      {kTick, 2, "agreement", "shown shown shown +check"},
      {kNext, 3, "folder", "shown shown shown +edit +browse"},
      {kNext, 5, "finish", "hidden-off shown hidden-off"},
  };
  for (const TRow& row : rows) {
    if (row.action == kTick) Tick();
    if (row.action == kNext) Next();
    EXPECT_EQ(form->Step, row.step) << row.text;
    EXPECT_EQ(form->Label1.Text, row.text);
    EXPECT_EQ(Page(), row.page) << row.text;
  }
  EXPECT_EQ(form->CheckBox1.Text, "agree");
  EXPECT_TRUE(boxes.Shown.empty());
  EXPECT_EQ(form->Archive.FileName, game + "\\models\\gta3.img");
  EXPECT_TRUE(form->Archive.Loaded);
  Next();
  EXPECT_TRUE(form->CloseRequested);
  EXPECT_EQ(form->Step, 5);
}

// A model the game may not read is told in one box before the run changes anything, and
// installed all the same.
TEST_F(TWizardTest, ADoubtfulModelIsWarnedAboutAndInstalled) {
  test::WriteFile("data.cab", test::PackageBytes({{"a.dff", "a readme renamed"}}));
  Start();
  Next();
  Tick();
  Next();
  Next();
  EXPECT_EQ(form->Step, 5);
  ASSERT_EQ(boxes.Shown.size(), 1u);
  EXPECT_EQ(boxes.Shown[0].Kind, TBoxKind::kPlain);
  EXPECT_EQ(boxes.Shown[0].Text, std::string(kModFilesWarningText) +
                                     "\na.dff: it is not a model the game can read: it is no "
                                     "RenderWare file (it starts with 0x65722061)");
  EXPECT_NE(test::ReadFile(game + "\\models\\gta3.img").find("a readme renamed"),
            std::string::npos);
}

TEST_F(TWizardTest, BackAndTheTickSurviveMovingBetweenPages) {
  Start();
  Next();
  Tick();
  Back();
  EXPECT_EQ(form->Step, 1);
  EXPECT_EQ(Page(), "hidden-off shown shown");
  Back();  // never below 1
  EXPECT_EQ(form->Step, 1);
  Next();
  EXPECT_EQ(Page(), "shown shown shown +check");  // still ticked: Next active at once
  Tick();
  EXPECT_EQ(Page(), "shown shown-off shown +check");
}

TEST_F(TWizardTest, CancelClosesFromEveryPageBeforeTheFinish) {
  for (int nexts = 0; nexts < 3; ++nexts) {
    MakeForm();
    Start();
    Tick();
    for (int i = 0; i < nexts; ++i) Next();
    const uint8_t step = form->Step;
    Event(&TForm1::Image5Click);
    EXPECT_TRUE(form->CloseRequested);
    EXPECT_EQ(form->Step, step);
  }
}

TEST_F(TWizardTest, AScriptCutShortIsToldAndTheWizardEndsBeforeAnyPage) {
  const std::string whole = ScriptBytes({{20, "Title!"}, {11, "welcome"}, {1, "a.dff"}});
  const std::string archive = test::ReadFile(game + "\\models\\gta3.img");
  for (const size_t cut : {size_t{3}, size_t{8}}) {  // inside the payload, inside the length
    WriteMod(whole.substr(0, whole.size() - cut));
    MakeForm();
    boxes.Shown.clear();
    EXPECT_THROW(Event(&TForm1::FormCreate), test::TProgramEnded) << cut;
    ASSERT_EQ(boxes.Shown.size(), 1u) << cut;
    EXPECT_EQ(boxes.Shown[0].Text,
              "scripts.bin: the installation script is damaged: it ends inside a record. Nothing "
              "was installed.");
    EXPECT_NE(form->Label1.Text, "welcome") << "no page was shown";
  }
  EXPECT_EQ(test::ReadFile(game + "\\models\\gta3.img"), archive);
}

TEST_F(TWizardTest, MissingDataFilesEndTheProgramWithTheMessage) {
  for (const char* missing : {"scripts.bin", "data.cab"}) {
    std::filesystem::remove(missing);
    boxes.Shown.clear();
    EXPECT_THROW(form->FormCreate(), test::TProgramEnded);
    ASSERT_EQ(boxes.Shown.size(), 1u);
    EXPECT_EQ(boxes.Shown[0].Kind, TBoxKind::kPlain);
    EXPECT_EQ(boxes.Shown[0].Text, "Not found \"scripts.bin\" or \"data.cab\" files");
    WriteMod(ScriptBytes({}));
  }
}

TEST_F(TWizardTest, AnErrorWhileLoadingLeavesTheDesignTimeWindow) {
  WriteMod(ScriptBytes({{20, "never shown"}, {21, "1.5.2"}, {11, "never"}}));
  Start();
  ASSERT_EQ(boxes.Shown.size(), 1u);
  EXPECT_EQ(boxes.Shown[0].Kind, TBoxKind::kErrorReport);
  EXPECT_EQ(boxes.Shown[0].Text, "'1.5.2' is not a valid floating point value.");
  EXPECT_EQ(form->Label1.Text, "Здесь краткое описание мода");
  EXPECT_EQ(form->Label2.Text, "Title");
  EXPECT_EQ(form->Step, 1);
  EXPECT_FALSE(form->CheckBox1.Visible);
  EXPECT_EQ(Page(), "shown shown shown +edit +browse +progress");
}

TEST_F(TWizardTest, ARefusedPackageShowsOnlyTheRefusalText) {
  WriteMod(ScriptBytes({{15, "finish"}, {10, "refused"}, {21, "2.0"}}));
  Start();
  EXPECT_EQ(form->Step, 5);
  EXPECT_EQ(form->Label1.Text, "refused");
  EXPECT_EQ(form->Script.FinishText, "refused");
  EXPECT_EQ(Page(), "hidden-off shown hidden-off");
  Next();
  EXPECT_TRUE(form->CloseRequested);
}

TEST_F(TWizardTest, AFolderWithoutAnArchiveOpensTheDialog) {
  Start();
  Next();
  Tick();
  form->Edit1.Text = dir / "nowhere";
  folderDialog.Answers = {"", "", game};
  Next();
  EXPECT_EQ(folderDialog.Calls, 1);
  EXPECT_EQ(folderDialog.LastCaption, "Путь к игре GTA: San Andreass");
  EXPECT_TRUE(form->BrowseCancelled);
  Next();  // stays on the folder page and asks again
  EXPECT_EQ(form->Step, 3);
  EXPECT_EQ(folderDialog.Calls, 2);
  form->Edit1.Text = game;  // a typed folder with an archive does not undo the cancel
  Next();
  EXPECT_EQ(form->Step, 3);
  EXPECT_EQ(form->Archive.FileName, game + "\\models\\gta3.img");
  EXPECT_TRUE(form->BrowseCancelled);
  Event(&TForm1::Button4Click);  // chosen in the dialog
  EXPECT_FALSE(form->BrowseCancelled);
  EXPECT_EQ(form->Edit1.Text, game);
  EXPECT_TRUE(form->Archive.Loaded);
  Next();
  EXPECT_EQ(form->Step, 5);
}

TEST_F(TWizardTest, ChosenThenCancelledKeepsTheFirstChoice) {
  Start();
  folderDialog.Answers = {"C:\\", ""};
  Event(&TForm1::Button4Click);
  EXPECT_EQ(form->Archive.FileName, "C:\\\\models\\gta3.img");  // a drive root: two backslashes
  ASSERT_EQ(boxes.Shown.size(), 1u);  // no archive there: told, and the choice stands
  EXPECT_FALSE(form->BrowseCancelled);
  Event(&TForm1::Button4Click);
  EXPECT_TRUE(form->BrowseCancelled);
  EXPECT_EQ(form->Edit1.Text, "C:\\");
  EXPECT_EQ(form->Archive.FileName, "C:\\\\models\\gta3.img");
  Next();  // the welcome page does not advance, but showing it again clears the cancel
  EXPECT_EQ(form->Step, 1);
  EXPECT_FALSE(form->BrowseCancelled);
}

TEST_F(TWizardTest, BackAndNextWaitForTheRunAndCancelEndsItAfterwards) {
  Start();
  Next();
  Tick();
  Next();
  int clicks = 0;
  pump.OnProcess = [&] {
    ++clicks;
    EXPECT_TRUE(form->Installing);
    Event(&TForm1::Image4Click);
    Event(&TForm1::Image3Click);
    Event(&TForm1::Image5Click);
    EXPECT_EQ(form->Step, 4);
  };
  Next();
  EXPECT_GT(clicks, 0);
  EXPECT_FALSE(form->Installing);
  EXPECT_EQ(form->Step, 5);
  EXPECT_TRUE(form->CloseRequested);
}

TEST_F(TWizardTest, AFailedRunStaysOnTheInstallingPage) {
  Start();
  Next();
  Tick();
  Next();
  std::filesystem::rename("data.cab", "data.cab.away");
  Next();
  ASSERT_EQ(boxes.Shown.size(), 1u);
  EXPECT_EQ(boxes.Shown[0].Text, "File not found.");
  EXPECT_EQ(form->Step, 4);
  EXPECT_EQ(form->Label1.Text, "progress");
  EXPECT_FALSE(form->Installing);
  Back();
  EXPECT_EQ(form->Step, 3);
  Next();  // the run again, failing again
  Next();  // and again: a failed run is never told as done
  EXPECT_EQ(boxes.Shown.size(), 3u);
  EXPECT_EQ(form->Step, 4);
  std::filesystem::rename("data.cab.away", "data.cab");
  Next();  // the cause gone, the run completes and only then the finish shows
  EXPECT_EQ(boxes.Shown.size(), 3u);
  EXPECT_EQ(form->Step, 5);
  EXPECT_EQ(form->Label1.Text, "finish");
}

// A model ID another installed mod uses for its own car: the player is asked, and No changes
// nothing.
TEST_F(TWizardTest, ALineAnotherModWroteIsChangedOnlyWhenThePlayerSaysSo) {
  const std::string ide = game + "\\data\\vehicles.ide";
  test::MakeDirs(game + "\\data");
  test::WriteFile(ide, "cars\r\nend\r\n");
  const auto install = [&](const std::string& title, const std::string& model) {
    test::WriteFile("scripts.bin", ScriptBytes({{20, title}, {4, "data\\vehicles.ide|cars.txt"}}));
    test::WriteFile("data.cab",
                    test::PackageBytes(
                        {{"cars.txt", "cars\r\n611, " + model +
                                          ", x, car, A, A, null, normal, 10, 0, 0\r\nend\r\n"}}));
    InstallThroughThePages();
  };
  install("First", "mycar");
  ASSERT_EQ(form->Step, 5);
  boxes.Answers = {false, true};
  install("Second", "othercar");
  ASSERT_EQ(boxes.Asked.size(), 1u);
  EXPECT_NE(boxes.Asked[0].find("611 in data\\vehicles.ide is \"611, mycar, x, car, A, A, null, "
                                "normal, 10, 0, 0\" of First"),
            std::string::npos)
      << boxes.Asked[0];
  EXPECT_EQ(form->Step, 4);
  EXPECT_EQ(test::ReadFile(ide),
            "cars\r\n611, mycar, x, car, A, A, null, normal, 10, 0, 0\r\nend\r\n");
  Next();  // asked again, and Yes
  EXPECT_EQ(form->Step, 5);
  EXPECT_EQ(test::ReadFile(ide),
            "cars\r\n611, othercar, x, car, A, A, null, normal, 10, 0, 0\r\nend\r\n");
}

// A mod past one of the game's limits is asked about with No as the default, and No changes
// nothing.
TEST_F(TWizardTest, AModPastTheGamesLimitsIsAskedAboutNoFirst) {
  const std::string handling = game + "\\data\\handling.cfg";
  test::MakeDirs(game + "\\data");
  test::WriteFile(handling, "CAR0 1.0\r\n;the end\r\n");
  std::string line = "NEWCAR";
  for (size_t i = 1; i <= 35; ++i)
    line += i == 15 ? " R" : i == 16 ? " P" : i == 31 || i == 32 ? " 4000" : " 1.0";
  test::WriteFile("scripts.bin",
                  ScriptBytes({{20, "Title!"}, {4, "data\\handling.cfg|handling.txt"}}));
  test::WriteFile("data.cab", test::PackageBytes({{"handling.txt", line + "\r\n"}}));
  boxes.Answers = {false, true};
  InstallThroughThePages();
  ASSERT_EQ(boxes.Asked.size(), 1u);
  EXPECT_EQ(boxes.Defaults[0], TAnswer::kNo);
  EXPECT_NE(boxes.Asked[0].find("handling names: the game uses 1, the mod adds 1"),
            std::string::npos)
      << boxes.Asked[0];
  EXPECT_EQ(form->Step, 4);
  EXPECT_EQ(test::ReadFile(handling), "CAR0 1.0\r\n;the end\r\n");
  Next();  // asked again, and Yes
  EXPECT_EQ(form->Step, 5);
  EXPECT_NE(test::ReadFile(handling).find("NEWCAR"), std::string::npos);
}

// A mod for 1.0: a Steam game is refused, one Merva cannot tell is asked about (No changes
// nothing, Yes installs), a 1.0 one takes it without a word.
TEST_F(TWizardTest, AModForSomeEditionsIsRefusedOrAskedAboutElsewhere) {
  const std::string archive = test::ReadFile(game + "\\models\\gta3.img");
  const auto install = [&](const std::string& program, const std::string& bytes) {
    std::filesystem::remove(test::Native(game + "\\gta_sa.exe"));
    std::filesystem::remove(test::Native(game + "\\gta-sa.exe"));
    if (!program.empty()) test::WriteFile(game + "\\" + program, bytes);
    test::WriteFile("scripts.bin", ScriptBytes({{20, "Title!"}, {1, "a.dff"}, {5, "1.0"}}));
    test::WriteFile("data.cab", test::PackageBytes({{"a.dff", "new a"}}));
    InstallThroughThePages();
  };
  install("gta-sa.exe", test::SyntheticSteamProgram());
  EXPECT_TRUE(boxes.Asked.empty());
  ASSERT_EQ(boxes.Shown.size(), 1u);
  EXPECT_NE(
      boxes.Shown[0].Text.find("This mod is for GTA San Andreas 1.0 (US or EU); the game in this "
                               "folder is Steam 3.0. Nothing was changed."),
      std::string::npos)
      << boxes.Shown[0].Text;
  EXPECT_EQ(form->Step, 4);
  EXPECT_EQ(test::ReadFile(game + "\\models\\gta3.img"), archive);

  boxes.Answers = {false, true};
  install("", "");
  ASSERT_EQ(boxes.Asked.size(), 1u);
  EXPECT_NE(boxes.Asked[0].find("the game in this folder is an edition Merva does not know (no "
                                "gta_sa.exe in the folder), so Merva cannot tell"),
            std::string::npos)
      << boxes.Asked[0];
  EXPECT_EQ(form->Step, 4);
  EXPECT_EQ(test::ReadFile(game + "\\models\\gta3.img"), archive);
  Next();  // asked again, and Yes
  EXPECT_EQ(form->Step, 5);
  EXPECT_NE(test::ReadFile(game + "\\models\\gta3.img"), archive);

  boxes.Asked.clear();
  install("gta_sa.exe", test::SyntheticUs10Program());
  EXPECT_TRUE(boxes.Asked.empty());
  EXPECT_EQ(form->Step, 5);
}

TEST_F(TWizardTest, LinksPointersAndTheHiddenButtons) {
  Start();
  Event(&TForm1::Image2Click);
  Event(&TForm1::Image6Click);
  ASSERT_EQ(shell.Opened.size(), 2u);
  EXPECT_EQ(shell.Opened[0].find('/', 8), std::string::npos);  // a home page: no path
  EXPECT_NE(
      shell.Opened[1].find("/modules.php?name=Articles&file=category&articles_categories_id=1"),
      std::string::npos);
  EXPECT_EQ(form->Step, 1);
  EXPECT_EQ(form->Image4.Cursor, crDefault);
  Event(&TForm1::Image4MouseMove);
  EXPECT_EQ(form->Image4.Cursor, crHandPoint);
}

TEST(ReportError, FollowsTheFrameworksFullStopRule) {
  test::TFakeBoxes boxes;
  ReportError(boxes, "Disk full");
  ReportError(boxes, "Unable to create archive file.");
  EXPECT_EQ(boxes.Shown[0].Text, "Disk full.");
  EXPECT_EQ(boxes.Shown[1].Text, "Unable to create archive file.");
  EXPECT_EQ(boxes.Shown[1].Kind, TBoxKind::kErrorReport);
}

// Started with /undo: one question naming the mod and the date, then the installation is taken
// back; a No changes nothing, and with nothing left to take back it says so.
TEST_F(TWizardTest, UndoAsksThenTakesTheLatestInstallationBack) {
  const std::string restore = dir / "restore";
  const std::string img = dir / "game\\models\\gta3.img";
  const std::string before = test::ReadFile(img);
  auto withRestorePoints = [&] {
    form = std::make_unique<TForm1>(TWizardServices{
        SystemFileSystem(), boxes, pump, process, registry, locale, folderDialog, shell, restore});
  };
  withRestorePoints();
  Start();
  Tick();
  Next();
  Next();
  Next();
  const std::string installed = test::ReadFile(img);
  ASSERT_NE(installed, before);

  struct TCase {
    bool answer;
    const char* expectArchive;
    const char* lastBox;
  };
  const TCase cases[] = {
      {false, "installed", nullptr},
      {true, "before", "\"Title!\" was taken back: "},
      {true, "before", "There is no installation to take back in "},
  };
  for (const TCase& c : cases) {
    boxes.Shown.clear();
    boxes.Asked.clear();
    boxes.Answer = c.answer;
    withRestorePoints();
    form->HandleEvent([&] { form->UndoCreate(game); });
    EXPECT_TRUE(form->CloseRequested);
    EXPECT_EQ(test::ReadFile(img), std::string(c.expectArchive) == "before" ? before : installed);
    if (c.lastBox == nullptr || std::string(c.lastBox).rfind("\"", 0) == 0) {
      ASSERT_EQ(boxes.Asked.size(), 1u);
      EXPECT_EQ(boxes.Asked[0].rfind("Take back the installation of \"Title!\" made on ", 0), 0u)
          << boxes.Asked[0];
      // The game folder as the system knows it.
      EXPECT_NE(boxes.Asked[0].find(" in " + test::Native(game) + "?"), std::string::npos)
          << boxes.Asked[0];
    }
    if (c.lastBox) {
      ASSERT_FALSE(boxes.Shown.empty());
      EXPECT_EQ(boxes.Shown.back().Text.rfind(c.lastBox, 0), 0u) << boxes.Shown.back().Text;
    } else {
      EXPECT_TRUE(boxes.Shown.empty());
    }
  }
}

// A game file the player changed since the installation: the undo asks once more, and keeps
// the player's version where its last box says; a No there changes nothing.
TEST_F(TWizardTest, UndoAsksBeforeItMovesThePlayersEditsAside) {
  const std::string restore = dir / "restore";
  test::WriteFile("scripts.bin", ScriptBytes({{20, "Title!"}, {2, "data\\notes.txt"}}));
  test::WriteFile("data.cab", test::PackageBytes({{"notes.txt", "the mod's notes"}}));
  form = std::make_unique<TForm1>(TWizardServices{SystemFileSystem(), boxes, pump, process,
                                                  registry, locale, folderDialog, shell, restore});
  Start();
  Tick();
  Next();
  Next();
  Next();
  ASSERT_EQ(test::ReadFile(dir / "game\\data\\notes.txt"), "the mod's notes");
  test::WriteFile(dir / "game\\data\\notes.txt", "the player's notes");
  for (const bool answer : {false, true}) {
    boxes.Shown.clear();
    boxes.Asked.clear();
    boxes.Answers = {true, answer};  // take it back; and the player's notes?
    form = std::make_unique<TForm1>(TWizardServices{
        SystemFileSystem(), boxes, pump, process, registry, locale, folderDialog, shell, restore});
    form->HandleEvent([&] { form->UndoCreate(dir / "game"); });
    ASSERT_EQ(boxes.Asked.size(), 2u);
    EXPECT_NE(boxes.Asked[1].find("Game files were changed since Title!"), std::string::npos)
        << boxes.Asked[1];
    EXPECT_NE(boxes.Asked[1].find("data\\notes.txt."), std::string::npos) << boxes.Asked[1];
    ASSERT_FALSE(boxes.Shown.empty());
    if (!answer) {
      EXPECT_EQ(test::ReadFile(dir / "game\\data\\notes.txt"), "the player's notes");
      continue;
    }
    EXPECT_NE(boxes.Shown.back().Text.find("kept in " + restore + "\\game 1 edits."),
              std::string::npos)
        << boxes.Shown.back().Text;
    EXPECT_EQ(test::ReadFile(restore + "\\game 1 edits\\data\\notes.txt"), "the player's notes");
    EXPECT_FALSE(test::Exists(dir / "game\\data\\notes.txt"));
  }
}

TEST(TWindowProgress, TheBarHoldsItsRangeAndTheWindowAnswersWithoutBeingFlooded) {
  TProgressBar bar;
  test::TCountingPump pump;
  TWindowProgress progress(bar, pump);
  progress.Start(3);
  EXPECT_EQ(pump.Calls, 1);  // the first report handles the queue at once
  for (int i = 0; i < 1000; ++i) progress.Step();
  EXPECT_EQ(bar.Min, 0);
  EXPECT_EQ(bar.Max, 3);
  EXPECT_EQ(bar.Pos, 3);      // past the end of its range, the bar stays full
  EXPECT_LT(pump.Calls, 10);  // a thousand quick steps are not a thousand trips to the queue
  progress.Start(-1);         // an archive of no entries: a range of one less
  EXPECT_EQ(bar.Pos, 0);
}

}  // namespace
}  // namespace merva
