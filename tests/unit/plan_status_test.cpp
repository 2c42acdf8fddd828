// Knowing before and after: the plan of an installation against what it then does, the room
// checked before a byte is written, the status of each installed mod, and the shared lock
// they read under.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "archive/archive.h"
#include "core/text.h"
#include "game/game_folder.h"
#include "game/game_lock.h"
#include "journal/journal.h"
#include "operations/exit_codes.h"
#include "operations/game_status.h"
#include "operations/installation.h"
#include "operations/room_check.h"
#include "operations/undo.h"
#include "restore/restore_store.h"
#include "tests/support/fakes.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/shell.h"
#include "tests/support/synthetic_program.h"
#include "tools/reports.h"

namespace merva {
namespace {

using test::RunShell;
using test::ShellQuoted;
using test::TTempDir;

// A game with three entries and a game file of its own, a restore folder, and mods to build.
struct TScene {
  TTempDir dir;
  std::string game = dir / "game";
  std::string restore = dir / "restore";
  std::string img = game + "\\models\\gta3.img";
  test::TFakeBoxes notices;
  test::TFakeLocale locale;
  TNoProgress quiet;

  TScene() {
    test::MakeDirs(game + "\\models");
    test::MakeDirs(game + "\\data");
    test::WriteFile(img, test::BuildArchive({{1, 1, "a.dff"}, {2, 2, "b.txd"}, {4, 1, "c.dff"}}));
    test::WriteFile(game + "\\data\\cars.ide", "the game's cars");
  }
  // A mod named `name`: its archive files and its game files (path in the game, bytes).
  std::string Mod(const std::string& name,
                  const std::vector<std::pair<std::string, std::string>>& entries,
                  const std::vector<std::pair<std::string, std::string>>& gameFiles) {
    const std::string folder = dir / name;
    test::MakeDirs(folder);
    std::vector<std::pair<uint8_t, std::string>> records = {{20, name}};
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& [entry, bytes] : entries) {
      records.push_back({1, entry});
      files.push_back({entry, bytes});
    }
    for (const auto& [path, bytes] : gameFiles) {
      records.push_back({2, path});
      files.push_back({path.substr(path.find_last_of('\\') + 1), bytes});
    }
    test::WriteFile(folder + "\\scripts.bin", test::ScriptBytes(records));
    test::WriteFile(folder + "\\data.cab", test::PackageBytes(files));
    return folder;
  }
  TInstallRequest Request(const std::string& mod, const std::string& root) {
    return ReadInstallRequest(SystemFileSystem(), notices, nullptr, locale, root,
                              mod + "\\scripts.bin", mod + "\\data.cab");
  }
  TInstallPlan Plan(const std::string& mod, IFileSystem& fs = SystemFileSystem()) {
    return TInstallation(Request(mod, restore), game, {fs, notices, quiet}).Plan();
  }
  void Install(const std::string& mod, IFileSystem& fs = SystemFileSystem()) {
    TInstallation(Request(mod, restore), game, {fs, notices, quiet}).Run();
  }
  TRestorePoint Latest() { return ListRestorePoints(SystemFileSystem(), restore, game).front(); }
  TGameStatus Status() { return ReadGameStatus(SystemFileSystem(), restore, game); }
};

// Every replaced and added entry, game file and folder of a plan, as one comparable text.
std::string Changes(const TRestorePoint& p) {
  std::string text;
  for (const TKeptEntry& e : p.Archives[0].Replaced)
    text += "replace " + EntryName(e.Old) + " " + std::to_string(e.Old.Size) + "->" +
            std::to_string(e.NewSize) + " from " + e.TakenFrom + " wrote " + e.NewFingerprint +
            "\n";
  for (const TAddedEntry& e : p.Archives[0].Added)
    text += "add " + e.Name + " " + std::to_string(e.Size) + " wrote " + e.NewFingerprint + "\n";
  for (const TGameFileChange& f : p.GameFiles)
    text += (f.Replaced ? "replace " : "create ") + f.Item + " " + std::to_string(f.OldBytes) +
            "->" + std::to_string(f.NewBytes) + " from " + f.TakenFrom + "\n";
  for (const std::string& folder : p.FoldersCreated) text += "folder " + folder + "\n";
  return text + "archive " + std::to_string(p.Archives[0].NewArchiveBytes) + "\n";
}

TEST(InstallPlan, TellsWhatTheInstallationThenDoesEntryByEntry) {
  struct TCase {
    const char* what;
    // What happens to the game before the planned mod; gives that mod's folder.
    std::function<std::string(TScene&)> before;
    std::vector<const char*> owners;  // the "taken from" the plan must tell, in its order
  };
  const TCase cases[] = {
      {"a mod into the game as shipped",
       [](TScene& s) {
         return s.Mod("car", {{"a.dff", std::string(3000, 'x')}, {"new.txd", "new"}},
                      {{"data\\cars.ide", "the mod's cars"}, {"data\\mod\\readme.txt", "hi"}});
       },
       {"a.dff 1->2 from game", "data\\cars.ide 15->14 from game"}},
      {"a mod over a mod",
       [](TScene& s) {
         s.Install(s.Mod("first", {{"a.dff", "first a"}, {"c.dff", "first c"}},
                         {{"data\\cars.ide", "first cars"}}));
         return s.Mod("second", {{"a.dff", "second a"}}, {{"data\\cars.ide", "second cars"}});
       },
       {"a.dff 1->1 from point:game 1", "data\\cars.ide 10->11 from point:game 1"}},
      {"a mod over the player's edit of a mod's file",
       [](TScene& s) {
         s.Install(s.Mod("first", {{"a.dff", "first a"}}, {{"data\\cars.ide", "first cars"}}));
         test::WriteFile(s.game + "\\data\\cars.ide", "the player's cars");
         return s.Mod("second", {}, {{"data\\cars.ide", "second cars"}});
       },
       {"data\\cars.ide 17->11 from changed"}},
      {"a mod over an entry another tool changed",
       [](TScene& s) {
         s.Install(s.Mod("first", {{"b.txd", "first b"}}, {}));
         test::WriteFile(s.dir / "b.txd", "another tool's b");
         TNoProgress quiet;
         PutFilesIntoArchive(s.img, {s.dir / "b.txd"}, SystemFileSystem(), quiet);
         return s.Mod("second", {{"b.txd", "second b"}, {"c.dff", "second c"}}, {});
       },
       {"b.txd 1->1 from changed", "c.dff 1->1 from game"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TScene s;
    const std::string mod = c.before(s);
    const std::string archiveBefore = test::ReadFile(s.img);
    const TInstallPlan plan = s.Plan(mod);
    EXPECT_EQ(test::ReadFile(s.img), archiveBefore) << "a plan changes nothing";
    const std::string planned = Changes(plan.Point);
    for (const char* owner : c.owners) EXPECT_NE(planned.find(owner), std::string::npos) << owner;
    s.Install(mod);
    const TRestorePoint done = s.Latest();
    EXPECT_EQ(planned, Changes(done));
    EXPECT_EQ(plan.Point.Archives[0].KeptBytes, done.Archives[0].KeptBytes);
    EXPECT_EQ(plan.Point.Archives[0].NewArchiveBytes,
              static_cast<int64_t>(test::ReadFile(s.img).size()));
  }
}

// A file system whose drives are small: the game on one, the restore folder on another, each
// with the room given. Counts every write.
class TSmallDrives : public TFaultyFileSystem {
 public:
  TSmallDrives(std::string restore, uint64_t gameRoom, uint64_t restoreRoom)
      : TFaultyFileSystem(SystemFileSystem()),
        restore_(std::move(restore)),
        gameRoom_(gameRoom),
        restoreRoom_(restoreRoom) {
    // What writes or makes something; a killed run's leftovers may still be cleared first.
    FailAt(UINT64_MAX, kDiskFull,
           {TFileOp::kCreate, TFileOp::kWrite, TFileOp::kMove, TFileOp::kCreateDirectory,
            TFileOp::kMoveFolder});
  }
  int RoomOf(const std::string& path, TDriveRoom& room) override {
    const bool restore = path.rfind(restore_, 0) == 0;
    room.Drive = restore ? "R:\\" : "G:\\";
    room.Free = restore ? restoreRoom_ : gameRoom_;
    return 0;
  }
  uint64_t Writes() const { return Count(); }

 private:
  std::string restore_;
  uint64_t gameRoom_, restoreRoom_;
};

TEST(RoomCheck, ARunShortOfRoomOnEitherDriveWritesNothingAndTellsTheNumbers) {
  TScene s;
  const std::string mod =
      s.Mod("big", {{"a.dff", std::string(20000, 'x')}}, {{"data\\cars.ide", "the mod's"}});
  test::MakeDirs(s.restore);  // as after a first installation: its drive is known
  TSmallDrives looked(s.restore, 1 << 30, 1 << 30);
  const TInstallPlan plan = s.Plan(mod, looked);
  EXPECT_EQ(looked.Writes(), 0u) << "a plan writes nothing";
  ASSERT_EQ(plan.Drives.size(), 2u) << "the game's drive and the restore folder's";
  const TDriveNeed& gameDrive = plan.Drives[0];
  const TDriveNeed& restoreDrive = plan.Drives[1];
  EXPECT_EQ(gameDrive.Needed, plan.Point.Archives[0].NewArchiveBytes + 9 + (1 << 20));
  // archive.img: its header and directory sector, and the old a.dff.
  EXPECT_EQ(restoreDrive.Needed, 2 * kSector + 15 + (1 << 20));
  struct TCase {
    const char* what;
    uint64_t gameRoom, restoreRoom;
    const TDriveNeed* shortDrive;  // null: enough room
  };
  const uint64_t gameNeeds = static_cast<uint64_t>(gameDrive.Needed);
  const uint64_t restoreNeeds = static_cast<uint64_t>(restoreDrive.Needed);
  const TCase cases[] = {
      {"the game's drive a byte short", gameNeeds - 1, restoreNeeds, &gameDrive},
      {"the restore folder's drive a byte short", gameNeeds, restoreNeeds - 1, &restoreDrive},
      {"both just enough", gameNeeds, restoreNeeds, nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TSmallDrives drives(s.restore, c.gameRoom, c.restoreRoom);
    const std::string before = test::ReadFile(s.img);
    if (!c.shortDrive) {
      EXPECT_NO_THROW(s.Install(mod, drives));
      continue;
    }
    try {
      s.Install(mod, drives);
      ADD_FAILURE() << "installed without room";
    } catch (const ENoRoom& refused) {
      const std::string text = refused.what();
      const uint64_t free = c.shortDrive == &gameDrive ? c.gameRoom : c.restoreRoom;
      for (const std::string& says :
           {"Not enough room on the drive of " + c.shortDrive->Folder + " (" +
                (c.shortDrive == &gameDrive ? "G:\\" : "R:\\") + "): ",
            SizeText(static_cast<uint64_t>(c.shortDrive->Needed)) + " needed, ",
            SizeText(free) + " free.", std::string("Nothing was changed.")})
        EXPECT_NE(text.find(says), std::string::npos) << says << "\n" << text;
      EXPECT_EQ(ExitCodeOf(refused), kExitFailed);
    }
    EXPECT_EQ(drives.Writes(), 0u) << "a byte was written before the check";
    EXPECT_EQ(test::ReadFile(s.img), before);
  }
}

TEST(RoomCheck, AnUndoShortOfRoomWritesNothing) {
  TScene s;
  s.Install(s.Mod("car", {{"a.dff", std::string(9000, 'x')}}, {{"data\\cars.ide", "mod's"}}));
  const std::string installed = test::ReadFile(s.img);
  const TRestorePoint point = s.Latest();
  TSmallDrives drives(s.restore, static_cast<uint64_t>(point.Archives[0].OldArchiveBytes), 1 << 30);
  try {
    TUndo(s.restore, s.game, {drives, s.notices, s.quiet}).Run({});
    ADD_FAILURE() << "taken back without room";
  } catch (const ENoRoom& refused) {
    EXPECT_NE(
        std::string(refused.what()).find(SizeText(point.Archives[0].OldArchiveBytes) + " free."),
        std::string::npos)
        << refused.what();
  }
  EXPECT_EQ(drives.Writes(), 0u);
  EXPECT_EQ(test::ReadFile(s.img), installed);
  TSmallDrives roomy(s.restore, 1 << 30, 1 << 30);
  EXPECT_NO_THROW(TUndo(s.restore, s.game, {roomy, s.notices, s.quiet}).Run({}));
}

// The state of every thing each installed mod wrote, newest first, as one text.
std::string StatusOf(const TGameStatus& status) {
  std::string text;
  for (const TInstallationStatus& installed : status.Installed) {
    text += installed.Point->Title + ":";
    for (const TThingStatus& thing : installed.Things) {
      const char* states[] = {"owns", "taken", "changed", "untold"};
      text += " " + thing.Name + "=" + states[static_cast<int>(thing.State)];
      if (thing.By) text += "(" + thing.By->Title + ")";
    }
    text += "\n";
  }
  return text;
}

TEST(GameStatus, TellsWhatEachInstalledModStillHolds) {
  TScene s;
  s.Install(s.Mod("first", {{"a.dff", "first a"}, {"b.txd", "first b"}},
                  {{"data\\cars.ide", "first cars"}}));
  s.Install(s.Mod("second", {{"a.dff", "second a"}}, {{"data\\new.txt", "second new"}}));
  EXPECT_EQ(StatusOf(s.Status()),
            "second: a.dff=owns data\\new.txt=owns\n"
            "first: a.dff=taken(second) b.txd=owns data\\cars.ide=owns\n");

  struct TStep {
    const char* what;
    std::function<void(TScene&)> change;
    const char* status;
  };
  const TStep steps[] = {
      {"another tool puts b.txd",
       [](TScene& s) {
         test::WriteFile(s.dir / "b.txd", "a tool's b");
         TNoProgress quiet;
         PutFilesIntoArchive(s.img, {s.dir / "b.txd"}, SystemFileSystem(), quiet);
       },
       "second: a.dff=owns data\\new.txt=owns\n"
       "first: a.dff=taken(second) b.txd=changed data\\cars.ide=owns\n"},
      {"the player edits a game file by hand",
       [](TScene& s) { test::WriteFile(s.game + "\\data\\new.txt", "my own"); },
       "second: a.dff=owns data\\new.txt=changed\n"
       "first: a.dff=taken(second) b.txd=changed data\\cars.ide=owns\n"},
      {"and deletes another",
       [](TScene& s) { std::filesystem::remove(test::Native(s.game + "\\data\\cars.ide")); },
       "second: a.dff=owns data\\new.txt=changed\n"
       "first: a.dff=taken(second) b.txd=changed data\\cars.ide=changed\n"},
      {"the second mod is taken back, the player's edit kept aside",
       [](TScene& s) {
         TUndo(s.restore, s.game, {SystemFileSystem(), s.notices, s.quiet}).Run({true, true});
       },
       "first: a.dff=owns b.txd=changed data\\cars.ide=changed\n"},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.what);
    step.change(s);
    EXPECT_EQ(StatusOf(s.Status()), step.status);
  }
}

TEST(GameStatus, ARecordOfAnEarlierLayoutSaysWhatItCannotTell) {
  TScene s;
  s.Install(s.Mod("first", {{"a.dff", "first a"}}, {{"data\\cars.ide", "first cars"}}));
  const std::string record = s.restore + "\\game 1\\record.txt";
  // Written as that layout did: no fingerprint of what it wrote, no owner.
  TRestorePoint point;
  ASSERT_TRUE(ParseRecord(test::ReadFile(record), point));
  const std::string text = test::UntaggedRecordText(point, false, false);
  test::WriteFile(record, text);
  ASSERT_EQ(ListRestorePoints(SystemFileSystem(), s.restore, s.game).size(), 1u) << text;
  const std::string status = StatusOf(s.Status());
  EXPECT_NE(status.find("a.dff=untold"), std::string::npos) << status;
  // A plan over it names the installation, and says it cannot tell more.
  const TInstallPlan plan = s.Plan(s.Mod("second", {{"a.dff", "second a"}}, {}));
  ASSERT_EQ(plan.Point.Archives[0].Replaced.size(), 1u);
  EXPECT_EQ(plan.Point.Archives[0].Replaced[0].TakenFrom, "point:game 1");
}

// merva-img's plan and status over three overlapping mods, in words and in JSON.
TEST(MervaImg, PlanAndStatusNameTheOwnersInWordsAndJson) {
  TScene s;
  const std::string env = "MERVA_RESTORE_DIR=" + ShellQuoted(s.restore) + " ";
  const auto img = [&](const std::string& args) {
    return RunShell(env + ShellQuoted(MERVA_IMG) + " " + args);
  };
  for (const char* name : {"one", "two", "three"}) {
    const std::string mod = s.Mod(name, {{"a.dff", std::string("a of ") + name}},
                                  {{"data\\cars.ide", std::string("cars of ") + name}});
    if (std::string(name) == "three") {
      const test::TToolRun plan = img("plan " + ShellQuoted(s.game) + " " + ShellQuoted(mod));
      EXPECT_EQ(plan.status, 0) << plan.output;
      EXPECT_NE(plan.output.find("replace entry a.dff: 2048 -> 2048 bytes, now two (installed "),
                std::string::npos)
          << plan.output;
      const test::TToolRun json =
          img("plan --json " + ShellQuoted(s.game) + " " + ShellQuoted(mod));
      EXPECT_NE(json.output.find("{\"name\": \"a.dff\", \"action\": \"replace\", \"oldBytes\": "
                                 "2048, \"newBytes\": 2048, \"owner\": {\"kind\": "
                                 "\"installation\", \"point\": \"game 2\", \"title\": \"two\""),
                std::string::npos)
          << json.output;
      EXPECT_NE(json.output.find("\"path\": \"data\\\\cars.ide\", \"action\": \"replace\""),
                std::string::npos)
          << json.output;
    }
    ASSERT_EQ(img("install " + ShellQuoted(s.game) + " " + ShellQuoted(mod)).status, 0);
  }
  const test::TToolRun status = img("status " + ShellQuoted(s.game));
  EXPECT_EQ(status.status, 0);
  EXPECT_NE(status.output.find("  taken over: entry a.dff, by three (installed "),
            std::string::npos)
      << status.output;
  const test::TToolRun json = img("status --json " + ShellQuoted(s.game));
  EXPECT_NE(json.output.find("{\"kind\": \"entry\", \"name\": \"a.dff\", \"state\": "
                             "\"takenOver\", \"by\": \"game 3\"}"),
            std::string::npos)
      << json.output;
  const test::TToolRun detail = img("history --detail " + ShellQuoted(s.game));
  EXPECT_NE(detail.output.find("      a.dff: old 2048 bytes, new 2048 bytes, taken over from two"),
            std::string::npos)
      << detail.output;
  // No game there: the exit code of a folder that is no game.
  EXPECT_EQ(img("status " + ShellQuoted(s.dir / "nothing")).status, kExitNoGame);

  // A run cut off with gta3.img moved aside: told as unfinished, with the command that finishes
  // it, by every command that only reads; the next undo finishes it first.
  const std::string archive = s.game + "\\models\\gta3.img";
  const std::string bytes = test::ReadFile(archive);
  std::filesystem::rename(test::Native(archive), test::Native(archive + ".merva-old"));
  test::WriteFile(s.game + "\\models\\temp.img", bytes);
  test::WriteFile(JournalPathOf(s.game),
                  JournalText(s.game, s.restore, "",
                              {{TJournalStep::kPut,
                                {TJournalPlace::kGame, "models\\temp.img"},
                                {TJournalPlace::kGame, "models\\gta3.img"}},
                               {TJournalStep::kAside,
                                {TJournalPlace::kGame, "models\\gta3.img"},
                                {TJournalPlace::kGame, "models\\gta3.img.merva-old"}}}));
  for (const std::string& command :
       {"status " + ShellQuoted(s.game), "plan --undo 'game 3' " + ShellQuoted(s.game)}) {
    const test::TToolRun told = img(command);
    EXPECT_EQ(told.status, kExitBusy) << command << ": " << told.output;
    EXPECT_NE(told.output.find("was cut off before it finished"), std::string::npos) << told.output;
    EXPECT_NE(told.output.find("merva-img history"), std::string::npos) << told.output;
  }
  EXPECT_EQ(img("undo " + ShellQuoted(s.game)).status, 0);
  EXPECT_EQ(img("status " + ShellQuoted(s.game)).status, 0);
}

// A newest point whose record is gone is named as damaged by status and plan, and nothing it
// may have written is called the game's own. The JSON stays valid whatever bytes a name holds.
TEST(MervaImg, TellsTheEditionAndRefusesTheDefinitiveEditionInEveryCommand) {
  TScene s;
  const std::string env = "MERVA_RESTORE_DIR=" + ShellQuoted(s.restore) + " ";
  const auto img = [&](const std::string& args) {
    return RunShell(env + ShellQuoted(MERVA_IMG) + " " + args);
  };
  const std::string mod = s.Mod("one", {{"a.dff", "a of one"}}, {});
  const std::string game = ShellQuoted(s.game);
  EXPECT_NE(
      img("status " + game)
          .output.find("edition: an edition Merva does not know (no gta_sa.exe in the folder)\n"),
      std::string::npos);
  test::WriteFile(s.game + "\\gta_sa.exe", test::SyntheticUs10Program());
  EXPECT_NE(img("plan " + game + " " + ShellQuoted(mod)).output.find("edition: 1.0 US\n"),
            std::string::npos);
  EXPECT_NE(img("status --json " + game)
                .output.find("\"edition\": {\"name\": \"1.0 US\", \"line\": \"1.0\", \"text\": "
                             "\"1.0 US\", \"multiplayer\": false}"),
            std::string::npos);

  ASSERT_EQ(img("install " + game + " " + ShellQuoted(mod)).status, 0);
  test::MakeDirs(s.game + "\\Gameface\\Binaries\\Win64");
  test::WriteFile(s.game + "\\Gameface\\Binaries\\Win64\\SanAndreas.exe", "MZ");
  const auto before = test::TreeOf(s.dir.Path());
  for (const std::string& command :
       {"install " + game + " " + ShellQuoted(mod), "plan " + game + " " + ShellQuoted(mod),
        "plan --json " + game + " " + ShellQuoted(mod), "status " + game, "undo " + game,
        "plan --undo 'game 1' " + game, "history " + game, "undo --force " + game}) {
    const test::TToolRun run = img(command);
    EXPECT_EQ(run.status, kExitNoGame) << command << "\n" << run.output;
    EXPECT_NE(run.output.find("This folder holds GTA San Andreas \xE2\x80\x93 The Definitive "
                              "Edition, a different game; mods for GTA San Andreas do not work "
                              "in it. Nothing was changed."),
              std::string::npos)
        << command << "\n"
        << run.output;
    EXPECT_EQ(test::TreeDifference(test::TreeOf(s.dir.Path()), before), "") << command;
  }
}

TEST(MervaImg, ADamagedPointIsNamedAndWhatItMayHaveWrittenIsNeverTheGames) {
  TScene s;
  const std::string game = s.dir / "game\xcc\xe0";  // a folder named in code page 1251
  std::filesystem::rename(test::Native(s.game), test::Native(game));
  const std::string env = "MERVA_RESTORE_DIR=" + ShellQuoted(s.restore) + " ";
  const auto img = [&](const std::string& args) {
    return RunShell(env + ShellQuoted(MERVA_IMG) + " " + args);
  };
  const auto validJson = [](const std::string& json) {
    test::TTempDir jsonDir;
    test::WriteFile(jsonDir / "out.json", json);
    // Strict UTF-8, as a JSON document must be.
    return RunShell(
               "python3 -c 'import json,sys; json.load(open(sys.argv[1], encoding=\"utf-8\"))' " +
               ShellQuoted(jsonDir / "out.json"))
               .status == 0;
  };
  const std::string one = s.Mod("one", {{"a.dff", "a of one"}}, {});
  const std::string two = s.Mod("two", {{"b.txd", "b of two"}}, {{"data\\cars.ide", "two's"}});
  ASSERT_EQ(img("install " + ShellQuoted(game) + " " + ShellQuoted(one)).status, 0);
  ASSERT_EQ(img("install " + ShellQuoted(game) + " " + ShellQuoted(two)).status, 0);
  std::filesystem::remove(test::Native(s.restore + "\\game\xcc\xe0 2\\record.txt"));

  const test::TToolRun status = img("status " + ShellQuoted(game));
  EXPECT_EQ(status.status, 0) << status.output;
  EXPECT_NE(status.output.find("damaged restore point game\xcc\xe0 2: its record is missing"),
            std::string::npos)
      << status.output;
  EXPECT_NE(status.output.find("one (installed "), std::string::npos) << status.output;
  const test::TToolRun statusJson = img("status --json " + ShellQuoted(game));
  EXPECT_NE(statusJson.output.find("\"damagedPoints\": [\"game\\udccc\\udce0 2\"]"),
            std::string::npos)
      << statusJson.output;
  EXPECT_TRUE(validJson(statusJson.output)) << statusJson.output;

  const std::string three =
      s.Mod("three", {{"b.txd", "b of three"}, {"a.dff", "a of three"}}, {{"data\\cars.ide", "3"}});
  const test::TToolRun plan = img("plan " + ShellQuoted(game) + " " + ShellQuoted(three));
  EXPECT_EQ(plan.status, 0) << plan.output;
  EXPECT_EQ(plan.output.find("the game's own"), std::string::npos) << plan.output;
  EXPECT_NE(plan.output.find("replace entry b.txd: 2048 -> 2048 bytes, now unknown: the damaged "
                             "restore point game\xcc\xe0 2 may have written it"),
            std::string::npos)
      << plan.output;
  EXPECT_NE(plan.output.find("replace entry a.dff: 2048 -> 2048 bytes, now one (installed "),
            std::string::npos)
      << plan.output;
  const test::TToolRun planJson =
      img("plan --json " + ShellQuoted(game) + " " + ShellQuoted(three));
  EXPECT_EQ(planJson.output.find("\"kind\": \"game\""), std::string::npos) << planJson.output;
  EXPECT_NE(planJson.output.find(
                "{\"kind\": \"unknown\", \"damagedPoints\": [\"game\\udccc\\udce0 2\"]}"),
            std::string::npos)
      << planJson.output;
  EXPECT_TRUE(validJson(planJson.output)) << planJson.output;
}

// A melee weapon's line of weapon.dat ("\xA3 KNIFE ...", code page 1251) is named by one rule in
// the plan's text and its JSON, the section and key as the line itself.
TEST(PlanReport, ADataFilesBytesAreReadOneWayEverywhere) {
  TPlanReport report;
  TItemChange& line = report.Plan.Point.Items.emplace_back();
  line.Kind = "data line";
  line.File = "data\\weapon.dat";
  line.Section = "\xA3";
  line.Key = "KNIFE";
  line.Added = true;
  line.New = "\xA3 KNIFE MELEE";
  const std::string je = "\xD0\x88";  // the letter 0xA3 is in code page 1251
  EXPECT_NE(PlanText(report).find("add line " + je + " KNIFE in data\\weapon.dat"),
            std::string::npos)
      << PlanText(report);
  EXPECT_NE(PlanJson(report).find("\"section\": \"" + je + "\", \"key\": \"KNIFE\""),
            std::string::npos)
      << PlanJson(report);
  EXPECT_NE(PlanJson(report).find("\"new\": \"" + je + " KNIFE MELEE\""), std::string::npos);
}

TEST(JsonString, EscapesWhatJsonMust) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "\"plain\""},
      {"a \"quoted\" C:\\path", "\"a \\\"quoted\\\" C:\\\\path\""},
      {"tab\tline\n", "\"tab\\u0009line\\u000a\""},
      {"Машина 游戏", "\"Машина 游戏\""},
      // Bytes that are no UTF-8 (a code page 1251 name, a cut sequence, an overlong form) each
      // as the surrogate U+DC00 + byte; a Windows name's lone surrogate as itself.
      {"\xcc\xe0\xf8\xe8\xed\xe0.dff", "\"\\udccc\\udce0\\udcf8\\udce8\\udced\\udce0.dff\""},
      {"cut \xe6\xb8", "\"cut \\udce6\\udcb8\""},
      {"\xc0\xaf", "\"\\udcc0\\udcaf\""},
      {"\xed\xa0\x80", "\"\\ud800\""},
  };
  for (const auto& [text, json] : cases) EXPECT_EQ(JsonString(text), json) << text;
}

TEST(SharedLock, ReadersShareItAndKeepChangesOut) {
  TTempDir dir;
  IFileSystem& fs = SystemFileSystem();
  const std::string game = dir / "game";
  test::MakeDirs(game);
  using TMode = TGameLock::TMode;
  {
    const TGameLock first(fs, game, TMode::kRead);
    EXPECT_NO_THROW(TGameLock(fs, game, TMode::kRead)) << "a second reader does not wait";
    EXPECT_THROW(TGameLock(fs, game, TMode::kChange), EGameBusy) << "no change while read";
  }
  {
    const TGameLock change(fs, game, TMode::kChange);
    EXPECT_THROW(TGameLock(fs, game, TMode::kRead), EGameBusy) << "no reading during a change";
  }
  EXPECT_NO_THROW(TGameLock(fs, game, TMode::kChange));
  EXPECT_FALSE(test::Exists(game + "\\merva.lock")) << "the last reader takes its file away";
}

}  // namespace
}  // namespace merva
