#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "archive/archive.h"
#include "archive/archive_file.h"
#include "archive/archive_rebuild.h"
#include "core/errors.h"
#include "core/fingerprint.h"
#include "tests/support/fakes.h"
#include "tests/support/faulty_file_system.h"

namespace merva {
namespace {

using test::BuildArchive;
using test::DataOf;
using test::DirectoryOf;
using test::EntryData;
using test::TEntryLayout;
using test::TTempDir;

TArchiveEntry Entry(int32_t offset, const std::string& name) {
  TArchiveEntry entry{};
  entry.Offset = offset;
  entry.Size = 1;
  std::copy(name.begin(), name.end(), entry.Name);
  return entry;
}

std::vector<std::string> SortedNames(std::vector<TArchiveEntry> entries, int32_t count) {
  SortArchiveEntries(entries, count);
  std::vector<std::string> names;
  for (const TArchiveEntry& e : entries) names.push_back(EntryName(e));
  return names;
}

TEST(SortArchiveEntries, SelectionSortOrderIsKept) {
  using Names = std::vector<std::string>;
  // The exchange moves the first of two equal offsets behind the second.
  EXPECT_EQ(SortedNames({Entry(5, "a"), Entry(5, "b"), Entry(3, "c")}, 3), (Names{"c", "b", "a"}));
  EXPECT_EQ(SortedNames({Entry(9, "a"), Entry(-1, "b"), Entry(0, "c")}, 3), (Names{"b", "c", "a"}));
  EXPECT_EQ(SortedNames({Entry(9, "a"), Entry(1, "b")}, 1), (Names{"a", "b"}));
  EXPECT_EQ(SortedNames({Entry(9, "a"), Entry(1, "b")}, 0), (Names{"a", "b"}));
  EXPECT_EQ(SortedNames({Entry(2, "a"), Entry(2, "b"), Entry(2, "c"), Entry(1, "d")}, 4),
            (Names{"d", "b", "c", "a"}));
}

TEST(SortArchiveEntries, LargeDirectoriesSortExactlyAsTheSelectionSort) {
  std::mt19937 random(2026);
  for (int32_t count : {64, 65, 100, 1000, 4097}) {
    for (int32_t distinct : {1, 3, 50, 100000}) {
      std::vector<TArchiveEntry> entries(static_cast<size_t>(count) + 3);  // extra: untouched
      for (size_t i = 0; i < entries.size(); ++i) {
        entries[i] = Entry(static_cast<int32_t>(random() % distinct) - distinct / 4, "");
        std::memcpy(entries[i].Name, &i, sizeof i);  // tells equal offsets apart
      }
      std::vector<TArchiveEntry> expected = entries;
      SortArchiveEntriesByDefinition(expected, count);
      SortArchiveEntries(entries, count);
      ASSERT_EQ(std::memcmp(entries.data(), expected.data(), entries.size() * 32), 0)
          << count << " entries, " << distinct << " offsets";
    }
  }
}

TEST(FirstCompactedOffset, LeavesRoomForOneMoreEntry) {
  const std::pair<int32_t, int32_t> cases[] = {{0, 1},   {1, 1},   {62, 2},
                                               {100, 2}, {126, 3}, {16000, 251}};
  for (const auto& [count, first] : cases) {
    EXPECT_EQ(FirstCompactedOffset(count), first) << count;
    EXPECT_GT(int64_t{first} * 2048, (int64_t{count} + 2) * 32 - 1);
  }
}

struct TCompactTest : ::testing::Test {
  TTempDir dir;
  std::string game = dir.Path();
  std::string img = dir / "models\\gta3.img";
  std::string temp = dir / "models\\temp.img";
  test::TFakeProgress progress;
  void SetUp() override { test::MakeDirs(dir / "models"); }
};

// The compacted archive as the format defines it, built without the code under test.
std::string Compacted(const std::string& original) {
  const std::vector<TEntryLayout> old = DirectoryOf(original);
  const int32_t first = (static_cast<int32_t>(old.size()) + 2) * 32 / 2048 + 1;
  std::vector<TEntryLayout> fresh;
  int32_t at = first;
  for (const TEntryLayout& e : old) {
    fresh.push_back({at, e.Size, e.Name});
    at += e.Size;
  }
  std::string bytes = test::ArchiveBytes(fresh, first);
  for (const TEntryLayout& e : old) bytes += DataOf(original, e);
  return bytes;
}

TEST_F(TCompactTest, LaysTheDataOutBackToBackInDirectoryOrder) {
  // Data out of directory order, a gap, an empty entry and a 24-character name.
  std::string original = BuildArchive(
      {{6, 2, "b.dff"}, {1, 1, "a.txd"}, {3, 0, "empty.col"}, {4, 1, std::string(24, 'n')}});
  test::WriteFile(img, original);
  test::WriteFile(temp, "left over from an earlier run");
  CompactArchive(img, temp, progress, SystemFileSystem());
  const std::string bytes = test::ReadFile(img);
  EXPECT_EQ(bytes, Compacted(original));
  EXPECT_EQ(bytes.size(), 2048u * (1 + 4));
  const std::vector<TEntryLayout> directory = DirectoryOf(bytes);
  EXPECT_EQ(directory[2].Offset, directory[3].Offset);  // the empty entry shares its successor's
  EXPECT_FALSE(test::Exists(temp));
  // One step per entry, over a stretch of one less, as the installing page's bar has always
  // counted the rebuild.
  EXPECT_EQ(progress.Total, 3);
  EXPECT_EQ(progress.Done, 4);
}

TEST_F(TCompactTest, AnEmptyDirectoryLeavesTheHeaderInOneSector) {
  test::WriteFile(img, std::string("VER2\0\0\0\0", 8));
  CompactArchive(img, temp, progress, SystemFileSystem());
  EXPECT_EQ(test::ReadFile(img), std::string("VER2", 4) + std::string(2044, '\0'));
}

TEST_F(TCompactTest, DataPastTheEndFailsBeforeAnythingChanges) {
  const std::string original = BuildArchive({{1, 1, "a.dff"}, {2, 5, "b.dff"}}).substr(0, 3 * 2048);
  test::WriteFile(img, original);
  try {
    CompactArchive(img, temp, progress, SystemFileSystem());
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.Message(), "Read beyond end of file");
  }
  EXPECT_EQ(test::ReadFile(img), original);
  EXPECT_FALSE(test::Exists(temp));
}

TEST_F(TCompactTest, AFailedReplacementKeepsTheOldArchive) {
  const std::string original = BuildArchive({{3, 1, "a.dff"}});
  test::WriteFile(img, original);
  TFaultyFileSystem faulty(SystemFileSystem());
  faulty.FailAt(1, 0, {TFileOp::kMove});
  try {
    CompactArchive(img, temp, progress, faulty);
    ADD_FAILURE() << "no error";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "Unable to create archive file.");
  }
  EXPECT_EQ(test::ReadFile(img), original);
  EXPECT_FALSE(test::Exists(temp));
}

