// Installations taken back in any order: random mods that overlap, in gta3.img and gta_int.img,
// installed one over another,
// then taken back in a random order. After every undo the game must be what installing the mods
// still in, in their order, onto the original game gives, as a model of the installer's rules
// written here works it out; after the last, the original game byte for byte. Games changed by
// another tool after the installations are taken back by names, to the same entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "apps/installed_apps.h"
#include "archive/archive_delete.h"
#include "change/level_value.h"
#include "data/data_lines.h"
#include "data/data_rules.h"
#include "game/game_folder.h"
#include "journal/changing_game.h"
#include "journal/journal.h"
#include "operations/game_status.h"
#include "operations/installation.h"
#include "operations/undo.h"
#include "restore/restore_store.h"
#include "script/level_gate.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/power_loss_file_system.h"

namespace merva {
namespace {

using test::BuildArchive;
using test::PackageBytes;

const char kGame[] = "G";
const char kRoot[] = "R";

// An entry of the interiors' archive, models\gta_int.img, is named with this before its name.
const char kInteriorMark[] = "int:";

struct TMod {
  std::string Title;
  std::vector<std::pair<std::string, std::string>> Entries;    // name (kInteriorMark...), bytes
  std::vector<std::pair<std::string, std::string>> GameFiles;  // path in the game, bytes
  std::string Level;
  std::vector<std::pair<std::string, std::string>> Lines;  // of object.dat: key, whole line
  // A colour added to carcols.dat's table (every other mod has one), and the number it was
  // given ("#3"), which must not move while the mod is in: cars name their colours by number.
  std::string Colour{}, ColourKey{};
  // An object of props.ide given an automatic ID ("@auto3"): its model's name, "" for none.
  std::string AutoModel{};
};

// Names that meet: the same entry in another letter case, names that differ only past the 23rd
// character (the installer tells them apart), new names; game files in a folder the first of
// them makes and the others share, and one the game has.
const char* const kEntryNames[] = {"a.dff",
                                   "A.DFF",
                                   "b.txd",
                                   "c.dff",
                                   "new1.dff",
                                   "NEW1.dff",
                                   "new2.txd",
                                   "vehicle_long_name_x.dff1",
                                   "vehicle_long_name_x.dff2"};
const char* const kGameFiles[] = {"data\\handling.cfg", "data\\shared\\x.txt",
                                  "data\\shared\\y.txt", "data\\shared\\deep\\z.txt",
                                  "readme_mod.txt"};
// Lines of object.dat by their model name: three the game has, two it lacks.
const char* const kLineKeys[] = {"barrel", "crate", "cone", "newthing1", "newthing2"};
const char kObjectDat[] = "G\\data\\object.dat";
const char kGameObjects[] = "; objects\r\nbarrel 100\r\ncrate 200\r\ncone 300\r\n*\r\n";
const char kCarcols[] = "G\\data\\carcols.dat";
const char kGameColours[] = "col\r\n0,0,0 # 0 black\r\n245,245,245 # 1 white\r\nend\r\n";
// gta.dat names props.ide, whose objects leave 616 free below the rest.
const char kGtaDat[] = "G\\data\\gta.dat";
const char kProps[] = "G\\data\\maps\\props.ide";
const char kGameProps[] = "objs\r\n615, barrelmdl, b, 100, 0\r\n617, conemdl, c, 100, 0\r\nend\r\n";
// Sizes on either side of sector boundaries.
const int kSizes[] = {1, 2047, 2048, 2049, 4096, 5000, 6145};

std::string Upper(std::string name) {
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return name;
}

std::string Padded(const std::string& bytes) {
  std::string sectors = bytes;
  sectors.resize((bytes.size() + 2047) / 2048 * 2048, '\0');
  return sectors;
}

TMod RandomMod(std::mt19937& random, int number) {
  TMod mod;
  mod.Title = "Mod " + std::to_string(number);
  std::set<std::string> keys;
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int i = 0, count = 1 + pick(4); i < count; ++i) {
    const std::string name = kEntryNames[pick(std::size(kEntryNames))];
    if (!keys.insert(Upper(name)).second) continue;  // one package file per name
    // A third into gta_int.img, which holds entries of gta3.img's names too.
    const bool interior = pick(3) == 0;
    const int size = kSizes[pick(std::size(kSizes))];
    mod.Entries.push_back(
        {(interior ? kInteriorMark : "") + name,
         std::string(static_cast<size_t>(size), static_cast<char>('a' + (number * 7 + i) % 26))});
  }
  for (int i = 0, count = pick(3); i < count; ++i) {
    const std::string path = kGameFiles[pick(std::size(kGameFiles))];
    if (!keys.insert(Upper(path)).second) continue;
    mod.GameFiles.push_back({path, mod.Title + " wrote " + path});
  }
  mod.Level = std::to_string(1 + pick(5));  // up and down
  for (int i = 0, count = pick(3); i < count; ++i) {
    const std::string key = kLineKeys[pick(std::size(kLineKeys))];
    if (keys.insert("LINE " + key).second)
      mod.Lines.push_back({key, key + " " + std::to_string(number * 10 + i)});
  }
  if (number % 2) mod.Colour = std::to_string(number) + ",9,9";
  if (number % 3) mod.AutoModel = "auto" + std::to_string(number);
  return mod;
}

// The game as the player sees it: every entry of both archives by the name the installer
// matches (its bytes; gta_int.img's after kInteriorMark),
// every game file and folder, the level, the installations listed.
struct TState {
  std::map<std::string, std::string> Entries;
  size_t EntryCount = 0;
  std::map<std::string, std::string> Files;
  std::map<std::string, std::string> Lines;    // object.dat's, by key: the game reads no order
  std::map<std::string, std::string> Colours;  // carcols.dat's by number, free places left out
  // props.ide's objects by model: the game's by their lines, a mod's "chosen" while its ID is
  // one no other object has.
  std::map<std::string, std::string> Models;
  std::set<std::string> Folders;
  std::string Level;  // "-" when absent
  bool operator==(const TState& other) const {
    return Entries == other.Entries && EntryCount == other.EntryCount && Files == other.Files &&
           Lines == other.Lines && Colours == other.Colours && Models == other.Models &&
           Folders == other.Folders && Level == other.Level;
  }
};

std::string Describe(const TState& state) {
  std::string text = "entries:";
  for (const auto& [name, bytes] : state.Entries)
    text += " " + name + "(" + std::to_string(bytes.size()) + "," +
            (bytes.empty() ? std::string("-") : bytes.substr(0, 1)) + ")";
  text += " count " + std::to_string(state.EntryCount) + "; files:";
  for (const auto& [path, bytes] : state.Files) text += " " + path + "=" + bytes.substr(0, 12);
  text += "; folders:";
  for (const std::string& folder : state.Folders) text += " " + folder;
  text += "; lines:";
  for (const auto& [key, line] : state.Lines) text += " [" + line + "]";
  text += "; colours:";
  for (const auto& [key, colour] : state.Colours) text += " " + key + "=" + colour;
  text += "; models:";
  for (const auto& [name, line] : state.Models) text += " " + name + "=" + line;
  return text + "; level " + state.Level;
}

const std::vector<test::TEntryLayout> kOriginalEntries = {
    {1, 2, "a.dff"}, {3, 1, "b.txd"}, {4, 3, "c.dff"}, {7, 1, "d.col"}};
const std::vector<test::TEntryLayout> kOriginalInteriors = {{1, 1, "a.dff"}, {2, 2, "room.dff"}};
const char kInteriors[] = "G\\models\\gta_int.img";

// The model: the original game, then each mod still in, in its order, as the installer's rules
// say (an entry of the same name, letters in either case, is replaced, else one is added; a game
// file is written, its folders made).
TState Expected(const std::vector<TMod>& mods, const std::vector<bool>& in) {
  TState state;
  const std::string original = BuildArchive(kOriginalEntries);
  for (const test::TEntryLayout& entry : kOriginalEntries)
    state.Entries[Upper(entry.Name)] = test::DataOf(original, entry);
  const std::string interiors = BuildArchive(kOriginalInteriors);
  for (const test::TEntryLayout& entry : kOriginalInteriors)
    state.Entries[Upper(kInteriorMark + entry.Name)] = test::DataOf(interiors, entry);
  state.Files["G\\data\\handling.cfg"] = "the game's handling";
  state.Lines = {{"barrel", "barrel 100"}, {"crate", "crate 200"}, {"cone", "cone 300"}};
  state.Colours = {{"#0", "0,0,0 # 0 black"}, {"#1", "245,245,245 # 1 white"}};
  state.Files[kGtaDat] = "IDE DATA\\MAPS\\PROPS.IDE\r\n";
  state.Models = {{"barrelmdl", "615, barrelmdl, b, 100, 0"},
                  {"conemdl", "617, conemdl, c, 100, 0"}};
  state.Folders = {"G", "G\\models", "G\\data", "G\\data\\maps"};
  state.Level = "-";
  for (size_t i = 0; i < mods.size(); ++i) {
    if (!in[i]) continue;
    for (const auto& [name, bytes] : mods[i].Entries) state.Entries[Upper(name)] = Padded(bytes);
    for (const auto& [path, bytes] : mods[i].GameFiles) {
      state.Files["G\\" + path] = bytes;
      for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
        state.Folders.insert("G\\" + path.substr(0, at));
    }
    state.Level = mods[i].Level;
    for (const auto& [key, line] : mods[i].Lines) state.Lines[key] = line;
    if (!mods[i].Colour.empty()) state.Colours[mods[i].ColourKey] = mods[i].Colour;
    if (!mods[i].AutoModel.empty()) state.Models[mods[i].AutoModel] = "chosen";
  }
  state.EntryCount = state.Entries.size();
  return state;
}

struct TWorld {
  TMemoryFileSystem fs;
  test::TFakeBoxes boxes;
  TNoProgress progress;
  test::TFakeRegistry registry;
  test::TFakeInstalledApps apps;

