#include <gtest/gtest.h>

#include <algorithm>

#include "archive/archive.h"
#include "archive/archive_delete.h"
#include "archive/archive_rename.h"
#include "core/errors.h"
#include "tests/support/fakes.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/shell.h"

namespace merva {
namespace {

using test::BuildArchive;
using test::DataOf;
using test::DirectoryOf;
using test::TEntryLayout;
using test::TTempDir;

// Data out of directory order, a name given twice, an empty entry and a 24-character name.
const std::vector<TEntryLayout> kOriginal = {
    {9, 2, "b.dff"},  {2, 1, "a.txd"},   {4, 1, "dup.dff"},
    {12, 0, "e.col"}, {6, 3, "DUP.DFF"}, {5, 1, "abcdefghijklmnopqrstuvwx"},
};

// What a delete or a rename must leave, built without the code under test: the entries kept,
// named as given, sorted by position and laid out back to back after the directory.
std::string Expected(const std::string& original, std::vector<TEntryLayout> kept) {
  std::stable_sort(kept.begin(), kept.end(), [](const TEntryLayout& a, const TEntryLayout& b) {
    return a.Offset < b.Offset;
  });
  const auto count = static_cast<int32_t>(kept.size());
  const int32_t first = (count + 2) * 32 / 2048 + 1;
  std::vector<TEntryLayout> fresh;
  std::string data;
  int32_t at = first;
  for (const TEntryLayout& e : kept) {
    fresh.push_back({at, e.Size, e.Name});
    data += DataOf(original, e);
    at += e.Size;
  }
  return count == 0 ? std::string("VER2", 4) + std::string(2044, '\0')
                    : test::ArchiveBytes(fresh, first) + data;
}

std::vector<TEntryLayout> Without(const std::vector<std::string>& gone) {
  std::vector<TEntryLayout> kept;
  for (const TEntryLayout& e : kOriginal)
    if (std::find(gone.begin(), gone.end(), e.Name) == gone.end()) kept.push_back(e);
  return kept;
}

std::vector<TEntryLayout> Renamed(const std::string& from, const std::string& to) {
  std::vector<TEntryLayout> entries = kOriginal;
  for (TEntryLayout& e : entries)
    if (e.Name == from) e.Name = to;
  return entries;
}

struct TEditTest : ::testing::Test {
  TTempDir dir;
  std::string img = dir / "gta3.img";
  std::string temp = dir / "gta3.img.merva-tmp";
  std::string original = BuildArchive(kOriginal);
  test::TFakeProgress progress;
  void SetUp() override { test::WriteFile(img, original); }
};

TEST_F(TEditTest, DeleteTakesEveryEntryOfEachNameOrNothing) {
  struct TCase {
    std::vector<std::string> Names;
    std::vector<std::string> Gone;  // the entries that go, by their stored names
    std::string Error;              // empty: it succeeds
  };
  const TCase cases[] = {
      {{"b.dff"}, {"b.dff"}, ""},
      {{"A.TXD"}, {"a.txd"}, ""},                 // names match as the installer's do
      {{"dup.dff"}, {"dup.dff", "DUP.DFF"}, ""},  // a name given twice in the archive
      {{"a.txd", "a.txd"}, {"a.txd"}, ""},        // and twice on the command line
      {{"e.col"}, {"e.col"}, ""},                 // the last entry, an empty one
      {{"abcdefghijklmnopqrstuvwx"}, {"abcdefghijklmnopqrstuvwx"}, ""},
      {{"b.dff", "a.txd", "dup.dff", "e.col", "abcdefghijklmnopqrstuvwx"},
       {"b.dff", "a.txd", "dup.dff", "DUP.DFF", "e.col", "abcdefghijklmnopqrstuvwx"},
       ""},  // all of them
      {{"nope.dff"}, {}, "has no entry named nope.dff"},
      {{"a.txd", "nope.dff"}, {}, "has no entry named nope.dff"},  // the known one stays too
      {{"abcdefghijklmnopqrstuvw"}, {}, "has no entry named"},     // 23 of 24 characters
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Names[0] + " and " + std::to_string(c.Names.size() - 1) + " more");
    test::WriteFile(img, original);
    if (c.Error.empty()) {
      const int32_t gone = DeleteArchiveEntries(SystemFileSystem(), img, temp, c.Names, progress);
      EXPECT_EQ(gone, static_cast<int32_t>(c.Gone.size()));
      EXPECT_EQ(test::ReadFile(img), Expected(original, Without(c.Gone)));
    } else {
      try {
        DeleteArchiveEntries(SystemFileSystem(), img, temp, c.Names, progress);
        ADD_FAILURE() << "no error";
      } catch (const EFileError& error) {
        EXPECT_NE(error.Text().find(c.Error), std::string::npos) << error.Text();
      }
      EXPECT_EQ(test::ReadFile(img), original);
    }
    EXPECT_FALSE(test::Exists(temp));
  }
}

TEST_F(TEditTest, RenameRefusesWhatTheArchiveOrTheGameCouldNotTellApart) {
  struct TCase {
    std::string From, To;
    std::string Error;  // empty: it succeeds
  };
  const TCase cases[] = {
      {"a.txd", "z.txd", ""},
      {"A.TXD", "A.TXD", ""},  // the entry's own name in other letters
      {"b.dff", "машина.dff", ""},
      {"a.txd", std::string(24, 'y'), ""},
      {"nope.dff", "x.dff", "has no entry named nope.dff"},
      {"dup.dff", "x.dff", "holds 2 entries named dup.dff"},
      {"a.txd", "B.DFF", "already has an entry named b.dff"},
      {"a.txd", "abcdefghijklmnopqrstuvwY", "which the game reads as the same name"},
      {"a.txd", std::string(25, 'y'), "longer than 24 characters"},
      {"a.txd", "车.txd", "code page 1251"},
      {"a.txd", "models\\a.txd", "folder separator"},
      {"a.txd", "a\tb", "control character"},
      {"a.txd", "", "an entry needs a name"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.From + " -> " + c.To);
    test::WriteFile(img, original);
    if (c.Error.empty()) {
      RenameArchiveEntry(SystemFileSystem(), img, temp, c.From, c.To, progress);
      const std::string stored = c.From == "A.TXD" ? "a.txd" : c.From;
      EXPECT_EQ(test::ReadFile(img), Expected(original, Renamed(stored, c.To)));
    } else {
      try {
        RenameArchiveEntry(SystemFileSystem(), img, temp, c.From, c.To, progress);
        ADD_FAILURE() << "no error";
      } catch (const EFileError& error) {
        EXPECT_NE(error.Text().find(c.Error), std::string::npos) << error.Text();
      }
      EXPECT_EQ(test::ReadFile(img), original);
    }
    EXPECT_FALSE(test::Exists(temp));
  }
}

// Whatever operation fails, the archive is the old one or the new one whole, and nothing of
// the rebuild is left beside it.
TEST_F(TEditTest, AFailureAtEveryStepLeavesTheArchiveWhole) {
  const std::pair<std::string, std::string> edits[] = {
      {"delete", Expected(original, Without({"dup.dff", "DUP.DFF"}))},
      {"rename", Expected(original, Renamed("b.dff", "c.dff"))},
  };
  TFaultyFileSystem faulty(SystemFileSystem());
  for (const auto& [edit, done] : edits) {
    for (int code : {kDiskFull, kAccessDenied}) {
      for (uint64_t n = 1;; ++n) {
        SCOPED_TRACE(edit + ", operation " + std::to_string(n));
        test::WriteFile(img, original);
        faulty.FailAt(n, code);
        try {
          if (edit == "delete")
            DeleteArchiveEntries(faulty, img, temp, {"dup.dff"}, progress);
          else
            RenameArchiveEntry(faulty, img, temp, "b.dff", "c.dff", progress);
        } catch (const Exception&) {
        }
        const std::string bytes = test::ReadFile(img);
        EXPECT_TRUE(bytes == original || bytes == done);
        EXPECT_FALSE(test::Exists(temp));
        if (!faulty.Fired()) {
          EXPECT_EQ(bytes, done);
          break;
        }
      }
    }
  }
}

// The commands: what they print, and that a refusal is one line naming the archive.
TEST(MervaImg, DeleteAndRename) {
  TTempDir dir;
  const std::string img = test::ShellQuoted(dir / "gta3.img");
  const std::string tool = test::ShellQuoted(MERVA_IMG);
  test::WriteFile(dir / "gta3.img", BuildArchive(kOriginal));
  test::TToolRun run = test::RunShell(tool + " delete " + img + " dup.dff e.col");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("deleted 3 entries"), std::string::npos) << run.output;
  run = test::RunShell(tool + " rename " + img + " A.txd c.txd");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::RunShell(tool + " list " + img).output,
            "0 1 1 c.txd\n1 2 1 abcdefghijklmnopqrstuvwx\n2 3 2 b.dff\n");
  const std::string before = test::ReadFile(dir / "gta3.img");
  for (const std::string& refused :
       {" delete " + img + " nope.dff", " rename " + img + " c.txd b.dff"}) {
    run = test::RunShell(tool + refused);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("gta3.img: "), std::string::npos) << run.output;
    EXPECT_EQ(test::ReadFile(dir / "gta3.img"), before);
  }
  EXPECT_EQ(test::RunShell(tool + " rename " + img + " c.txd").status, 2);
}

}  // namespace
}  // namespace merva
