#include "archive/archive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive/archive_check.h"
#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/cp1251.h"
#include "core/errors.h"
#include "tests/support/fakes.h"
#include "tests/support/faulty_file_system.h"

namespace merva {
namespace {

using test::ArchiveBytes;
using test::BuildArchive;
using test::DataOf;
using test::DirectoryOf;
using test::EntryData;
using test::TEntryLayout;
using test::TTempDir;

struct TArchiveFixture : ::testing::Test {
  TTempDir dir;
  test::TFakeProgress progress;
  TGTA3Archive archive;
  IFileSystem& fs = SystemFileSystem();
  std::string path = dir / "gta3.img";

  void Write(const std::string& bytes) { test::WriteFile(path, bytes); }
  std::string Bytes() { return test::ReadFile(path); }
  std::string Source(const std::string& name, size_t size, char fill = 'm') {
    const std::string file = dir / name;
    test::WriteFile(file, std::string(size, fill));
    return file;
  }
  void Put(const std::string& file) { PutFilesIntoArchive(path, {file}, fs, progress); }
};

using OpenArchiveTest = TArchiveFixture;

TEST_F(OpenArchiveTest, ReadsTheDirectory) {
  Write(BuildArchive({{1, 1, "a.dff"}, {2, 2, "B.TXD"}}));
  TAccessSpy spy;
  EXPECT_TRUE(OpenArchive(archive, path, spy));
  EXPECT_EQ(spy.Accesses, (std::vector<TOpenAccess>{TOpenAccess::kReadOnly}));  // only read
  EXPECT_TRUE(archive.Loaded);
  ASSERT_EQ(archive.EntryCount(), 2);
  EXPECT_EQ(EntryName(archive.Entries[1]), "B.TXD");
  EXPECT_EQ(archive.Entries[1].Offset, 2);
}

TEST_F(OpenArchiveTest, MissingOrForeignFilesAreRefusedWithTheirText) {
  test::MakeDirs(dir / "folder.img");
  const std::pair<std::string, std::string> cases[] = {
      {"missing.img", ""},
      {"folder.img", ""},
      {"lower.img", ArchiveBytes({}, 1, "ver2")},
      {"other.img", ArchiveBytes({{1, 1, "x"}}, 2, "VER1")}};
  for (const auto& [name, bytes] : cases) {
    if (!bytes.empty()) test::WriteFile(dir / name, bytes);
    EXPECT_FALSE(OpenArchive(archive, dir / name, fs)) << name;
    EXPECT_FALSE(archive.Loaded) << name;
    EXPECT_TRUE(archive.Entries.empty()) << name;
    EXPECT_EQ(archive.FileName, dir / name);
    EXPECT_EQ(MissingArchiveText(archive.FileName),
              "Невозможно найти IMG файл!\n\n[" + (dir / name) + "]");
  }
}

TEST_F(OpenArchiveTest, DamagedHeadersRaiseTheFrameworksErrors) {
  std::string negative = ArchiveBytes({}, 1);
  negative[7] = '\x80';  // count -2^31
  std::string huge = ArchiveBytes({}, 1);
  huge[4] = 100;  // 100 entries, but only one sector
  const std::pair<std::string, std::string> cases[] = {{"VER2", "Read beyond end of file"},
                                                       {negative, "Range check error"},
                                                       {huge, "Read beyond end of file"}};
  for (const auto& [bytes, message] : cases) {
    Write(bytes);
    try {
      OpenArchive(archive, path, fs);
      ADD_FAILURE() << "no error for " << message;
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), message);
    }
    EXPECT_FALSE(archive.Loaded);
    EXPECT_TRUE(archive.Entries.empty());
  }
}

TEST_F(OpenArchiveTest, EmptyDirectoryOpensAndANewOpenForgetsTheOldOne) {
  Write(BuildArchive({{1, 1, "a.dff"}}));
  OpenArchive(archive, path, fs);
  test::WriteFile(dir / "empty.img", std::string("VER2\0\0\0\0", 8));
  OpenArchive(archive, dir / "empty.img", fs);
  EXPECT_TRUE(archive.Loaded);
  EXPECT_TRUE(archive.Entries.empty());
  EXPECT_FALSE(OpenArchive(archive, dir / "missing.img", fs));
  EXPECT_TRUE(archive.Entries.empty());
  EXPECT_FALSE(archive.Loaded);
}