  TWorld() {
    for (const char* folder : {"G", "G\\models", "G\\data", "G\\data\\maps", "R"})
      fs.AddDirectory(folder);
    fs.Put(ArchivePathOf(kGame), BuildArchive(kOriginalEntries));
    fs.Put(kGtaDat, "IDE DATA\\MAPS\\PROPS.IDE\r\n");
    fs.Put(kProps, kGameProps);
    fs.Put(kInteriors, BuildArchive(kOriginalInteriors));
    fs.Put("G\\data\\handling.cfg", "the game's handling");
    fs.Put(kObjectDat, kGameObjects);
    fs.Put(kCarcols, kGameColours);
    registry.KeyExists = true;
  }

  TOperationServices Services() { return {fs, boxes, progress, &registry, &apps}; }

  // Installs as the wizard does: the level gate sets the value, the point is listed.
  std::string Install(const TMod& mod, int number) {
    const std::string package = "mod" + std::to_string(number) + ".cab";
    std::vector<std::pair<std::string, std::string>> files;
    TDATAInst script;
    script.Title = mod.Title;
    for (const auto& [name, bytes] : mod.Entries) {
      if (name.rfind(kInteriorMark, 0) == 0) {
        const std::string file = name.substr(std::strlen(kInteriorMark));
        script.NamedArchiveFiles.push_back("models\\gta_int.img|" + file);
        files.push_back({file, bytes});
      } else {
        script.ArchiveFiles.push_back(name);
        files.push_back({name, bytes});
      }
    }
    for (const auto& [path, bytes] : mod.GameFiles) {
      script.GameFiles.push_back(path);
      files.push_back({path.substr(path.rfind('\\') + 1), bytes});
    }
    std::string lines;
    for (const auto& [key, line] : mod.Lines) lines += line + "\r\n";
    if (!lines.empty()) {
      script.DataLines.push_back(DataLinesItemText("data\\object.dat", "object.txt"));
      files.push_back({"object.txt", lines});
    }
    if (!mod.Colour.empty()) {
      script.DataLines.push_back(DataLinesItemText("data\\carcols.dat", "carcols.txt"));
      files.push_back({"carcols.txt", "col\r\n" + mod.Colour + "\r\nend\r\n"});
    }
    if (!mod.AutoModel.empty()) {
      script.DataLines.push_back(DataLinesItemText("data\\maps\\props.ide", "props.txt"));
      files.push_back({"props.txt", "objs\r\n@" + mod.AutoModel + ", " + mod.AutoModel +
                                        ", autotxd, 100, 0\r\nend\r\n"});
    }
    fs.Put(package, PackageBytes(files));
    // A mod without a level leaves the registry alone, and its point says the level was not
    // checked.
    TLevelRecord level;
    level.Checked = !mod.Level.empty();
    if (level.Checked) {
      level.Before = ReadLevelValue(registry);
      level.After = {true, std::vector<uint8_t>(mod.Level.begin(), mod.Level.end())};
      registry.Values[kLevelValueName] = {TValueType::kBinary, level.After.Bytes};
    }
    TInstallation installation(script, kGame, Services(), package);
    installation.KeepRestorePoint({kRoot, mod.Title, "2026-12-09 10:00:00", level});
    installation.Run();
    const TRestorePoint point = FindLatestRestorePoint(fs, kRoot, kGame);
    ListInstallation(apps, kRoot, point, "C:\\merva.exe", AddedBytes(point));
    return point.Folder;
  }

