// The undo and the tools around it as a careless player, a second program and a hostile file
// meet them. Every case compares whole trees, byte for byte and link for link: the game folder,
// the restore folder and a folder of the player's outside both. A refusal changes nothing at
// all; a success leaves exactly the tree from before the installation.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "core/file_system.h"
#include "game/game_lock.h"
#include "tests/support/fakes.h"
#include "tests/support/shell.h"

namespace merva {
namespace {

namespace fs = std::filesystem;
using test::RunShell;
using test::ShellQuoted;
using test::TTempDir;

const std::string kImg = ShellQuoted(MERVA_IMG);
const std::string kPack = ShellQuoted(MERVA_PACK);

// Everything below `root`: each file with its bytes, each folder, each link with its target,
// never followed.
using Tree = std::map<std::string, std::string>;
using test::TreeOf;

// A temporary folder on another file system than the test's own where the machine has one
// (/dev/shm is a tmpfs on every usual Linux), so that the restore folder lies on another drive.
struct TOtherDrive {
  std::string path;
  TOtherDrive() {
    std::string pattern = "/dev/shm/merva-drive-XXXXXX";
    struct stat shm, tmp;
    if (::stat("/dev/shm", &shm) == 0 && ::stat(fs::temp_directory_path().c_str(), &tmp) == 0 &&
        shm.st_dev != tmp.st_dev && mkdtemp(pattern.data()))
      path = pattern;
  }
  ~TOtherDrive() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(path, ignored);
  }
};

// A game whose archive and a data file a mod replaces, beside a file it creates in a new folder;
// a folder of the player's outside the game.
struct TScene {
  TTempDir dir;
  std::string game = dir / "game", restore = dir / "restore", victim = dir / "victim";
  const std::string original =
      test::BuildArchive({{1, 3, "a.dff"}, {4, 3, "b.dff"}, {7, 1, "c.txd"}});
  Tree before;  // the game folder before the first installation

