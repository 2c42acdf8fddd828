// Restore points and taking installations back, on a file system in memory: what is kept, that
// undo gives the old archive and game folder back, and that failures and faults never leave a
// restore point that lies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/background_flush.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/sha256.h"
#include "game/game_folder.h"
#include "journal/changing_game.h"
#include "operations/installation.h"
#include "operations/undo.h"
#include "restore/restore_store.h"
#include "script/level_gate.h"
#include "tests/support/archive_generator.h"
#include "tests/support/fakes.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/memory_file_system.h"
#include "wizard/controls.h"

namespace merva {
namespace {

using test::ArchiveBytes;
using test::DirectoryOf;
using test::PackageBytes;
using test::TEntryLayout;

const char kRoot[] = "R";
const char kImg[] = "G\\models\\gta3.img";

// A game folder "G" and a folder of restore points "R" in memory.
struct TGame {
  TMemoryFileSystem fs;
  test::TFakeBoxes boxes;
  test::TFakeProgress progress;
  test::TFakeRegistry registry;

  explicit TGame(const std::string& archive) {
    fs.AddDirectory("G");
    fs.AddDirectory("G\\models");
    fs.Put(kImg, archive);
  }

  void Install(TDATAInst script, const std::vector<std::pair<std::string, std::string>>& files,
               IFileSystem* through = nullptr, TLevelRecord level = {}) {
    fs.Put("data.cab", PackageBytes(files));
    if (script.Title.empty()) script.Title = "Mod";
    TRestoreRequest request{kRoot, script.Title, "2026-12-08 10:00:00", level};
    TInstallation installation(script, "G", {through ? *through : fs, boxes, progress}, "data.cab");
    installation.KeepRestorePoint(request);
    installation.Run();
  }

  TRestorePoint Latest() { return FindLatestRestorePoint(fs, kRoot, "G"); }

  TUndoResult Undo(bool force = false, IFileSystem* through = nullptr) {
    return UndoPoint(Latest(), force, through);
  }
  TUndoResult UndoPoint(const TRestorePoint& point, bool force = false,
                        IFileSystem* through = nullptr) {
    return TUndo(kRoot, point, {through ? *through : fs, boxes, progress, &registry})
        .Run({force, force});
  }

