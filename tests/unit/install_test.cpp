#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "core/errors.h"
#include "core/text.h"
#include "journal/changing_game.h"
#include "operations/install_request.h"
#include "operations/installation.h"
#include "restore/restore_store.h"
#include "tests/support/fakes.h"
#include "tests/support/faulty_file_system.h"

namespace merva {
namespace {

using test::BuildArchive;
using test::DataOf;
using test::DirectoryOf;
using test::EntryData;
using test::PackageBytes;
using test::TEntryLayout;
using test::TTempDir;

std::string Padded(std::string data) {
  data.resize((data.size() + 2047) / 2048 * 2048, '\0');
  return data;
}

struct TInstallTest : ::testing::Test {
  TTempDir dir;
  std::string game = dir / "game";
  std::string img = dir / "game\\models\\gta3.img";
  std::string cab = dir / "data.cab";
  test::TFakeBoxes boxes;
  test::TFakeProgress progress;
  TDATAInst script;
  const std::string original = BuildArchive({{1, 1, "A.DFF"}, {2, 2, "B.DFF"}, {4, 1, "c.txd"}});

  void SetUp() override {
    test::MakeDirs(dir / "game\\models");
    test::WriteFile(img, original);
    test::WriteFile(cab, PackageBytes({{"a.dff", std::string(3000, 'A')},
                                       {"b.DFF", std::string(100, 'B')},
                                       {"d.txd", std::string(10, 'D')},
                                       {"X.IDE", std::string(7, 'X')}}));
    script.ArchiveFiles = {"a.dff", "b.dff", "d.txd", "missing.dff"};
    script.GameFiles = {"data\\maps\\x.ide", "nothere.dat"};
  }
  void Install(IFileSystem& fs = SystemFileSystem()) {
    TInstallation(script, game, {fs, boxes, progress}, cab).Run();
  }
};

TEST_F(TInstallTest, PutsSortsCompactsAndPlacesGameFiles) {
  test::WriteFile(dir / "game\\b.dff", "the user's own file");
  Install();
  const std::string bytes = test::ReadFile(img);
  const std::vector<TEntryLayout> expected = {
      {1, 1, "B.DFF"}, {2, 1, "c.txd"}, {3, 2, "a.dff"}, {5, 1, "d.txd"}};
  EXPECT_EQ(DirectoryOf(bytes), expected);
  const std::string data = Padded(std::string(100, 'B')) + EntryData("c.txd", 1) +
                           Padded(std::string(3000, 'A')) + Padded(std::string(10, 'D'));
  EXPECT_EQ(bytes.substr(2048), data);
  EXPECT_EQ(bytes.size(), 6u * 2048);
  EXPECT_EQ(test::ReadFile(dir / "game\\data\\maps\\x.ide"), std::string(7, 'X'));
  EXPECT_EQ(test::ReadFile(dir / "game\\b.dff"), "the user's own file");
  EXPECT_FALSE(test::Exists(dir / "game\\merva-install.tmp"));
  EXPECT_FALSE(test::Exists(dir / "game\\models\\temp.img"));
  EXPECT_FALSE(test::Exists(dir / "game\\X.IDE"));
  // The rebuild's stretch is the last (a bar holds its position within it): four entries, then
  // the one game file placed.
  EXPECT_EQ(progress.Total, 3);
  EXPECT_EQ(progress.Done, 5);
}

TEST_F(TInstallTest, EmptyListsStillSortAndCompact) {
  script = TDATAInst{};
  test::WriteFile(img, BuildArchive({{5, 1, "late.dff"}, {2, 1, "early.dff"}}));
  Install();
  EXPECT_EQ(DirectoryOf(test::ReadFile(img)),
            (std::vector<TEntryLayout>{{1, 1, "early.dff"}, {2, 1, "late.dff"}}));
}

TEST_F(TInstallTest, AnItemListedTwiceIsPutTwice) {
  script.ArchiveFiles = {"d.txd", "d.txd"};
  script.GameFiles = {};
  int beforeTheRebuild = 0;  // the progress told before each change of the plan
  progress.OnShow = [&] {
    if (!test::Exists(dir / "game\\models\\temp.img")) beforeTheRebuild = progress.Waits;
  };
  Install();
  const std::vector<TEntryLayout> directory = DirectoryOf(test::ReadFile(img));
  EXPECT_EQ(directory.size(), 4u);  // appended once, then replaced in place
  EXPECT_EQ(beforeTheRebuild, 2);
}

TEST_F(TInstallTest, ADamagedPackageChangesNothing) {
  const std::string whole = test::ReadFile(cab);
  test::WriteFile(cab, whole.substr(0, whole.size() - 1));
  try {
    Install();
    ADD_FAILURE() << "no error";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "Unknow version of data-file or file damaged");
  }
  EXPECT_EQ(test::ReadFile(img), original);
  EXPECT_FALSE(test::Exists(dir / "game\\data"));
}

TEST_F(TInstallTest, AGameFolderWithoutItsArchiveChangesNothing) {
  std::filesystem::remove(test::Native(img));
  try {
    Install();
    ADD_FAILURE() << "no notice";
  } catch (const ENotice& notice) {
    EXPECT_EQ(notice.Kind(), TNoticeKind::kError);
    EXPECT_EQ(notice.Message(), MissingArchiveText(img));
  }
  EXPECT_FALSE(test::Exists(dir / "game\\data"));
  EXPECT_FALSE(test::Exists(dir / "game\\merva-install.tmp"));
}

TEST_F(TInstallTest, GameFilesOutsideTheGameFolderAreRefused) {
  for (const char* item : {"..\\evil.dll", "C:\\Windows\\evil.dll", "\\evil.dll", "a\\..\\..\\e"}) {
    script.GameFiles = {item};
    EXPECT_THROW(Install(), Exception) << item;
    EXPECT_EQ(test::ReadFile(img), original) << item;
  }
}

// A script's end record may carry the game-file tag: its empty item names no package file and is
// skipped, as is an item that ends in a folder; the mod installs.
TEST_F(TInstallTest, EmptyItemsAreSkippedLikeMissingFiles) {
  test::WriteFile(cab, PackageBytes({{"", "nameless"}, {"X.IDE", "x"}, {"a.dff", "a"}}));
  script.ArchiveFiles = {"", "a.dff"};
  script.GameFiles = {"data\\x.ide", "data\\", ""};
  Install();
  EXPECT_EQ(test::ReadFile(dir / "game\\data\\x.ide"), "x");
  EXPECT_EQ(DirectoryOf(test::ReadFile(img)).size(), 3u);
}

TEST_F(TInstallTest, PackageNamesThatLeadOutOfTheScratchFolderAreRefused) {
  test::WriteFile(dir / "game\\keep.txt", "the user's");
  for (const char* name : {"../keep.txt", "..", "a/../../keep.txt", "..\\keep.txt", "c:x.dff"}) {
    test::WriteFile(cab, PackageBytes({{name, "hostile"}}));
    script.ArchiveFiles = {name};
    script.GameFiles = {};
    EXPECT_THROW(Install(), Exception) << name;
    EXPECT_EQ(test::ReadFile(dir / "game\\keep.txt"), "the user's") << name;
    EXPECT_EQ(test::ReadFile(img), original) << name;
  }
}

// The game holding its archive, or an archive the user may not write, is told as such, naming
// the file, and the archive stays as it was.
TEST_F(TInstallTest, AnArchiveInUseOrDeniedIsToldAsSuch) {
  struct TCase {
    TFileOp op;
    int code;
    const char* says;
  };
  const TCase cases[] = {
      {TFileOp::kOpen, kSharingViolation, "The game or another program is using the file "},
      {TFileOp::kOpen, kLockViolation, "The game or another program is using the file "},
      {TFileOp::kMove, kSharingViolation, "The game or another program is using the file "},
      {TFileOp::kOpen, kAccessDenied, "Access to the file "},
  };
  TFaultyFileSystem faulty(SystemFileSystem());
  for (const TCase& c : cases) {
    test::WriteFile(img, original);
    faulty.FailAt(1, c.code, {c.op});
    try {
      Install(faulty);
      ADD_FAILURE() << c.says << ": no error";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message().rfind(std::string(c.says) + img, 0), 0u) << error.Message();
      EXPECT_NE(error.Message().find("Nothing was changed."), std::string::npos);
    }
    EXPECT_EQ(test::ReadFile(img), original);
    EXPECT_FALSE(test::Exists(dir / "game\\models\\temp.img"));
  }
}