  explicit TScene(const std::string& restoreFolder = "") {
    if (!restoreFolder.empty()) restore = restoreFolder + "/restore";
    test::MakeDirs(game + "\\models");
    test::MakeDirs(game + "\\data");
    test::MakeDirs(dir / "mod");
    test::MakeDirs(victim);
    test::WriteFile(game + "\\models\\gta3.img", original);
    test::WriteFile(game + "\\data\\handling.cfg", "old handling");
    test::WriteFile(victim + "\\precious.txt", "precious");
    test::WriteFile(dir / "mod\\scripts.bin", test::ScriptBytes({{20, "Mod"},
                                                                 {1, "a.dff"},
                                                                 {1, "b.dff"},
                                                                 {2, "data\\handling.cfg"},
                                                                 {2, "data\\mine\\new.txt"}}));
    test::WriteFile(dir / "mod\\data.cab", test::PackageBytes({{"a.dff", std::string(5000, 'a')},
                                                               {"b.dff", std::string(5000, 'b')},
                                                               {"handling.cfg", "new handling"},
                                                               {"new.txt", "new"}}));
    before = TreeOf(game);
  }
  std::string Env() const { return "MERVA_RESTORE_DIR=" + ShellQuoted(restore) + " "; }
  test::TToolRun Img(const std::string& args) { return RunShell(Env() + kImg + " " + args); }
  void Install() {
    const test::TToolRun run = Img("install " + ShellQuoted(game) + " " + ShellQuoted(dir / "mod"));
    ASSERT_EQ(run.status, 0) << run.output;
  }
  std::string Point(int counter) const { return restore + "\\game " + std::to_string(counter); }
  void Link(const std::string& target, const std::string& link) const {
    ASSERT_EQ(symlink(test::Native(target).c_str(), test::Native(link).c_str()), 0) << link;
  }
  void EditRecord(int counter, const std::string& from, const std::string& to) const {
    const std::string path = Point(counter) + "\\record.txt";
    std::string record = test::ReadFile(path);
    ASSERT_NE(record.find(from), std::string::npos) << record;
    record.replace(record.find(from), from.size(), to);
    test::WriteFile(path, record);
  }
  // The whole world of the test: game, restore folder, the player's folder and any other.
  Tree World() const { return TreeOf(dir.Path()); }
};

// Bytes [at, at + size) of a file replaced by `with`.
void Patch(const std::string& path, size_t at, const std::string& with) {
  std::string bytes = test::ReadFile(path);
  ASSERT_LE(at + with.size(), bytes.size());
  bytes.replace(at, with.size(), with);
  test::WriteFile(path, bytes);
}

std::string Replaced(std::string command, const std::string& word, const std::string& by) {
  for (size_t at; (at = command.find(word)) != std::string::npos;)
    command.replace(at, word.size(), by);
  return command;
}

TEST(TrustedUndo, HostileCasesAreRefusedWithNothingChangedOrTakenBackWhole) {
  enum TOutcome { kRefused, kTakenBack };
  struct TCase {
    const char* what;
    std::function<void(TScene&)> tamper;
    const char* command;  // GAME, COPY and MOVED stand for folders of the scene
    TOutcome outcome;
    const char* says;
  };
  const TCase cases[] = {
      {"the kept archive's two entries of one size swapped by name",
       [](TScene& s) {
         const std::string kept = s.Point(1) + "\\archive.img";
         const std::string bytes = test::ReadFile(kept);
         Patch(kept, 8 + 8, bytes.substr(8 + 32 + 8, 24));
         Patch(kept, 8 + 32 + 8, bytes.substr(8 + 8, 24));
       },
       "undo GAME", kRefused, "the kept file archive.img"},
      {"a foreign kept archive with other names of the same sizes",
       [](TScene& s) {
         test::WriteFile(s.Point(1) + "\\archive.img",
                         test::BuildArchive({{1, 3, "x.dff"}, {4, 3, "y.dff"}}));
       },
       "undo GAME", kRefused, "the kept file archive.img"},
      {"the kept archive's bytes changed, names and sizes as recorded",
       [](TScene& s) { Patch(s.Point(1) + "\\archive.img", 2048 + 100, "changed"); }, "undo GAME",
       kRefused, "has changed since it was written"},
      {"a folder where a replaced game file goes",
       [](TScene& s) {
         fs::remove(test::Native(s.game + "\\data\\handling.cfg"));
         test::MakeDirs(s.game + "\\data\\handling.cfg");
       },
       "undo GAME", kRefused, "a folder stands at"},
      {"a file where the folder of a replaced game file goes",
       [](TScene& s) {
         fs::remove_all(test::Native(s.game + "\\data"));
         test::WriteFile(s.game + "\\data", "a file of the player's");
       },
       "undo GAME", kRefused, "a file stands at"},
      {"a second game line in the record",
       [](TScene& s) {
         s.EditRecord(1, "\nlevel\t", "\ngame\t" + test::Native(s.victim) + "\nlevel\t");
       },
       "undo GAME", kRefused, "is damaged"},
      {"a number of 19 digits in the record",
       [](TScene& s) { s.EditRecord(1, "\nkept\t", "\nkept\t9999999999999999999\nx\t"); },
       "undo GAME", kRefused, "is damaged"},
      {"a point named for a copy of the game while the game is in place",
       [](TScene& s) {
         fs::copy(test::Native(s.game), test::Native(s.dir / "copy"), fs::copy_options::recursive);
       },
       "undo --point 'game 1' COPY", kRefused, "which is still there"},
      {"a later point's kept archive changed by hand",
       [](TScene& s) {
         s.Install();
         test::WriteFile(s.restore + "\\game 2\\archive.img",
                         test::ReadFile(s.restore + "\\game 2\\archive.img") + "x");
       },
       "undo --point 'game 1' GAME", kRefused, "restore point game 2 is damaged"},
      {"a later point's kept game file removed by hand",
       [](TScene& s) {
         s.Install();
         fs::remove(test::Native(s.restore + "\\game 2\\game\\data\\handling.cfg"));
       },
       "undo --point 'game 1' GAME", kRefused, "restore point game 2 is damaged"},
      {"a later point's record with a changed order",
       [](TScene& s) {
         s.Install();
         s.EditRecord(2, "\norder\t", "\norder\told=0\tnew=0\tcount=1\norder\t");
       },
       "undo --point 'game 1' GAME", kRefused, "restore point game 2 is damaged"},
      {"the point between two removed by hand",
       [](TScene& s) {
         s.Install();
         s.Install();
         fs::remove_all(test::Native(s.restore + "\\game 2"));
       },
       "undo --point 'game 1' GAME", kRefused, "the restore point game 2, which"},
      {"links planted at the undo's own names beside a game file",
       [](TScene& s) {
         s.Link(s.victim + "\\precious.txt", s.game + "\\data\\handling.cfg.merva-new");
         s.Link(s.victim + "\\precious.txt", s.game + "\\data\\handling.cfg.merva-old");
         s.Link(s.victim + "\\precious.txt", s.game + "\\models\\temp.img");
       },
       "undo GAME", kTakenBack, "took back game 1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TScene s;
    s.Install();
    c.tamper(s);
    const Tree tampered = s.World();
    std::string command = Replaced(c.command, "GAME", ShellQuoted(s.game));
    command = Replaced(command, "COPY", ShellQuoted(s.dir / "copy"));
    command = Replaced(command, "MOVED", ShellQuoted(s.dir / "moved"));
    const test::TToolRun run = s.Img(command);
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    EXPECT_EQ(test::ReadFile(s.victim + "\\precious.txt"), "precious");
    if (c.outcome == kRefused) {
      EXPECT_EQ(run.status, 1) << run.output;
      EXPECT_EQ(test::TreeDifference(s.World(), tampered), "") << run.output;
    } else {
      EXPECT_EQ(run.status, 0) << run.output;
      EXPECT_EQ(test::TreeDifference(TreeOf(s.game), s.before), "") << run.output;
      EXPECT_EQ(test::TreeDifference(TreeOf(s.restore), {}), "") << run.output;
    }
  }
}

// A game moved since comes back newest first under its new folder; the points name the old one.
TEST(TrustedUndo, AMovedGameComesBackNewestFirst) {
  TScene s;
  s.Install();
  s.Install();
  fs::rename(test::Native(s.game), test::Native(s.dir / "moved"));
  const std::string moved = ShellQuoted(s.dir / "moved");
  EXPECT_EQ(s.Img("undo --point 'game 2' " + moved).status, 0);
  EXPECT_EQ(s.Img("undo --point 'game 1' " + moved).status, 0);
  EXPECT_EQ(test::TreeDifference(TreeOf(s.dir / "moved"), s.before), "");
}

// A point an earlier version (which kept no journal) left unfinished, with the installation's
// archive in place, of a game moved since: named with its new folder, it is finished and taken
// back.
TEST(TrustedUndo, APointLeftUnfinishedBeforeTheGameMovedIsTakenBack) {
  TScene s;
  s.Install();
  fs::rename(test::Native(s.restore + "\\game 1"), test::Native(s.restore + "\\game 1.partial"));
  fs::rename(test::Native(s.game), test::Native(s.dir / "moved"));
  const test::TToolRun run = s.Img("undo --point 'game 1' " + ShellQuoted(s.dir / "moved"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::TreeDifference(TreeOf(s.dir / "moved"), s.before), "");
}

// A moved game is found by its points wherever a run looks: the older taken back by its point,
// the status and the plain undo then find the newest by the archive it left.
TEST(TrustedUndo, AMovedGameIsFoundWithoutItsPointNamed) {
  TScene s;
  s.Install();
  s.Install();
  fs::rename(test::Native(s.game), test::Native(s.dir / "moved"));
  const std::string moved = ShellQuoted(s.dir / "moved");
  EXPECT_EQ(s.Img("undo --point 'game 1' " + moved).status, 0);
  test::TToolRun run = s.Img("status " + moved);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("game 2"), std::string::npos) << run.output;
  run = s.Img("undo " + moved);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::TreeDifference(TreeOf(s.dir / "moved"), s.before), "");
}

// The restore folder on another file system, as %LOCALAPPDATA% on C: and the game on D:: the
// player's edits are copied there, never lost, and the game comes back whole.
TEST(TrustedUndo, ThePlayersEditsAreKeptOnAnotherDrive) {
  TOtherDrive drive;
  SCOPED_TRACE(drive.path.empty() ? "no second file system here: one drive"
                                  : "restore folder on " + drive.path);
  TScene s(drive.path);
  s.Install();
  test::WriteFile(s.game + "\\data\\handling.cfg", "my own tuning");
  test::WriteFile(s.game + "\\data\\mine\\new.txt", "my notes");
  const test::TToolRun run = s.Img("undo --force " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::TreeDifference(TreeOf(s.game), s.before), "") << run.output;
  EXPECT_EQ(test::TreeDifference(TreeOf(s.restore),
                                 {{"game 1 edits", "folder"},
                                  {"game 1 edits/data", "folder"},
                                  {"game 1 edits/data/handling.cfg", "file my own tuning"},
                                  {"game 1 edits/data/mine", "folder"},
                                  {"game 1 edits/data/mine/new.txt", "file my notes"}}),
            "");

  // A second time: the edits get a folder of their own whose name is no point's.
  s.Install();
  test::WriteFile(s.game + "\\data\\handling.cfg", "tuned again");
  EXPECT_EQ(s.Img("undo --force " + ShellQuoted(s.game)).status, 0);
  EXPECT_EQ(test::ReadFile(s.restore + "\\game 1 edits (2)\\data\\handling.cfg"), "tuned again");
  const test::TToolRun history = s.Img("history");
  EXPECT_EQ(history.status, 0);
  EXPECT_EQ(history.output, "");
}

// Every spelling of one game meets its lock: a second program's change of the archive is
// refused while an installation or undo holds it.
TEST(TrustedUndo, EverySpellingOfAGameMeetsItsLock) {
  TScene s;
  test::WriteFile(s.dir / "x.dff", std::string(100, 'x'));
  s.Link(s.game + "\\models", s.dir / "linked");
  const std::string before = test::ReadFile(s.game + "\\models\\gta3.img");
  const TGameLock held(SystemFileSystem(), s.game);
  const std::string commands[] = {
      "put " + ShellQuoted(s.game + "/models/./gta3.img") + " " + ShellQuoted(s.dir / "x.dff"),
      "put " + ShellQuoted(s.game + "/data/../models/gta3.img") + " " +
          ShellQuoted(s.dir / "x.dff"),
      "sort " + ShellQuoted(s.game + "//models//gta3.img"),
      "compact " + ShellQuoted(s.dir / "linked/gta3.img"),
      "delete " + ShellQuoted(s.game + "/models/./gta3.img") + " x.dff",
      "rename " + ShellQuoted(s.dir / "linked/gta3.img") + " x.dff y.dff",
  };
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    const test::TToolRun run = s.Img(command);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("is running"), std::string::npos) << run.output;
    EXPECT_EQ(test::ReadFile(s.game + "\\models\\gta3.img"), before);
  }
}

