#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "core/cp1251.h"
#include "script/script.h"
#include "tests/support/fakes.h"
#include "tests/support/renderware_files.h"
#include "tests/support/shell.h"

namespace merva {
namespace {

using test::RunShell;
using test::ShellQuoted;
using test::TTempDir;
using test::TToolRun;

const std::string kImg = ShellQuoted(MERVA_IMG), kPack = ShellQuoted(MERVA_PACK);

TEST(MervaPack, ARoundTripGivesBackTextsListsAndFiles) {
  TTempDir dir;
  test::WriteFile(dir / "welcome.txt", "Привет!\nВторая строка.\n");
  test::MakeDirs(dir / "files");
  const std::string binary("\x00\x01\xFF\x80 data", 10);
  test::WriteFile(dir / "files\\car.dff", binary);
  test::WriteFile(dir / "files\\cars.ide", "ide");
  test::WriteFile(dir / "manifest.txt",
                  "# a comment\n"
                  "title = Мой мод\n"
                  "level = 1.0\n"
                  "editions = 1.0  us,steam\n"
                  "welcome = @welcome.txt\n"
                  "finish = Готово\\nDone\n"
                  "archive = files/car.dff\n"
                  "game = data\\cars.ide from files/cars.ide\n");
  test::MakeDirs(dir / "out");
  const TToolRun build = RunShell(kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " +
                                  ShellQuoted(dir / "out"));
  ASSERT_EQ(build.status, 0) << build.output;

  TDATAInst script;
  test::TFakeBoxes boxes;
  LoadScript(script, SystemFileSystem(), boxes, nullptr, dir / "out\\scripts.bin");
  EXPECT_TRUE(boxes.Shown.empty());
  EXPECT_EQ(script.Title, "Мой мод");
  EXPECT_EQ(script.Level, "1.0");
  EXPECT_EQ(script.Editions, "1.0 US, Steam");
  EXPECT_EQ(script.WelcomeText, "Привет!\r\nВторая строка.");
  EXPECT_EQ(script.FinishText, "Готово\r\nDone");
  EXPECT_EQ(script.ArchiveFiles, (std::vector<std::string>{"car.dff"}));
  EXPECT_EQ(script.GameFiles, (std::vector<std::string>{"data\\cars.ide"}));

  const TToolRun printed = RunShell(kPack + " script " + ShellQuoted(dir / "out\\scripts.bin"));
  EXPECT_NE(printed.output.find("welcome = Привет!\\nВторая строка."), std::string::npos)
      << printed.output;
  const TToolRun listed = RunShell(kPack + " list " + ShellQuoted(dir / "out\\data.cab"));
  EXPECT_EQ(listed.output, "10 car.dff\n3 cars.ide\n");
  test::MakeDirs(dir / "unpacked");
  ASSERT_EQ(RunShell(kPack + " unpack " + ShellQuoted(dir / "out\\data.cab") + " " +
                     ShellQuoted(dir / "unpacked"))
                .status,
            0);
  EXPECT_EQ(test::ReadFile(dir / "unpacked\\car.dff"), binary);
  EXPECT_EQ(test::ReadFile(dir / "unpacked\\cars.ide"), "ide");
}

// An interior mod end to end with the tools on disk: built from its manifest, shown, installed
// into gta3.img and gta_int.img with the other archives untouched (bytes and file time), and
// taken back.
TEST(MervaPack, AnInteriorModIsBuiltShownInstalledAndTakenBack) {
  TTempDir dir;
  test::MakeDirs(dir / "files");
  test::WriteFile(dir / "files\\int_room.dff", std::string(3000, 'R'));
  test::WriteFile(dir / "files\\car.dff", "car");
  test::WriteFile(dir / "manifest.txt",
                  "title = Interior\n"
                  "archive = files/car.dff\n"
                  "archive models\\gta_int.img = files/int_room.dff\n");
  ASSERT_EQ(RunShell(kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " +
                     ShellQuoted(dir / "mod"))
                .status,
            0);
  EXPECT_NE(RunShell(kPack + " script " + ShellQuoted(dir / "mod\\scripts.bin"))
                .output.find("archive models\\gta_int.img = int_room.dff\n"),
            std::string::npos);
  EXPECT_EQ(RunShell(kPack + " list " + ShellQuoted(dir / "mod\\data.cab")).output,
            "3 car.dff\n3000 int_room.dff (into models\\gta_int.img)\n");

  test::MakeDirs(dir / "game\\models");
  for (const char* archive : {"gta3.img", "gta_int.img", "cutscene.img"})
    ASSERT_EQ(RunShell(kImg + " create " + ShellQuoted(dir / "game\\models\\" + archive)).status,
              0);
  const std::string cutscene = test::Native(dir / "game\\models\\cutscene.img");
  struct stat before {};
  ASSERT_EQ(stat(cutscene.c_str(), &before), 0);
  const std::map<std::string, std::string> game = test::TreeOf(dir / "game");
  const std::string env = "MERVA_RESTORE_DIR=" + ShellQuoted(dir / "restore") + " ";
  const TToolRun plan =
      RunShell(env + kImg + " plan " + ShellQuoted(dir / "game") + " " + ShellQuoted(dir / "mod"));
  EXPECT_NE(plan.output.find("add entry int_room.dff in models\\gta_int.img: 4096 bytes\n"),
            std::string::npos)
      << plan.output;
  EXPECT_NE(plan.output.find("archive models\\gta_int.img: "), std::string::npos) << plan.output;
  const TToolRun json = RunShell(env + kImg + " plan --json " + ShellQuoted(dir / "game") + " " +
                                 ShellQuoted(dir / "mod"));
  EXPECT_NE(json.output.find("\"name\": \"int_room.dff\", \"action\": \"add\", \"newBytes\": "
                             "4096, \"archive\": \"models\\\\gta_int.img\"}"),
            std::string::npos)
      << json.output;
  EXPECT_NE(json.output.find("\"otherArchives\": [{\"path\": \"models\\\\gta_int.img\""),
            std::string::npos)
      << json.output;
  const TToolRun install = RunShell(env + kImg + " install " + ShellQuoted(dir / "game") + " " +
                                    ShellQuoted(dir / "mod"));
  ASSERT_EQ(install.status, 0) << install.output;
  EXPECT_NE(RunShell(kImg + " list " + ShellQuoted(dir / "game\\models\\gta_int.img"))
                .output.find("int_room.dff"),
            std::string::npos);
  EXPECT_EQ(RunShell(kImg + " list " + ShellQuoted(dir / "game\\models\\gta3.img")).output,
            "0 1 1 car.dff\n");
  struct stat after {};
  ASSERT_EQ(stat(cutscene.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(after.st_ino, before.st_ino) << "not rewritten";

  const TToolRun undo = RunShell(env + kImg + " undo " + ShellQuoted(dir / "game"));
  ASSERT_EQ(undo.status, 0) << undo.output;
  EXPECT_NE(undo.output.find("removed\tint_room.dff in models\\gta_int.img"), std::string::npos)
      << undo.output;
  EXPECT_EQ(test::TreeDifference(test::TreeOf(dir / "game"), game), "");
  // A game's other archive changes under the game's journal, through a name of ours.
  const std::string interior = ShellQuoted(dir / "game\\models\\gta_int.img");
  ASSERT_EQ(RunShell(kImg + " put " + interior + " " + ShellQuoted(dir / "files\\car.dff")).status,
            0);
  ASSERT_EQ(RunShell(kImg + " rename " + interior + " car.dff van.dff").status, 0);
  EXPECT_EQ(RunShell(kImg + " list " + interior).output, "0 1 1 van.dff\n");
  EXPECT_FALSE(test::Exists(dir / "game\\models\\gta_int.img.merva-new"));
  EXPECT_FALSE(test::Exists(dir / "game\\merva-journal.txt"));
}

// An archive the mod's own gta.dat line names is built from its files and installed whole; the
// undo takes it away with the line.
TEST(MervaPack, AModsOwnArchiveIsBuiltInstalledAndTakenBackWithItsLine) {
  TTempDir dir;
  test::MakeDirs(dir / "files");
  test::WriteFile(dir / "files\\tower.dff", test::RenderWareModel());
  test::WriteFile(dir / "files\\gta.txt", "IMG MODELS\\MYMOD.IMG\n");
  test::WriteFile(dir / "manifest.txt",
                  "title = Own\n"
                  "archive models\\mymod.img = files/tower.dff\n"
                  "data data\\gta.dat = files/gta.txt\n");
  ASSERT_EQ(RunShell(kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " +
                     ShellQuoted(dir / "mod"))
                .status,
            0);
  EXPECT_EQ(RunShell(kPack + " list " + ShellQuoted(dir / "mod\\data.cab")).output,
            "21 gta.txt\n4096 mymod.img\n");
  EXPECT_FALSE(test::Exists(dir / "mod\\.merva-own-archives"));

  test::MakeDirs(dir / "game\\models");
  test::MakeDirs(dir / "game\\data");
  ASSERT_EQ(RunShell(kImg + " create " + ShellQuoted(dir / "game\\models\\gta3.img")).status, 0);
  test::WriteFile(dir / "game\\data\\gta.dat", "IMG MODELS\\GTA_INT.IMG\r\n");
  const std::map<std::string, std::string> game = test::TreeOf(dir / "game");
  const std::string env = "MERVA_RESTORE_DIR=" + ShellQuoted(dir / "restore") + " ";
  const std::string folders = ShellQuoted(dir / "game") + " " + ShellQuoted(dir / "mod");
  EXPECT_NE(RunShell(env + kImg + " plan " + folders)
                .output.find("limit: IMG archives named by gta.dat: the game uses 1, the mod adds "
                             "1, limit 5\n"),
            std::string::npos);
  EXPECT_NE(RunShell(env + kImg + " plan --json " + folders)
                .output.find("{\"what\": \"IMG archives named by gta.dat\", \"gameUses\": 1, "
                             "\"modAdds\": 1, \"limit\": 5, \"raisedBy\": null, \"passed\": "
                             "false}"),
            std::string::npos);
  const TToolRun install = RunShell(env + kImg + " install " + folders);
  ASSERT_EQ(install.status, 0) << install.output;
  EXPECT_EQ(RunShell(kImg + " list " + ShellQuoted(dir / "game\\models\\mymod.img")).output,
            "0 1 1 tower.dff\n");
  EXPECT_EQ(test::ReadFile(dir / "game\\data\\gta.dat"),
            "IMG MODELS\\GTA_INT.IMG\r\nIMG MODELS\\MYMOD.IMG\r\n");
  ASSERT_EQ(RunShell(env + kImg + " undo " + ShellQuoted(dir / "game")).status, 0);
  EXPECT_EQ(test::TreeDifference(test::TreeOf(dir / "game"), game), "");
}

TEST(MervaPack, AutomaticIdsAreUsedAsOneModelEach) {
  TTempDir dir;
  test::WriteFile(dir / "cars.txt",
                  "cars\n@mine, mine, mine, car, MINE, MINE, null, normal, 10, 0, 0\nend\n");
  test::WriteFile(dir / "objs.txt", "objs\n@mine, minebox, gen, 100, 0\nend\n");
  test::WriteFile(dir / "place.txt", "inst\n@other, x, 0, 1, 2, 3, 0, 0, 0, 1, -1\nend\n");
  const std::pair<std::string, std::string> cases[] = {
      {"data data\\maps\\mine.ide = objs.txt\n",
       "objs.txt: defines @mine for a second model (objs)"},
      {"data data\\maps\\mine.ipl = place.txt\n", "place.txt: places @other, which none"},
  };
  for (const auto& [line, error] : cases) {
    test::WriteFile(dir / "manifest.txt", "title = T\ndata data\\vehicles.ide = cars.txt\n" + line);
    const TToolRun run = RunShell(kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " +
                                  ShellQuoted(dir / "mod"));
    EXPECT_NE(run.status, 0) << line;
    EXPECT_NE(run.output.find(error), std::string::npos) << run.output;
  }
}

TEST(MervaPack, BadManifestsGetAClearError) {
  TTempDir dir;
  test::WriteFile(dir / "x.dff", "x");
  test::MakeDirs(dir / "folder.dff");
  const std::pair<std::string, std::string> cases[] = {
      {"title = snow \xE2\x98\x83\n", "code page 1251"},
      {"archive = " + std::string(25, 'n') + " from x.dff\n", "longer than 24"},
      {"colour = red\n", "unknown key"},
      {"game = x.dff\n", "game = PATH"},
      {"archive = missing.dff\n", "3: missing.dff: file not found"},
      {"archive = folder.dff\n", "3: folder.dff: is a folder, not a file"},
      {"welcome = @nothere.txt\n", "3: nothere.txt: file not found"},
      {"title = a\ntitle = b\n", "title is given twice, on lines 3 and 4"},
      {"level = abc\n", "cannot read the level abc"},
      {"level = 1.2.3\n", "cannot read the level 1.2.3"},
      {"level = 1e999.0\n", "cannot read the level 1e999.0"},
      {"level = -5.0\n", "must be a number above 0"},
      {"level = 0.0\n", "must be a number above 0"},
      {"editions = 1.0, 2.0\n", "3: 2.0 is not an edition Merva knows; write one or more of 1.0, "},
      {"editions = 1.0,,1.01\n", "3: \"\" is not an edition Merva knows"},
      {"archive = ..\n", "cannot install a file named .."},
      {"game = ..\\..\\x.dll from x.dff\n", "outside the game folder"},
      {"game = C:\\x.dll from x.dff\n", "outside the game folder"},
      {"", "no KEY = VALUE line"},
      {"# only a comment\n\n", "no KEY = VALUE line"},
  };
  for (auto [manifest, error] : cases) {
    // Two lines ahead, so that errors name a line of their own.
    if (!manifest.empty() && manifest[0] != '#') manifest = "# the mod\n\n" + manifest;
    test::WriteFile(dir / "manifest.txt", manifest);
    const TToolRun run = RunShell(kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " +
                                  ShellQuoted(dir.Path()));
    EXPECT_NE(run.status, 0) << manifest;
    EXPECT_NE(run.output.find(error), std::string::npos) << run.output;
    // The manifest named as the user wrote its path, "/" and all.
    EXPECT_NE(run.output.find(dir.Path() + "/manifest.txt:"), std::string::npos) << run.output;
  }
  const TToolRun folder =
      RunShell(kPack + " build " + ShellQuoted(dir / "folder.dff") + " " + ShellQuoted(dir.Path()));
  EXPECT_NE(folder.output.find("folder.dff: is a folder, not a manifest file"), std::string::npos)
      << folder.output;
}

// A build that fails leaves the folder as it was: no new script beside an old package.
TEST(MervaPack, AFailedBuildChangesNoOutput) {
  TTempDir dir;
  test::WriteFile(dir / "scripts.bin", "old script");
  test::WriteFile(dir / "data.cab", "old package");
  test::WriteFile(dir / "x.dff", "x");
  test::WriteFile(dir / "manifest.txt", "title = t\narchive = x.dff\narchive = y.dff\n");
  const TToolRun run = RunShell(kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " +
                                ShellQuoted(dir.Path()));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_EQ(test::ReadFile(dir / "scripts.bin"), "old script");
  EXPECT_EQ(test::ReadFile(dir / "data.cab"), "old package");
  // Notepad's byte-order mark is no part of the first key.
  test::WriteFile(dir / "manifest.txt", "\xEF\xBB\xBFtitle = t\narchive = x.dff\n");
  const TToolRun fixed = RunShell(kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " +
                                  ShellQuoted(dir.Path()));
  EXPECT_EQ(fixed.status, 0) << fixed.output;
  EXPECT_EQ(RunShell(kPack + " list " + ShellQuoted(dir / "data.cab")).output, "1 x.dff\n");
  for (const auto& file : std::filesystem::directory_iterator(test::Native(dir.Path())))
    EXPECT_EQ(file.path().filename().string().find("tmp"), std::string::npos) << file.path();
}

// The output folder is made when it is not there yet, and only once the manifest is sound.
TEST(MervaPack, BuildMakesItsFolder) {
  TTempDir dir;
  test::WriteFile(dir / "x.dff", "x");
  const auto build = [&](const std::string& manifest, const std::string& out) {
    test::WriteFile(dir / "manifest.txt", manifest);
    return RunShell(kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " + ShellQuoted(out));
  };
  const TToolRun bad = build("title = t\narchive = missing.dff\n", dir / "bad\\out");
  EXPECT_EQ(bad.status, 1) << bad.output;
  EXPECT_FALSE(test::Exists(dir / "bad")) << "made for a manifest that was refused";
  const TToolRun made = build("title = t\narchive = x.dff\n", dir / "new\\mod folder");
  EXPECT_EQ(made.status, 0) << made.output;
  EXPECT_EQ(RunShell(kPack + " list " + ShellQuoted(dir / "new\\mod folder\\data.cab")).output,
            "1 x.dff\n");
  const TToolRun onAFile = build("title = t\narchive = x.dff\n", dir / "x.dff");
  EXPECT_EQ(onAFile.status, 1) << onAFile.output;
  EXPECT_NE(onAFile.output.find("x.dff: is not a folder"), std::string::npos) << onAFile.output;
  EXPECT_EQ(test::ReadFile(dir / "x.dff"), "x");
}

TEST(MervaPack, UnpackWritesNothingOutsideItsFolder) {
  TTempDir dir;
  test::MakeDirs(dir / "out");
  for (const char* name : {"..\\evil.txt", "../evil.txt", "a/../../evil.txt", ".."}) {
    test::WriteFile(dir / "data.cab", test::PackageBytes({{"fine.txt", "f"}, {name, "evil"}}));
    const TToolRun run = RunShell(kPack + " unpack " + ShellQuoted(dir / "data.cab") + " " +
                                  ShellQuoted(dir / "out"));
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_NE(run.output.find(std::string("holds a file named ") + name), std::string::npos)
        << run.output;
    EXPECT_FALSE(test::Exists(dir / "evil.txt")) << name;
    EXPECT_FALSE(test::Exists(dir / "out\\fine.txt")) << name;
  }
}

TEST(MervaPack, ScriptRefusesWhatTheLoaderCannotRead) {
  TTempDir dir;
  const std::string whole = test::ScriptBytes({{20, "Title"}, {1, "a.dff"}});
  const std::string version = "scripts.bin: Unknow version of script-file or file damaged";
  const std::string cut = "scripts.bin: the installation script is damaged: it ends inside";
  const struct {
    const char* what;
    std::string bytes;
    const std::string& said;
  } cases[] = {
      {"empty", "", version},
      {"random", "\x13\x99garbage that is no script at all", version},
      {"cut in the payload", whole.substr(0, whole.size() - 3), cut},
      {"cut in the length", whole.substr(0, whole.size() - 7), cut},
  };
  for (const auto& c : cases) {
    test::WriteFile(dir / "scripts.bin", c.bytes);
    const TToolRun run = RunShell(kPack + " script " + ShellQuoted(dir / "scripts.bin"));
    EXPECT_EQ(run.status, 1) << c.what << ": " << run.output;
    EXPECT_NE(run.output.find(c.said), std::string::npos) << c.what << ": " << run.output;
  }
  // Ending right after a whole record, without an end record, is as the format allows.
  test::WriteFile(dir / "scripts.bin", whole);
  const TToolRun run = RunShell(kPack + " script " + ShellQuoted(dir / "scripts.bin"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("archive = a.dff"), std::string::npos) << run.output;
}

TEST(MervaPack, WarnsOfALevelWithoutAPoint) {
  TTempDir dir;
  test::WriteFile(dir / "manifest.txt", "level = 2\n");
  const TToolRun run = RunShell(kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " +
                                ShellQuoted(dir.Path()));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("warning: the installer reads the level 2 as 0.2"), std::string::npos)
      << run.output;
}

TEST(MervaImg, CreatePutListCheckSortCompact) {
  TTempDir dir;
  const std::string img = ShellQuoted(dir / "gta3.img");
  const std::string tool = kImg;
  ASSERT_EQ(RunShell(tool + " create " + img).status, 0);
  test::WriteFile(dir / "b.dff", std::string(3000, 'b'));
  test::WriteFile(dir / "a.txd", "a");
  ASSERT_EQ(RunShell(tool + " put " + img + " " + ShellQuoted(dir / "b.dff") + " " +
                     ShellQuoted(dir / "a.txd"))
                .status,
            0);
  EXPECT_EQ(RunShell(tool + " list " + img).output, "0 1 2 b.dff\n1 3 1 a.txd\n");
  const TToolRun check = RunShell(tool + " check " + img);
  EXPECT_EQ(check.status, 0) << check.output;
  ASSERT_EQ(RunShell(tool + " compact " + img).status, 0);
  EXPECT_EQ(RunShell(tool + " list " + img).output, "0 1 2 b.dff\n1 3 1 a.txd\n");
  EXPECT_FALSE(test::Exists(dir / "temp.img"));
  EXPECT_EQ(RunShell(tool + " sort " + img).status, 0);
}

// The size field as the game reads it: two 16-bit fields, the second (the size in the archive)
// winning when it is not 0. list, check and extract agree with the game, and an empty entry is
// an empty file wherever its offset points.
TEST(MervaImg, ReadsTheSizeFieldsAsTheGameDoes) {
  TTempDir dir;
  struct TCase {
    const char* what;
    int32_t field;
    int32_t offset;
    const char* listed;  // the size list prints, in sectors
    int64_t extracted;   // bytes
  };
  const TCase cases[] = {
      {"the streaming size alone", 0x00000002, 1, "1 2 a.dff", 4096},
      {"the size in the archive wins", 0x00010005, 1, "1 1 a.dff", 2048},
      {"a 32-bit size of 65,536 sectors", 0x00010000, 1, "1 1 a.dff", 2048},
      {"the largest size the game reads", 0x0000FFFF, 1, "1 65535 a.dff", 65535 * 2048},
      {"an empty entry past the end of the file", 0, 9, "9 0 a.dff", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const int64_t sectors = c.extracted / 2048 + 2;
    test::WriteFile(dir / "x.img", test::ArchiveBytes({{c.offset, c.field, "a.dff"}}, sectors));
    TToolRun run = RunShell(kImg + " list " + ShellQuoted(dir / "x.img"));
    EXPECT_EQ(run.output, std::string("0 ") + c.listed + "\n");
    run = RunShell(kImg + " check " + ShellQuoted(dir / "x.img"));
    EXPECT_EQ(run.status, 0) << run.output;
    std::filesystem::remove(test::Native(dir / "a.dff"));
    run = RunShell(kImg + " extract --to " + ShellQuoted(dir.Path()) + " " +
                   ShellQuoted(dir / "x.img") + " a.dff");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(test::Native(dir / "a.dff"))),
              c.extracted);
  }
  // What the game could not read is never written: put and build refuse 128 MiB.
  test::WriteFile(dir / "x.img", test::ArchiveBytes({{1, 1, "a.dff"}}, 2));
  const std::string big = test::Native(dir / "big.dff");
  test::WriteFile(dir / "big.dff", "");
  std::filesystem::resize_file(big, 65536 * 2048);
  const std::string before = test::ReadFile(dir / "x.img");
  TToolRun run = RunShell(kImg + " put " + ShellQuoted(dir / "x.img") + " " + ShellQuoted(big));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("the game reads no archive file of 128 MiB"), std::string::npos)
      << run.output;
  EXPECT_EQ(test::ReadFile(dir / "x.img"), before);
  test::WriteFile(dir / "manifest.txt", "title = t\narchive = big.dff\n");
  test::MakeDirs(dir / "out");
  run = RunShell(kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " +
                 ShellQuoted(dir / "out"));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("the game reads no archive file of 128 MiB"), std::string::npos)
      << run.output;
}

TEST(MervaImg, CheckFindsDamageAndWarnsOfWhatTheGameCannotUse) {
  TTempDir dir;
  const std::string tool = kImg;
  struct TCase {
    std::vector<test::TEntryLayout> entries;
    int64_t sectors;
    int status;
    const char* says;
  };
  const TCase cases[] = {
      {{{1, 2, "a.dff"}, {2, 1, "b.dff"}}, 3, 1, "overlap"},
      {{{1, 5, "a.dff"}}, 3, 1, "past the end"},
      {{{0, 1, "a.dff"}}, 2, 1, "inside the directory"},
      {{{1, 1, std::string(24, 'n')}}, 2, 0, "23 characters"},
      {{{1, 1, std::string(23, 'n') + "a"}, {2, 1, std::string(23, 'n') + "b"}},
       3,
       0,
       "have one name in the 23 characters the game reads"},
  };
  for (const TCase& c : cases) {
    test::WriteFile(dir / "x.img", test::ArchiveBytes(c.entries, c.sectors));
    const TToolRun run = RunShell(tool + " check " + ShellQuoted(dir / "x.img"));
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
  }
  test::WriteFile(dir / "x.img", test::ArchiveBytes({{1, 1, "a.dff"}, {2, 1, "A.DFF"}}, 3));
  const TToolRun twice = RunShell(tool + " check " + ShellQuoted(dir / "x.img"));
  EXPECT_EQ(twice.status, 1) << twice.output;
  EXPECT_NE(twice.output.find("entries 0 and 1 are both named A.DFF; the game uses only the first"),
            std::string::npos)
      << twice.output;
}

// Every command checks what it is given before it changes anything, and says in English what
// failed and with which file.
TEST(MervaImg, RefusesOddInputAndLeavesTheArchiveAsItWas) {
  TTempDir dir;
  const std::string tool = kImg;
  const std::string archive = test::BuildArchive({{1, 1, "a.dff"}});
  test::MakeDirs(dir / "models");
  test::WriteFile(dir / "long.dff", "x");
  const std::string longName = std::string(25, 'n');
  test::WriteFile(dir / longName, "x");
  test::WriteFile(dir / "notimg.img", std::string(5000, 'z'));
  test::WriteFile(dir / "snow\u2603.dff", "x");  // a host can hold it, the archive cannot
  ASSERT_EQ(mkfifo(test::Native(dir / "pipe.dff").c_str(), 0644), 0);
  struct TCase {
    std::string args;
    int status;
    std::string says;
  };
  const std::string img = ShellQuoted(dir / "models\\gta3.img");
  const TCase cases[] = {
      {"create " + img, 1, "gta3.img: already exists; give --force"},
      {"compact " + ShellQuoted(dir / "notimg.img"), 1,
       "notimg.img: not an IMG archive (no \"VER2\" header)"},
      {"list " + ShellQuoted(dir / "notimg.img"), 1, "not an IMG archive"},
      {"put " + img + " " + img, 1, "gta3.img: is the archive itself"},
      {"put " + img + " " + ShellQuoted(dir / "pipe.dff"), 1, "pipe.dff: is not a regular file"},
      {"put " + img + " " + ShellQuoted(dir / "models"), 1, "models: is a folder"},
      {"put " + img + " " + ShellQuoted(dir / longName), 1, "longer than 24 characters"},
      {"put " + img + " '" + test::Native(dir.Path()) + "/snow\u2603.dff'", 1,
       "snow\u2603.dff: the name has a character outside code page 1251"},
      {"put " + img + " " + ShellQuoted(dir / "long.dff") + " " +
           ShellQuoted(dir / "files/car.dff"),
       1, "files/car.dff: file not found"},
      {"sort " + ShellQuoted(dir / "none.img"), 1, "none.img: file not found"},
      {"list " + img + " extra", 2, "usage"},
      {"compact " + img + " extra", 2, "usage"},
  };
  for (const TCase& c : cases) {
    test::WriteFile(dir / "models\\gta3.img", archive);
    const TToolRun run = RunShell(tool + " " + c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << c.args << "\n" << run.output;
    EXPECT_EQ(test::ReadFile(dir / "models\\gta3.img"), archive) << c.args;
  }
  EXPECT_EQ(test::ReadFile(dir / "notimg.img"), std::string(5000, 'z'));
  EXPECT_EQ(RunShell(tool + " create --force " + img).status, 0);
  EXPECT_EQ(test::ReadFile(dir / "models\\gta3.img").size(), 2048u);
}

// The tool's temporary file has a name of its own, so an archive called temp.img survives.
TEST(MervaImg, CompactsAnArchiveNamedTempImg) {
  TTempDir dir;
  test::WriteFile(dir / "temp.img", test::ArchiveBytes({{3, 1, "a.dff"}}, 5));
  const TToolRun run = RunShell(kImg + " compact " + ShellQuoted(dir / "temp.img"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::DirectoryOf(test::ReadFile(dir / "temp.img")),
            (std::vector<test::TEntryLayout>{{1, 1, "a.dff"}}));
}

// install keeps a restore point in MERVA_RESTORE_DIR, history lists it with its game folder,
// undo takes it back; each refusal is one line and exit status 1, and nothing changes.
// compact, delete and rename of a game's archive write the new archive where an installation
// does, models\temp.img, so that what a killed one leaves is removed by the game's next run.
TEST(MervaImg, AGamesArchiveIsRebuiltAtTheInstallersOwnName) {
  TTempDir dir;
  const std::string game = dir / "game", archive = game + "\\models\\gta3.img";
  const std::string temp = game + "\\models\\temp.img";
  test::MakeDirs(game + "\\models");
  const std::string original = test::BuildArchive({{1, 1, "a.dff"}, {3, 1, "b.dff"}});
  const std::string env = "MERVA_RESTORE_DIR=" + ShellQuoted(dir / "restore") + " ";
  for (const char* command : {"compact", "delete", "rename"}) {
    SCOPED_TRACE(command);
    test::WriteFile(archive, original);
    std::string args = std::string(command) + " " + ShellQuoted(archive);
    if (args.rfind("delete", 0) == 0) args += " b.dff";
    if (args.rfind("rename", 0) == 0) args += " b.dff c.dff";
    test::MakeDirs(temp + "\\in the way");  // a folder where the new archive is to be written
    const TToolRun blocked = RunShell(env + kImg + " " + args);
    EXPECT_EQ(blocked.status, 1) << blocked.output;
    EXPECT_NE(blocked.output.find("temp.img"), std::string::npos) << blocked.output;
    EXPECT_EQ(test::ReadFile(archive), original);
    std::filesystem::remove_all(test::Native(temp));
    test::WriteFile(temp, "left by a killed run");
    EXPECT_EQ(RunShell(env + kImg + " history " + ShellQuoted(game)).status, 0);
    EXPECT_FALSE(test::Exists(temp)) << "the next run of the game removes it";
    const TToolRun done = RunShell(env + kImg + " " + args);
    EXPECT_EQ(done.status, 0) << done.output;
    EXPECT_FALSE(test::Exists(temp));
    EXPECT_FALSE(test::Exists(archive + ".merva-tmp"));
  }
}

TEST(MervaImg, InstallHistoryAndUndo) {
  TTempDir dir;
  const std::string tool = kImg, restore = test::Native(dir / "restore");
  const std::string env = "MERVA_RESTORE_DIR=" + ShellQuoted(dir / "restore") + " ";
  test::MakeDirs(dir / "game\\models");
  test::MakeDirs(dir / "mod");
  const std::string original = test::BuildArchive({{1, 1, "a.dff"}, {2, 1, "b.dff"}});
  test::WriteFile(dir / "game\\models\\gta3.img", original);
  test::WriteFile(dir / "mod\\scripts.bin", test::ScriptBytes({{20, "Mod"}, {1, "a.dff"}}));
  test::WriteFile(dir / "mod\\data.cab", test::PackageBytes({{"a.dff", std::string(5000, 'n')}}));
  const std::string game = ShellQuoted(dir / "game");

  struct TStep {
    const char* command;
    int status;
    const char* output;  // a part of the output
    bool installed;      // the archive afterwards
  };
  const TStep steps[] = {
      {"history", 0, "", false},
      {"undo GAME", 1, "There is no installation to take back in ", false},
      {"install GAME MOD", 0, "", true},
      {"history GAME", 0, "game 1\t", true},
      {"undo", 2, "usage", true},
      {"undo GAME --point ''", 2, "usage", true},  // no point is not the newest
      {"undo --point GAME", 2, "usage", true},
      {"plan --undo '' GAME", 2, "usage", true},
      {"undo GAME --point game 7", 1, "no restore point of ", true},
      {"undo GAME", 0, "took back game 1\t", false},
      {"history", 0, "", false},
  };
  for (const TStep& step : steps) {
    std::string command = step.command;
    for (const auto& [word, path] :
         {std::pair<std::string, std::string>{"GAME", game}, {"MOD", ShellQuoted(dir / "mod")}}) {
      const auto at = command.find(word);
      if (at != std::string::npos) command.replace(at, word.size(), path);
    }
    if (command.find("--point game 7") != std::string::npos)
      command.replace(command.find("game 7"), 6, "'game 7'");
    const TToolRun run = RunShell(env + tool + " " + command);
    EXPECT_EQ(run.status, step.status) << step.command << ": " << run.output;
    EXPECT_NE(run.output.find(step.output), std::string::npos)
        << step.command << ": " << run.output;
    EXPECT_EQ(test::ReadFile(dir / "game\\models\\gta3.img") != original, step.installed)
        << step.command;
    if (std::string(step.command) == "history GAME") {
      EXPECT_NE(run.output.find(test::Native(dir / "game")), std::string::npos) << run.output;
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(restore));
}

// Models and textures the game cannot read are refused by the author's build and the player's
// installation alike, with nothing changed; doubtful ones are warned about and go in.
TEST(MervaPackAndImg, RefuseModelsTheGameCannotReadAndWarnOfDoubtfulOnes) {
  const std::string model = test::RenderWareModel();
  const struct {
    const char* Name;
    std::string Bytes;
    bool Refused;
    const char* Why;
  } cases[] = {
      {"cut.dff", model.substr(0, model.size() - 3), true,
       "it is cut short: its data runs 3 bytes past the end of the file"},
      {"ps2.txd", test::TextureDictionary(0x00325350), true,
       "its textures are the PlayStation 2's"},
      {"renamed.dff", test::TextureDictionary(9), false,
       "it is not a model the game can read: it is a texture dictionary"},
      {"vc.dff", test::RenderWareModel(0x1003FFFF), false,
       "it was made with RenderWare 3.4.0.3, older"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempDir dir;
    test::WriteFile(dir / c.Name, c.Bytes);
    test::WriteFile(dir / "manifest.txt", std::string("title = T\narchive = ") + c.Name + "\n");
    const TToolRun build = RunShell(kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " +
                                    ShellQuoted(dir / "out"));
    EXPECT_EQ(build.status != 0, c.Refused) << build.output;
    EXPECT_NE(build.output.find(std::string(c.Refused ? "error: " : "warning: ") + dir.Path() +
                                "/manifest.txt:2: " + c.Name + ": " + c.Why),
              std::string::npos)
        << build.output;

    test::MakeDirs(dir / "game\\models");
    test::MakeDirs(dir / "mod");
    const std::string original = test::BuildArchive({{1, 1, "a.dff"}});
    test::WriteFile(dir / "game\\models\\gta3.img", original);
    test::WriteFile(dir / "mod\\scripts.bin", test::ScriptBytes({{20, "Mod"}, {1, c.Name}}));
    test::WriteFile(dir / "mod\\data.cab", test::PackageBytes({{c.Name, c.Bytes}}));
    const std::string args = ShellQuoted(dir / "game") + " " + ShellQuoted(dir / "mod");
    const std::string env = "MERVA_RESTORE_DIR=" + ShellQuoted(dir / "restore") + " ";
    const TToolRun plan = RunShell(env + kImg + " plan " + args);
    EXPECT_NE(plan.output.find(std::string(c.Refused ? "" : "warning: ") + c.Name + ": " + c.Why),
              std::string::npos)
        << plan.output;
    const TToolRun install = RunShell(env + kImg + " install " + args);
    EXPECT_EQ(install.status, c.Refused ? 1 : 0) << install.output;
    EXPECT_NE(install.output.find(std::string(c.Refused ? "" : "merva-img: warning: ") + c.Name +
                                  ": " + c.Why),
              std::string::npos)
        << install.output;
    if (c.Refused) {
      EXPECT_NE(install.output.find("Nothing was changed."), std::string::npos);
    }
    EXPECT_EQ(test::ReadFile(dir / "game\\models\\gta3.img") != original, !c.Refused);
  }
}

// A model ID another installed mod gave its model is made into another only when asked.
TEST(MervaImg, InstallReplacesAnotherModsLineOnlyWithTheSwitch) {
  TTempDir dir;
  const std::string env = "MERVA_RESTORE_DIR=" + ShellQuoted(dir / "restore") + " ";
  test::MakeDirs(dir / "game\\models");
  test::MakeDirs(dir / "game\\data");
  test::WriteFile(dir / "game\\models\\gta3.img", test::BuildArchive({{1, 1, "a.dff"}}));
  const std::string ide = dir / "game\\data\\vehicles.ide";
  test::WriteFile(ide, "cars\r\nend\r\n");
  const auto install = [&](const std::string& model, const std::string& options) {
    const std::string mod = dir / ("mod-" + model);
    test::MakeDirs(mod);
    test::WriteFile(mod + "\\scripts.bin",
                    test::ScriptBytes({{20, model}, {4, "data\\vehicles.ide|cars.txt"}}));
    test::WriteFile(mod + "\\data.cab",
                    test::PackageBytes({{"cars.txt", "cars\r\n611, " + model +
                                                         ", x, car, A, A, null, normal, 10, 0, "
                                                         "0\r\nend\r\n"}}));
    return RunShell(env + kImg + " install " + options + ShellQuoted(dir / "game") + " " +
                    ShellQuoted(mod));
  };
  ASSERT_EQ(install("mycar", "").status, 0);
  const TToolRun refused = install("othercar", "");
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.output.find("would change what another installed mod wrote"), std::string::npos)
      << refused.output;
  EXPECT_NE(test::ReadFile(ide).find("611, mycar"), std::string::npos);
  const TToolRun allowed = install("othercar", "--replace-lines ");
  EXPECT_EQ(allowed.status, 0) << allowed.output;
  EXPECT_NE(test::ReadFile(ide).find("611, othercar"), std::string::npos);
}

}  // namespace
}  // namespace merva
