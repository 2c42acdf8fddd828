#include "package/package.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/cp1251.h"
#include "core/errors.h"
#include "tests/support/fakes.h"

namespace merva {
namespace {

using test::PackageBytes;
using test::TFakeBoxes;
using test::TTempDir;

struct TPackageTest : ::testing::Test {
  TTempDir dir;
  TFakeBoxes boxes;
  TPackageDirectory directory;
  std::string path = dir / "data.cab";

  void Read(const std::string& bytes) {
    test::WriteFile(path, bytes);
    TBlockFile file = TBlockFile::OpenReadOnly(SystemFileSystem(), path);
    ReadPackageDirectory(file, directory, boxes);
  }
  // The name and data position that FindPackageEntry yields, or "-" for no match.
  std::string Find(const std::string& key) {
    TPackageEntry entry;
    uint32_t position = 0;
    if (!FindPackageEntry(directory, key, entry, position)) return "-";
    return PackageEntryName(entry) + "@" + std::to_string(position);
  }
};

TEST_F(TPackageTest, DescramblingRestoresTwentyFiveBytes) {
  TPackageEntry entry;
  std::memset(&entry, 20, 24);                       // an empty name, stored as 20s
  const uint8_t size[4] = {0x1E, 0x10, 0x00, 0x00};  // stored size bytes
  std::memcpy(&entry.Size, size, 4);
  DescramblePackageEntry(entry);
  EXPECT_EQ(entry.Size, 4106u);
  EXPECT_EQ(PackageEntryName(entry), "");
  reinterpret_cast<uint8_t*>(&entry)[0] = 10;
  DescramblePackageEntry(entry);
  EXPECT_EQ(static_cast<uint8_t>(entry.Name[0]), 246);
}

TEST_F(TPackageTest, ReadsTheDirectoryAndFindsNames) {
  const std::string cyrillic = "Жук.dff";
  Read(PackageBytes({{"a.dff", "aaaa"},
                     {"Same.TXD", "first"},
                     {"same.txd", "second!"},
                     {std::string(24, 'x'), "24"},
                     {cyrillic, "bug"}}));
  EXPECT_TRUE(boxes.Shown.empty());
  EXPECT_EQ(directory.PackageEntryCount, 5);
  const uint32_t data = 116 + 5 * 28;
  const std::pair<std::string, std::string> cases[] = {
      {"A.DFF", "a.dff@" + std::to_string(data)},
      {"same.TXD", "Same.TXD@" + std::to_string(data + 4)},  // the first of a name wins
      {std::string(24, 'X'), std::string(24, 'x') + "@" + std::to_string(data + 4 + 5 + 7)},
      {cyrillic, cyrillic + "@" + std::to_string(data + 4 + 5 + 7 + 2)},
      {"жук.dff", "-"},  // Cyrillic case is not folded
      {"a.dff ", "-"},
      {"", "-"},
  };
  for (const auto& [key, found] : cases) EXPECT_EQ(Find(key), found) << key;
}

TEST_F(TPackageTest, AnEmptyPackageMatchesNothing) {
  Read(PackageBytes({}));
  EXPECT_EQ(directory.PackageEntryCount, 0);
  EXPECT_EQ(Find("a"), "-");
}

TEST_F(TPackageTest, AWrongVersionIsToldOnceAndReadingGoesOn) {
  Read(PackageBytes({{"a.dff", "x"}}, "2.0"));
  ASSERT_EQ(boxes.Shown.size(), 1u);
  EXPECT_EQ(boxes.Shown[0].Text, "Unknow version of data-file or file damaged");
  EXPECT_EQ(Find("a.dff"), "a.dff@144");
}

TEST_F(TPackageTest, APackageCutShortOrWithANegativeCountIsDamaged) {
  const std::string whole = PackageBytes({{"a.dff", "0123456789"}, {"b.dff", "xy"}});
  std::string negative = whole;
  negative[115] = '\x80';
  const std::string cases[] = {whole.substr(0, whole.size() - 1), whole.substr(0, 150),
                               whole.substr(0, 100), negative};
  for (const std::string& bytes : cases) {
    try {
      Read(bytes);
      ADD_FAILURE() << "no error for " << bytes.size() << " bytes";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), "Unknow version of data-file or file damaged");
    }
  }
}

TEST_F(TPackageTest, ExtractionCopiesExactlyTheEntrysBytes) {
  const std::string big(4096, 'b'), odd(5000, 'o');
  Read(PackageBytes({{"empty", ""}, {"big", big}, {"odd", odd}}));
  TBlockFile file = TBlockFile::OpenReadOnly(SystemFileSystem(), path);
  for (const auto& [name, data] : std::vector<std::pair<std::string, std::string>>{
           {"empty", ""}, {"big", big}, {"odd", odd}}) {
    TPackageEntry entry;
    uint32_t position;
    ASSERT_TRUE(FindPackageEntry(directory, name, entry, position));
    ExtractPackageEntry(file, entry, position, dir / ("out-" + name), SystemFileSystem());
    EXPECT_EQ(test::ReadFile(dir / ("out-" + name)), data) << name;
  }
}

}  // namespace
}  // namespace merva
