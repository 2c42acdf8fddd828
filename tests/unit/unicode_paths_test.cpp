// Folders in any script: every path the host can hold goes through the file system, the tools
// and the restore record unchanged; only what enters the game's files must fit code page 1251.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "core/cp1251.h"
#include "core/file_system.h"
#include "restore/restore_point.h"
#include "script/script.h"
#include "tests/support/fakes.h"
#include "tests/support/shell.h"

namespace merva {
namespace {

using test::RunShell;
using test::ShellQuoted;
using test::TTempDir;
using test::TToolRun;

const std::string kImg = ShellQuoted(MERVA_IMG), kPack = ShellQuoted(MERVA_PACK);

// Folder names of players around the world, and what a shell must quote.
const char* const kFolderNames[] = {
    "Área de Trabalho João", "Gry ąłęż Zoë", "Игры Жук", "游戏 GTA", "mod 😀", "it's \"quoted\" (1)",
};

TEST(UnicodePaths, EveryFileSystemOperationKeepsTheName) {
  IFileSystem& fs = SystemFileSystem();
  for (const char* name : kFolderNames) {
    SCOPED_TRACE(name);
    TTempDir dir;
    const std::string folder = dir / name, file = folder + "\\" + name + ".dat";
    ASSERT_TRUE(fs.CreateDirectory(folder));
    EXPECT_TRUE(fs.DirectoryExists(folder));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() + "/" + name)) << "stored as UTF-8";

    std::unique_ptr<IFileHandle> handle;
    ASSERT_EQ(fs.Create(file, handle), 0);
    uint32_t done = 0;
    EXPECT_EQ(handle->Write("bytes", 5, done), 0);
    EXPECT_EQ(handle->Close(), 0);
    EXPECT_TRUE(fs.FileExists(file));
    ASSERT_EQ(fs.Open(file, TOpenAccess::kReadOnly, handle), 0);
    char read[5];
    EXPECT_EQ(handle->Read(read, 5, done), 0);
    EXPECT_EQ(std::string(read, done), "bytes");
    handle.reset();

    std::vector<std::string> names;
    ASSERT_TRUE(fs.ListFolder(folder, names));
    EXPECT_EQ(names, std::vector<std::string>{std::string(name) + ".dat"});

    const std::string moved = folder + "\\" + name + " 2.dat";
    EXPECT_EQ(fs.MoveFileReplace(file, moved), 0);
    EXPECT_FALSE(fs.FileExists(file));
    const std::string renamed = dir / (std::string(name) + " moved");
    EXPECT_EQ(fs.MoveFolder(folder, renamed), 0);
    EXPECT_TRUE(fs.DeleteFile(renamed + "\\" + name + " 2.dat"));
    EXPECT_TRUE(fs.RemoveDirectory(renamed));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  }
}

// The whole way of a mod author and a player, with the mod, the game and the restore points in
// a folder of each name: build, unpack, put, install (a game file with a Cyrillic name lands
// under that name), history, undo back to the bytes before.
TEST(UnicodePaths, TheToolsWorkInAFolderOfAnyName) {
  const std::string pack = kPack, img = kImg;
  for (const char* name : kFolderNames) {
    SCOPED_TRACE(name);
    TTempDir dir;
    const std::string root = dir / name;
    const std::string mod = root + "\\mod", out = root + "\\mod out", game = root + "\\game";
    test::MakeDirs(mod + "\\files " + name);
    test::MakeDirs(game + "\\models");
    test::MakeDirs(out);
    test::MakeDirs(root + "\\unpacked");
    test::WriteFile(mod + "\\welcome " + name + ".txt", "Привет!");
    test::WriteFile(mod + "\\files " + name + "\\car.dff", std::string(3000, 'c'));
    test::WriteFile(mod + "\\files " + name + "\\машина.txt", "game file");
    test::WriteFile(mod + "\\manifest.txt",
                    std::string("title = Мод\n") + "welcome = @welcome " + name + ".txt\n" +
                        "archive = files " + name + "/car.dff\n" +
                        "game = data\\машина.txt from files " + name + "/машина.txt\n");
    const std::string original = test::BuildArchive({{1, 1, "a.dff"}, {2, 1, "car.dff"}});
    test::WriteFile(game + "\\models\\gta3.img", original);

    TToolRun run =
        RunShell(pack + " build " + ShellQuoted(mod + "\\manifest.txt") + " " + ShellQuoted(out));
    ASSERT_EQ(run.status, 0) << run.output;
    run = RunShell(pack + " unpack " + ShellQuoted(out + "\\data.cab") + " " +
                   ShellQuoted(root + "\\unpacked"));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(test::ReadFile(root + "\\unpacked\\машина.txt"), "game file");

    test::WriteFile(root + "\\put " + name + ".img", original);
    test::WriteFile(root + "\\new.dff", "new");
    run = RunShell(img + " put " + ShellQuoted(root + "\\put " + name + ".img") + " " +
                   ShellQuoted(root + "\\new.dff"));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(test::DirectoryOf(test::ReadFile(root + "\\put " + name + ".img")).back().Name,
              "new.dff");

    const std::string env = "MERVA_RESTORE_DIR=" + ShellQuoted(root + "\\restore " + name) + " ";
    run = RunShell(env + img + " install " + ShellQuoted(game) + " " + ShellQuoted(out));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(test::ReadFile(game + "\\data\\машина.txt"), "game file");
    EXPECT_NE(test::ReadFile(game + "\\models\\gta3.img"), original);

    run = RunShell(env + img + " history " + ShellQuoted(game));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("\tМод\t" + test::Native(game) + "\n"), std::string::npos)
        << run.output;
    const std::string changes =
        test::ReadFile(root + "\\restore " + name + "\\game 1\\changes.txt");
    EXPECT_NE(changes.find("Game folder: " + test::Native(game) + "\r\n"), std::string::npos)
        << changes;

    run = RunShell(env + img + " undo " + ShellQuoted(game));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(test::ReadFile(game + "\\models\\gta3.img"), original);
    EXPECT_FALSE(test::Exists(game + "\\data"));
  }
}