  std::string File(const std::string& path) const {
    const TMemoryFileSystem::Bytes* bytes = fs.Get(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "(none)";
  }
  std::string Archive() const { return File(kImg); }
  std::vector<std::string> Folders(const std::string& path = kRoot) {
    std::vector<std::string> names;
    fs.ListFolder(path, names);
    return names;
  }
  // Every file of the game folder with its bytes, and every folder.
  std::map<std::string, std::string> Tree() const {
    std::map<std::string, std::string> tree;
    for (const auto& [path, bytes] : fs.Files())
      if (path.rfind("G\\", 0) == 0) tree[path] = std::string(bytes->begin(), bytes->end());
    return tree;
  }
};

// An entry's sectors as the archive holds them, zeros where the file ends early.
std::string SectorsOf(const std::string& archive, const TEntryLayout& entry) {
  std::string data(static_cast<size_t>(entry.Size) * 2048, '\0');
  const size_t from = static_cast<size_t>(entry.Offset) * 2048;
  if (from < archive.size()) {
    const std::string present = archive.substr(from, data.size());
    data.replace(0, present.size(), present);
  }
  return data;
}

std::string NameBytes(const std::string& archive, size_t index) {
  return archive.substr(8 + index * 32 + 8, 24);
}

// Entries that lie apart, after the directory and inside the file: their bytes are their own.
bool EntriesAreSound(const std::string& archive) {
  const std::vector<TEntryLayout> entries = DirectoryOf(archive);
  std::vector<std::pair<int64_t, int64_t>> spans;
  for (const TEntryLayout& e : entries) {
    if (e.Size == 0) continue;
    const int64_t start = int64_t{e.Offset} * 2048, end = start + int64_t{e.Size} * 2048;
    if (start < 8 + 32 * static_cast<int64_t>(entries.size()) ||
        end > static_cast<int64_t>(archive.size()))
      return false;
    spans.push_back({start, end});
  }
  std::sort(spans.begin(), spans.end());
  for (size_t i = 1; i < spans.size(); ++i)
    if (spans[i - 1].second > spans[i].first) return false;
  return true;
}

void ExpectSameEntries(const std::string& before, const std::string& after, uint32_t seed) {
  const std::vector<TEntryLayout> a = DirectoryOf(before), b = DirectoryOf(after);
  ASSERT_EQ(a.size(), b.size()) << "seed " << seed;
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(NameBytes(before, i), NameBytes(after, i)) << "seed " << seed << " entry " << i;
    EXPECT_EQ(a[i].Size, b[i].Size) << "seed " << seed << " entry " << i;
    EXPECT_TRUE(SectorsOf(before, a[i]) == SectorsOf(after, b[i]))
        << "seed " << seed << " entry " << i;
  }
}

TEST(TakeBack, GeneratedInstallationsComeBackExactlyOnCompactedArchivesAndEntryForEntryElse) {
  int exact = 0, entryForEntry = 0;
  for (const bool compacted : {true, false}) {
    for (uint32_t seed = 1; seed <= 200; ++seed) {
      const test::TGenerated g = test::TGenerator(seed, compacted).Make();
      TGame game(g.Archive);
      try {
        game.Install(g.Script, g.Files);
      } catch (const Exception&) {
        // A refused installation changes nothing and keeps no restore point.
        EXPECT_TRUE(game.Archive() == g.Archive) << "seed " << seed;
        EXPECT_TRUE(game.Folders().empty()) << "seed " << seed;
        continue;
      }
      ASSERT_EQ(game.Folders().size(), 1u) << "seed " << seed;
      game.Undo();
      EXPECT_TRUE(game.Folders().empty()) << "seed " << seed << ": the point is removed";
      if (compacted) {
        EXPECT_TRUE(game.Archive() == g.Archive) << "seed " << seed;
        ++exact;
      } else if (EntriesAreSound(g.Archive)) {
        ExpectSameEntries(g.Archive, game.Archive(), seed);
        ++entryForEntry;
      }
    }
  }
  EXPECT_GT(exact, 150);
  EXPECT_GT(entryForEntry, 40);
}

// A game folder with an archive of three entries and a data file; the mod replaces one entry,
// adds one, replaces the data file and creates a file in a new folder.
struct TTakeBackTest : ::testing::Test {
  const std::string original =
      test::BuildArchive({{1, 1, "a.dff"}, {2, 2, "b.txd"}, {4, 1, "c.dff"}});
  TGame game{original};
  TDATAInst script;
  std::vector<std::pair<std::string, std::string>> files = {{"b.txd", std::string(5000, 'B')},
                                                            {"new.dff", std::string(10, 'N')},
                                                            {"handling.cfg", "new handling"},
                                                            {"readme.txt", "read me"}};
  void SetUp() override {
    game.fs.AddDirectory("G\\data");
    game.fs.Put("G\\data\\handling.cfg", "old handling");
    script.Title = "Infernus GT";
    script.ArchiveFiles = {"b.txd", "new.dff"};
    script.GameFiles = {"data\\handling.cfg", "data\\mymod\\docs\\readme.txt"};
  }
};

TEST_F(TTakeBackTest, KeepsOnlyWhatItReplacesAndSaysWhatChanged) {
  game.Install(script, files);
  const TRestorePoint point = game.Latest();
  EXPECT_EQ(point.Folder, "G 1");
  const std::string folder = std::string(kRoot) + "\\G 1";
  // The old entries in one archive of the game's own format.
  const std::string kept = game.File(folder + "\\archive.img");
  const std::vector<TEntryLayout> keptEntries = DirectoryOf(kept);
  ASSERT_EQ(keptEntries.size(), 1u);
  EXPECT_EQ(keptEntries[0].Name, "b.txd");
  EXPECT_EQ(keptEntries[0].Size, 2);
  EXPECT_EQ(test::DataOf(kept, keptEntries[0]), test::DataOf(original, {2, 2, "b.txd"}));
  EXPECT_EQ(game.File(folder + "\\game\\data\\handling.cfg"), "old handling");
  EXPECT_EQ(game.Folders(folder),
            (std::vector<std::string>{"archive.img", "changes.txt", "merva-restore-point",
                                      "record.txt", "game"}));
  EXPECT_EQ(point.Archives[0].KeptBytes, 2 * 2048 + 12);

  std::string changes = game.File(folder + "\\changes.txt");
  EXPECT_NE(changes.find("Mod: Infernus GT\r\n"), std::string::npos);
  changes.erase(std::remove(changes.begin(), changes.end(), '\r'), changes.end());
  for (const char* line :
       {"Mod: Infernus GT\n", "Installed: 2026-12-08 10:00:00\n",
        "Installed level before: not checked\n", "  new.dff, 2048 bytes\n",
        "  b.txd: old 4096 bytes, new 6144 bytes, taken over from the game's own\n",
        "  data\\mymod\\docs\\readme.txt, 7 bytes\n",
        "  data\\handling.cfg: old 12 bytes, new 12 bytes, taken over from the game's own\n",
        "Folders created (2):\n  data\\mymod\n  data\\mymod\\docs\n",
        "This restore point keeps 4108 bytes of old files.\n"})
    EXPECT_NE(changes.find(line), std::string::npos) << line << "\n" << changes;
  EXPECT_NE(changes.find("New models\\gta3.img: " + std::to_string(game.Archive().size()) +
                         " bytes, XXH3-128 " + point.Archives[0].NewArchiveFingerprint),
            std::string::npos);
  // The fingerprint taken while the archive was written is that of the whole file.
  TFingerprint whole;
  const std::string archive = game.Archive();
  whole.Update(archive.data(), archive.size());
  EXPECT_EQ(point.Archives[0].NewArchiveFingerprint, whole.HexDigest());
}

// Windows would keep "ЖУК.dff" and "жук.dff" in one file: their old bytes are entries of one
// archive instead, each under its own name.
TEST(TakeBack, EntriesWhoseNamesDifferInCyrillicCaseAreKeptApart) {
  const std::string original = test::BuildArchive({{1, 1, "ЖУК.dff"}, {2, 1, "жук.dff"}});
  TGame game{original};
  TDATAInst script;
  script.Title = "Bugs";
  script.ArchiveFiles = {"ЖУК.dff", "жук.dff"};
  game.Install(script, {{"ЖУК.dff", std::string(3000, 'U')}, {"жук.dff", std::string(3000, 'l')}});
  const TRestorePoint point = game.Latest();
  ASSERT_EQ(point.Archives[0].Replaced.size(), 2u);
  const std::vector<TEntryLayout> kept =
      DirectoryOf(game.File(std::string(kRoot) + "\\G 1\\archive.img"));
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].Name, "ЖУК.dff");
  EXPECT_EQ(kept[1].Name, "жук.dff");
  game.Undo();
  EXPECT_EQ(game.Archive(), original);
}

