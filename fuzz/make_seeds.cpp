// Writes the seed corpora of the fuzz targets: small, valid inputs of each kind.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "operations/installation.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"

using namespace merva::test;
using merva::TMemoryFileSystem;

namespace {

void Seed(const std::string& folder, const std::string& name, const std::string& bytes) {
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
}

std::string Part(const std::string& bytes) {
  return std::string(1, static_cast<char>(bytes.size() & 0xFF)) +
         static_cast<char>((bytes.size() >> 8) & 0xFF) + bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string root = argv[1];
  const std::string script = ScriptBytes({{20, "Title"},
                                          {11, "welcome"},
                                          {1, "a.dff"},
                                          {1, "new.txd"},
                                          {2, "data\\x.ide"},
                                          {21, "1.0"}});
  const std::string package =
      PackageBytes({{"a.dff", std::string(3000, 'a')}, {"new.txd", "txd"}, {"X.IDE", "ide"}});
  const std::string archive = BuildArchive({{1, 1, "A.DFF"}, {2, 2, "b.txd"}, {4, 1, "c.col"}});
  Seed(root + "/script", "sample", script);
  Seed(root + "/script", "levels", ScriptBytes({{21, "0"}, {21, "2,5"}, {21, ""}, {21, "1e0"}}));
  Seed(root + "/package", "sample", Part("A.DFF") + package);
  Seed(root + "/archive", "sample", Part(std::string(2100, 'f')) + archive);
  Seed(root + "/archive", "empty", Part("x") + std::string("VER2\0\0\0\0", 8));
  Seed(root + "/install", "sample", Part(script) + Part(package) + archive);
  std::vector<TEntryLayout> crowded;  // 63 entries, the first at sector 1: an append moves it
  for (int i = 0; i < 63; ++i) crowded.push_back({1 + i, 1, "e" + std::to_string(i) + ".dff"});
  Seed(root + "/one_pass", "sample",
       Part("a.dff\nnew.txd\nA.DFF\nmissing") + Part(package) + archive);
  Seed(root + "/one_pass", "crowded",
       Part("new.txd\na.dff") + Part(package) + BuildArchive(crowded));
  // The record of a real installation that replaces, adds and moves entries.
  TMemoryFileSystem fs;
  fs.AddDirectory("G");
  fs.AddDirectory("G\\models");
  fs.Put("G\\models\\gta3.img", archive);
  fs.Put("data.cab", package);
  TFakeBoxes boxes;
  merva::TNoProgress progress;
  merva::TDATAInst loaded;
  loaded.ArchiveFiles = {"a.dff", "new.txd"};
  loaded.GameFiles = {"data\\x.ide"};
  const merva::TRestoreRequest request{"R", "Title", "2026-12-08 10:00:00", {}};
  merva::TInstallation installation(loaded, "G", {fs, boxes, progress}, "data.cab");
  installation.KeepRestorePoint(request);
  installation.Run();
  const TMemoryFileSystem::Bytes* record = fs.Get("R\\G 1\\record.txt");
  if (!record) return 1;
  Seed(root + "/restore", "sample", std::string(record->begin(), record->end()));
  // One that also changed the interiors' archive: its record describes gta_int.img after it.
  TMemoryFileSystem game;
  game.AddDirectory("G");
  game.AddDirectory("G\\models");
  game.Put("G\\models\\gta3.img", archive);
  game.Put("G\\models\\gta_int.img", archive);
  game.Put("data.cab", package);
  loaded.NamedArchiveFiles = {"models\\gta_int.img|a.dff", "models\\gta_int.img|new.txd"};
  merva::TInstallation interior(loaded, "G", {game, boxes, progress}, "data.cab");
  interior.KeepRestorePoint(request);
  interior.Run();
  const TMemoryFileSystem::Bytes* parts = game.Get("R\\G 1\\record.txt");
  if (!parts) return 1;
  Seed(root + "/restore", "interior", std::string(parts->begin(), parts->end()));
  // A data file of each kind (its index first), a zero byte, and a mod's lines for it.
  const char* const files[][2] = {
      {"; cars\r\nINFERNUS 1400.0\r\n% PREDATOR 1.0\r\n;the end\r\n",
       "INFERNUS 1 1 1 1 1 1 1 1 1 1 1 1 1 1 R P 1 1 1 1 1 1 1 1 1 1 1 1 1 1 4000 4000 1 1 1\r\n"},
      {"cars\n400, landstal, landstal\nend\n",
       "cars\n611, mycar, mycar, car, A, A, null, normal, 10, 0, 0\nend\n"},
      {"col\n0,0,0\nend\ncar\nlandstal, 1,1\nend\n", "col\n1,2,3\nend\ncar\nmycar, 1,1\nend\n"},
      {"link\na, b\nend\nmods\nlandstal, x\nend\n", "mods\nlandstal, y\nend\n"},
      {"$ PISTOL A 1 1 1 1 1 1 1 1 1 1 0\nENDWEAPONDATA\n", "$ PISTOL A 2 2 2 2 2 2 2 2 2 2 0\n"},
      {"barrel 100\n*\n", "crate 10\n"},
      {"IDE DATA\\VEHICLES.IDE\r\n", "IDE DATA\\MY.IDE\r\n"},
      {"landstal 0 1\r\n;the end\r\n", "mycar 0 2\r\n"}};
  for (size_t kind = 0; kind < std::size(files); ++kind)
    Seed(root + "/data", "kind" + std::to_string(kind),
         std::string(1, static_cast<char>(kind)) + files[kind][0] + std::string(1, '\0') +
             files[kind][1]);
  return 0;
}