  // The number the installation `point` gave its colour.
  std::string ColourKeyOf(const std::string& point) {
    for (const TRestorePoint& listed : ListRestorePoints(fs, kRoot, kGame))
      for (const TItemChange& item : listed.Items)
        if (listed.Folder == point && item.Section == "col") return item.Key;
    return "";
  }

  TUndoResult Undo(const std::string& point, bool byNames) {
    return TUndo(kRoot, point, kGame, Services()).Run({byNames, false});
  }

  // Another tool takes an entry of the game's own out of the archive.
  void DeleteEntry(const std::string& name) {
    const TChangingGame lock(fs, kGame);
    RebuildGameArchive(fs, kGame, [&] {
      DeleteArchiveEntries(fs, ArchivePathOf(kGame), TempArchivePathOf(kGame), {name}, progress);
    });
  }

  TState Now() {
    TState state;
    const TMemoryFileSystem::Bytes* archive = fs.Get(ArchivePathOf(kGame));
    const std::string bytes(archive->begin(), archive->end());
    const std::vector<test::TEntryLayout> entries = test::DirectoryOf(bytes);
    for (const test::TEntryLayout& entry : entries)
      state.Entries[Upper(entry.Name)] = test::DataOf(bytes, entry);
    const TMemoryFileSystem::Bytes* interior = fs.Get(kInteriors);
    const std::string interiors(interior->begin(), interior->end());
    const std::vector<test::TEntryLayout> inside = test::DirectoryOf(interiors);
    for (const test::TEntryLayout& entry : inside)
      state.Entries[Upper(kInteriorMark + entry.Name)] = test::DataOf(interiors, entry);
    state.EntryCount = entries.size() + inside.size();
    for (const auto& [path, data] : fs.Files())
      if (path.rfind("G\\", 0) == 0 && path != ArchivePathOf(kGame) && path != kInteriors &&
          path != kObjectDat && path != kCarcols && path != kProps)
        state.Files[path] = std::string(data->begin(), data->end());
    const TMemoryFileSystem::Bytes* objects = fs.Get(kObjectDat);
    const TDataRule& rule = *DataRuleOf(kObjectDat);
    for (const TDataLine& line : ReadDataLines(rule, std::string(objects->begin(), objects->end())))
      if (!line.Key.empty()) state.Lines[line.Key] = line.Text;
    const TMemoryFileSystem::Bytes* colours = fs.Get(kCarcols);
    for (const TDataLine& line :
         ReadDataLines(*DataRuleOf(kCarcols), std::string(colours->begin(), colours->end())))
      if (line.Section == "col" && !line.Key.empty() && !line.Free)
        state.Colours[line.Key] = line.Text;
    const TMemoryFileSystem::Bytes* props = fs.Get(kProps);
    std::set<std::string> ids;
    for (const TDataLine& line :
         ReadDataLines(*DataRuleOf(kProps), std::string(props->begin(), props->end()))) {
      const std::vector<std::string> f = DataFields(*DataRuleOf(kProps), line.Text);
      if (line.Key.empty() || f.size() < 2) continue;
      const bool mine = f[1].rfind("auto", 0) == 0;
      state.Models[f[1]] = !mine ? line.Text
                           : ids.insert(line.Key).second && line.Key != "615" && line.Key != "617"
                               ? "chosen"
                               : "shares its ID " + line.Key;
    }
    for (const std::string& folder : fs.Folders())
      if (folder == "G" || folder.rfind("G\\", 0) == 0) state.Folders.insert(folder);
    const auto level = registry.Values.find(kLevelValueName);
    state.Level = level == registry.Values.end()
                      ? "-"
                      : std::string(level->second.Data.begin(), level->second.Data.end());
    return state;
  }