// A point of the earlier layout, one file per kept entry and a SHA-256 of the archive, is taken
// back as before.
TEST_F(TTakeBackTest, APointOfTheEarlierLayoutComesBackToo) {
  const auto before = game.Tree();
  game.Install(script, files);
  const std::string folder = std::string(kRoot) + "\\G 1";
  const std::string kept = game.File(folder + "\\archive.img");
  game.fs.Put(folder + "\\archive\\b.txd", test::DataOf(kept, DirectoryOf(kept)[0]));
  game.fs.DeleteFile(folder + "\\archive.img");
  // As that layout wrote it: the entry kept in a file of its own, no fingerprint of what was
  // written, no owner, the archive's SHA-256.
  TRestorePoint point = game.Latest();
  point.Archives[0].Replaced[0].Kept = "archive\\b.txd";
  const std::string archive = game.Archive();
  TSha256 sha;
  sha.Update(archive.data(), archive.size());
  point.Archives[0].NewArchiveFingerprint = sha.HexDigest();
  point.Archives[0].KeptArchiveFingerprint.clear();
  game.fs.Put(folder + "\\record.txt", test::UntaggedRecordText(point, false, false));
  game.Undo();
  EXPECT_EQ(game.Tree(), before);
}

TEST_F(TTakeBackTest, GivesTheGameFolderBackFileForFile) {
  game.fs.Put("G\\keep.txt", "the player's own");
  const auto before = game.Tree();
  game.Install(script, files);
  EXPECT_EQ(game.File("G\\data\\mymod\\docs\\readme.txt"), "read me");
  game.Undo();
  EXPECT_EQ(game.Tree(), before);
  EXPECT_FALSE(game.fs.DirectoryExists("G\\data\\mymod"));
  EXPECT_TRUE(game.fs.DirectoryExists("G\\data"));
  EXPECT_FALSE(game.fs.DirectoryExists("G\\merva-install.tmp"));
}

