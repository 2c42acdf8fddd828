// Restore folders and records as a careless user, another program or an attacker may leave
// them: links, paths that climb out, strangers' folders with names like ours, kept files of the
// wrong size. Nothing outside Merva's own files is ever touched, and the game stays as it was
// whenever the undo refuses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "core/errors.h"
#include "game/game_lock.h"
#include "tests/support/fakes.h"
#include "tests/support/shell.h"

namespace merva {
namespace {

using test::RunShell;
using test::ShellQuoted;
using test::TTempDir;

const std::string kImg = ShellQuoted(MERVA_IMG);

// A game with an archive and a data file, a mod that replaces an entry and the data file and
// creates a file in a new folder, and a file of the player's outside both.
struct TScene {
  TTempDir dir;
  const std::string game = dir / "game", restore = dir / "restore", victim = dir / "victim";
  const std::string original = test::BuildArchive({{1, 1, "a.dff"}, {2, 1, "b.dff"}});
  const std::string env = "MERVA_RESTORE_DIR=" + ShellQuoted(restore) + " ";

  TScene() {
    test::MakeDirs(game + "\\models");
    test::MakeDirs(game + "\\data");
    test::MakeDirs(dir / "mod");
    test::MakeDirs(victim);
    test::WriteFile(game + "\\models\\gta3.img", original);
    test::WriteFile(game + "\\data\\handling.cfg", "old handling");
    test::WriteFile(victim + "\\precious.txt", "precious");
    test::WriteFile(
        dir / "mod\\scripts.bin",
        test::ScriptBytes(
            {{20, "Mod"}, {1, "a.dff"}, {2, "data\\handling.cfg"}, {2, "data\\mine\\new.txt"}}));
    test::WriteFile(dir / "mod\\data.cab", test::PackageBytes({{"a.dff", std::string(5000, 'n')},
                                                               {"handling.cfg", "new handling"},
                                                               {"new.txt", "new"}}));
  }
  test::TToolRun Img(const std::string& args) { return RunShell(env + kImg + " " + args); }
  void Install() {
    ASSERT_EQ(Img("install " + ShellQuoted(game) + " " + ShellQuoted(dir / "mod")).status, 0);
  }
  std::string Point(int counter) const { return restore + "\\game " + std::to_string(counter); }
  std::string Native(const std::string& path) const { return test::Native(path); }
  void Link(const std::string& target, const std::string& link) const {
    ASSERT_EQ(symlink(Native(target).c_str(), Native(link).c_str()), 0) << link;
  }
  // The record of a point with one line changed.
  void EditRecord(int counter, const std::string& from, const std::string& to) const {
    const std::string path = Point(counter) + "\\record.txt";
    std::string record = test::ReadFile(path);
    ASSERT_NE(record.find(from), std::string::npos) << record;
    record.replace(record.find(from), from.size(), to);
    test::WriteFile(path, record);
  }
};

TEST(HostileRestore, NothingOutsideIsTouchedAndARefusedUndoChangesNothing) {
  struct TCase {
    const char* what;
    std::function<void(TScene&)> tamper;
    const char* command;  // GAME stands for the game folder
    const char* says;     // a part of the output
  };
  const TCase cases[] = {
      {"a created file's path climbs out of the game folder",
       [](TScene& s) {
         s.EditRecord(1, "item=data\\mine\\new.txt", "item=..\\victim\\precious.txt");
       },
       "undo GAME", "game 1 is damaged: its record is missing or cannot be read"},
      {"a kept game file's path climbs out of the point",
       [](TScene& s) {
         s.EditRecord(1, "game\\data\\handling.cfg", "..\\..\\victim\\precious.txt");
       },
       "undo GAME", "game 1 is damaged: its record is missing or cannot be read"},
      {"a kept entry's path climbs out of the point",
       [](TScene& s) {
         s.EditRecord(1, "\tkept=archive.img\t", "\tkept=archive\\..\\..\\victim\\precious.txt\t");
       },
       "undo GAME", "game 1 is damaged: its record is missing or cannot be read"},
      {"a line to put back that would be two lines",
       [](TScene& s) {
         s.EditRecord(1, "\nend\n",
                      "\nitem\tkind=data line\tfile=data\\handling.cfg\tsection=\tkey=X\tadded=0\t"
                      "old=X 1%0D%0Ainjected 2\tnew=X 3\tfrom=game\nend\n");
       },
       "undo GAME", "game 1 is damaged: its record is missing or cannot be read"},
      {"a line's file climbs out of the game folder",
       [](TScene& s) {
         s.EditRecord(1, "\nend\n",
                      "\nitem\tkind=data line\tfile=..\\victim\\precious.txt\tsection=\tkey=X\t"
                      "added=1\told=\tnew=X 3\tfrom=\nend\n");
       },
       "undo GAME", "game 1 is damaged: its record is missing or cannot be read"},
      {"a record cut before its end line", [](TScene& s) { s.EditRecord(1, "\nend\n", "\n"); },
       "undo GAME", "game 1 is damaged: its record is missing or cannot be read"},
      {"a record a newer Merva wrote",
       [](TScene& s) { s.EditRecord(1, "\nend\n", "\nsigned\tby=someone\nend\n"); }, "undo GAME",
       "game 1 cannot be read: it was made by a newer version of Merva (its record holds "
       "\"signed\""},
      {"a kept game file is a link",
       [](TScene& s) {
         const std::string kept = s.Point(1) + "\\game\\data\\handling.cfg";
         std::filesystem::remove(s.Native(kept));
         s.Link(s.victim + "\\precious.txt", kept);
       },
       "undo GAME", "the kept file game\\data\\handling.cfg is a link"},
      {"a kept game file is cut short",
       [](TScene& s) { test::WriteFile(s.Point(1) + "\\game\\data\\handling.cfg", "old"); },
       "undo GAME", "the kept file game\\data\\handling.cfg is not the size recorded"},
      {"a kept game file changed by hand at its size",
       [](TScene& s) {
         test::WriteFile(s.Point(1) + "\\game\\data\\handling.cfg", "old handlinG");
       },
       "undo GAME", "the kept file game\\data\\handling.cfg was changed since it was kept"},
      {"a kept game file is missing",
       [](TScene& s) {
         std::filesystem::remove(s.Native(s.Point(1) + "\\game\\data\\handling.cfg"));
       },
       "undo GAME", "the kept file game\\data\\handling.cfg is missing"},
      {"a kept entry is a link",
       [](TScene& s) {
         const std::string kept = s.Point(1) + "\\archive.img";
         std::filesystem::remove(s.Native(kept));
         s.Link(s.victim + "\\precious.txt", kept);
       },
       "undo GAME", "the kept file archive.img is a link"},
      {"a folder on the way to a game file is a link",
       [](TScene& s) {
         std::filesystem::rename(s.Native(s.game + "\\data\\mine"), s.Native(s.dir / "moved"));
         s.Link(s.victim, s.game + "\\data\\mine");
         test::WriteFile(s.victim + "\\new.txt", "the victim's own");
       },
       "undo GAME", "holds a link at"},
      {"the point's folder is a link",
       [](TScene& s) {
         std::filesystem::rename(s.Native(s.Point(1)), s.Native(s.dir / "elsewhere"));
         s.Link(s.dir / "elsewhere", s.Point(1));
       },
       "undo GAME", "There is no installation to take back"},
      {"a stranger's link named like a killed run's point, met by history",
       [](TScene& s) { s.Link(s.victim, s.restore + "\\evil 7.partial"); }, "history", ""},
      {"a stranger's folder named like a killed undo's point, met by history",
       [](TScene& s) {
         test::MakeDirs(s.restore + "\\notes 8.undoing");
         test::WriteFile(s.restore + "\\notes 8.undoing\\mine.txt", "mine");
       },
       "history", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TScene s;
    s.Install();
    const std::string installed = test::ReadFile(s.game + "\\models\\gta3.img");
    c.tamper(s);
    std::string command = c.command;
    if (command.find("GAME") != std::string::npos)
      command.replace(command.find("GAME"), 4, ShellQuoted(s.game));
    const test::TToolRun run = s.Img(command);
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    EXPECT_EQ(test::ReadFile(s.victim + "\\precious.txt"), "precious");
    if (std::string(c.command) != "history") {
      EXPECT_EQ(run.status, 1) << run.output;
      EXPECT_EQ(test::ReadFile(s.game + "\\models\\gta3.img"), installed);
      EXPECT_EQ(test::ReadFile(s.game + "\\data\\handling.cfg"), "new handling");
    } else {
      EXPECT_EQ(run.status, 0) << run.output;
      EXPECT_TRUE(std::filesystem::exists(s.Native(s.restore + "\\evil 7.partial")) ||
                  std::filesystem::exists(s.Native(s.restore + "\\notes 8.undoing\\mine.txt")));
    }
  }
}

// The archive, its temporary file, the scratch folder, the lock and the journal are the
// installer's own: a
// package naming one as a game file is refused before anything changes, and never built.
TEST(HostileRestore, TheInstallersOwnFilesAreNoGameFiles) {
  const char* const items[] = {"models\\gta3.img",         "MODELS/Temp.img", ".\\models\\gta3.img",
                               "merva-install.tmp\\x.txt", "merva.lock",      "Merva-Journal.txt"};
  for (const char* item : items) {
    SCOPED_TRACE(item);
    TScene s;
    test::WriteFile(s.dir / "mod\\scripts.bin", test::ScriptBytes({{20, "Mod"}, {2, item}}));
    test::WriteFile(s.dir / "mod\\data.cab",
                    test::PackageBytes(
                        {{test::Native(item).substr(test::Native(item).rfind('/') + 1), "fake"}}));
    const test::TToolRun run =
        s.Img("install " + ShellQuoted(s.game) + " " + ShellQuoted(s.dir / "mod"));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("the installer itself uses"), std::string::npos) << run.output;
    EXPECT_EQ(test::ReadFile(s.game + "\\models\\gta3.img"), s.original);
    EXPECT_FALSE(test::Exists(s.restore));

    test::WriteFile(s.dir / "fake.img", "fake");
    test::WriteFile(s.dir / "manifest.txt",
                    std::string("title = t\ngame = ") + item + " from fake.img\n");
    test::MakeDirs(s.dir / "out");
    const test::TToolRun build =
        RunShell(ShellQuoted(MERVA_PACK) + " build " + ShellQuoted(s.dir / "manifest.txt") + " " +
                 ShellQuoted(s.dir / "out"));
    EXPECT_EQ(build.status, 1) << build.output;
    EXPECT_NE(build.output.find("is the installer's own"), std::string::npos) << build.output;
  }
}

// A point names its game folder as the system knows it: another spelling finds it, another
// folder that differs only in letter case (a Linux folder of its own) does not, and a game moved
// since is found by its archive when the point is named.
TEST(HostileRestore, TheGameFolderIsFoundByWhatItIs) {
  TScene s;
  const std::string folder = test::Native(s.dir.Path());
  test::MakeDirs(s.dir / "elsewhere");
  const test::TToolRun installed = RunShell("cd " + ShellQuoted(s.dir / "elsewhere") + " && " +
                                            s.env + kImg + " install ../game ../mod");
  ASSERT_EQ(installed.status, 0) << installed.output;
  const std::string history = s.Img("history").output;
  EXPECT_NE(history.find("\t" + folder + "/game\n"), std::string::npos) << history;

  test::MakeDirs(s.dir / "GAME\\models");
  test::WriteFile(s.dir / "GAME\\models\\gta3.img", s.original);
  test::TToolRun run = s.Img("undo " + ShellQuoted(s.dir / "GAME"));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("There is no installation to take back"), std::string::npos);