// Whatever operation fails, gta3.img is either untouched or fully compacted, and no temp.img
// is left behind.
TEST_F(TCompactTest, AFailureAtEveryStepKeepsTheArchiveWhole) {
  std::vector<TEntryLayout> entries;
  for (int i = 0; i < 70; ++i) entries.push_back({100 - i, 1, "e" + std::to_string(i) + ".dff"});
  const std::string original = BuildArchive(entries);
  const std::string compacted = Compacted(original);
  TFaultyFileSystem faulty(SystemFileSystem());
  for (int code : {kDiskFull, kAccessDenied}) {
    for (uint64_t n = 1;; ++n) {
      test::WriteFile(img, original);
      faulty.FailAt(n, code);
      try {
        CompactArchive(img, temp, progress, faulty);
      } catch (const Exception&) {
      }
      const std::string bytes = test::ReadFile(img);
      EXPECT_TRUE(bytes == original || bytes == compacted) << "operation " << n;
      EXPECT_FALSE(test::Exists(temp)) << "operation " << n;
      if (!faulty.Fired()) {
        EXPECT_EQ(bytes, compacted);
        break;
      }
    }
  }
}

// The new archive's fingerprint is taken as it is written: from the bytes that go through the
// program (every copy under Windows; here a file system that copies nothing itself) and by
// reading back what the system copied on its own. Either way it is the file's.
TEST_F(TCompactTest, TheFingerprintIsTheWrittenFilesHoweverItWasCopied) {
  std::vector<TEntryLayout> entries;
  for (int i = 0; i < 40; ++i) entries.push_back({300 - 7 * i, 1 + i % 5, "e" + std::to_string(i)});
  const std::string original = BuildArchive(entries);
  TFaultyFileSystem throughTheProgram(SystemFileSystem());  // copies nothing inside the system
  for (IFileSystem* fs : {&SystemFileSystem(), static_cast<IFileSystem*>(&throughTheProgram)}) {
    test::WriteFile(img, original);
    TArchiveFile archive(*fs);
    archive.OpenAnyTag(img);
    std::string fingerprint;
    WriteCompactedArchive(archive, temp, progress, *fs, 0, &fingerprint);
    archive.Close();
    TBlockFile written = TBlockFile::OpenReadOnly(SystemFileSystem(), temp);
    EXPECT_EQ(fingerprint, FileFingerprint(written, 0, written.Size()));
    written.Close();
    EXPECT_EQ(test::ReadFile(temp), Compacted(original));
  }
}

}  // namespace
}  // namespace merva