TEST_F(TTakeBackTest, AFolderThePlayerFilledSinceStays) {
  game.Install(script, files);
  game.fs.Put("G\\data\\mymod\\notes.txt", "mine");
  game.Undo();
  EXPECT_EQ(game.File("G\\data\\mymod\\notes.txt"), "mine");
  EXPECT_FALSE(game.fs.FileExists("G\\data\\mymod\\docs\\readme.txt"));
  EXPECT_FALSE(game.fs.DirectoryExists("G\\data\\mymod\\docs"));
}

// Two mods sharing entries come back in either order; taken back first, the older one leaves
// the game as the newer one alone would have made it, and the newer one's undo still gives the
// original back byte for byte.
TEST_F(TTakeBackTest, TwoModsComeBackInEitherOrder) {
  const auto before = game.Tree();
  TDATAInst second;
  second.Title = "Second";
  second.ArchiveFiles = {"a.dff", "b.txd", "z.dff"};
  const std::vector<std::pair<std::string, std::string>> secondFiles = {
      {"a.dff", std::string(9000, 'a')},
      {"b.txd", std::string(10, 'b')},
      {"z.dff", std::string(3000, 'z')}};
  // The second mod alone, for what the older one's undo must leave.
  game.Install(second, secondFiles);
  const std::string secondAlone = game.Archive();
  game.Undo();
  ASSERT_EQ(game.Tree(), before);

  for (const bool olderFirst : {false, true}) {
    game.Install(script, files);
    const std::string afterFirst = game.Archive();
    game.Install(second, secondFiles);
    const std::vector<TRestorePoint> points = ListRestorePoints(game.fs, kRoot, "G");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].Title, "Second");
    if (olderFirst) {
      const TUndoResult result = game.UndoPoint(points[1]);
      EXPECT_EQ(result.Done.Rewritten, std::vector<std::string>{points[0].Folder});
      std::vector<std::string> now = test::EntriesOf(game.Archive()),
                               alone = test::EntriesOf(secondAlone);
      std::sort(now.begin(), now.end());
      std::sort(alone.begin(), alone.end());
      EXPECT_TRUE(now == alone) << "the entries by name and bytes";
      EXPECT_EQ(game.File("G\\data\\mymod\\docs\\readme.txt"), "(none)");
    } else {
      game.Undo();
      EXPECT_TRUE(game.Archive() == afterFirst);
    }
    game.Undo();
    EXPECT_EQ(game.Tree(), before) << (olderFirst ? "older first" : "newer first");
    EXPECT_THROW(game.Latest(), Exception);
  }
}

TEST_F(TTakeBackTest, AnArchiveChangedSinceIsRefusedUnlessForcedThenTakenBackByName) {
  game.Install(script, files);
  // Another tool appends an entry of its own.
  std::string changed = game.Archive();
  std::vector<TEntryLayout> entries = DirectoryOf(changed);
  entries.push_back({static_cast<int32_t>(changed.size() / 2048), 1, "other.dff"});
  changed = ArchiveBytes(entries, static_cast<int64_t>(changed.size() / 2048) + 1);
  std::string data = game.Archive();
  changed.replace(8 + 32 * entries.size(), std::string::npos,
                  data.substr(8 + 32 * entries.size()) + std::string(2048, 'O'));
  game.fs.Put(kImg, changed);

  EXPECT_THROW(game.Undo(), EUndoRefused);
  EXPECT_TRUE(game.Archive() == changed);
  EXPECT_TRUE(game.Undo(/*force=*/true).ByNames);
  const std::vector<TEntryLayout> back = DirectoryOf(game.Archive());
  std::vector<std::string> names;
  for (const TEntryLayout& e : back) names.push_back(e.Name);
  // The archive's own order stays: b.txd had moved to the end when it grew.
  EXPECT_EQ(names, (std::vector<std::string>{"a.dff", "c.dff", "b.txd", "other.dff"}));
  EXPECT_TRUE(SectorsOf(game.Archive(), back[2]) == test::DataOf(original, {2, 2, "b.txd"}));
  EXPECT_EQ(back[2].Size, 2);
  EXPECT_TRUE(SectorsOf(game.Archive(), back[3]) == std::string(2048, 'O'));
  EXPECT_EQ(game.File("G\\data\\handling.cfg"), "old handling");
}