TEST_F(OpenArchiveTest, NamesReadBackUpToTheirFirstZeroOrAll24) {
  Write(BuildArchive({{1, 1, "abcdefghijklmnopqrstuvwx"}, {2, 1, ""}}));
  OpenArchive(archive, path, fs);
  EXPECT_EQ(EntryName(archive.Entries[0]), "abcdefghijklmnopqrstuvwx");
  EXPECT_EQ(EntryName(archive.Entries[1]), "");
}

using PutTest = TArchiveFixture;

TEST_F(PutTest, ReplacementGoesInPlaceUpToItsSizeAndToTheEndBeyond) {
  const std::string original = BuildArchive({{1, 2, "Car.dff"}, {3, 1, "other.txd"}});
  struct TCase {
    size_t bytes;
    TEntryLayout expected;
  };
  const TCase cases[] = {
      {4096, {1, 2, "Car.dff"}},  // exactly Size x 2048: in place, stored name kept
      {4097, {4, 3, "car.DFF"}},  // one byte more: at the end, under the new name
      {0, {1, 0, "Car.dff"}},     // empty: in place with Size 0
      {10, {1, 1, "Car.dff"}},
  };
  for (const TCase& c : cases) {
    Write(original);
    const std::string file = Source("car.DFF", c.bytes, 'n');
    Put(file);
    const std::string bytes = Bytes();
    const std::vector<TEntryLayout> directory = DirectoryOf(bytes);
    ASSERT_EQ(directory.size(), 2u);
    EXPECT_EQ(directory[0], c.expected) << c.bytes;
    EXPECT_EQ(directory[1], (TEntryLayout{3, 1, "other.txd"}));
    std::string expectedData(c.bytes, 'n');
    expectedData.resize(static_cast<size_t>(c.expected.Size) * 2048, '\0');
    EXPECT_EQ(DataOf(bytes, directory[0]), expectedData);
    EXPECT_EQ(DataOf(bytes, directory[1]), EntryData("other.txd", 1));
    EXPECT_EQ(bytes.size() % 2048, 0u);
  }
}

TEST_F(PutTest, EveryEntryOfTheNameIsReplacedHighestIndexFirst) {
  Write(BuildArchive({{1, 1, "dup.dff"}, {2, 1, "x.txd"}, {3, 1, "DUP.DFF"}}));
  Put(Source("Dup.dff", 3000));
  const std::vector<TEntryLayout> directory = DirectoryOf(Bytes());
  EXPECT_EQ(directory[2], (TEntryLayout{4, 2, "Dup.dff"}));  // first to go to the end
  EXPECT_EQ(directory[0], (TEntryLayout{6, 2, "Dup.dff"}));
  EXPECT_EQ(directory[1], (TEntryLayout{2, 1, "x.txd"}));
  EXPECT_EQ(progress.Waits, 2);  // told before each change
  EXPECT_EQ(progress.Done, 1);
}

TEST_F(PutTest, AsciiCaseIsIgnoredButCyrillicMustMatch) {
  const std::string upper = "МАШИНА.dff", lower = "машина.dff";
  Write(BuildArchive({{1, 1, upper}}));
  Put(Source(lower, 10));
  EXPECT_EQ(DirectoryOf(Bytes()).size(), 2u);  // appended: no match
  Put(Source("МАШИНА.DFF", 10));
  EXPECT_EQ(DirectoryOf(Bytes()).size(), 2u);  // replaced in place
}

TEST_F(PutTest, AppendingTheSameFileTwiceReplacesTheFirstCopy) {
  Write(BuildArchive({{1, 1, "a.dff"}}));
  Put(Source("new.txd", 100));
  Put(Source("new.txd", 100, 'z'));
  const std::vector<TEntryLayout> directory = DirectoryOf(Bytes());
  ASSERT_EQ(directory.size(), 2u);
  EXPECT_EQ(directory[1], (TEntryLayout{2, 1, "new.txd"}));
  EXPECT_EQ(DataOf(Bytes(), directory[1]).substr(0, 3), "zzz");
}

TEST_F(PutTest, NamesOf24CharactersMatchAgainLongerOnesNever) {
  Write(BuildArchive({{1, 1, "a.dff"}}));
  const std::string exact(24, 'e'), longer(25, 'l');
  Put(Source(exact, 10));
  Put(Source(exact, 10));
  Put(Source(longer, 10));
  Put(Source(longer, 10));
  const std::string bytes = Bytes();
  const std::vector<TEntryLayout> directory = DirectoryOf(bytes);
  ASSERT_EQ(directory.size(), 4u);
  EXPECT_EQ(directory[1].Name, exact);
  EXPECT_EQ(bytes.substr(8 + 32 + 8, 24), exact);  // no terminator
  EXPECT_EQ(directory[2].Name, std::string(24, 'l'));
  EXPECT_EQ(directory[3].Name, std::string(24, 'l'));
}