// Nothing is ever written through a link: not by an installation into a linked folder of the
// game, nor at a temporary name or a target of compact, extract and unpack.
TEST(TrustedUndo, NoWriteFollowsALink) {
  {
    TScene s;  // the game's data folder a link to the player's folder
    fs::rename(test::Native(s.game + "\\data"), test::Native(s.dir / "data-elsewhere"));
    s.Link(s.victim, s.game + "\\data");
    test::WriteFile(s.victim + "\\handling.cfg", "the victim's own");
    const Tree world = s.World();
    const test::TToolRun run =
        s.Img("install " + ShellQuoted(s.game) + " " + ShellQuoted(s.dir / "mod"));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("holds a link at"), std::string::npos) << run.output;
    EXPECT_EQ(test::TreeDifference(s.World(), world), "");
  }
  {
    TScene s;  // compact, extract and unpack with links at their temporary names and targets
    const std::string archive = s.game + "\\models\\gta3.img";
    s.Link(s.victim + "\\precious.txt", archive + ".merva-tmp");
    s.Link(s.victim + "\\precious.txt", s.game + "\\models\\temp.img");
    EXPECT_EQ(s.Img("compact " + ShellQuoted(archive)).status, 0);
    test::MakeDirs(s.dir / "out");
    s.Link(s.victim + "\\precious.txt", s.dir / "out\\a.dff.merva-tmp");
    s.Link(s.victim + "\\precious.txt", s.dir / "out\\b.dff");
    const test::TToolRun extracted = s.Img("extract --force --to " + ShellQuoted(s.dir / "out") +
                                           " " + ShellQuoted(archive) + " a.dff b.dff");
    EXPECT_EQ(extracted.status, 0) << extracted.output;
    EXPECT_EQ(test::ReadFile(s.victim + "\\precious.txt"), "precious");
    EXPECT_FALSE(fs::is_symlink(test::Native(archive)));
    EXPECT_FALSE(fs::is_symlink(test::Native(s.dir / "out\\b.dff")));
    EXPECT_EQ(TreeOf(s.victim), (Tree{{"precious.txt", "file precious"}}));

    const std::string cab = ShellQuoted(s.dir / "mod\\data.cab");
    test::MakeDirs(s.dir / "unpacked");
    s.Link(s.victim + "\\precious.txt", s.dir / "unpacked\\new.txt");
    test::WriteFile(s.dir / "unpacked\\a.dff", "mine");
    const Tree world = s.World();
    test::TToolRun run = RunShell(kPack + " unpack " + cab + " " + ShellQuoted(s.dir / "unpacked"));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("already exists; give --force"), std::string::npos) << run.output;
    EXPECT_EQ(test::TreeDifference(s.World(), world), "");
    run = RunShell(kPack + " unpack --force " + cab + " " + ShellQuoted(s.dir / "unpacked"));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(test::ReadFile(s.dir / "unpacked\\new.txt"), "new");
    EXPECT_FALSE(fs::is_symlink(test::Native(s.dir / "unpacked\\new.txt")));
    EXPECT_EQ(TreeOf(s.victim), (Tree{{"precious.txt", "file precious"}}));
    run = RunShell(kPack + " unpack " + cab + " " + ShellQuoted(s.dir / "made\\here"));
    EXPECT_EQ(run.status, 0) << "a missing folder is made, as extract makes its own: "
                             << run.output;
    EXPECT_EQ(test::ReadFile(s.dir / "made\\here\\handling.cfg"), "new handling");
  }
}