// The running game holds gta3.img: opening it is refused as Windows refuses it.
class THeldArchive : public TFaultyFileSystem {
 public:
  using TFaultyFileSystem::TFaultyFileSystem;
  int Open(const std::string& path, TOpenAccess access,
           std::unique_ptr<IFileHandle>& handle) override {
    if (path.size() >= 8 && path.compare(path.size() - 8, 8, "gta3.img") == 0)
      return kSharingViolation;
    return TFaultyFileSystem::Open(path, access, handle);
  }
};

TEST_F(TTakeBackTest, TheGameHoldingItsArchiveIsToldAndNothingChanges) {
  game.Install(script, files);
  const auto tree = game.Tree();
  const TRestorePoint point = game.Latest();
  THeldArchive held(game.fs);
  try {
    game.UndoPoint(point, false, &held);
    FAIL() << "the undo went on";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(),
              "The game or another program is using the file G\\models\\gta3.img. Close it, "
              "then try again. Nothing was changed.");
  }
  EXPECT_EQ(game.Tree(), tree);
  game.Undo();
  EXPECT_TRUE(game.Archive() == original);
}

TEST_F(TTakeBackTest, ADamagedRestorePointChangesNothing) {
  game.Install(script, files);
  const std::string installed = game.Archive();
  const auto tree = game.Tree();
  const std::string kept = std::string(kRoot) + "\\G 1\\archive.img";
  game.fs.Put(kept, game.File(kept).substr(0, 4096));  // cut short
  EXPECT_THROW(game.Undo(), Exception);
  EXPECT_EQ(game.Tree(), tree);
  EXPECT_TRUE(game.Archive() == installed);
  EXPECT_EQ(game.Folders(), std::vector<std::string>{"G 1"});
}

TEST_F(TTakeBackTest, TheLevelValueComesBackOnlyWhereTheInstallationChangedIt) {
  const double one = 1.0;
  std::vector<uint8_t> oneBytes(8);
  std::memcpy(oneBytes.data(), &one, 8);
  struct TCase {
    const char* Name;
    TLevelRecord Level;
    bool ChangedSince;
    bool ExpectPresent;
  };
  const TCase cases[] = {
      {"first installation recorded 1", {true, {}, {true, oneBytes}}, false, false},
      {"unchanged value", {true, {true, {1, 2}}, {true, {1, 2}}}, false, true},
      {"changed since by another mod", {true, {}, {true, oneBytes}}, true, true},
      {"not checked", {false, {}, {}}, false, true},
  };
  for (const TCase& c : cases) {
    TGame g(original);
    g.registry.Values[kLevelValueName] = {TValueType::kBinary, c.Level.After.Bytes};
    if (!c.Level.After.Present) g.registry.Values[kLevelValueName] = {TValueType::kBinary, {9}};
    if (c.ChangedSince) g.registry.Values[kLevelValueName].Data = {7, 7};
    g.Install(script, files, nullptr, c.Level);
    const TUndoResult result = g.Undo();
    EXPECT_EQ(g.registry.Values.count(kLevelValueName) > 0, c.ExpectPresent) << c.Name;
    EXPECT_EQ(result.LevelRestored, !c.ChangedSince) << c.Name;
  }
}

