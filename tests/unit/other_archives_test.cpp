// Mods that put files into the game's other archives (gta_int.img, player.img...): the script's
// named-archive records, the rules for the archives a mod may name, the installation into every
// archive at once and its undo, on a file system in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/cp1251.h"
#include "core/errors.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "operations/game_status.h"
#include "operations/installation.h"
#include "operations/undo.h"
#include "operations/undo_request.h"
#include "restore/restore_names.h"
#include "restore/restore_store.h"
#include "script/install_items.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/step_install.h"

namespace merva {
namespace {

using test::BuildArchive;
using test::PackageBytes;

const char kRoot[] = "R";
const char kInt[] = "models\\gta_int.img";
const char kPlayer[] = "models\\player.img";
const char kCutscene[] = "models\\cutscene.img";

// A game with four compacted archives (an undo gives those back byte for byte); gta_int.img
// holds an entry of a name gta3.img holds too.
std::unique_ptr<TMemoryFileSystem> Game() {
  auto fs = std::make_unique<TMemoryFileSystem>();
  for (const char* folder : {"G", "G\\models", "R"}) fs->AddDirectory(folder);
  fs->Put(ArchivePathOf("G"), BuildArchive({{1, 2, "a.dff"}, {3, 1, "b.txd"}}));
  fs->Put("G\\models\\gta_int.img", BuildArchive({{1, 1, "room.dff"}, {2, 2, "b.txd"}}));
  fs->Put("G\\models\\player.img", BuildArchive({{1, 3, "torso.dff"}}));
  fs->Put("G\\models\\cutscene.img", BuildArchive({{1, 1, "cs.dff"}}));
  fs->Put("data.cab", PackageBytes({{"a.dff", std::string(3000, 'A')},
                                    {"b.txd", std::string(5000, 'B')},
                                    {"room.dff", std::string(4100, 'R')},
                                    {"new_int.dff", std::string(100, 'I')},
                                    {"shirt.dff", std::string(2049, 'S')}}));
  return fs;
}

// Items in gta3.img (one replaced), gta_int.img (one replaced, b.txd of the same name as one in
// gta3.img, one added) and player.img (one added), spelt as authors may spell them.
TDATAInst InteriorScript() {
  TDATAInst script;
  script.Title = "Interior Pack";
  script.ArchiveFiles = {"a.dff"};
  script.NamedArchiveFiles = {
      NamedArchiveItemText(kInt, "room.dff"), NamedArchiveItemText("models/GTA_INT.IMG", "b.txd"),
      NamedArchiveItemText(kInt, "new_int.dff"), NamedArchiveItemText(kPlayer, "shirt.dff")};
  return script;
}

void Install(IFileSystem& fs, const TDATAInst& script, bool keepPoint = true) {
  test::TFakeBoxes boxes;
  TNoProgress progress;
  TInstallation installation(script, "G", {fs, boxes, progress}, "data.cab");
  if (keepPoint) installation.KeepRestorePoint({kRoot, script.Title, "2026-12-09 11:00:00", {}});
  installation.Run();
}

TUndoResult Undo(IFileSystem& fs, const std::string& point = "", bool force = false) {
  test::TFakeBoxes boxes;
  TNoProgress progress;
  if (point.empty()) return TUndo(kRoot, "G", {fs, boxes, progress}).Run({force, force});
  return TUndo(kRoot, point, "G", {fs, boxes, progress}).Run({force, force});
}

std::vector<std::string> EntriesOf(const std::string& archive) {
  std::vector<std::string> names;
  for (const test::TEntryLayout& entry : test::DirectoryOf(archive)) names.push_back(entry.Name);
  return names;
}

std::map<std::string, std::string> Files(const TMemoryFileSystem& fs) {
  std::map<std::string, std::string> files;
  for (const auto& [path, bytes] : fs.Files())
    files[path] = std::string(bytes->begin(), bytes->end());
  return files;
}

std::string FileOf(const TMemoryFileSystem& fs, const std::string& path) {
  const TMemoryFileSystem::Bytes* bytes = fs.Get(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : "(none)";
}

TEST(OtherArchives, EachArchiveIsWhatPutSortAndCompactOfItAloneGiveAndTheUndoGivesAllBack) {
  const std::unique_ptr<TMemoryFileSystem> fs = Game();
  const std::map<std::string, std::string> before = Files(*fs);
  Install(*fs, InteriorScript());

  for (const char* archive : {"", kInt, kPlayer}) {
    SCOPED_TRACE(archive);
    const std::unique_ptr<TMemoryFileSystem> alone = Game();
    test::InstallArchiveFilesStepByStep(InteriorScript(), "G", "data.cab", *alone, archive);
    const std::string path = GameArchivePathOf("G", archive);
    EXPECT_TRUE(FileOf(*fs, path) == FileOf(*alone, path));
  }
  EXPECT_EQ(EntriesOf(FileOf(*fs, "G\\models\\gta_int.img")),
            (std::vector<std::string>{"room.dff", "b.txd", "new_int.dff"}));
  EXPECT_EQ(EntriesOf(FileOf(*fs, "G\\models\\player.img")),
            (std::vector<std::string>{"torso.dff", "shirt.dff"}));
  // Not touched: not rewritten. No name of ours is left beside any archive.
  EXPECT_TRUE(FileOf(*fs, "G\\models\\cutscene.img") == before.at("G\\models\\cutscene.img"));
  for (const auto& [path, bytes] : Files(*fs))
    EXPECT_TRUE(path.rfind("G\\", 0) != 0 || path.find("merva") == std::string::npos) << path;

  // The point keeps each archive's old bytes in its own folder and names every archive.
  const TRestorePoint point = FindLatestRestorePoint(*fs, kRoot, "G");
  ASSERT_EQ(point.Archives.size(), 3u);
  EXPECT_EQ(point.Archives[1].Archive, kInt);
  EXPECT_EQ(point.Archives[1].Replaced.size(), 2u);
  EXPECT_EQ(point.Archives[1].Added.size(), 1u);
  EXPECT_EQ(point.Archives[2].Archive, kPlayer);
  EXPECT_EQ(point.Archives[0].Replaced.size(), 1u);
  EXPECT_TRUE(fs->FileExists(InPoint(PointPathOf(kRoot, point.Folder), KeptArchiveNameOf(1))));
  const std::string changes = FileOf(*fs, PointPathOf(kRoot, point.Folder) + "\\changes.txt");
  EXPECT_NE(changes.find("Entries replaced in models\\gta_int.img (2)"), std::string::npos);
  EXPECT_NE(changes.find("Entries added to models\\player.img (1)"), std::string::npos);
  EXPECT_NE(changes.find("Entries replaced in models\\gta3.img (1)"), std::string::npos);

  const TUndoResult undone = Undo(*fs);
  EXPECT_FALSE(undone.ByNames);
  EXPECT_EQ(undone.Done.GivenBack,
            (std::vector<std::string>{"a.dff", "room.dff in models\\gta_int.img",
                                      "b.txd in models\\gta_int.img"}));
  std::map<std::string, std::string> after = Files(*fs);
  EXPECT_TRUE(after == before) << "every archive back byte for byte, the point gone";
}

TEST(OtherArchives, AModWithoutRestorePointAndOneArchiveOnlyLeavesTheOthersAlone) {
  const std::unique_ptr<TMemoryFileSystem> fs = Game();
  TDATAInst script;
  // An item the package lacks is passed over, as in gta3.img: its archive is not touched.
  script.NamedArchiveFiles = {NamedArchiveItemText(kPlayer, "shirt.dff"),
                              NamedArchiveItemText(kInt, "missing.dff")};
  const std::string interior = FileOf(*fs, "G\\models\\gta_int.img");
  // Cut short: opened, it would be refused.
  fs->Put("G\\models\\gta_int.img", interior.substr(0, 2048 * 3) + "tail");
  const std::string withGap = FileOf(*fs, "G\\models\\gta_int.img");
  Install(*fs, script, false);
  EXPECT_EQ(EntriesOf(FileOf(*fs, "G\\models\\player.img")),
            (std::vector<std::string>{"torso.dff", "shirt.dff"}));
  EXPECT_EQ(EntriesOf(FileOf(*fs, ArchivePathOf("G"))),
            (std::vector<std::string>{"a.dff", "b.txd"}));
  EXPECT_TRUE(FileOf(*fs, "G\\models\\gta_int.img") == withGap);
}

// What a script may name as an archive, and what is refused before anything changes.
TEST(OtherArchives, HostileArchiveNamesInAScriptAreRefusedBeforeAnythingChanges) {
  const struct {
    const char* Text;
    const char* Said;  // empty: accepted
  } cases[] = {
      {"models\\gta_int.img|a.dff", ""},
      {"anim/anim.img|a.dff", ""},
      {"models\\GTA3.IMG.|a.dff", ""},  // gta3.img as Windows reads it: the main archive
      {"..\\other\\gta3.img|a.dff", "outside the game folder"},
      {"models\\..\\..\\x.img|a.dff", "outside the game folder"},
      {"C:\\Games\\x.img|a.dff", "outside the game folder"},
      {"\\models\\x.img|a.dff", "outside the game folder"},
      {"models\\temp.img|a.dff", "the installer itself uses it"},
      {"merva-install.tmp\\x.img|a.dff", "the installer itself uses it"},
      {"merva.lock|a.dff", "the installer itself uses it"},
      {"models\\gta_int.txd|a.dff", "not an IMG archive"},
      {"models\\nul.img|a.dff", "device"},
      {"|a.dff", "no archive is named"},
      {"a.dff", "without its archive"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    TDATAInst script;
    script.NamedArchiveFiles = {c.Text};
    if (!*c.Said) {
      EXPECT_EQ(ReadInstallItems(script).ArchiveFiles.size(), 1u);
      continue;
    }
    try {
      ReadInstallItems(script);
      ADD_FAILURE() << "accepted";
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.what()).find(c.Said), std::string::npos) << error.what();
    }
    // The whole installation is refused with the game as it was.
    const std::unique_ptr<TMemoryFileSystem> fs = Game();
    const std::map<std::string, std::string> before = Files(*fs);
    EXPECT_THROW(Install(*fs, script), Exception);
    EXPECT_TRUE(Files(*fs) == before);
  }
  TDATAInst main;
  main.NamedArchiveFiles = {"models\\GTA3.IMG.|a.dff"};
  EXPECT_EQ(ReadInstallItems(main).ArchiveFiles[0].Archive, "") << "gta3.img is the main one";
}

TEST(OtherArchives, AnArchiveMissingOrForeignRefusesTheWholeModNamingIt) {
  const struct {
    const char* Name;
    std::function<void(TMemoryFileSystem&)> Make;
    const char* Said;
  } cases[] = {
      {"missing", [](TMemoryFileSystem& fs) { fs.DeleteFile("G\\models\\player.img"); },
       "models\\player.img, which is not in the game folder"},
      {"not an archive", [](TMemoryFileSystem& fs) { fs.Put("G\\models\\player.img", "text"); },
       "G\\models\\player.img, which is not an IMG archive"},
      {"a game file of the same name", [](TMemoryFileSystem&) {},
       "as a game file and as an archive"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::unique_ptr<TMemoryFileSystem> fs = Game();
    c.Make(*fs);
    const std::map<std::string, std::string> before = Files(*fs);
    TDATAInst script = InteriorScript();
    if (std::string(c.Name) == "a game file of the same name")
      script.GameFiles = {"models\\Player.img"};
    try {
      Install(*fs, script);
      ADD_FAILURE() << "installed";
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.what()).find(c.Said), std::string::npos) << error.what();
    }
    EXPECT_TRUE(Files(*fs) == before);
  }
}

// The refusal of an installation into a game on disk; empty when it installed.
std::string RefusalOnDisk(const TDATAInst& script, const std::string& game,
                          const std::string& package) {
  test::TFakeBoxes boxes;
  TNoProgress progress;
  try {
    TInstallation(script, game, {SystemFileSystem(), boxes, progress}, package).Run();
  } catch (const Exception& error) {
    return error.what();
  }
  return "";
}

// A mod that would take another archive past 2 GB is refused naming it, before any change.
TEST(OtherArchives, AnArchivePastTwoGigabytesIsNamed) {
  test::TTempDir dir;
  const std::string game = dir / "G";
  test::MakeDirs(game + "\\models");
  test::WriteFile(ArchivePathOf(game), BuildArchive({{1, 1, "a.dff"}}));
  const std::string interiors = game + "\\" + kInt;
  test::WriteFile(interiors, BuildArchive({{1, 1, "room.dff"}}));
  std::filesystem::resize_file(test::Native(interiors), (int64_t{1} << 31) - 2048);  // sparse
  test::WriteFile(dir / "data.cab", PackageBytes({{"new_int.dff", std::string(4096, 'I')}}));
  TDATAInst script;
  script.NamedArchiveFiles = {NamedArchiveItemText(kInt, "new_int.dff")};
  const std::string refusal = RefusalOnDisk(script, game, dir / "data.cab");
  EXPECT_NE(refusal.find("The mod would take models\\gta_int.img past 2 GB"), std::string::npos)
      << refusal;
  EXPECT_NE(refusal.find("Nothing was changed."), std::string::npos) << refusal;
  EXPECT_EQ(std::filesystem::file_size(test::Native(interiors)), (uint64_t{1} << 31) - 2048);
}

// One archive under two names (a long name and its 8.3 short name, here a hard link): refused,
// saying why, before anything changes; the run would otherwise hold it against itself.
TEST(OtherArchives, OneArchiveUnderTwoNamesIsRefused) {
  test::TTempDir dir;
  const std::string game = dir / "G";
  test::MakeDirs(game + "\\models");
  test::WriteFile(ArchivePathOf(game), BuildArchive({{1, 1, "a.dff"}}));
  const std::string extra = game + "\\models\\interiors_extra.img";
  test::WriteFile(extra, BuildArchive({{1, 1, "room.dff"}}));
  std::filesystem::create_hard_link(test::Native(extra),
                                    test::Native(game + "\\models\\INTE~GHH.IMG"));
  test::WriteFile(dir / "data.cab", PackageBytes({{"x.dff", "x"}, {"y.dff", "y"}}));
  TDATAInst script;
  script.NamedArchiveFiles = {NamedArchiveItemText("models\\interiors_extra.img", "x.dff"),
                              NamedArchiveItemText("models\\INTE~GHH.IMG", "y.dff")};
  const std::string before = test::ReadFile(extra);
  const std::string refusal = RefusalOnDisk(script, game, dir / "data.cab");
  EXPECT_NE(refusal.find("which are one file"), std::string::npos) << refusal;
  EXPECT_EQ(test::ReadFile(extra), before);
}

// A reader of the format as it was before the named-archive record: tags 1, 2, 10 to 15 and 20
// to 22, every other tag read and passed over.
TDATAInst ReadAsTheFormatWasBefore(const std::string& bytes) {
  TDATAInst script;
  for (size_t at = 21; at + 5 <= bytes.size();) {
    const auto tag = static_cast<uint8_t>(bytes[at]);
    uint32_t length = 0;
    for (int i = 3; i >= 0; --i) length = length << 8 | static_cast<uint8_t>(bytes[at + 1 + i]);
    std::string text = bytes.substr(at + 5, length);
    for (size_t i = 1; i < text.size(); ++i) text[i] = static_cast<char>(text[i] - 32);
    text = Utf8FromCp1251(text);
    at += 5 + length;
    if (tag == 1) script.ArchiveFiles.push_back(text);
    if (tag == 2) script.GameFiles.push_back(text);
    if (tag == 20) script.Title = text;
    if (tag == 11) script.WelcomeText = text;
    if (length == 0) break;
  }
  return script;
}

TEST(OtherArchives, AnInstallerThatDoesNotKnowTheRecordLeavesItsItemsOut) {
  const std::string bytes = test::ScriptBytes({{20, "Interior"},
                                               {3, NamedArchiveItemText(kInt, "room.dff")},
                                               {1, "a.dff"},
                                               {3, NamedArchiveItemText(kPlayer, "shirt.dff")},
                                               {11, "Welcome"},
                                               {2, "data\\x.dat"}});
  TMemoryFileSystem fs;
  fs.Put("scripts.bin", bytes);
  test::TFakeBoxes boxes;
  TDATAInst now;
  ASSERT_EQ(LoadScript(now, fs, boxes, nullptr), TScriptEnd::kFileEnd);
  const TDATAInst before = ReadAsTheFormatWasBefore(bytes);
  for (const TDATAInst* script : {static_cast<const TDATAInst*>(&now), &before}) {
    EXPECT_EQ(script->Title, "Interior");
    EXPECT_EQ(script->WelcomeText, "Welcome");
    EXPECT_EQ(script->ArchiveFiles, std::vector<std::string>{"a.dff"}) << "none into gta3.img";
    EXPECT_EQ(script->GameFiles, std::vector<std::string>{"data\\x.dat"});
  }
  EXPECT_EQ(now.NamedArchiveFiles, (std::vector<std::string>{"models\\gta_int.img|room.dff",
                                                             "models\\player.img|shirt.dff"}));
}

// A point whose record names another archive is refused whole by a reader that does not know
// the line, never taken back for gta3.img alone; one whose parts are damaged reads as damaged.
TEST(OtherArchives, TheRecordOfEveryArchiveReadsBackAndAHandMadeOneIsRefused) {
  const std::unique_ptr<TMemoryFileSystem> fs = Game();
  Install(*fs, InteriorScript());
  const TRestorePoint point = FindLatestRestorePoint(*fs, kRoot, "G");
  const std::string record = RecordText(point);
  TRestorePoint read;
  ASSERT_TRUE(ParseRecord(record, read));
  EXPECT_EQ(RecordText(read), record);

  const auto changed = [&](const std::string& from, const std::string& to) {
    std::string text = record;
    const size_t at = text.rfind(from);  // in the last archive's lines
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    TRestorePoint hostile;
    return ParseRecord(text, hostile);
  };
  EXPECT_FALSE(changed("path=models\\gta_int.img", "path=..\\gta_int.img"));
  EXPECT_FALSE(changed("path=models\\gta_int.img", "path=models\\temp.img"));
  EXPECT_FALSE(changed("path=models\\gta_int.img", "path=models\\player.img"));
  EXPECT_FALSE(changed("path=models\\gta_int.img", "path=models\\gta3.img"));
  EXPECT_FALSE(changed("path=models\\gta_int.img\n", "path=models\\gta_int.img\ngamefile\t"));
  EXPECT_FALSE(changed("kept=archive.img", "kept=archive%5Cx.dff"));
}

TEST(OtherArchives, AnArchiveChangedSinceIsRefusedAndTakenBackByNamesWhenForced) {
  const std::unique_ptr<TMemoryFileSystem> fs = Game();
  const std::map<std::string, std::string> before = Files(*fs);
  Install(*fs, InteriorScript());
  // Another tool adds an entry to player.img.
  const std::string player = FileOf(*fs, "G\\models\\player.img");
  fs->Put("G\\models\\player.img",
          BuildArchive({{1, 3, "torso.dff"}, {4, 2, "shirt.dff"}, {6, 1, "hat.dff"}}));
  const std::map<std::string, std::string> changed = Files(*fs);
  try {
    Undo(*fs);
    ADD_FAILURE() << "taken back";
  } catch (const EUndoRefused& refused) {
    EXPECT_NE(std::string(refused.what()).find("models\\player.img has changed since"),
              std::string::npos)
        << refused.what();
  }
  EXPECT_TRUE(Files(*fs) == changed) << "nothing changed";
  const TUndoResult result = Undo(*fs, "", true);
  EXPECT_TRUE(result.ByNames);
  // Told of the archive that changed, and of no other; what it gave back is told all the same.
  EXPECT_EQ(result.ArchivesByNames, std::vector<std::string>{"models\\player.img"});
  EXPECT_NE(std::find(result.Done.Removed.begin(), result.Done.Removed.end(),
                      "shirt.dff in models\\player.img"),
            result.Done.Removed.end());
  // The closing words say what happened: not "as it was before the installation".
  TRestorePoint taken;
  taken.Title = "Interior Pack";
  taken.GameFolder = "G";
  const std::string done = UndoDoneText(taken, result);
  EXPECT_EQ(done.find("as it was before"), std::string::npos) << done;
  EXPECT_NE(done.find("taken back by name"), std::string::npos) << done;
  EXPECT_EQ(EntriesOf(FileOf(*fs, "G\\models\\player.img")),
            (std::vector<std::string>{"torso.dff", "hat.dff"}));
  for (const char* archive : {"G\\models\\gta3.img", "G\\models\\gta_int.img"})
    EXPECT_TRUE(FileOf(*fs, archive) == before.at(archive)) << archive;
}

TEST(OtherArchives, AnyInstallationGoesUnderLaterOnesInEveryArchive) {
  const std::unique_ptr<TMemoryFileSystem> fs = Game();
  const std::map<std::string, std::string> before = Files(*fs);
  TDATAInst cars;
  cars.Title = "Cars";
  cars.ArchiveFiles = {"a.dff", "b.txd"};
  Install(*fs, cars);              // G 1: gta3.img alone
  Install(*fs, InteriorScript());  // G 2: gta3.img, gta_int.img, player.img
  TDATAInst shirt;
  shirt.Title = "Shirt";
  shirt.NamedArchiveFiles = {NamedArchiveItemText(kPlayer, "shirt.dff"),
                             NamedArchiveItemText(kInt, "new_int.dff")};
  Install(*fs, shirt);  // G 3: what G 2 added to player.img and gta_int.img, again
  const std::string player = FileOf(*fs, "G\\models\\player.img");

  // The interior pack goes from under the shirt: gta_int.img gets its old entries back but the
  // one the shirt wrote again, player.img stays as the shirt left it.
  const TUndoResult middle = Undo(*fs, "G 2");
  EXPECT_EQ(middle.Done.Stay, (std::vector<std::string>{
                                  "new_int.dff in models\\gta_int.img stays as Shirt installed it",
                                  "shirt.dff in models\\player.img stays as Shirt installed it"}));
  EXPECT_TRUE(FileOf(*fs, "G\\models\\player.img") == player);
  EXPECT_EQ(EntriesOf(FileOf(*fs, "G\\models\\gta_int.img")),
            (std::vector<std::string>{"room.dff", "b.txd", "new_int.dff"}));
  const std::string interior = FileOf(*fs, "G\\models\\gta_int.img");
  const std::string original = before.at("G\\models\\gta_int.img");
  for (size_t i = 0; i < 2; ++i)
    EXPECT_TRUE(test::DataOf(interior, test::DirectoryOf(interior)[i]) ==
                test::DataOf(original, test::DirectoryOf(original)[i]))
        << "entry " << i << " has its old bytes back";
  // The shirt's point now added what it had taken over.
  const TRestorePoint rewritten = FindLatestRestorePoint(*fs, kRoot, "G");
  ASSERT_EQ(rewritten.Archives.size(), 3u);
  for (const TArchiveChange& part :
       std::vector(rewritten.Archives.begin() + 1, rewritten.Archives.end())) {
    EXPECT_EQ(part.Added.size(), 1u) << part.Archive;
    EXPECT_TRUE(part.Replaced.empty()) << part.Archive;
  }
  Undo(*fs, "G 1");
  Undo(*fs, "G 3");
  const std::map<std::string, std::string> after = Files(*fs);
  for (const auto& [path, bytes] : after)
    EXPECT_TRUE(before.count(path) && before.at(path) == bytes) << path;
  EXPECT_EQ(after.size(), before.size());
}

// Two archives may hold entries of one name: they are different things to the status.
TEST(OtherArchives, TheStatusAndThePlanTellEachArchivesEntriesApart) {
  const std::unique_ptr<TMemoryFileSystem> fs = Game();
  Install(*fs, InteriorScript());  // b.txd into gta_int.img
  TDATAInst cars;
  cars.Title = "Cars";
  cars.ArchiveFiles = {"b.txd"};  // b.txd into gta3.img
  test::TFakeBoxes boxes;
  TNoProgress progress;
  TInstallation planned(cars, "G", {*fs, boxes, progress}, "data.cab");
  planned.KeepRestorePoint({kRoot, cars.Title, "2026-12-09 11:00:00", {}});
  const TInstallPlan plan = planned.Plan();
  ASSERT_EQ(plan.Point.Archives[0].Replaced.size(), 1u);
  EXPECT_EQ(plan.Point.Archives[0].Replaced[0].TakenFrom, kTakenFromGame)
      << "gta3.img's b.txd is the game's";
  Install(*fs, cars);
  fs->Put("G\\models\\player.img", BuildArchive({{1, 3, "torso.dff"}, {4, 1, "shirt.dff"}}));

  const TGameStatus status = ReadGameStatus(*fs, kRoot, "G");
  ASSERT_EQ(status.Installed.size(), 2u);
  std::map<std::string, TThingState> interior;
  for (const TThingStatus& thing : status.Installed[1].Things)
    interior[thing.Name + (thing.Archive.empty() ? "" : " in " + thing.Archive)] = thing.State;
  const std::map<std::string, TThingState> expected = {
      {"a.dff", TThingState::kOwns},
      {"room.dff in models\\gta_int.img", TThingState::kOwns},
      {"b.txd in models\\gta_int.img", TThingState::kOwns},
      {"new_int.dff in models\\gta_int.img", TThingState::kOwns},
      {"shirt.dff in models\\player.img", TThingState::kChangedSince},
  };
  EXPECT_TRUE(interior == expected);
  ASSERT_EQ(status.Installed[0].Things.size(), 1u);
  EXPECT_EQ(status.Installed[0].Things[0].Archive, "");
}

}  // namespace
}  // namespace merva