// Fail every file operation of a whole run in turn: gta3.img is never written in place, so it
// is always either the old archive or the new one whole, and no scratch file stays behind once
// the next run has looked.
TEST_F(TInstallTest, AFailureAtEveryOperationLeavesTheOldArchiveOrTheNewOne) {
  Install();
  const std::string installed = test::ReadFile(img);
  ASSERT_NE(installed, original);
  TFaultyFileSystem faulty(SystemFileSystem());
  int runs = 0;
  for (int code : {kDiskFull, kAccessDenied}) {
    for (uint64_t n = 1;; ++n) {
      test::WriteFile(img, original);
      std::filesystem::remove_all(test::Native(dir / "game\\data"));
      faulty.FailAt(n, code);
      try {
        Install(faulty);
      } catch (const Exception&) {
        // told to the user; what matters is the state it leaves
      }
      if (!faulty.Fired()) break;
      ++runs;
      // A fault past the run's commit leaves it for the next run to finish.
      { const TChangingGame next(SystemFileSystem(), game); }
      const std::string bytes = test::ReadFile(img);
      EXPECT_TRUE(bytes == original || bytes == installed) << "operation " << n;
      const std::string scratch = test::Native(dir / "game\\merva-install.tmp");
      EXPECT_TRUE(!std::filesystem::exists(scratch) || std::filesystem::is_empty(scratch)) << n;
      EXPECT_FALSE(test::Exists(dir / "game\\models\\temp.img")) << n;
    }
  }
  EXPECT_GT(runs, 20);
}