// A fault at any file operation of an installation leaves either the old archive and no
// restore point, or the installed archive and one whole restore point that matches it.
TEST_F(TTakeBackTest, FaultsWhileInstallingNeverLeaveARestorePointThatLies) {
  int untouched = 0, installed = 0;
  for (uint64_t nth = 1;; ++nth) {
    TGame g(original);
    g.fs.AddDirectory("G\\data");
    g.fs.Put("G\\data\\handling.cfg", "old handling");
    const auto before = g.Tree();
    TFaultyFileSystem faulty(g.fs);
    faulty.FailAt(nth, kDiskFull);
    bool failed = false;
    try {
      g.Install(script, files, &faulty);
    } catch (const Exception&) {
      failed = true;
    }
    if (!faulty.Fired()) break;
    { const TChangingGame next(g.fs, "G", kRoot); }
    const std::vector<TRestorePoint> points = ListRestorePoints(g.fs, kRoot);
    EXPECT_EQ(g.Folders().size(), points.size()) << "fault " << nth << ": a partial point stays";
    if (g.Archive() == original) {
      EXPECT_TRUE(failed) << "fault " << nth;
      EXPECT_TRUE(points.empty()) << "fault " << nth;
      // All or nothing: the game files too, whether the fault came before the archive was
      // replaced or after it.
      EXPECT_TRUE(g.Tree() == before) << "fault " << nth;
      EXPECT_FALSE(g.fs.DirectoryExists("G\\data\\mymod")) << "fault " << nth;
      EXPECT_FALSE(g.fs.DirectoryExists("G\\merva-install.tmp")) << "fault " << nth;
      ++untouched;
    } else {
      ASSERT_EQ(points.size(), 1u) << "fault " << nth;
      EXPECT_TRUE(ArchiveMatches(g.fs, points[0], nullptr)) << "fault " << nth;
      ++installed;
      g.Undo();
      EXPECT_TRUE(g.Archive() == original) << "fault " << nth;
    }
  }
  EXPECT_GT(untouched, 40);
  EXPECT_GT(installed, 0);
}

// A fault at any file operation of an undo leaves the whole game folder, once the next run has
// looked, as installed, with its restore point, or as it was before the installation, without
// it: a failed undo takes back what it did (game files included) before it says so, or, past
// its commit, is finished by the next run.
TEST_F(TTakeBackTest, FaultsWhileTakingBackLeaveEitherStateWhole) {
  const std::map<std::string, std::string> before = game.Tree();
  game.Install(script, files);
  const std::string installed = game.Archive();
  const std::map<std::string, std::string> installedTree = game.Tree();
  int failed = 0, done = 0;
  for (uint64_t nth = 1;; ++nth) {
    TGame g(installed);
    for (const auto& [path, bytes] : game.fs.Files())
      g.fs.Put(path, std::string(bytes->begin(), bytes->end()));
    for (const char* folder : {"G\\data", "G\\data\\mymod", "G\\data\\mymod\\docs", "R", "R\\G 1",
                               "R\\G 1\\archive", "R\\G 1\\game", "R\\G 1\\game\\data"})
      g.fs.AddDirectory(folder);
    const TRestorePoint point = g.Latest();
    TFaultyFileSystem faulty(g.fs);
    faulty.FailAt(nth, kDiskFull);
    bool refused = false;
    try {
      g.UndoPoint(point, false, &faulty);
    } catch (const Exception&) {
      refused = true;
    }
    if (!faulty.Fired()) break;
    // A fault after the undo's commit leaves it for the next run to finish.
    { const TChangingGame next(g.fs, "G", kRoot); }
    const size_t points = ListRestorePoints(g.fs, kRoot).size();
    if (points == 1) {
      EXPECT_TRUE(refused) << "fault " << nth;
      EXPECT_EQ(test::TreeDifference(g.Tree(), installedTree), "") << "fault " << nth;
      ++failed;
    } else {
      EXPECT_EQ(test::TreeDifference(g.Tree(), before), "") << "fault " << nth;
      EXPECT_EQ(points, 0u) << "fault " << nth;
      ++done;
    }
  }
  EXPECT_GT(failed, 20);
  EXPECT_GT(done, 0);
}