  std::map<std::string, std::string> Disk() {
    std::map<std::string, std::string> tree;
    for (const auto& [path, data] : fs.Files())
      if (path.rfind("G\\", 0) == 0) tree[path] = std::string(data->begin(), data->end());
    return tree;
  }
};

// The status must tell the truth after every undo: each thing a mod still in wrote is its own,
// unless a later mod still in wrote it again.
void ExpectStatus(TWorld& world, const std::vector<TMod>& mods, const std::vector<bool>& in,
                  const std::vector<std::string>& points, unsigned seed) {
  const TGameStatus status = ReadGameStatus(world.fs, kRoot, kGame);
  size_t listed = 0;
  for (const TInstallationStatus& installed : status.Installed) {
    const auto at = std::find(points.begin(), points.end(), installed.Point->Folder);
    ASSERT_NE(at, points.end()) << "seed " << seed;
    const auto i = static_cast<size_t>(at - points.begin());
    ASSERT_TRUE(in[i]) << "seed " << seed << ": " << installed.Point->Folder << " is listed";
    ++listed;
    for (const TThingStatus& thing : installed.Things) {
      // An entry of gta_int.img is another thing than one of gta3.img's name.
      const bool line = thing.Thing == TThing::kLine;
      const std::string key =
          Upper((thing.Archive.empty() || line ? "" : kInteriorMark) + thing.Name);
      bool later = false;
      for (size_t j = i + 1; j < mods.size(); ++j) {
        if (!in[j]) continue;
        for (const auto& [name, bytes] : line                            ? mods[j].Lines
                                         : thing.Thing == TThing::kEntry ? mods[j].Entries
                                                                         : mods[j].GameFiles)
          later = later || Upper(name) == key;
      }
      EXPECT_EQ(thing.State, later ? TThingState::kTakenOver : TThingState::kOwns)
          << "seed " << seed << ", " << mods[i].Title << ", " << thing.Name;
    }
  }
  EXPECT_EQ(listed, static_cast<size_t>(std::count(in.begin(), in.end(), true)));
}

TEST(AnyOrderUndo, EveryUndoLeavesWhatTheModsStillInWouldHaveMade) {
  int olderTakenBack = 0, rewrittenPoints = 0, byNames = 0;
  for (unsigned seed = 1; seed <= 120; ++seed) {
    std::mt19937 random(seed);
    TWorld world;
    const auto disk = world.Disk();
    std::vector<TMod> mods;
    std::vector<std::string> points;
    const int count = 2 + static_cast<int>(random() % 5);
    for (int i = 0; i < count; ++i) {
      mods.push_back(RandomMod(random, i + 1));
      points.push_back(world.Install(mods.back(), i + 1));
      mods.back().ColourKey = world.ColourKeyOf(points.back());
    }
    std::vector<bool> in(mods.size(), true);
    ASSERT_TRUE(world.Now() == Expected(mods, in)) << "seed " << seed << " before any undo";
    // Every fourth game is changed by another tool after the installations: each undo then
    // goes by entry names, forced.
    const bool changed = seed % 4 == 0;
    const auto expect = [&] {
      TState state = Expected(mods, in);
      if (changed && state.Entries.erase("D.COL")) --state.EntryCount;
      return state;
    };
    if (changed) world.DeleteEntry("d.col");
    std::vector<size_t> order(mods.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), random);
    for (const size_t k : order) {
      bool later = false;
      for (size_t j = k + 1; j < mods.size(); ++j) later = later || in[j];
      const TUndoResult result = world.Undo(points[k], changed);
      in[k] = false;
      olderTakenBack += later;
      byNames += later && result.ByNames;
      rewrittenPoints += static_cast<int>(result.Done.Rewritten.size());
      EXPECT_EQ(result.Done.Rewritten.empty(), !later) << "seed " << seed;
      EXPECT_EQ(result.ByNames, changed) << "seed " << seed;
      const TState now = world.Now(), expected = expect();
      ASSERT_TRUE(now == expected)
          << "seed " << seed << ", " << mods[k].Title << " taken back\n now:      " << Describe(now)
          << "\n expected: " << Describe(expected);
      // One entry for each installation still in, each with its point.
      std::set<std::string> listed, remaining;
      for (const auto& [key, values] : world.apps.Entries) listed.insert(key);
      for (size_t j = 0; j < mods.size(); ++j)
        if (in[j]) remaining.insert(InstalledAppKey(kRoot, points[j]));
      EXPECT_EQ(listed, remaining) << "seed " << seed;
      if (!changed) ExpectStatus(world, mods, in, points, seed);
      for (const TRestorePoint& point : ListRestorePoints(world.fs, kRoot, kGame)) {
        const auto& entry = world.apps.Entries[InstalledAppKey(kRoot, point.Folder)];
        EXPECT_EQ(entry.at("EstimatedSize").Number, (AddedBytes(point) + 1023) / 1024)
            << "seed " << seed << ", " << point.Folder;
      }
    }
    EXPECT_TRUE(changed || world.Disk() == disk)
        << "seed " << seed << ": not the original byte for byte";
    EXPECT_TRUE(ListRestorePoints(world.fs, kRoot, kGame).empty()) << "seed " << seed;
    std::vector<std::string> left;
    world.fs.ListFolder(kRoot, left);
    EXPECT_TRUE(left.empty()) << "seed " << seed << ": " << left.front();
  }
  // The sequences do take older installations back under later ones.
  EXPECT_GT(olderTakenBack, 150);
  EXPECT_GT(byNames, 30);
  EXPECT_GT(rewrittenPoints, olderTakenBack);
}