// Names as Windows reads them: a mod that names the installer's own files under another
// spelling, a device, a character Windows refuses, or one file twice, is never built and never
// installed.
TEST(TrustedUndo, NamesAreComparedAsWindowsReadsThem) {
  struct TCase {
    std::vector<std::string> items;
    const char* build;    // what merva-pack says
    const char* install;  // what the installation says
  };
  const TCase cases[] = {
      {{"models\\gta3.img."}, "is the installer's own", "the installer itself uses"},
      {{"MODELS\\GTA3.IMG . "}, "is the installer's own", "the installer itself uses"},
      {{"merva-install.tmp.\\readme.txt"}, "is the installer's own", "the installer itself uses"},
      {{"models\\temp.img\\x.txt"}, "is the installer's own", "the installer itself uses"},
      {{"merva.lock."}, "is the installer's own", "the installer itself uses"},
      {{"NUL"}, "reserves the name NUL", "Windows cannot hold"},
      {{"data\\aux.txt"}, "reserves the name aux.txt", "Windows cannot hold"},
      {{"data\\con\\x.txt"}, "reserves the name con", "Windows cannot hold"},
      {{"data\\LPT1.ini"}, "reserves the name LPT1.ini", "Windows cannot hold"},
      {{"data\\a?b.txt"}, "does not allow the character '?'", "Windows cannot hold"},
      {{"data\\x.txt", "DATA\\X.TXT"}, "are one file on Windows", "names one game file twice"},
      {{"data\\x.txt", "data.\\x.txt "}, "are one file on Windows", "names one game file twice"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.items[0]);
    TScene s;
    std::vector<std::pair<uint8_t, std::string>> records = {{20, "Mod"}};
    std::string manifest = "title = t\n";
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& item : c.items) {
      records.push_back({2, item});
      manifest += "game = " + item + " from x.txt\n";
      const std::string name = item.substr(item.find_last_of('\\') + 1);
      if (files.empty() || files.back().first != name) files.push_back({name, "x"});
    }
    test::WriteFile(s.dir / "mod\\scripts.bin", test::ScriptBytes(records));
    test::WriteFile(s.dir / "mod\\data.cab", test::PackageBytes(files));
    const Tree world = s.World();
    const test::TToolRun run =
        s.Img("install " + ShellQuoted(s.game) + " " + ShellQuoted(s.dir / "mod"));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find(c.install), std::string::npos) << run.output;
    EXPECT_EQ(test::TreeDifference(s.World(), world), "");

    test::WriteFile(s.dir / "x.txt", "x");
    test::WriteFile(s.dir / "manifest.txt", manifest);
    test::MakeDirs(s.dir / "out");
    const test::TToolRun build = RunShell(kPack + " build " + ShellQuoted(s.dir / "manifest.txt") +
                                          " " + ShellQuoted(s.dir / "out"));
    EXPECT_EQ(build.status, 1) << build.output;
    EXPECT_NE(build.output.find(c.build), std::string::npos) << build.output;
    EXPECT_TRUE(fs::is_empty(test::Native(s.dir / "out")));
  }
}