TEST(RestoreRecord, ReadsBackWhatItWritesAndRefusesACutOrDamagedOne) {
  TRestorePoint point;
  point.Title = "Tab\there, 100% \xC0\xC1 line\nbreak";
  point.Time = "2026-12-08 10:00:00";
  point.GameFolder = "C:\\Games\\GTA San Andreas";
  point.GameIdentity = "5a0b3c00-10000000abcde";
  point.Level = {true, {false, {}}, {true, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}}};
  point.Archives[0].OldCount = 3;
  point.Archives[0].OldFirstSector = 1;
  point.Archives[0].Order = {{0, 0, 2}, {2, 3, 1}};
  TKeptEntry kept;
  kept.Index = 1;
  std::memcpy(kept.Old.Name, "b.txd\0junk", 10);
  kept.Old.Size = 2;
  kept.NewSize = 3;
  kept.Kept = "archive\\b.txd";
  kept.NewFingerprint = "00112233445566778899aabbccddeeff";
  kept.TakenFrom = "game";
  point.Archives[0].Replaced = {kept};
  point.Archives[0].Added = {{"new.dff", 1, "fedcba9876543210fedcba9876543210"}};
  point.GameFiles = {{"data\\x.cfg", true, 12, 13, "game\\data\\x.cfg",
                      "0123456789abcdef0123456789abcdef", "point:GTA 3",
                      "00112233445566778899aabbccddee00"}};
  point.FoldersCreated = {"data\\mod"};
  point.Archives[0].NewArchiveBytes = 8192;
  point.Archives[0].NewArchiveFingerprint = std::string(64, 'a');
  const std::string text = RecordText(point);

  TRestorePoint read;
  ASSERT_TRUE(ParseRecord(text, read));
  EXPECT_EQ(RecordText(read), text);
  EXPECT_EQ(read.Title, point.Title);
  EXPECT_EQ(read.GameIdentity, point.GameIdentity);
  EXPECT_EQ(std::memcmp(&read.Archives[0].Replaced[0].Old, &kept.Old, sizeof kept.Old), 0);
  EXPECT_EQ(LevelText(read.Level, read.Level.After), "1");
  EXPECT_EQ(LevelText(read.Level, read.Level.Before), "none");

  const std::pair<std::string, std::string> damaged[] = {
      {"\nend\n", "\nend\n\n"},
      {"print=" + std::string(64, 'a'), "print=short"},
      {"count=3", "count=three"},
      {"\tcount=2\n", "\n"},      // a field missing
      {"title\t", "title\tx\t"},  // a field without its name
      {"title\ttext=", "title\ttext=x\ttext="},
      {"%", "%G"},
      {"point:GTA 3", "point:..\\elsewhere"},  // a point is named by its folder's name alone
      {"point:GTA 3", "point:"},
      {"from=game\n", "from=someone\n"},
      {"fedcba98", "fedcba9"},
      {"~kept-print=00112233", "~kept-print=0011223"},
      {"~id=5a0b3c00", "~id=..\\5a0b3c00"},  // a game's identity is hex digits, "." and "-"
      {"replaced=1", "replaced=0"},          // a kept print for a file that was not replaced
  };
  EXPECT_FALSE(ParseRecord(text.substr(0, text.size() - 4), read)) << "cut before its end";
  EXPECT_FALSE(ParseRecord(text + "title\ttext=x\n", read)) << "a line after the end";
  std::string unknown;
  for (const auto& [from, to] : damaged) {
    std::string bad = text;
    bad.replace(bad.find(from), from.size(), to);
    EXPECT_EQ(ReadRecord(bad, read, unknown), TRecordRead::kDamaged) << to;
  }
  // What a newer Merva adds: refused and named, unless it is marked as safe to pass over.
  const struct {
    std::string From, To, Unknown;
    TRecordRead Read;
  } later[] = {
      {"\nend\n", "\nsigned\tby=me\nend\n", "signed", TRecordRead::kNewer},
      {"\tprint=fedcba", "\tmerge=1\tprint=fedcba", "added merge", TRecordRead::kNewer},
      {"\nend\n", "\n~note\tby=me\nend\n", "", TRecordRead::kWhole},
      {"\tprint=fedcba", "\t~note=x\tprint=fedcba", "", TRecordRead::kWhole},
  };
  for (const auto& c : later) {
    std::string newer = text;
    newer.replace(newer.find(c.From), c.From.size(), c.To);
    unknown.clear();
    EXPECT_EQ(ReadRecord(newer, read, unknown), c.Read) << c.To;
    EXPECT_EQ(unknown, c.Unknown) << c.To;
  }
}

