// The journal a run leaves is read back as hostile input: only what it names below the game
// folder and the restore folder, never through a link, and only when it is whole.
#include "journal/journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/file_system.h"
#include "core/fingerprint.h"
#include "game/game_folder.h"
#include "restore/restore_names.h"
#include "tests/support/fakes.h"

namespace merva {
namespace {

namespace fs = std::filesystem;

using TStep = TJournalStep;
using TPlace = TJournalPlace;

TPlace Game(const std::string& relative) {
  return {TPlace::kGame, relative};
}
TPlace Restore(const std::string& relative) {
  return {TPlace::kRestore, relative};
}

// A game with a run of ours left in it: the new archive written, the old one moved aside, a
// restore point being written, and a player's file beside the game folder.
struct TJournalTest : ::testing::Test {
  test::TTempDir dir;
  std::string game = dir / "game", root = dir / "restore";
  IFileSystem& files = SystemFileSystem();

  void SetUp() override {
    test::MakeDirs(game + "\\models");
    test::MakeDirs(root + "\\game 1.partial");
    test::WriteFile(game + "\\models\\gta3.img.merva-old", "old archive");
    test::WriteFile(game + "\\models\\temp.img", "new archive");
    test::WriteFile(root + "\\game 1.partial\\" + kPointMarkName, game);
    test::WriteFile(dir / "players.txt", "the player's own");
  }

  // The steps of an installation that got as far as moving the archive aside.
  std::vector<TStep> Installation() const {
    return {{TStep::kPut, Game("models\\temp.img"), Game("models\\gta3.img")},
            {TStep::kAside, Game("models\\gta3.img"), Game("models\\gta3.img.merva-old")},
            {TStep::kPutPoint, Restore("game 1.partial"), Restore("game 1")}};
  }

