#include "operations/extraction.h"

#include <gtest/gtest.h>

#include "core/errors.h"
#include "tests/support/fakes.h"
#include "tests/support/shell.h"

namespace merva {
namespace {

using test::BuildArchive;
using test::EntryData;
using test::TTempDir;

struct TExtractionTest : ::testing::Test {
  TTempDir dir;
  std::string img = dir / "gta3.img";
  std::string out = dir / "out";
  test::TFakeBoxes boxes;
  test::TFakeProgress progress;

  std::vector<TExtracted> Extract(const std::vector<std::string>& names, bool force = false) {
    TExtraction extraction(img, names, out, {SystemFileSystem(), boxes, progress});
    extraction.Overwrite(force);
    return extraction.Run();
  }
  // The error's text, or "" when the extraction went through.
  std::string Refusal(const std::vector<std::string>& names, bool force = false) {
    try {
      Extract(names, force);
    } catch (const Exception& error) {
      return error.Message();
    }
    return "";
  }
};

TEST_F(TExtractionTest, NamesAreMatchedAsTheInstallerMatchesThemAndTheGamesEntryIsTaken) {
  // Two entries of one name: the game uses the first, and so does the extraction.
  test::WriteFile(img,
                  BuildArchive({{1, 1, "Infernus.dff"}, {2, 2, "x.txd"}, {4, 1, "INFERNUS.DFF"}}));
  const std::vector<TExtracted> written = Extract({"infernus.DFF", "X.TXD", "x.txd"});
  ASSERT_EQ(written.size(), 2u);  // a name given twice is written once
  EXPECT_EQ(written[0].Name, "Infernus.dff");
  EXPECT_EQ(written[0].Bytes, 2048);
  EXPECT_EQ(test::ReadFile(out + "\\Infernus.dff"), EntryData("Infernus.dff", 1));
  EXPECT_EQ(test::ReadFile(out + "\\x.txd"), EntryData("x.txd", 2));
  EXPECT_EQ(progress.Done, 2);
  EXPECT_FALSE(test::Exists(out + "\\Infernus.dff.merva-tmp"));
}

TEST_F(TExtractionTest, WhatCannotBeDoneIsRefusedBeforeAnyFileIsWritten) {
  struct TCase {
    const char* what;
    std::string archive;
    std::vector<std::string> names;
    const char* says;
  };
  const TCase cases[] = {
      {"a name the archive lacks",
       BuildArchive({{1, 1, "a.dff"}}),
       {"a.dff", "b.dff"},
       "holds no entry named b.dff"},
      {"a name that climbs out",
       BuildArchive({{1, 1, "a.dff"}, {2, 1, "..\\evil.dff"}}),
       {"a.dff", "..\\evil.dff"},
       "cannot be written as a file"},
      {"a name with a drive",
       BuildArchive({{1, 1, "a.dff"}, {2, 1, "c:evil"}}),
       {"a.dff", "c:evil"},
       "cannot be written as a file"},
      {"a name of dots",
       BuildArchive({{1, 1, "a.dff"}, {2, 1, ".."}}),
       {"a.dff", ".."},
       "cannot be written as a file"},
      {"data past the end",
       BuildArchive({{1, 1, "a.dff"}}).substr(0, 2048) + "x",
       {"a.dff"},
       "past the end of the file"},
  };
  for (const TCase& c : cases) {
    test::WriteFile(img, c.archive);
    EXPECT_NE(Refusal(c.names).find(c.says), std::string::npos) << c.what;
    EXPECT_FALSE(test::Exists(out)) << c.what;
    EXPECT_FALSE(test::Exists(dir / "evil.dff")) << c.what;
  }
}

TEST_F(TExtractionTest, AnExistingFileIsWrittenOverOnlyWhenAskedAndAFolderNever) {
  test::WriteFile(img, BuildArchive({{1, 1, "a.dff"}, {2, 1, "b.dff"}}));
  test::MakeDirs(out);
  test::WriteFile(out + "\\b.dff", "the author's own");
  EXPECT_NE(Refusal({"a.dff", "B.DFF"}).find("give --force"), std::string::npos);
  EXPECT_FALSE(test::Exists(out + "\\a.dff"));  // nothing before everything is checked
  EXPECT_EQ(test::ReadFile(out + "\\b.dff"), "the author's own");
  EXPECT_EQ(Refusal({"a.dff", "b.dff"}, /*force=*/true), "");
  EXPECT_EQ(test::ReadFile(out + "\\b.dff"), EntryData("b.dff", 1));

  test::MakeDirs(out + "\\folder.dff");
  test::WriteFile(img, BuildArchive({{1, 1, "folder.dff"}}));
  EXPECT_NE(Refusal({"folder.dff"}, true).find("not a regular file"), std::string::npos);
}

TEST(MervaImgExtract, WritesTheEntriesIntoTheFolderAndSaysWhat) {
  TTempDir dir;
  test::WriteFile(dir / "gta3.img", BuildArchive({{1, 1, "a.dff"}, {2, 3, "b.txd"}}));
  const std::string img = test::ShellQuoted(MERVA_IMG);
  const std::string archive = test::ShellQuoted(dir / "gta3.img");
  const std::string to = test::ShellQuoted(dir / "new folder");
  const test::TToolRun run = test::RunShell(img + " extract --to " + to + " " + archive + " B.TXD");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("b.txd\t6144 bytes"), std::string::npos) << run.output;
  EXPECT_EQ(test::ReadFile(dir / "new folder\\b.txd"), EntryData("b.txd", 3));
  const test::TToolRun again =
      test::RunShell(img + " extract --to " + to + " " + archive + " b.txd");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("already exists; give --force"), std::string::npos) << again.output;
  EXPECT_EQ(test::RunShell(img + " extract --force --to " + to + " " + archive + " b.txd").status,
            0);
  EXPECT_EQ(test::RunShell(img + " extract " + archive).status, 2);  // no name: usage
}

}  // namespace
}  // namespace merva