// One request for every front end: the level checked against the registry as the wizard does
// (or not at all without one), and an installation from it keeps its restore point, stamped
// with the time the run starts.
TEST_F(TInstallTest, ARequestChecksTheLevelAndKeepsItsRestorePoint) {
  struct TCase {
    const char* Level;
    bool WithRegistry;
    bool Refused;
  };
  const TCase cases[] = {{"1.0", true, false}, {"0.5", true, true}, {"0.5", false, false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Level) + (c.WithRegistry ? " with" : " without") + " a registry");
    test::WriteFile(dir / "scripts.bin",
                    test::ScriptBytes({{20, "Mod"}, {21, c.Level}, {1, "a.dff"}}));
    test::TFakeRegistry registry;
    registry.KeyExists = true;
    registry.Values["ProductID"] = {TValueType::kBinary, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}};  // 1.0
    test::TFakeLocale locale;
    const TInstallRequest request =
        ReadInstallRequest(SystemFileSystem(), boxes, c.WithRegistry ? &registry : nullptr, locale,
                           dir / "restore", dir / "scripts.bin", cab);
    EXPECT_EQ(request.Refused, c.Refused);
    EXPECT_EQ(request.Restore.Level.Checked, c.WithRegistry);
    EXPECT_EQ(request.Restore.Title, "Mod");
    if (c.Refused) continue;
    test::WriteFile(img, original);
    TInstallation(request, game, {SystemFileSystem(), boxes, progress}).Run();
    const std::vector<TRestorePoint> points =
        ListRestorePoints(SystemFileSystem(), dir / "restore");
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].Title, "Mod");
    EXPECT_FALSE(points[0].Time.empty());
    EXPECT_EQ(DirectoryOf(test::ReadFile(img)).size(), 3u);
    std::filesystem::remove_all(test::Native(dir / "restore"));
  }
}

}  // namespace
}  // namespace merva