// Versions that no installation wrote, made between two installations of the same thing: the
// player's edit of a game file, another tool's change of an entry. Taking back the first must
// drop none of them. A game file: the later point keeps the edit, and what the first kept under
// it (the game's own) is refused unless forced, and forced kept in the edits folder. An entry:
// the later point keeps what the first kept (its archive must follow the one before it), and the
// tool's version is refused, or forced kept in the edits folder. The later undo then gives back
// what its point keeps.
TEST(UndoProvenance, AVersionNoInstallationWroteSurvivesTheUndoOfAnOlderOne) {
  enum TVersion { kNone, kGames, kForeign };
  struct TCase {
    const char* what;
    TMod first;
    std::string change;     // a game file's path, or an entry's name
    bool refused;           // unforced, the undo of the first refuses
    std::string keptAside;  // where, below the edits folder, a version is kept; "" for none
    TVersion aside;         // which version is kept there
    TVersion last;          // what the later undo gives back
  };
  const TCase cases[] = {
      {"a game file replaced, edited, replaced again",
       {"Mod 1", {}, {{"data\\handling.cfg", "mod 1 handling"}}, "1", {}},
       "G\\data\\handling.cfg",
       true,
       "data\\handling.cfg",
       kGames,
       kForeign},
      {"a game file created, edited, replaced",
       {"Mod 1", {}, {{"data\\notes.txt", "mod 1 notes"}}, "1", {}},
       "G\\data\\notes.txt",
       false,
       "",
       kNone,
       kForeign},
      {"an entry replaced, changed by another tool, replaced again",
       {"Mod 1", {{"b.txd", std::string(2048, '1')}}, {}, "1", {}},
       "b.txd",
       true,
       "models\\gta3.img\\b.txd",
       kForeign,
       kGames},
      {"an entry added, changed by another tool, replaced",
       {"Mod 1", {{"new1.dff", std::string(2048, '1')}}, {}, "1", {}},
       "new1.dff",
       true,
       "models\\gta3.img\\new1.dff",
       kForeign,
       kNone},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TWorld world;
    const bool entry = c.change.rfind("G\\", 0) != 0;
    const auto now = [&]() -> std::optional<std::string> {
      if (!entry) {
        const TMemoryFileSystem::Bytes* file = world.fs.Get(c.change);
        if (!file) return std::nullopt;
        return std::string(file->begin(), file->end());
      }
      const TMemoryFileSystem::Bytes* archive = world.fs.Get(ArchivePathOf(kGame));
      const std::string bytes(archive->begin(), archive->end());
      for (const test::TEntryLayout& layout : test::DirectoryOf(bytes))
        if (Upper(layout.Name) == Upper(c.change)) return test::DataOf(bytes, layout);
      return std::nullopt;
    };
    const std::optional<std::string> games = now();
    const std::string first = world.Install(c.first, 1);
    // The version no installation wrote, at the size the first wrote.
    std::string foreign;
    if (entry) {
      const TMemoryFileSystem::Bytes* archive = world.fs.Get(ArchivePathOf(kGame));
      std::string bytes(archive->begin(), archive->end());
      for (const test::TEntryLayout& layout : test::DirectoryOf(bytes))
        if (Upper(layout.Name) == Upper(c.change)) {
          foreign = std::string(static_cast<size_t>(layout.Size) * 2048, 'T');
          bytes.replace(static_cast<size_t>(layout.Offset) * 2048, foreign.size(), foreign);
        }
      ASSERT_FALSE(foreign.empty());
      world.fs.Put(ArchivePathOf(kGame), bytes);
    } else {
      foreign = "the player's edit";
      world.fs.Put(c.change, foreign);
    }
    TMod second{"Mod 2", {}, {}, "2", {}};
    if (entry)
      second.Entries = {{c.change, std::string(4096, '2')}};
    else
      second.GameFiles = {{c.change.substr(2), "mod 2 wrote it"}};
    const std::string later = world.Install(second, 2);
    const auto game = world.Disk();
    const auto undo = [&](const std::string& point, bool force) {
      return TUndo(kRoot, point, kGame, world.Services()).Run({force, force});
    };
    // The plan runs the undo's checks: told before, as the undo would refuse.
    for (const TRestorePoint& point : ListRestorePoints(world.fs, kRoot, kGame)) {
      if (point.Folder != first) continue;
      EXPECT_EQ(PlanUndoOf(world.fs, kRoot, point, "", true).Refusals.empty(), !c.refused);
    }
    if (c.refused) {
      try {
        undo(first, false);
        ADD_FAILURE() << "not refused";
      } catch (const EUndoRefused& refusal) {
        const std::string name = c.keptAside.substr(c.keptAside.rfind('\\') + 1);
        EXPECT_NE(std::string(refusal.what()).find(name + (entry ? " in models\\gta3.img" : "")),
                  std::string::npos)
            << refusal.what();
        EXPECT_NE(std::string(refusal.what()).find(later), std::string::npos) << refusal.what();
      }
      EXPECT_TRUE(world.Disk() == game) << "changed by a refused undo";
    }
    const TUndoResult result = undo(first, c.refused);
    const auto version = [&](TVersion which) -> std::optional<std::string> {
      if (which == kNone) return std::nullopt;
      return which == kForeign ? std::optional<std::string>(foreign) : games;
    };
    if (c.keptAside.empty()) {
      EXPECT_TRUE(result.KeptAside.empty());
    } else {
      ASSERT_EQ(result.KeptAside.size(), 1u);
      EXPECT_EQ(result.KeptAside[0].Path, result.KeptEditedIn + "\\" + c.keptAside);
      const TMemoryFileSystem::Bytes* kept = world.fs.Get(result.KeptAside[0].Path);
      ASSERT_NE(kept, nullptr);
      EXPECT_EQ(std::string(kept->begin(), kept->end()), version(c.aside));
    }
    undo(later, false);
    EXPECT_EQ(now(), version(c.last));
  }
}