// Whatever the host can hold, the game's files cannot: each such name is refused with one
// line naming it, and nothing is written.
TEST(UnicodePaths, NamesForTheGamesFilesMustFitCodePage1251) {
  TTempDir dir;
  test::MakeDirs(dir / "files");
  test::WriteFile(dir / "files\\ação.dff", "x");
  test::WriteFile(dir / "files\\ok.dff", "x");
  test::WriteFile(dir / "gta3.img", test::BuildArchive({{1, 1, "a.dff"}}));
  const std::string before = test::ReadFile(dir / "gta3.img");
  struct TCase {
    std::string command, says;
  };
  const std::string pack =
      kPack + " build " + ShellQuoted(dir / "manifest.txt") + " " + ShellQuoted(dir / "out");
  const TCase cases[] = {
      {kImg + " put " + ShellQuoted(dir / "gta3.img") + " " + ShellQuoted(dir / "files\\ação.dff"),
       "/files/ação.dff: the name has a character outside code page 1251"},
      {"archive = files/ação.dff", "ação.dff: the name has a character outside code page 1251"},
      {"game = data\\游戏.txt from files/ok.dff",
       "data\\游戏.txt: the name has a character outside code page 1251"},
      {"welcome = 游戏", "the text of welcome has a character that code page 1251 lacks"},
  };
  for (const TCase& c : cases) {
    std::string command = c.command;
    if (command.find(" = ") != std::string::npos) {
      test::WriteFile(dir / "manifest.txt", "title = t\n" + c.command + "\n");
      command = pack;
    }
    const TToolRun run = RunShell(command);
    EXPECT_EQ(run.status, 1) << c.command << "\n" << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << c.command << "\n" << run.output;
    EXPECT_FALSE(test::Exists(dir / "out")) << c.command;
    EXPECT_EQ(test::ReadFile(dir / "gta3.img"), before) << c.command;
  }
}

TEST(UnicodePaths, TheRestoreRecordKeepsEveryPathAndReadsTheOlderLayout) {
  TRestorePoint point;
  point.Title = "Мод 😀";
  point.Time = "2026-12-08 10:00:00";
  point.GameFolder = "C:\\Users\\João\\Área de Trabalho\\GTA San Andreas";
  point.GameFiles = {{"data\\машина.txt", true, 1, 2, "game\\data\\машина.txt", "", "", ""},
                     {"游戏\\x.txt", false, 0, 2, "", "", "", ""}};
  point.FoldersCreated = {"游戏"};
  point.Archives[0].Added = {{"жук.dff", 1, ""}};
  point.Archives[0].NewArchiveFingerprint = std::string(64, 'a');
  TRestorePoint read;
  ASSERT_TRUE(ParseRecord(RecordText(point), read));
  EXPECT_EQ(read.Title, point.Title);
  EXPECT_EQ(read.GameFolder, point.GameFolder);
  EXPECT_EQ(read.GameFiles[0].Item, "data\\машина.txt");
  EXPECT_EQ(read.GameFiles[0].Kept, "game\\data\\машина.txt");
  EXPECT_EQ(read.GameFiles[1].Item, "游戏\\x.txt");
  EXPECT_EQ(read.FoldersCreated, point.FoldersCreated);
  EXPECT_NE(ChangesText(read).find("Game folder: " + point.GameFolder), std::string::npos);

  // A point written before names were UTF-8 kept them in code page 1251: read as they were.
  TRestorePoint old;
  old.Title = Cp1251FromUtf8("Мод");
  old.GameFolder = Cp1251FromUtf8("C:\\Игры\\GTA");
  old.GameFiles = {{Cp1251FromUtf8("data\\машина.txt"), true, 1, 2,
                    Cp1251FromUtf8("game\\data\\машина.txt"), "", "", ""}};
  old.Archives[0].Added = {{Cp1251FromUtf8("жук.dff"), 1, ""}};
  old.Archives[0].NewArchiveFingerprint = std::string(64, 'a');
  const std::string older = test::UntaggedRecordText(old, true, true);
  TRestorePoint readOld;
  ASSERT_TRUE(ParseRecord(older, readOld));
  EXPECT_EQ(readOld.Title, "Мод");
  EXPECT_EQ(readOld.GameFolder, "C:\\Игры\\GTA");
  EXPECT_EQ(readOld.GameFiles[0].Item, "data\\машина.txt");
  EXPECT_EQ(readOld.GameFiles[0].Kept, "game\\data\\машина.txt");
  EXPECT_EQ(readOld.Archives[0].Added[0].Name, "жук.dff");
}

}  // namespace
}  // namespace merva