  std::filesystem::rename(folder + "/game", folder + "/moved");
  run = s.Img("undo --point 'game 1' " + ShellQuoted(s.dir / "GAME"));
  EXPECT_EQ(run.status, 1) << "another archive: " << run.output;
  // Found by the archive its newest point recorded, named or not.
  run = s.Img("undo " + ShellQuoted(s.dir / "moved/./"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::ReadFile(s.dir / "moved\\models\\gta3.img"), s.original);
  EXPECT_EQ(test::ReadFile(s.dir / "moved\\data\\handling.cfg"), "old handling");
}

// A mod names a game file in other letters than the game folder has it: on a case-sensitive file
// system too it is the player's file, replaced and given back, as on Windows.
TEST(HostileRestore, AGameFileInOtherLettersIsThePlayersFile) {
  TScene s;
  s.Install();
  test::MakeDirs(s.dir / "mod2");
  test::WriteFile(s.dir / "mod2\\scripts.bin",
                  test::ScriptBytes({{20, "Mod 2"}, {2, "DATA\\HANDLING.CFG"}}));
  test::WriteFile(s.dir / "mod2\\data.cab", test::PackageBytes({{"HANDLING.CFG", "mod 2"}}));
  ASSERT_EQ(s.Img("install " + ShellQuoted(s.game) + " " + ShellQuoted(s.dir / "mod2")).status, 0);
  EXPECT_FALSE(test::Exists(s.game + "\\DATA"));
  EXPECT_EQ(test::ReadFile(s.game + "\\data\\handling.cfg"), "mod 2");
  test::TToolRun run = s.Img("undo --point 'game 1' " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::ReadFile(s.game + "\\data\\handling.cfg"), "mod 2");
  run = s.Img("undo " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::ReadFile(s.game + "\\data\\handling.cfg"), "old handling");
  EXPECT_FALSE(test::Exists(s.game + "\\DATA"));
}

// The player's later work: a replaced game file and a created one, edited since. The undo
// refuses and names them; forced, it keeps the player's versions beside the restore points.
TEST(HostileRestore, ThePlayersLaterEditsAreKept) {
  TScene s;
  s.Install();
  test::WriteFile(s.game + "\\data\\handling.cfg", "my own tuning");
  test::WriteFile(s.game + "\\data\\mine\\new.txt", "my notes");
  const std::string installed = test::ReadFile(s.game + "\\models\\gta3.img");
  test::TToolRun run = s.Img("plan --undo 'game 1' " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 1) << "the plan ends as the undo would: " << run.output;
  EXPECT_NE(run.output.find("refused: Game files were changed since Mod"), std::string::npos)
      << run.output;
  run = s.Img("undo " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("Game files were changed since Mod"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("data\\handling.cfg, data\\mine\\new.txt."), std::string::npos)
      << run.output;
  EXPECT_EQ(test::ReadFile(s.game + "\\models\\gta3.img"), installed);
  EXPECT_EQ(test::ReadFile(s.game + "\\data\\handling.cfg"), "my own tuning");

  run = s.Img("undo --force " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 0) << run.output;
  const std::string kept = s.restore + "\\game 1 edits";
  EXPECT_NE(run.output.find("are kept in " + test::Native(kept)), std::string::npos) << run.output;
  EXPECT_EQ(test::ReadFile(kept + "\\data\\handling.cfg"), "my own tuning");
  EXPECT_EQ(test::ReadFile(kept + "\\data\\mine\\new.txt"), "my notes");
  EXPECT_EQ(test::ReadFile(s.game + "\\models\\gta3.img"), s.original);
  EXPECT_EQ(test::ReadFile(s.game + "\\data\\handling.cfg"), "old handling");
  EXPECT_FALSE(test::Exists(s.game + "\\data\\mine"));
}

// What can fail is tried before the archive changes: a game file whose folder is a file is
// refused with nothing changed, no restore point and no folder left behind.
TEST(HostileRestore, AGameFileThatCannotBePlacedChangesNothing) {
  TScene s;
  test::WriteFile(s.game + "\\data\\mine", "a file where the mod wants a folder");
  const test::TToolRun run =
      s.Img("install " + ShellQuoted(s.game) + " " + ShellQuoted(s.dir / "mod"));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("Unable to put the file data\\mine\\new.txt into the game folder"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("Nothing was changed."), std::string::npos) << run.output;
  EXPECT_EQ(test::ReadFile(s.game + "\\models\\gta3.img"), s.original);
  EXPECT_EQ(test::ReadFile(s.game + "\\data\\handling.cfg"), "old handling");
  EXPECT_FALSE(test::Exists(s.game + "\\merva-install.tmp"));
  EXPECT_TRUE(!test::Exists(s.restore) || std::filesystem::is_empty(test::Native(s.restore)));
}

// Smaller faults, each told plainly or handled as it plainly needs.
TEST(HostileRestore, SmallerFaultsAreHandledPlainly) {
  {
    TScene s;  // a garbage archive: one line naming it, in English
    test::WriteFile(s.game + "\\models\\gta3.img", std::string(5000, 'g'));
    const test::TToolRun run =
        s.Img("install " + ShellQuoted(s.game) + " " + ShellQuoted(s.dir / "mod"));
    EXPECT_EQ(run.status, 5);  // no game there
    EXPECT_EQ(run.output, "merva-img: " + test::Native(s.game) +
                              "/models/gta3.img: not an IMG archive (no \"VER2\" header)\n");
  }
  {
    TScene s;  // a damaged package: told once, naming the file
    test::WriteFile(s.dir / "mod\\data.cab", std::string(200, 'x'));
    const test::TToolRun run =
        s.Img("install " + ShellQuoted(s.game) + " " + ShellQuoted(s.dir / "mod"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "merva-img: " + test::Native(s.dir / "mod") +
                              "/data.cab: not a Merva package, or damaged (Unknow version of "
                              "data-file or file damaged)\n");
  }
  {
    TScene s;  // a title with line breaks: history stays one line per point
    test::WriteFile(s.dir / "mod\\scripts.bin",
                    test::ScriptBytes({{20, "Two\r\nlines\tand a tab"}, {1, "a.dff"}}));
    s.Install();
    const std::string history = s.Img("history").output;
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 1) << history;
    EXPECT_NE(history.find("\tTwo  lines and a tab\t"), std::string::npos) << history;
  }
  {
    TScene s;  // a huge record is no record of ours: not read at all
    s.Install();
    ASSERT_EQ(truncate(s.Native(s.Point(1) + "\\record.txt").c_str(), 600 << 20), 0);
    const test::TToolRun run = s.Img("history");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "game 1\t-\t(damaged: the record is missing or cannot be read)\t" +
                              test::Native(s.game) + "\n");
  }
  {
    TScene s;  // leftovers of a killed run go with the next one
    test::WriteFile(s.game + "\\models\\temp.img", std::string(10000, 't'));
    test::MakeDirs(s.game + "\\merva-install.tmp");
    test::WriteFile(s.game + "\\merva-install.tmp\\1.new", "left");
    s.Install();
    EXPECT_FALSE(test::Exists(s.game + "\\models\\temp.img"));
    EXPECT_FALSE(test::Exists(s.game + "\\merva-install.tmp"));
  }
  {
    TScene s;  // a relative XDG_DATA_HOME is ignored: the points go under HOME
    test::MakeDirs(s.dir / "home");
    const test::TToolRun run = RunShell(
        "cd " + ShellQuoted(s.dir.Path()) +
        " && env -u MERVA_RESTORE_DIR XDG_DATA_HOME=relative HOME=" + ShellQuoted(s.dir / "home") +
        " " + kImg + " install game mod");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(test::Exists(s.dir / "home\\.local\\share\\merva\\restore\\game 1\\record.txt"));
    EXPECT_FALSE(test::Exists(s.dir / "relative"));
  }
}

// A second lock of one game is refused while the first is held, by this process or another;
// the lock file goes with the lock.
TEST(GameLock, OneRunPerGameFolder) {
  TTempDir dir;
  test::MakeDirs(dir / "game\\models");
  test::WriteFile(dir / "game\\models\\gta3.img", test::BuildArchive({{1, 1, "a.dff"}}));
  {
    const TGameLock first(SystemFileSystem(), dir / "game");
    try {
      const TGameLock second(SystemFileSystem(), dir / "game");
      FAIL() << "a second lock was taken";
    } catch (const Exception& refused) {
      EXPECT_NE(std::string(refused.what()).find("Another installation or undo of the game in"),
                std::string::npos);
    }
    // Any archive of the game, by every command that changes one, meets the game's lock.
    test::WriteFile(dir / "x.dff", "x");
    for (const char* archive : {"models\\gta3.img", "models\\gta_int.img", "anim\\anim.img"}) {
      test::MakeDirs(dir / "game\\anim");
      if (!test::Exists(dir / "game\\" + archive))
        test::WriteFile(dir / "game\\" + archive, test::BuildArchive({{1, 1, "a.dff"}}));
      const std::string img = ShellQuoted(dir / "game\\" + archive);
      for (const std::string& command :
           {"sort " + img, "compact " + img, "put " + img + " " + ShellQuoted(dir / "x.dff"),
            "delete " + img + " a.dff", "rename " + img + " a.dff b.dff"}) {
        const test::TToolRun other = RunShell(kImg + " " + command);
        EXPECT_NE(other.output.find("is running"), std::string::npos) << command << other.output;
      }
    }
    EXPECT_TRUE(test::Exists(dir / "game\\merva.lock"));
  }
  EXPECT_FALSE(test::Exists(dir / "game\\merva.lock"));
  const TGameLock again(SystemFileSystem(), dir / "game");
  EXPECT_NO_THROW(TGameLock(SystemFileSystem(), dir / "elsewhere")) << "no folder, nothing to hold";
}

// An older installation goes under later ones; from an archive changed since by another tool,
// only with --force, by entry names, and the later ones then go by names too.
TEST(HostileRestore, AnOlderInstallationGoesUnderLaterOnesAndByNamesFromAChangedArchive) {
  TScene s;
  s.Install();
  s.Install();
  s.Install();
  // Told before, with nothing changed.
  const auto before = test::TreeOf(s.dir.Path());
  test::TToolRun run = s.Img("plan --undo 'game 2' " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("  a.dff stays as Mod installed it\n"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("  rewrites the restore point\tgame 3\n"), std::string::npos)
      << run.output;
  run = s.Img("plan --json --undo 'game 2' " + ShellQuoted(s.game));
  EXPECT_NE(run.output.find("\"rewrites\": [\"game 3\"]"), std::string::npos) << run.output;
  EXPECT_EQ(s.Img("plan --undo 'game 9' " + ShellQuoted(s.game)).status, 1);
  EXPECT_EQ(test::TreeDifference(test::TreeOf(s.dir.Path()), before), "");
  run = s.Img("undo --point 'game 2' " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("rewritten: game 3."), std::string::npos) << run.output;
  const std::string archive = s.game + "\\models\\gta3.img";
  test::WriteFile(s.dir / "extra.dff", "another tool's entry");
  EXPECT_EQ(s.Img("put " + ShellQuoted(archive) + " " + ShellQuoted(s.dir / "extra.dff")).status,
            0);
  const std::string changed = test::ReadFile(archive);
  // Told before all the same: what stops the undo, and what a forced one would do by names.
  run = s.Img("plan --undo 'game 1' " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("  rewrites the restore point\tgame 3\n"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("refused: models\\gta3.img has changed since Mod (installed "),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("with --force: the entries of models\\gta3.img are taken back by "
                            "name\n"),
            std::string::npos)
      << run.output;
  run = s.Img("undo --point 'game 1' " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("has changed since Mod (installed "), std::string::npos) << run.output;
  EXPECT_EQ(test::ReadFile(archive), changed);
  run = s.Img("undo --force --point 'game 1' " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("its entries were taken back by name"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("rewritten: game 3."), std::string::npos) << run.output;
  // The later one's record no longer fits the archive: it goes by names too.
  EXPECT_EQ(s.Img("undo " + ShellQuoted(s.game)).status, 1);
  run = s.Img("undo --force " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 0);
  // Told as the plan told it, by names or not.
  EXPECT_NE(run.output.find("given back\ta.dff\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("models\\gta3.img had changed since"), std::string::npos) << run.output;
  EXPECT_EQ(s.Img("delete " + ShellQuoted(archive) + " extra.dff").status, 0);
  std::vector<std::string> now = test::EntriesOf(test::ReadFile(archive)),
                           original = test::EntriesOf(s.original);
  std::sort(now.begin(), now.end());
  std::sort(original.begin(), original.end());
  EXPECT_TRUE(now == original) << "the entries by name and bytes";
  EXPECT_EQ(test::ReadFile(s.game + "\\data\\handling.cfg"), "old handling");
  EXPECT_FALSE(test::Exists(s.game + "\\data\\mine"));
}

}  // namespace
}  // namespace merva
