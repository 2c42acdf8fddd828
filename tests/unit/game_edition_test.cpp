// Which edition a game folder holds, read from programs made here with the marks the real
// builds carry.
#include "game/game_edition.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/fakes.h"
#include "tests/support/synthetic_program.h"

namespace merva {
namespace {

using test::SyntheticProgram;

TGameEdition EditionOfFolder(const std::vector<std::pair<std::string, std::string>>& files) {
  test::TTempDir dir;
  for (const auto& [name, bytes] : files) {
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) test::MakeDirs(dir / name.substr(0, slash));
    test::WriteFile(dir / name, bytes);
  }
  return GameEditionOf(SystemFileSystem(), dir.Path());
}

TEST(GameEdition, IsReadFromTheProgramsMarks) {
  const struct {
    std::vector<test::TPoke> Pokes;
    bool Patched;
    const char* Program;
    const char* Text;
    const char* Line;
  } cases[] = {
      {{{0x82457C, 0x94BF, 4}}, false, "gta_sa.exe", "1.0 US", "1.0"},
      {{{0x82457C, 0x94BF, 4}, {0x401000, 0x53EC8B55, 4}},
       false,
       "gta_sa.exe",
       "1.0 US (compact)",
       "1.0"},
      {{{0x82457C, 0x94BF, 4}, {0x401000, 0x16197BE9, 4}},
       true,
       "gta_sa.exe",
       "1.0 US (Hoodlum)",
       "1.0"},
      {{{0x8245BC, 0x94BF, 4}}, true, "GTA_SA.EXE", "1.0 EU", "1.0"},
      {{{0x8252FC, 0x94BF, 4}}, false, "gta_sa.exe", "1.01 US", "1.01"},
      {{{0x82533C, 0x94BF, 4}}, false, "gta_sa.exe", "1.01 EU", "1.01"},
      {{{0x85EC4A, 0x94BF, 4}}, false, "gta-sa.exe", "Steam 3.0", "Steam"},
      {{{0x858D21, 0x3539F633, 4}}, false, "gta-sa.exe", "Steam r1", "Steam"},
      {{{0x858D51, 0x3539F633, 4}}, false, "gta-sa.exe", "Steam r2", "Steam"},
      {{{0x858C61, 0x3539F633, 4}}, false, "gta-sa.exe", "Steam r2 German", "Steam"},
      {{{0x858501, 0x3539F633, 4}}, false, "gta_sa.exe", "Launcher 1.0.22", "Launcher"},
      // A mark's value at another build's place, or half of a dword mark, is no mark.
      {{{0x82457C, 0x3539F633, 4}, {0x858D21, 0x94BF, 2}}, false, "gta_sa.exe", "", ""},
  };
  for (const auto& c : cases) {
    const TGameEdition edition =
        EditionOfFolder({{c.Program, SyntheticProgram(c.Pokes, c.Patched)}});
    const std::string expected =
        *c.Text ? c.Text : "an edition Merva does not know (gta_sa.exe, 4591616 bytes, SHA-256 ";
    EXPECT_EQ(edition.Text().substr(0, expected.size()), expected) << c.Text;
    EXPECT_EQ(edition.Line, c.Line) << c.Text;
    EXPECT_EQ(edition.Program, c.Program) << c.Text;
  }
}

TEST(GameEdition, OfAFolderWithoutAKnownProgramIsToldWithWhatIsThere) {
  const std::string program = test::SyntheticUs10Program();
  const std::string truncated = program.substr(0, 0x400000);
  const struct {
    std::vector<std::pair<std::string, std::string>> Files;
    const char* Text;
    bool Definitive;
  } cases[] = {
      {{{"models/gta3.img", "VER2"}},
       "an edition Merva does not know (no gta_sa.exe in the folder)",
       false},
      {{{"gta_sa.exe", "MZ not a program"}},
       "an edition Merva does not know (gta_sa.exe, 16 bytes, SHA-256 "
       "520e2f38c65cd29136eb00f676690fd89f854932145f88569e55e15c055a1abc)",
       false},
      // The mark's place lies past the file's end: a truncated program is not that build.
      {{{"gta_sa.exe", truncated}},
       "an edition Merva does not know (gta_sa.exe, 4194304 bytes",
       false},
      {{{"gta-sa.exe", truncated}},
       "an edition Merva does not know (gta-sa.exe, 4194304 bytes",
       false},
      {{{"Gameface/Binaries/Win64/SanAndreas.exe", "MZ"}, {"gta_sa.exe", program}},
       "GTA San Andreas - The Definitive Edition",
       true},
      {{{"gameface/binaries/win64/SANANDREAS.EXE", "MZ"}},
       "GTA San Andreas - The Definitive Edition",
       true},
  };
  for (const auto& c : cases) {
    const TGameEdition edition = EditionOfFolder(c.Files);
    EXPECT_EQ(edition.Text().substr(0, std::strlen(c.Text)), c.Text);
    EXPECT_EQ(edition.Definitive, c.Definitive) << c.Text;
  }
}

TEST(GameEdition, AnUnknownBuildKeepsTheLineItsFilesShow) {
  const std::string unknown = SyntheticProgram({});
  const struct {
    std::vector<std::pair<std::string, std::string>> Files;
    const char* Line;
  } cases[] = {
      {{{"gta-sa.exe", unknown}}, "Steam"},
      {{{"gta_sa.exe", unknown}, {"MTLX.dll", "x"}, {"index.bin", "x"}}, "Launcher"},
      {{{"gta_sa.exe", unknown}, {"MTLX.dll", "x"}}, ""},
      {{{"gta_sa.exe", unknown}, {"samp.dll", "x"}}, ""},
  };
  for (const auto& c : cases) {
    const TGameEdition edition = EditionOfFolder(c.Files);
    EXPECT_FALSE(edition.Known());
    EXPECT_EQ(edition.Line, c.Line);
  }
  EXPECT_TRUE(EditionOfFolder({{"gta_sa.exe", unknown}, {"samp.dll", "x"}}).Multiplayer);
}

TEST(GameEdition, TheDefinitiveEditionIsRefusedByName) {
  test::TTempDir dir;
  test::MakeDirs(dir / "Gameface/Binaries/Win64");
  EXPECT_NO_THROW(RefuseDefinitiveEdition(SystemFileSystem(), dir.Path()));
  test::WriteFile(dir / "Gameface/Binaries/Win64/SanAndreas.exe", "MZ");
  try {
    RefuseDefinitiveEdition(SystemFileSystem(), dir.Path());
    ADD_FAILURE() << "not refused";
  } catch (const ENotAGame& error) {
    EXPECT_NE(std::string(error.what())
                  .find("The Definitive Edition, a different game; mods for "
                        "GTA San Andreas do not work in it. Nothing was "
                        "changed."),
              std::string::npos)
        << error.what();
  }
}

TEST(EditionWords, NameTheEditionsAModIsFor) {
  TGameEdition us;
  us.Name = "1.0 US";
  us.Line = "1.0";
  TGameEdition steam;
  steam.Name = "Steam 3.0";
  steam.Line = "Steam";
  TGameEdition launcherByFiles;
  launcherByFiles.Line = "Launcher";
  const struct {
    std::vector<std::string> Words;
    const TGameEdition& Edition;
    bool OneOf;
    const char* Text;
  } cases[] = {
      {{"1.0"}, us, true, "1.0 (US or EU)"},
      {{"1.0"}, steam, false, "1.0 (US or EU)"},
      {{"1.0 EU", "1.01"}, us, false, "1.0 EU or 1.01 (US or EU)"},
      {{"1.0 EU", "1.0 US", "Steam 3.0"}, steam, true, "1.0 EU, 1.0 US or Steam 3.0"},
      {{"Launcher"}, launcherByFiles, true, "the Launcher edition"},
      {{"Launcher 1.0.22"}, launcherByFiles, false, "Launcher 1.0.22"},
      {{"Steam"}, TGameEdition{}, false, "a Steam edition"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EditionIsOneOf(c.Edition, c.Words), c.OneOf) << c.Text;
    EXPECT_EQ(EditionsText(c.Words), c.Text);
  }
  EXPECT_EQ(EditionWordOf(" steam  r2 german "), "Steam r2 German");
  EXPECT_EQ(EditionWordOf("1.0  us"), "1.0 US");
  EXPECT_EQ(EditionWordOf("2.0"), "");
  EXPECT_EQ(EditionWordOf("1.0 USA"), "");
}

}  // namespace
}  // namespace merva