TEST(RestorePointName, IsTheGameFolderNameAndACounter) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Games\\GTA San Andreas", "GTA San Andreas 7"},
      {"C:\\Games\\GTA San Andreas\\", "GTA San Andreas 7"},
      {"D:\\", "D 7"},
      {"\\\\", "game 7"},
      {"Z:\\tmp\\a\"b|c", "a_b_c 7"},
      // A long name is cut, never inside a character.
      {"C:\\Игры\\Игры GTA San Andreas с модами, которые я собирал много лет подряд",
       "Игры GTA San Andreas с модами, которые я со 7"},
  };
  for (const auto& [folder, name] : cases) EXPECT_EQ(RestorePointName(folder, 7), name) << folder;
  TMemoryFileSystem fs;
  EXPECT_TRUE(SameGameFolder(fs, "C:\\Games\\GTA\\", "C:/Games/GTA"));
  EXPECT_FALSE(SameGameFolder(fs, "C:\\Games\\GTA", "C:\\Games\\GTA2"));
}

TEST(RestorePointName, CountersOnlyGrowAcrossGameFolders) {
  TMemoryFileSystem fs;
  fs.AddDirectory("R");
  for (const char* folder : {"R\\GTA 3", "R\\Other 9.partial", "R\\GTA 12.undoing"}) {
    fs.AddDirectory(folder);
    fs.Put(std::string(folder) + "\\" + kPointMarkName, "C:\\GTA");
  }
  // Someone else's folders with numbers of their own use none of ours.
  fs.AddDirectory("R\\notes");
  fs.AddDirectory("R\\whatever 999999999");
  EXPECT_EQ(NextRestoreCounter(fs, "R"), 13);
  fs.AddDirectory("R\\GTA 999999999");
  fs.Put("R\\GTA 999999999\\record.txt", "");
  EXPECT_THROW(NextRestoreCounter(fs, "R"), Exception);
}

// Thousands of kept files are flushed side by side; a file that cannot be flushed still fails the
// whole, whichever thread meets it.
TEST(FlushFiles, FlushesManyFilesSideBySideAndReportsAFailure) {
  test::TTempDir dir;
  IFileSystem& fs = SystemFileSystem();
  for (const size_t count : {3u, 200u}) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < count; ++i) {
      paths.push_back(dir / ("f" + std::to_string(i)));
      test::WriteFile(paths.back(), std::string(i + 1, 'x'));
    }
    // The front end is told at least once while the flush runs, however fast the disk is: the
    // stretch has begun, so that every report after it counts as one.
    test::TFakeProgress progress;
    progress.Start(1);
    FlushFiles(fs, paths, &progress);
    EXPECT_GT(progress.Waits, 0);
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(test::ReadFile(paths[i]).size(), i + 1);
    paths.insert(paths.begin() + static_cast<std::ptrdiff_t>(count / 2), dir / "missing");
    EXPECT_THROW(FlushFiles(fs, paths), EInOutError) << count;
  }
}

// The one flush on a thread of its own: what it flushed is on the disk when Wait returns, its
// failure comes back to the waiting thread, and a failure nobody waits for is dropped quietly.
TEST(BackgroundFlush, WaitsRaisesAndForgets) {
  test::TTempDir dir;
  TFaultyFileSystem faulty(SystemFileSystem());
  test::TFakeProgress progress;
  TBackgroundFlush idle;
  idle.Wait(progress);  // nothing started: nothing to wait for
  EXPECT_FALSE(idle.Running());
  for (const bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "failing" : "sound");
    TBlockFile file = TBlockFile::Create(faulty, dir / "f");
    file.WriteExact("abc", 3);
    faulty.FailAt(fails ? 1 : 1000, kDiskFull, {TFileOp::kFlush});
    TBackgroundFlush flush;
    flush.Start(file);
    if (fails)
      EXPECT_THROW(flush.Wait(progress), EInOutError);
    else
      EXPECT_NO_THROW(flush.Wait(progress));
    EXPECT_FALSE(flush.Running());
    EXPECT_EQ(faulty.Fired(), fails);
    flush.Wait(progress);  // the failure is raised once
    flush.Start(file);
    flush.Join();
    file.Close();
  }
}

}  // namespace
}  // namespace merva