// The same sequences with the player editing game files and another tool changing entries between
// installations, every undo forced: after each undo, no version that no installation wrote has
// vanished. It is in the game, in a point that will give it back, or among the kept edits.
TEST(UndoProvenance, NoVersionAnotherWroteVanishesInAnyOrder) {
  int kept = 0;
  for (unsigned seed = 1; seed <= 60; ++seed) {
    std::mt19937 random(seed);
    TWorld world;
    std::vector<std::string> points, foreign;
    std::set<std::string> changed;  // each thing is changed by another once
    const int count = 2 + static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i) {
      if (i > 0 && random() % 2 == 0) {
        const std::string path = std::string("G\\") + kGameFiles[random() % std::size(kGameFiles)];
        if (world.fs.FileExists(path) && changed.insert(Upper(path)).second) {
          foreign.push_back("the player's edit " + std::to_string(seed) + "-" + std::to_string(i));
          world.fs.Put(path, foreign.back());
        }
      }
      if (i > 0 && random() % 3 == 0) {
        // The player edits a line of object.dat by hand.
        const std::string key = kLineKeys[random() % std::size(kLineKeys)];
        const TMemoryFileSystem::Bytes* objects = world.fs.Get(kObjectDat);
        std::string text(objects->begin(), objects->end());
        const size_t at = text.find("\n" + key + " ");
        if (at != std::string::npos && changed.insert("LINE " + key).second) {
          foreign.push_back("edited-" + std::to_string(seed) + "-" + std::to_string(i));
          text.insert(text.find('\r', at + 1), " " + foreign.back());
          world.fs.Put(kObjectDat, text);
        }
      }
      if (i > 0 && random() % 2 == 0) {
        // Either archive: every archive is taken back by the one rule.
        const std::string path = random() % 3 == 0 ? kInteriors : ArchivePathOf(kGame);
        const TMemoryFileSystem::Bytes* archive = world.fs.Get(path);
        std::string bytes(archive->begin(), archive->end());
        const std::vector<test::TEntryLayout> entries = test::DirectoryOf(bytes);
        const test::TEntryLayout& entry = entries[random() % entries.size()];
        if (changed.insert(path + "|" + Upper(entry.Name)).second) {
          std::string version;
          while (version.size() < static_cast<size_t>(entry.Size) * 2048)
            version += "tool " + std::to_string(seed) + "-" + std::to_string(i) + "|";
          version.resize(static_cast<size_t>(entry.Size) * 2048);
          bytes.replace(static_cast<size_t>(entry.Offset) * 2048, version.size(), version);
          world.fs.Put(path, bytes);
          foreign.push_back(version);
        }
      }
      points.push_back(world.Install(RandomMod(random, i + 1), i + 1));
    }
    std::vector<size_t> order(points.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), random);
    for (const size_t k : order) {
      const TUndoResult result = TUndo(kRoot, points[k], kGame, world.Services()).Run({true, true});
      kept += static_cast<int>(result.KeptAside.size() + result.KeptEdited.size());
      for (const std::string& version : foreign) {
        bool found = false;
        for (const auto& [path, data] : world.fs.Files())
          found =
              found || std::string(data->begin(), data->end()).find(version) != std::string::npos;
        ASSERT_TRUE(found) << "seed " << seed << ", point " << points[k]
                           << " taken back: " << version.substr(0, 30) << " vanished";
      }
    }
    EXPECT_TRUE(ListRestorePoints(world.fs, kRoot, kGame).empty()) << "seed " << seed;
  }
  EXPECT_GT(kept, 20) << "the sequences do keep versions aside";
}