// A game whose archive another tool wrote with the size in the archive's own field: installed
// into and taken back as the game reads it, entry for entry.
TEST(TrustedUndo, AnArchiveWithTheSecondSizeFieldInstallsAndComesBack) {
  TScene s;
  std::string archive =
      test::ArchiveBytes({{1, 0x00010007, "a.dff"}, {2, 3, "b.dff"}, {5, 1, "c.txd"}}, 6);
  for (size_t at = 2048; at < archive.size(); ++at)
    archive[at] = static_cast<char>('0' + at / 2048);
  test::WriteFile(s.game + "\\models\\gta3.img", archive);
  const std::string img = ShellQuoted(s.game + "\\models\\gta3.img");
  const std::string listed = s.Img("list " + img).output;
  EXPECT_EQ(listed, "0 1 1 a.dff\n1 2 3 b.dff\n2 5 1 c.txd\n");
  s.Install();
  EXPECT_EQ(s.Img("check " + img).status, 0);
  const test::TToolRun run = s.Img("undo " + ShellQuoted(s.game));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(s.Img("list " + img).output, listed);
  // Each entry's bytes where the game reads them, before and after.
  const std::string back = test::ReadFile(s.game + "\\models\\gta3.img");
  const std::vector<test::TEntryLayout> asTheGameReads = {
      {1, 1, "a.dff"}, {2, 3, "b.dff"}, {5, 1, "c.txd"}};
  const std::vector<test::TEntryLayout> now = test::DirectoryOf(back);
  ASSERT_EQ(now.size(), asTheGameReads.size());
  for (size_t i = 0; i < now.size(); ++i)
    EXPECT_EQ(test::DataOf(back, now[i]), test::DataOf(archive, asTheGameReads[i])) << i;
}