TEST_F(PutTest, AppendMovesEntriesOutOfTheGrowingDirectory) {
  // 63 entries, one of them starting at sector 1: the grown directory ends at byte 2056.
  for (int count : {62, 63}) {
    std::vector<TEntryLayout> entries;
    entries.push_back({1, 1, "first.dff"});
    for (int i = 1; i < count; ++i) entries.push_back({1 + i, 1, "e" + std::to_string(i) + ".dff"});
    const std::string original = BuildArchive(entries);
    Write(original);
    Put(Source("new.dff", 2048, 'q'));
    const std::string bytes = Bytes();
    const std::vector<TEntryLayout> directory = DirectoryOf(bytes);
    ASSERT_EQ(directory.size(), static_cast<size_t>(count + 1));
    const int32_t end = count + 1;  // sectors in the original file
    EXPECT_EQ(directory[count], (TEntryLayout{end, 1, "new.dff"}));
    if (count == 63) {
      EXPECT_EQ(directory[0], (TEntryLayout{end + 1, 1, "first.dff"}));  // after the new data
    } else {
      EXPECT_EQ(directory[0], (TEntryLayout{1, 1, "first.dff"}));
    }
    EXPECT_EQ(DataOf(bytes, directory[0]), EntryData("first.dff", 1));
    EXPECT_EQ(DataOf(bytes, directory[count]), std::string(2048, 'q'));
  }
}

TEST_F(PutTest, AnAppendCountsTheNewEntryInTheHeaderAndTheDirectoryAtOnce) {
  Write(BuildArchive({{1, 1, "a.dff"}}));
  TArchiveFile file(fs);
  ASSERT_TRUE(file.Open(path, TOpenAccess::kReadWrite));
  TBlockFile source = TBlockFile::OpenReadOnly(fs, Source("b.dff", 0));
  file.Append("b.dff", {source, 0, 0});
  EXPECT_EQ(file.State().EntryCount(), 2);
  EXPECT_EQ(file.Find("B.DFF"), std::vector<int32_t>{1});
  source.Close();
  file.Close();
  EXPECT_EQ(Bytes().substr(4, 4), std::string("\x02\0\0\0", 4));
  EXPECT_EQ(DirectoryOf(Bytes())[1], (TEntryLayout{2, 0, "b.dff"}));
}

TEST_F(PutTest, AnArchiveOfPartSectorsIsPaddedBeforeNewData) {
  Write(BuildArchive({{1, 1, "a.dff"}}) + "tail");
  Put(Source("b.dff", 5));
  const std::string bytes = Bytes();
  const std::vector<TEntryLayout> directory = DirectoryOf(bytes);
  EXPECT_EQ(directory[1], (TEntryLayout{3, 1, "b.dff"}));
  EXPECT_EQ(DataOf(bytes, directory[1]).substr(0, 5), "mmmmm");
  EXPECT_EQ(bytes.size(), 4u * 2048);
}

TEST_F(PutTest, APutOfNoFilesChangesNothing) {
  Write(BuildArchive({{1, 1, "a.dff"}}));
  const std::string before = Bytes();
  PutFilesIntoArchive(path, {}, fs, progress);
  EXPECT_EQ(Bytes(), before);
  EXPECT_EQ(progress.Total, 0);
}

TEST_F(PutTest, AVanishedOrForeignArchiveStopsThePutWithItsErrorBoxText) {
  Write(ArchiveBytes({{1, 1, "a.dff"}}, 2, "XXXX"));
  const std::string before = Bytes();
  for (int round = 0; round < 2; ++round) {
    try {
      Put(Source("a.dff", 10));
      ADD_FAILURE() << "no notice";
    } catch (const ENotice& notice) {
      EXPECT_EQ(notice.Kind(), TNoticeKind::kError);
      EXPECT_EQ(notice.Message(), MissingArchiveText(path));
    }
    if (round == 0) {
      EXPECT_EQ(Bytes(), before);
      std::filesystem::remove(test::Native(path));
    }
  }
  EXPECT_FALSE(test::Exists(path));
}