  void Leave(const std::string& text) { test::WriteFile(JournalPathOf(game), text); }
};

TEST_F(TJournalTest, BeforeItsCommitARunIsTakenBackAndAfterItFinished) {
  for (const bool committed : {false, true}) {
    SetUp();
    Leave(JournalText(game, root, "", Installation()) + (committed ? kJournalCommitLine : ""));
    RecoverJournal(files, game);
    EXPECT_EQ(test::ReadFile(game + "\\models\\gta3.img"),
              committed ? "new archive" : "old archive");
    EXPECT_FALSE(test::Exists(game + "\\models\\temp.img"));
    EXPECT_FALSE(test::Exists(game + "\\models\\gta3.img.merva-old"));
    EXPECT_FALSE(test::Exists(root + "\\game 1.partial"));
    EXPECT_EQ(test::Exists(root + "\\game 1\\" + kPointMarkName), committed);
    EXPECT_FALSE(test::Exists(JournalPathOf(game)));
    EXPECT_EQ(test::ReadFile(dir / "players.txt"), "the player's own");
    fs::remove_all(test::Native(root + "\\game 1"));
  }
}

// A journal's text as a run seals it: its steps, then their fingerprint.
std::string Sealed(const std::string& body) {
  TFingerprint print;
  print.Update(body.data(), body.size());
  return body + "end\t" + print.HexDigest() + "\n";
}

TEST_F(TJournalTest, ADamagedJournalIsNamedAndNothingIsTouched) {
  const std::string whole = JournalText(game, root, "", Installation());
  const std::string body = whole.substr(0, whole.rfind("end\t"));
  const auto with = [&](TStep step) {
    std::vector<TStep> steps = Installation();
    steps.push_back(step);
    return JournalText(game, root, "", steps);
  };
  const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const struct {
    const char* Name;
    std::string Text;
  } cases[] = {
      {"a step changed by hand", replaced(whole, "temp.img", "tamp.img")},
      {"a heading of someone else's", Sealed(replaced(body, "merva journal 1", "notes"))},
      {"an unknown step", Sealed(replaced(body, "put\t", "zap\t"))},
      {"a step with a field missing", Sealed(replaced(body, "\tgame\tmodels\\gta3.img\n", "\n"))},
      {"more after its end", whole + "put\tgame\ta\tgame\tb\n"},
      {"a step above the game folder", with({TStep::kNew, Game("..\\players.txt"), {}})},
      {"a step from the root", with({TStep::kNew, Game("\\etc\\passwd"), {}})},
      {"a game file in the restore folder", with({TStep::kNew, Restore("notes.txt"), {}})},
      {"a point in the game folder", with({TStep::kRemovePoint, Game("models"), {}})},
      {"a game folder removed as scratch", with({TStep::kScratch, Game("models"), {}})},
      {"a point below another folder", with({TStep::kRemovePoint, Restore("a\\b"), {}})},
      // A step of a kind that names what no run makes.
      {"a game folder marked as new", with({TStep::kNew, Game("models"), {}})},
      {"an aside onto a player's file",
       with({TStep::kAside, Game("models\\gta3.img"), Game("data\\player.txt")})},
      {"the new archive put onto a game file",
       with({TStep::kPut, Game("models\\temp.img"), Game("data\\y")})},
      {"a player's file put over another",
       with({TStep::kPut, Game("data\\x.txt"), Game("data\\y.txt")})},
      {"a scratch file put over the archive",
       with({TStep::kPut, Game("merva-install.tmp\\1"), Game("models\\GTA3.IMG")})},
  };
  for (const auto& c : cases) {
    Leave(c.Text);
    const auto before = test::TreeOf(dir.Path());
    try {
      RecoverJournal(files, game);
      ADD_FAILURE() << c.Name << ": followed";
    } catch (const EFileError& error) {
      EXPECT_EQ(error.Path(), JournalPathOf(game)) << c.Name;
      EXPECT_NE(error.Text().find("damaged"), std::string::npos) << c.Name << ": " << error.what();
    }
    EXPECT_EQ(test::TreeDifference(test::TreeOf(dir.Path()), before), "") << c.Name;
  }
}

TEST_F(TJournalTest, AJournalCutShortBeforeItsEndIsOnlyRemoved) {
  const std::string whole = JournalText(game, root, "", Installation());
  const auto before = test::TreeOf(dir.Path());
  for (const size_t cut : {size_t{0}, size_t{5}, whole.rfind("end\t"), whole.size() - 1}) {
    Leave(whole.substr(0, cut));
    RecoverJournal(files, game);
    EXPECT_FALSE(test::Exists(JournalPathOf(game))) << cut;
    auto now = test::TreeOf(dir.Path());
    EXPECT_EQ(test::TreeDifference(now, before), "") << cut;
  }
}

TEST_F(TJournalTest, ALinkOnTheWayIsNeverFollowed) {
  test::MakeDirs(dir / "elsewhere");
  test::WriteFile(dir / "elsewhere\\temp.img", "someone else's");
  fs::create_directory_symlink(test::Native(dir / "elsewhere"), test::Native(game + "\\linked"));
  std::vector<TStep> steps = Installation();
  steps.push_back({TStep::kPut, Game("linked\\temp.img"), Game("models\\x")});
  Leave(JournalText(game, root, "", steps));
  EXPECT_THROW(RecoverJournal(files, game), EFileError);
  EXPECT_EQ(test::ReadFile(dir / "elsewhere\\temp.img"), "someone else's");
  EXPECT_TRUE(test::Exists(game + "\\models\\temp.img"));
}

TEST_F(TJournalTest, AGameFolderCopiedWithItsJournalLeavesTheOtherGamesPointsAlone) {
  // The journal names another game folder that is still there: this one is its copy.
  const std::string other = dir / "original";
  test::MakeDirs(other);
  test::WriteFile(root + "\\game 1.partial\\" + kPointMarkName, other);
  Leave(JournalText(other, root, "", Installation()));
  RecoverJournal(files, game);
  EXPECT_EQ(test::ReadFile(game + "\\models\\gta3.img"), "old archive");
  EXPECT_TRUE(test::Exists(root + "\\game 1.partial\\" + kPointMarkName));
  EXPECT_FALSE(test::Exists(JournalPathOf(game)));
}

TEST_F(TJournalTest, APointOfAnotherGameIsNeverRemoved) {
  test::WriteFile(root + "\\game 1.partial\\" + kPointMarkName, dir / "another game");
  test::MakeDirs(dir / "another game");
  Leave(JournalText(game, root, "", Installation()));
  RecoverJournal(files, game);
  EXPECT_TRUE(test::Exists(root + "\\game 1.partial\\" + kPointMarkName));
}

// A restore folder out of reach (a drive unplugged, a profile not loaded): the journal waits,
// whole, and every run on the game refuses until it is back; then it is finished.
TEST_F(TJournalTest, AJournalWaitsForItsRestoreFolder) {
  Leave(JournalText(game, root, "", Installation()) + kJournalCommitLine);
  fs::rename(test::Native(root), test::Native(dir / "unplugged"));
  const auto before = test::TreeOf(dir.Path());
  try {
    RecoverJournal(files, game);
    ADD_FAILURE() << "settled without its restore folder";
  } catch (const EGameBusy& busy) {
    EXPECT_NE(std::string(busy.what()).find("needs its restore folder " + root), std::string::npos)
        << busy.what();
  }
  EXPECT_EQ(test::TreeDifference(test::TreeOf(dir.Path()), before), "");
  fs::rename(test::Native(dir / "unplugged"), test::Native(root));
  RecoverJournal(files, game);
  EXPECT_TRUE(test::Exists(root + "\\game 1\\" + kPointMarkName));
  EXPECT_EQ(test::ReadFile(game + "\\models\\gta3.img"), "new archive");
}

// A committed journal copied alone into another game settles nothing there: the folders its run
// made are made again only for files that are waiting to go into them.
TEST_F(TJournalTest, AJournalCopiedAloneMakesNothingInAnotherGame) {
  const std::string other = dir / "original";
  test::MakeDirs(other);
  const std::vector<TStep> steps = {
      {TStep::kMadeFolder, Game("data"), {}},
      {TStep::kMadeFolder, Game("data\\merva"), {}},
      {TStep::kPut, Game("merva-install.tmp\\1"), Game("data\\merva\\x.txt")}};
  Leave(JournalText(other, root, "", steps) + kJournalCommitLine);
  RecoverJournal(files, game);
  EXPECT_FALSE(test::Exists(game + "\\data"));
  EXPECT_FALSE(test::Exists(JournalPathOf(game)));
}

}  // namespace
}  // namespace merva
