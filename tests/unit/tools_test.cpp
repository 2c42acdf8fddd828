#include <gtest/gtest.h>

#include <cstdio>

#include "core/cp1251.h"
#include "script/script.h"
#include "tests/unit/fakes.h"

namespace merva {
namespace {

using test::TempDir;

struct ToolRun {
  int status;
  std::string output;
};

ToolRun Command(const std::string& command) {
  ToolRun run{0, ""};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  run.status = WEXITSTATUS(pclose(pipe));
  return run;
}

std::string Quoted(const std::string& path) {
  return "'" + test::Native(path) + "'";
}

TEST(MervaPack, ARoundTripGivesBackTextsListsAndFiles) {
  TempDir dir;
  test::WriteFile(dir / "welcome.txt", "Привет!\nВторая строка.\n");
  test::MakeDirs(dir / "files");
  const std::string binary("\x00\x01\xFF\x80 data", 10);
  test::WriteFile(dir / "files\\car.dff", binary);
  test::WriteFile(dir / "files\\cars.ide", "ide");
  test::WriteFile(dir / "manifest.txt",
                  "# a comment\n"
                  "title = Мой мод\n"
                  "level = 1.0\n"
                  "welcome = @welcome.txt\n"
                  "finish = Готово\\nDone\n"
                  "archive = files/car.dff\n"
                  "game = data\\cars.ide from files/cars.ide\n");
  test::MakeDirs(dir / "out");
  const ToolRun build = Command(std::string(MERVA_PACK) + " build " + Quoted(dir / "manifest.txt") +
                                " " + Quoted(dir / "out"));
  ASSERT_EQ(build.status, 0) << build.output;

  TDATAInst script;
  test::FakeBoxes boxes;
  LoadScript(script, SystemFileSystem(), boxes, nullptr, dir / "out\\scripts.bin");
  EXPECT_TRUE(boxes.Shown.empty());
  EXPECT_EQ(script.Title, Cp1251FromUtf8("Мой мод"));
  EXPECT_EQ(script.Level, "1.0");
  EXPECT_EQ(script.WelcomeText, Cp1251FromUtf8("Привет!\r\nВторая строка."));
  EXPECT_EQ(script.FinishText, Cp1251FromUtf8("Готово\r\nDone"));
  EXPECT_EQ(script.ArchiveFiles, (std::vector<std::string>{"car.dff"}));
  EXPECT_EQ(script.GameFiles, (std::vector<std::string>{"data\\cars.ide"}));

  const ToolRun printed =
      Command(std::string(MERVA_PACK) + " script " + Quoted(dir / "out\\scripts.bin"));
  EXPECT_NE(printed.output.find("welcome = Привет!\\nВторая строка."), std::string::npos)
      << printed.output;
  const ToolRun listed =
      Command(std::string(MERVA_PACK) + " list " + Quoted(dir / "out\\data.cab"));
  EXPECT_EQ(listed.output, "10 car.dff\n3 cars.ide\n");
  test::MakeDirs(dir / "unpacked");
  ASSERT_EQ(Command(std::string(MERVA_PACK) + " unpack " + Quoted(dir / "out\\data.cab") + " " +
                    Quoted(dir / "unpacked"))
                .status,
            0);
  EXPECT_EQ(test::ReadFile(dir / "unpacked\\car.dff"), binary);
  EXPECT_EQ(test::ReadFile(dir / "unpacked\\cars.ide"), "ide");
}

TEST(MervaPack, BadManifestsGetAClearError) {
  TempDir dir;
  test::WriteFile(dir / "x.dff", "x");
  const std::pair<std::string, std::string> cases[] = {
      {"title = snow \xE2\x98\x83\n", "code page 1251"},
      {"archive = " + std::string(25, 'n') + " from x.dff\n", "longer than 24"},
      {"colour = red\n", "unknown key"},
      {"game = x.dff\n", "game = PATH"},
      {"archive = missing.dff\n", "File not found"},
  };
  for (const auto& [manifest, error] : cases) {
    test::WriteFile(dir / "manifest.txt", manifest);
    const ToolRun run = Command(std::string(MERVA_PACK) + " build " + Quoted(dir / "manifest.txt") +
                                " " + Quoted(dir.Path()));
    EXPECT_NE(run.status, 0) << manifest;
    EXPECT_NE(run.output.find(error), std::string::npos) << run.output;
  }
}

TEST(MervaPack, WarnsOfALevelWithoutAPoint) {
  TempDir dir;
  test::WriteFile(dir / "manifest.txt", "level = 2\n");
  const ToolRun run = Command(std::string(MERVA_PACK) + " build " + Quoted(dir / "manifest.txt") +
                              " " + Quoted(dir.Path()));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("warning: the installer reads the level 2 as 0.2"), std::string::npos)
      << run.output;
}

TEST(MervaImg, CreatePutListCheckSortCompact) {
  TempDir dir;
  const std::string img = Quoted(dir / "gta3.img");
  const std::string tool = MERVA_IMG;
  ASSERT_EQ(Command(tool + " create " + img).status, 0);
  test::WriteFile(dir / "b.dff", std::string(3000, 'b'));
  test::WriteFile(dir / "a.txd", "a");
  ASSERT_EQ(
      Command(tool + " put " + img + " " + Quoted(dir / "b.dff") + " " + Quoted(dir / "a.txd"))
          .status,
      0);
  EXPECT_EQ(Command(tool + " list " + img).output, "0 1 2 b.dff\n1 3 1 a.txd\n");
  const ToolRun check = Command(tool + " check " + img);
  EXPECT_EQ(check.status, 0) << check.output;
  ASSERT_EQ(Command(tool + " compact " + img).status, 0);
  EXPECT_EQ(Command(tool + " list " + img).output, "0 1 2 b.dff\n1 3 1 a.txd\n");
  EXPECT_FALSE(test::Exists(dir / "temp.img"));
  EXPECT_EQ(Command(tool + " sort " + img).status, 0);
}

TEST(MervaImg, CheckFindsDamageAndWarnsOfWhatTheGameCannotUse) {
  TempDir dir;
  const std::string tool = MERVA_IMG;
  struct Case {
    std::vector<test::EntrySpec> entries;
    int64_t sectors;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {{{1, 2, "a.dff"}, {2, 1, "b.dff"}}, 3, 1, "overlap"},
      {{{1, 5, "a.dff"}}, 3, 1, "past the end"},
      {{{0, 1, "a.dff"}}, 2, 1, "inside the directory"},
      {{{1, 1, std::string(24, 'n')}}, 2, 0, "23 characters"},
      {{{1, 70000, "big.dff"}}, 70001, 0, "65,535"},
  };
  for (const Case& c : cases) {
    test::WriteFile(dir / "x.img", test::ArchiveBytes(c.entries, c.sectors));
    const ToolRun run = Command(tool + " check " + Quoted(dir / "x.img"));
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
  }
  test::WriteFile(dir / "x.img", "NOPE");
  EXPECT_NE(Command(tool + " check " + Quoted(dir / "x.img")).status, 0);
}

}  // namespace
}  // namespace merva