// The level after an undo is what the installations still in would have left, whichever goes
// first: a mod without a level keeps none of its own.
TEST(AnyOrderUndo, TheLevelIsWhatTheInstallationsStillInLeave) {
  const TMod leveled{"Mod 1", {{"a.dff", "one"}}, {}, "1", {}},
      plain{"Mod 2", {{"b.txd", "two"}}, {}, "", {}};
  for (const bool olderFirst : {true, false}) {
    SCOPED_TRACE(olderFirst ? "the leveled one first" : "the plain one first");
    TWorld world;
    const std::string older = world.Install(leveled, 1), newer = world.Install(plain, 2);
    world.Undo(olderFirst ? older : newer, false);
    EXPECT_EQ(world.Now().Level, olderFirst ? "-" : "1");
    world.Undo(olderFirst ? newer : older, false);
    EXPECT_EQ(world.Now().Level, "-");
  }
}

// A file the run would replace that carries the read-only attribute (copied from a disc, an old
// backup) could be moved aside and never removed: refused first, naming it. A journal whose own
// file moved aside is read-only is finished all the same.
TEST(AnyOrderUndo, AReadOnlyFileIsRefusedBeforeAnyChangeAndRecoveryFinishesItsOwn) {
  const TMod mod{"Mod 1", {{"a.dff", "one"}}, {{"data\\handling.cfg", "mod handling"}}, "1", {}};
  for (const char* readOnly : {"G\\data\\handling.cfg", "G\\models\\gta3.img"}) {
    SCOPED_TRACE(readOnly);
    TWorld world;
    world.fs.SetReadOnly(readOnly);
    const auto before = world.Disk();
    try {
      world.Install(mod, 1);
      ADD_FAILURE() << "installed";
    } catch (const EFileError& error) {
      EXPECT_EQ(error.Path(), readOnly);
      EXPECT_NE(error.Text().find("read-only attribute"), std::string::npos) << error.what();
    }
    EXPECT_TRUE(world.Disk() == before);
  }
  TWorld world;
  world.fs.Put("G\\data\\handling.cfg.merva-old", "the game's handling");
  world.fs.SetReadOnly("G\\data\\handling.cfg.merva-old");
  world.fs.Put(JournalPathOf(kGame),
               JournalText(kGame, kRoot, "",
                           {{TJournalStep::kAside,
                             {TJournalPlace::kGame, "data\\handling.cfg"},
                             {TJournalPlace::kGame, "data\\handling.cfg.merva-old"}}}) +
                   kJournalCommitLine);
  RecoverJournal(world.fs, kGame);
  EXPECT_FALSE(world.fs.FileExists("G\\data\\handling.cfg.merva-old"));
  EXPECT_FALSE(world.fs.FileExists(JournalPathOf(kGame)));
}