TEST_F(PutTest, TheSourceIsOnlyRead) {
  Write(BuildArchive({{1, 1, "a.dff"}}));
  const std::string source = Source("a.dff", 10);
  std::filesystem::permissions(test::Native(source), std::filesystem::perms::owner_read);
  Put(source);
  EXPECT_EQ(DataOf(Bytes(), DirectoryOf(Bytes())[0]).substr(0, 10), std::string(10, 'm'));
}

TEST_F(PutTest, AnArchivePastTwoGigabytesIsRefusedBeforeAnyWrite) {
  Write(BuildArchive({{1, 1, "a.dff"}}));
  std::filesystem::resize_file(test::Native(path), (int64_t{1} << 31) - 2048);  // sparse
  const auto sizeBefore = std::filesystem::file_size(test::Native(path));
  try {
    Put(Source("big.dff", 4096));
    ADD_FAILURE() << "no error";
  } catch (const Exception& error) {
    EXPECT_NE(error.Message().find("2 GB"), std::string::npos);
  }
  EXPECT_EQ(std::filesystem::file_size(test::Native(path)), sizeBefore);
  std::ifstream in(test::Native(path), std::ios::binary);
  std::string head(2048, '\0');
  in.read(&head[0], 2048);
  EXPECT_EQ(DirectoryOf(head).size(), 1u);
}

// A damaged directory must not send a write anywhere: an in-place replacement of an entry that
// lies past the end of the file, or a put that would pass 2 GB, stops before any write.
TEST_F(PutTest, ADamagedDirectoryStopsThePutBeforeAnyWrite) {
  struct TCase {
    const char* what;
    std::vector<TEntryLayout> entries;
    int64_t sectors;
    size_t sourceBytes;
    const char* says;
  };
  const TCase cases[] = {
      {"offset far past the end", {{1, 1, "a.dff"}, {0x7FFFFFFF, 1, "far.dff"}}, 3, 100, "far.dff"},
      {"offset just past the end", {{1, 1, "a.dff"}, {5, 1, "far.dff"}}, 3, 100, "far.dff"},
      {"data running past the end", {{1, 1, "a.dff"}, {2, 9, "far.dff"}}, 3, 100, "far.dff"},
      {"negative offset", {{1, 1, "a.dff"}, {-4, 1, "far.dff"}}, 3, 100, "far.dff"},
      {"a file the game cannot read: 128 MiB", {{1, 1, "a.dff"}}, 2, 65536 * 2048, "128 MiB"},
  };
  for (const TCase& c : cases) {
    Write(ArchiveBytes(c.entries, c.sectors));
    const std::string before = Bytes();
    try {
      Put(Source(c.says[0] == '1' ? "new.dff" : "far.dff", c.sourceBytes));
      ADD_FAILURE() << c.what << ": no error";
    } catch (const Exception& error) {
      EXPECT_NE(error.Message().find(c.says), std::string::npos)
          << c.what << ": " << error.Message();
    }
    EXPECT_EQ(Bytes(), before) << c.what;
  }
}

// An entry whose last sector is cut short at the end of the file still takes its replacement.
TEST_F(PutTest, AnEntryEndingInAPartSectorIsReplacedInPlace) {
  std::string bytes = BuildArchive({{1, 1, "a.dff"}, {2, 1, "b.dff"}});
  bytes.resize(bytes.size() - 1000);
  Write(bytes);
  Put(Source("b.dff", 500));
  EXPECT_EQ((DirectoryOf(Bytes())[1]), (TEntryLayout{2, 1, "b.dff"}));
}

// A failure at each write of a put leaves the archive as it was or sound, never lost.
TEST_F(PutTest, AFailureAtEveryWriteLeavesTheArchiveReadable) {
  std::vector<TEntryLayout> entries;
  for (int i = 0; i < 63; ++i) entries.push_back({1 + i, 1, "e" + std::to_string(i) + ".dff"});
  const std::string original = BuildArchive(entries);
  const std::string source = Source("fresh.dff", 5000);
  TFaultyFileSystem faulty(SystemFileSystem());
  for (uint64_t n = 1;; ++n) {
    Write(original);
    faulty.FailAt(n, kDiskFull, {TFileOp::kWrite});
    try {
      PutFilesIntoArchive(path, {source}, faulty, progress);
    } catch (const EInOutError& error) {
      EXPECT_EQ(error.Message(), "Disk full");
    }
    if (!faulty.Fired()) break;
    const std::string bytes = Bytes();
    const std::vector<TEntryLayout> directory = DirectoryOf(bytes);
    ASSERT_EQ(directory.size(), 63u) << "write " << n;  // the header is written last
    for (const TEntryLayout& e : directory)
      EXPECT_EQ(DataOf(bytes, e), EntryData(e.Name, 1)) << "write " << n << " " << e.Name;
  }
}