// Recovery and listings: a killed run's point whose game is away waits for it; a listing needs
// no write and no lock; a player's own merva.lock stays.
TEST(TrustedUndo, ListingsAndRecoveryNeverTakeWhatIsNotTheirs) {
  {
    TScene s;  // a point left between the swap and its rename, its game moved away meanwhile
    s.Install();
    fs::rename(test::Native(s.Point(1)), test::Native(s.Point(1) + ".partial"));
    fs::rename(test::Native(s.game), test::Native(s.dir / "away"));
    EXPECT_EQ(s.Img("history").status, 0);
    EXPECT_TRUE(test::Exists(s.Point(1) + ".partial\\record.txt"));
    fs::rename(test::Native(s.dir / "away"), test::Native(s.game));
    EXPECT_EQ(s.Img("history " + ShellQuoted(s.game)).status, 0);
    EXPECT_TRUE(test::Exists(s.Point(1) + "\\record.txt")) << "finished once the game is back";
  }
  {
    TScene s;  // a game busy with another run: listed all the same
    s.Install();
    const TGameLock held(SystemFileSystem(), s.game);
    const test::TToolRun run = s.Img("history " + ShellQuoted(s.game));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("game 1\t"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("recovered nothing there"), std::string::npos) << run.output;
  }
  {
    TScene s;  // the player's own file named like the lock
    test::WriteFile(s.game + "\\merva.lock", "my notes about locks");
    s.Install();
    EXPECT_EQ(test::ReadFile(s.game + "\\merva.lock"), "my notes about locks");
    EXPECT_EQ(s.Img("undo " + ShellQuoted(s.game)).status, 0);
    EXPECT_EQ(test::ReadFile(s.game + "\\merva.lock"), "my notes about locks");
  }
  {
    TScene s;  // a folder in the way of --to is named for what it is
    test::WriteFile(s.dir / "afile", "a file");
    const test::TToolRun run = s.Img("extract --to " + ShellQuoted(s.dir / "afile/sub") + " " +
                                     ShellQuoted(s.game + "\\models\\gta3.img") + " a.dff");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("afile: a file has that name"), std::string::npos) << run.output;
  }
  {
    TScene s;  // a path longer than the system takes is told as such, not as missing
    const test::TToolRun run = s.Img("undo " + ShellQuoted(s.dir / std::string(300, 'x')));
    EXPECT_EQ(run.status, 5) << run.output;  // no game there
    EXPECT_NE(run.output.find("the path is too long for the system"), std::string::npos)
        << run.output;
  }
}

}  // namespace
}  // namespace merva
