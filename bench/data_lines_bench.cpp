// Measures what merging a mod's lines into the game's data files adds to an installation: the
// same mod of a few archive files installed and taken back, with and without 100 lines over
// five data files of the game's size (a handling.cfg of 210 cars, a vehicles.ide of 212 cars, a
// carcols.dat, a carmods.dat and an object.dat), on the real file system in FOLDER, every file
// flushed as an installation flushes it. Prints the median of ROUNDS installations of each, and
// their difference.
//
//   data_lines_bench FOLDER [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "core/file_tools.h"
#include "core/progress.h"
#include "game/game_folder.h"
#include "operations/installation.h"
#include "operations/undo.h"
#include "restore/restore_store.h"
#include "script/install_items.h"
#include "tests/support/fakes.h"

using namespace merva;
using Clock = std::chrono::steady_clock;

namespace {

std::string Car(int i, const char* mass) {
  std::string line = "CAR" + std::to_string(i) + " " + mass;
  for (int f = 2; f <= 35; ++f)
    line += f == 15 ? " R" : f == 16 ? " P" : f == 31 || f == 32 ? " 40002004" : " 1.5";
  return line;
}

// The five data files, and the mod's 100 lines for them: half replace lines, half add new ones.
struct TFiles {
  std::vector<std::pair<std::string, std::string>> Game, Mod;
};

TFiles DataFiles() {
  TFiles files;
  std::string handling = "; handling\r\n", ide = "cars\r\n",
              carcols = "col\r\n0,0,0\r\nend\r\ncar\r\n", carmods = "mods\r\n",
              objects = "; objects\r\n";
  std::string modHandling, modIde = "cars\r\n", modCarcols = "car\r\n", modCarmods = "mods\r\n",
                           modObjects;
  for (int i = 0; i < 212; ++i) {
    handling += Car(i, "1400.0") + "\r\n";
    ide += std::to_string(400 + i) + ", car" + std::to_string(i) + ", car" + std::to_string(i) +
           ", car, CAR" + std::to_string(i) + ", CAR" + std::to_string(i) +
           ", null, normal, 10, 0, 0, -1, 0.7, 0.7, -1\r\n";
    carcols += "car" + std::to_string(i) + ", 1,1, 2,2\r\n";
    carmods += "car" + std::to_string(i) + ", nto_b_l, nto_b_s\r\n";
    objects += "object" + std::to_string(i) + " 100 200 0.99 0.1 50 200 1 0 0 0\r\n";
  }
  for (int i = 200; i < 220; ++i) {  // ten replaced and ten added in each file
    modHandling += Car(i, "1500.0") + "\r\n";
    modIde += std::to_string(400 + i) + ", car" + std::to_string(i) + ", car" + std::to_string(i) +
              ", car, CAR" + std::to_string(i) + ", GT" + std::to_string(i) +
              ", null, normal, 10, 0, 0, -1, 0.8, 0.8, -1\r\n";
    modCarcols += "car" + std::to_string(i) + ", 3,3, 4,4\r\n";
    modCarmods += "car" + std::to_string(i) + ", nto_b_tw\r\n";
    modObjects += "object" + std::to_string(i) + " 150 200 0.99 0.1 50 200 1 0 0 0\r\n";
  }
  files.Game = {{"handling.cfg", handling + ";the end\r\n"},
                {"vehicles.ide", ide + "end\r\n"},
                {"carcols.dat", carcols + "end\r\n"},
                {"carmods.dat", carmods + "end\r\n"},
                {"object.dat", objects}};
  files.Mod = {{"handling.cfg", modHandling},
               {"vehicles.ide", modIde + "end\r\n"},
               {"carcols.dat", modCarcols + "end\r\n"},
               {"carmods.dat", modCarmods + "end\r\n"},
               {"object.dat", modObjects}};
  return files;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: data_lines_bench FOLDER [ROUNDS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
  IFileSystem& fs = SystemFileSystem();
  const std::string game = folder + "\\game", root = folder + "\\restore";
  RemoveFolderTree(fs, folder);
  for (const std::string& made : {folder, game, game + "\\models", game + "\\data", root})
    fs.CreateDirectory(made);
  WriteFileFlushed(fs, ArchivePathOf(game),
                   test::BuildArchive({{1, 8, "a.dff"}, {9, 8, "b.txd"}, {17, 8, "c.dff"}}));
  const TFiles files = DataFiles();
  std::vector<std::pair<std::string, std::string>> package = {{"a.dff", std::string(20000, 'a')},
                                                              {"new.txd", std::string(9000, 'n')}};
  TDATAInst plain, lines;
  plain.Title = lines.Title = "Bench";
  plain.ArchiveFiles = lines.ArchiveFiles = {"a.dff", "new.txd"};
  for (const auto& [name, text] : files.Game) WriteFileFlushed(fs, game + "\\data\\" + name, text);
  for (const auto& [name, text] : files.Mod) {
    package.push_back({name + ".txt", text});
    lines.DataLines.push_back(DataLinesItemText("data\\" + name, name + ".txt"));
  }
  WriteFileFlushed(fs, folder + "\\data.cab", test::PackageBytes(package));
  test::TFakeBoxes boxes;
  TNoProgress progress;
  std::vector<double> times[2];
  for (int round = 0; round < rounds; ++round)
    for (int with = 0; with < 2; ++with) {
      {
        TInstallation installation(with ? lines : plain, game, {fs, boxes, progress},
                                   folder + "\\data.cab");
        installation.KeepRestorePoint({root, "Bench", "2026-12-09 20:00:00", {}});
        const Clock::time_point start = Clock::now();
        installation.Run();
        times[with].push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      }  // its lock goes with it
      TUndo(root, game, {fs, boxes, progress}).Run({});
    }
  const double plainMs = Median(times[0]), linesMs = Median(times[1]);
  std::printf("installation without lines: %.1f ms (median of %d)\n", plainMs, rounds);
  std::printf("installation with 100 lines over five data files: %.1f ms\n", linesMs);
  std::printf("the lines add: %.1f ms\n", linesMs - plainMs);
  RemoveFolderTree(fs, folder);
  return 0;
}