TEST(CheckArchive, TellsWhatTheGameCannotReadAndWhatItCannotUse) {
  const std::string long24(24, 'n');
  struct TCase {
    const char* what;
    std::vector<TEntryLayout> entries;
    int64_t length;
    std::vector<std::string> findings;  // "e:" errors, "w:" warnings
  };
  const TCase cases[] = {
      {"sound", {{1, 1, "a.dff"}, {2, 2, "b.dff"}}, 4 * 2048, {}},
      {"negative size", {{1, -1, "a.dff"}}, 2048, {"e:entry 0 (a.dff) has a negative size"}},
      {"inside the directory",
       {{0, 1, "a.dff"}},
       2048,
       {"e:entry 0 (a.dff) starts inside the directory"}},
      {"past the end",
       {{1, 2, "a.dff"}},
       2 * 2048,
       {"e:entry 0 (a.dff) runs past the end of the file"}},
      {"a name twice",
       {{1, 1, "a.dff"}, {2, 1, "A.DFF"}},
       3 * 2048,
       {"e:entries 0 and 1 are both named A.DFF; the game uses only the first"}},
      {"overlap",
       {{1, 2, "a.dff"}, {2, 1, "b.dff"}},
       3 * 2048,
       {"e:entries 0 (a.dff) and 1 (b.dff) overlap"}},
      {"24 characters",
       {{1, 1, long24}},
       2 * 2048,
       {"w:entry 0 (" + long24 + "): the game reads only the first 23 characters of the name"}},
      {"too large",
       {{1, 70000, "big.dff"}},
       70001 * 2048,
       {"w:entry 0 (big.dff): more than 65,535 sectors, which the game cannot read"}},
  };
  for (const TCase& c : cases) {
    TGTA3Archive archive;
    for (const TEntryLayout& layout : c.entries) {
      TArchiveEntry entry{layout.Offset, layout.Size, {}};
      std::copy(layout.Name.begin(), layout.Name.end(), entry.Name);
      archive.Entries.push_back(entry);
    }
    const TArchiveReport report = CheckArchive(archive, c.length);
    std::vector<std::string> findings;
    for (const TArchiveFinding& f : report.Findings)
      findings.push_back((f.Error ? "e:" : "w:") + f.Text);
    EXPECT_EQ(findings, c.findings) << c.what;
    EXPECT_EQ(report.Sound(), report.Errors == 0) << c.what;
  }
}

TEST(CreateEmptyArchive, WritesTheTagAndNoEntriesInOneSector) {
  TTempDir dir;
  CreateEmptyArchive(SystemFileSystem(), dir / "new.img");
  EXPECT_EQ(test::ReadFile(dir / "new.img"), std::string("VER2", 4) + std::string(2044, '\0'));
}

}  // namespace
}  // namespace merva

namespace merva {
namespace {

// The one rule for "an entry lies inside the file", which check, extract, the compaction, the
// put in place and the undo's kept archive all ask.
TEST(EntryLiesInside, WholeSectorsInsideTheFileOrNoDataAtAll) {
  struct TCase {
    int32_t Offset, Size;
    int64_t Length;
    bool Inside;
  };
  const TCase cases[] = {
      {1, 2, 3 * 2048, true},       // ends at the end
      {1, 2, 3 * 2048 - 1, false},  // its last sector cut short
      {2, 2, 3 * 2048, false},      // one sector past the end
      {-1, 1, 3 * 2048, false},     // before the start
      {0, -1, 3 * 2048, false},     // a negative size
      {9, 0, 3 * 2048, true},       // empty, past the end: the game reads nothing there
      {-5, 0, 3 * 2048, true},      // empty, before the start
      {0, 65535, 65535 * 2048, true},
      {0x7fffffff, 65535, int64_t{1} << 43, true},  // 64-bit arithmetic, no overflow
      {0x7fffffff, 1, int64_t{1} << 31, false},
  };
  for (const TCase& c : cases) {
    TArchiveEntry entry{};
    entry.Offset = c.Offset;
    entry.Size = c.Size;
    EXPECT_EQ(EntryLiesInside(entry, c.Length), c.Inside)
        << c.Offset << "+" << c.Size << " in " << c.Length;
  }
}

}  // namespace
}  // namespace merva