// A game moved after two installations: the older one is taken back in the new folder first,
// found by the archive the newer one left, then the newer one.
TEST(AnyOrderUndo, AMovedGameTakesItsOlderInstallationBackFirst) {
  TWorld world;
  const auto disk = world.Disk();
  std::mt19937 random(7);
  const TMod first = RandomMod(random, 1), second = RandomMod(random, 2);
  const std::string older = world.Install(first, 1), newer = world.Install(second, 2);
  ASSERT_EQ(world.fs.MoveFolder(kGame, "G2"), 0);
  TUndo(kRoot, older, "G2", world.Services()).Run({});
  TUndo(kRoot, newer, "G2", world.Services()).Run({});
  std::map<std::string, std::string> moved;
  for (const auto& [path, bytes] : disk) moved["G2" + path.substr(1)] = bytes;
  std::map<std::string, std::string> now;
  for (const auto& [path, data] : world.fs.Files())
    if (path.rfind("G2\\", 0) == 0) now[path] = std::string(data->begin(), data->end());
  EXPECT_TRUE(now == moved) << "not the original byte for byte in the new folder";
  EXPECT_TRUE(ListRestorePoints(world.fs, kRoot, "").empty());
}

// The same sequences with the power cut at every file operation of an undo under later
// installations: once the next run has looked, the whole disk is as before the undo or as after.
TEST(AnyOrderUndo, AnUndoUnderLaterOnesIsWholeOrNotDoneAfterAPowerCut) {
  for (const unsigned seed : {3u, 5u, 11u}) {
    std::mt19937 random(seed);
    TWorld world;
    std::vector<std::string> points;
    for (int i = 1; i <= 3; ++i) points.push_back(world.Install(RandomMod(random, i), i));
    const std::string older = points[random() % 2];
    const auto undo = [&](IFileSystem& fs) {
      test::TFakeBoxes boxes;
      TNoProgress progress;
      TUndo(kRoot, older, kGame, {fs, boxes, progress}).Run({});
    };
    const test::TCutResults cuts = test::CutAtEveryOperation(
        world.fs, undo,
        [](TMemoryFileSystem& kept) { const TChangingGame next(kept, kGame, kRoot); });
    EXPECT_EQ(cuts.Neither, std::vector<std::string>{}) << "seed " << seed;
    EXPECT_GT(cuts.Before, 3) << "seed " << seed;
    EXPECT_GT(cuts.After, 3) << "seed " << seed;
  }
}

}  // namespace
}  // namespace merva
