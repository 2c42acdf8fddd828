// The manifest reader on its own: what each line becomes in the script and the package.
#include "tools/manifest.h"

#include <gtest/gtest.h>

#include "core/cp1251.h"
#include "core/errors.h"
#include "tests/support/fakes.h"

namespace merva {
namespace {

using test::TTempDir;

struct TManifestTest : ::testing::Test {
  TTempDir dir;
  TManifest Read(const std::string& text) {
    test::WriteFile(dir / "manifest.txt", text);
    return ReadManifest(dir / "manifest.txt");
  }
  std::string Error(const std::string& text) {
    try {
      Read(text);
    } catch (const Exception& error) {
      return error.Message();
    }
    return "";
  }
};

TEST_F(TManifestTest, ListsBecomeScriptItemsAndEachFileIsPackedOnce) {
  test::MakeDirs(dir / "files");
  test::WriteFile(dir / "files\\car.dff", "car");
  test::WriteFile(dir / "files\\cars.ide", "ide");
  const TManifest manifest = Read(
      "archive = files/car.dff\n"
      "archive = CAR.DFF from files/car.dff\n"
      "game = data\\cars.ide from files/cars.ide\n"
      "game = data\\maps\\cars.ide from files/cars.ide\n");
  EXPECT_EQ(manifest.Script.ArchiveFiles, (std::vector<std::string>{"car.dff", "CAR.DFF"}));
  EXPECT_EQ(manifest.Script.GameFiles,
            (std::vector<std::string>{"data\\cars.ide", "data\\maps\\cars.ide"}));
  ASSERT_EQ(manifest.Sources.size(), 2u);  // a name the installer finds once is packed once
  EXPECT_EQ(manifest.Sources[0].Name, "car.dff");
  EXPECT_EQ(manifest.Sources[0].DiskPath, dir / "files\\car.dff");
  EXPECT_EQ(manifest.Sources[1].Name, "cars.ide");
}

TEST_F(TManifestTest, AnItemNamesTheArchiveItGoesIntoAndAHostileArchiveIsRefused) {
  test::MakeDirs(dir / "files");
  test::WriteFile(dir / "files\\int_room.dff", "room");
  const TManifest manifest = Read(
      "archive models\\gta_int.img = files/int_room.dff\n"
      "ARCHIVE anim/anim.img = walk.ifp from files/int_room.dff\n"
      "archive models\\GTA3.IMG = files/int_room.dff\n");
  EXPECT_EQ(
      manifest.Script.NamedArchiveFiles,
      (std::vector<std::string>{"models\\gta_int.img|int_room.dff", "anim\\anim.img|walk.ifp"}));
  EXPECT_EQ(manifest.Script.ArchiveFiles, std::vector<std::string>{"int_room.dff"})
      << "gta3.img named is the main archive";
  const struct {
    const char* Archive;
    const char* Said;
  } refused[] = {
      {"..\\gta_int.img", "outside the game folder"},
      {"C:\\Games\\x.img", "outside the game folder"},
      {"models\\temp.img", "the installer itself uses it"},
      {"merva.lock", "the installer itself uses it"},
      {"merva-install.tmp\\x.img", "the installer itself uses it"},
      {"models\\gta_int.dat", "not an IMG archive"},
      {"models\\con.img", "device"},
      {"models\\gta_int.img:stream", "Windows does not allow the character ':'"},
      {"C:x.img", "outside the game folder"},
  };
  for (const auto& c : refused) {
    const std::string error =
        Error(std::string("archive ") + c.Archive + " = files/int_room.dff\n");
    EXPECT_NE(error.find(":1: a mod cannot put files into " + std::string(c.Archive)),
              std::string::npos)
        << error;
    EXPECT_NE(error.find(c.Said), std::string::npos) << error;
  }
}

TEST_F(TManifestTest, DataLinesAreCheckedAsTheInstallerChecksThem) {
  test::MakeDirs(dir / "files");
  test::WriteFile(dir / "files\\cars.txt",
                  "cars\n611, mycar, mycar, car, A, A, null, normal, 10, 0, 0\nend\n");
  test::WriteFile(dir / "files\\bad.txt", "MYCAR 1.0\n");
  const TManifest manifest = Read("data data/vehicles.ide = files/cars.txt\n");
  EXPECT_EQ(manifest.Script.DataLines, std::vector<std::string>{"data\\vehicles.ide|cars.txt"});
  ASSERT_EQ(manifest.Sources.size(), 1u);
  EXPECT_EQ(manifest.Sources[0].Name, "cars.txt");
  const struct {
    const char* Manifest;
    const char* Said;
  } refused[] = {
      {"data data\\handling.cfg = files/bad.txt\n",
       ":1: files/bad.txt: line 1: a car's handling line has 36 fields"},
      {"data data\\timecyc.dat = files/cars.txt\n", ":1: Merva cannot tell the lines of"},
      {"data ..\\vehicles.ide = files/cars.txt\n", ":1: ..\\vehicles.ide is not a file"},
      {"game = data\\VEHICLES.IDE from files/cars.txt\ndata data\\vehicles.ide = files/cars.txt\n",
       ":2: data\\vehicles.ide: the mod both replaces this file whole"},
  };
  for (const auto& c : refused)
    EXPECT_NE(Error(c.Manifest).find(c.Said), std::string::npos) << Error(c.Manifest);
}

TEST_F(TManifestTest, TextsAreConvertedUnescapedAndReadFromFiles) {
  test::WriteFile(dir / "welcome.txt", "\xEF\xBB\xBFПривет\r\nмир\n\n");
  const TManifest manifest = Read(
      "\xEF\xBB\xBF"
      "title = Мод\n"
      "welcome = @welcome.txt\n"
      "finish = a\\nb \\\\ c\n");
  EXPECT_EQ(manifest.Script.Title, "Мод");
  EXPECT_EQ(manifest.Script.WelcomeText, "Привет\r\nмир");
  EXPECT_EQ(manifest.Script.FinishText, "a\r\nb \\ c");
  EXPECT_EQ(UnescapeText(EscapeText("x\r\ny\\n")), "x\r\ny\\n");
}

TEST_F(TManifestTest, WarnsOfWhatTheGameOrTheInstallerReadsDifferently) {
  test::WriteFile(dir / std::string(24, 'n'), "n");
  const TManifest manifest = Read("level = 3\narchive = " + std::string(24, 'n') + "\n");
  ASSERT_EQ(manifest.Warnings.size(), 2u);
  EXPECT_NE(manifest.Warnings[0].find("only the first 23 characters"), std::string::npos);
  EXPECT_NE(manifest.Warnings[1].find("reads the level 3 as 0.3"), std::string::npos);
  EXPECT_TRUE(Read("level = 0\n").Warnings.empty());
  EXPECT_TRUE(Read("level = 1,5\n").Warnings.empty());
}

TEST_F(TManifestTest, RefusesWhatItCannotPackAsWritten) {
  test::MakeDirs(dir / "a");
  test::MakeDirs(dir / "b");
  test::WriteFile(dir / "a\\x.dff", "1");
  test::WriteFile(dir / "b\\x.dff", "2");
  EXPECT_NE(Error("archive = a/x.dff\narchive = b/x.dff\n").find("two different files"),
            std::string::npos);
  EXPECT_NE(Error("game = data\\ from a/x.dff\n").find("no file name"), std::string::npos);
  EXPECT_NE(Error("title\n").find("expected KEY = VALUE"), std::string::npos);
  EXPECT_NE(Error("level = 1e999\n").find("must be a number above 0"), std::string::npos);
  test::WriteFile(dir / "manifest.txt", "level = abc\n");  // kept for testing the refusal
  EXPECT_EQ(ReadManifest(dir / "manifest.txt", /*anyLevel=*/true).Script.Level, "abc");
}

}  // namespace
}  // namespace merva
