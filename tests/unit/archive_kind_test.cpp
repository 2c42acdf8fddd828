// A second kind of archive, made as a new format would be (its own file and its registration),
// goes through the installation, its restore point and its undo as the game's own kind does.
#include "archive/archive_kind.h"

#include <gtest/gtest.h>

#include <cstring>

#include "archive/archive_file.h"
#include "archive/game_check.h"
#include "operations/installation.h"
#include "operations/undo.h"
#include "restore/restore_store.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"

namespace merva {
namespace {

constexpr auto kDoubleKind = static_cast<TArchiveKind>(0x7f);

// A 16-byte header (its tag, the count, 8 bytes of its own), the directory after it, and the
// data from the sector after the directory's.
class TDoubleKind final : public IArchiveKind {
 public:
  TArchiveKind Kind() const override { return kDoubleKind; }
  const char* Name() const override { return "MRVT"; }
  bool Recognizes(const char* head, int32_t& count) const override {
    if (std::memcmp(head, "MRVT", 4) != 0) return false;
    std::memcpy(&count, head + 4, 4);
    return true;
  }
  std::string Header(const TGTA3Archive& state) const override {
    const int32_t count = state.EntryCount();
    return "MRVT" + std::string(reinterpret_cast<const char*>(&count), 4) + "double!!";
  }
  int64_t DirectoryStart() const override { return 16; }
  int32_t FirstDataSector(int32_t count) const override {
    return static_cast<int32_t>((16 + int64_t{count} * kEntryBytes) / kSector + 1);
  }
};

// An archive of that kind whose entries lie compacted in directory order, each `sectors` of
// its letter.
std::string DoubleArchive(const std::vector<std::pair<std::string, int32_t>>& entries) {
  const TDoubleKind kind;
  TGTA3Archive state;
  state.Kind = kDoubleKind;
  int32_t at = kind.FirstDataSector(static_cast<int32_t>(entries.size()));
  for (const auto& [name, sectors] : entries) {
    TArchiveEntry entry{at, sectors, {}};
    std::memcpy(entry.Name, name.data(), name.size());
    state.Entries.push_back(entry);
    at += sectors;
  }
  std::string bytes = kind.Header(state);
  bytes.append(reinterpret_cast<const char*>(state.Entries.data()),
               state.Entries.size() * kEntryBytes);
  bytes.resize(static_cast<size_t>(kind.FirstDataSector(state.EntryCount())) * kSector, '\0');
  for (const auto& [name, sectors] : entries) bytes.append(sectors * kSector, name[0]);
  return bytes;
}

TEST(ArchiveKind, AKindOfItsOwnIsInstalledKeptAndTakenBack) {
  const TDoubleKind kind;
  const TArchiveKindRegistration registered(kind);
  TMemoryFileSystem fs;
  test::TFakeBoxes boxes;
  test::TFakeProgress progress;
  fs.AddDirectory("G");
  fs.AddDirectory("G\\models");
  const std::string original = DoubleArchive({{"a.dff", 1}, {"b.dff", 2}});
  fs.Put("G\\models\\gta3.img", original);
  fs.Put("data.cab",
         test::PackageBytes({{"b.dff", std::string(100, 'B')}, {"n.txd", std::string(3000, 'N')}}));
  TDATAInst script;
  script.Title = "Mod";
  script.ArchiveFiles = {"b.dff", "n.txd"};
  TInstallation installation(script, "G", {fs, boxes, progress}, "data.cab");
  installation.KeepRestorePoint({"R", "Mod", "2026-12-10 21:00:00", {}});
  installation.Run();

  TArchiveFile installed(fs);
  ASSERT_TRUE(installed.Open("G\\models\\gta3.img", TOpenAccess::kReadOnly));
  EXPECT_EQ(installed.State().Kind, kDoubleKind);
  ASSERT_EQ(installed.State().EntryCount(), 3);
  EXPECT_EQ(EntryName(installed.State().Entries[2]), "n.txd");
  EXPECT_EQ(installed.State().Entries[0].Offset, kind.FirstDataSector(3));
  installed.Close();
  const std::string bytes =
      std::string(fs.Get("G\\models\\gta3.img")->begin(), fs.Get("G\\models\\gta3.img")->end());
  EXPECT_EQ(bytes.substr(8, 8), "double!!");

  const TRestorePoint point = FindLatestRestorePoint(fs, "R", "G");
  ASSERT_EQ(point.Archives.size(), 1u);
  EXPECT_EQ(point.Archives[0].Kind, kDoubleKind);
  const auto kept = fs.Get("R\\" + point.Folder + "\\archive.img");
  ASSERT_TRUE(kept);
  EXPECT_EQ(std::string(kept->begin(), kept->begin() + 4), "MRVT");

  TUndo("R", point, {fs, boxes, progress}).Run({false, false});
  const auto undone = fs.Get("G\\models\\gta3.img");
  EXPECT_EQ(std::string(undone->begin(), undone->end()), original);
}

TEST(ArchiveKind, IsAnArchiveOfTheGameOnlyWhileRegistered) {
  TMemoryFileSystem fs;
  fs.Put("a.img", DoubleArchive({{"a.dff", 1}}));
  EXPECT_FALSE(HasArchiveHeader(fs, "a.img"));
  const TDoubleKind kind;
  const TArchiveKindRegistration registered(kind);
  EXPECT_TRUE(HasArchiveHeader(fs, "a.img"));
}

}  // namespace
}  // namespace merva
