// Measures how the merging of a mod's lines grows with their number: for mods of 1,000 to 10,000
// `objs` lines added to an IDE file, and a second mod of as many lines over the first, the plan,
// the installation, the status, the plan of the undo and the undo (the first mod taken back
// under the second, then the second), on the real file system in FOLDER. Each is timed beside
// the installation of the same mod without its lines; the last column divides by the lines, and
// stays flat when the time grows in step with them.
//
//   data_lines_scale_bench FOLDER [LINES...]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "core/file_tools.h"
#include "core/progress.h"
#include "game/game_folder.h"
#include "operations/game_status.h"
#include "operations/installation.h"
#include "operations/undo.h"
#include "operations/undo_plan.h"
#include "restore/restore_store.h"
#include "script/install_items.h"
#include "tests/support/fakes.h"

using namespace merva;
using Clock = std::chrono::steady_clock;

namespace {

double Time(const std::function<void()>& step) {
  const Clock::time_point start = Clock::now();
  step();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// An objs section of `count` lines from model ID 20000, each line's distance `distance`.
std::string ObjsLines(int count, const char* distance) {
  std::string lines = "objs\r\n";
  for (int i = 0; i < count; ++i)
    lines += std::to_string(20000 + i) + ", mdl" + std::to_string(i) + ", txd" +
             std::to_string(i / 50) + ", " + distance + ", 0\r\n";
  return lines + "end\r\n";
}

// The stock default.ide's shape: a few sections of a few hundred lines.
std::string GameIde() {
  std::string ide = "# default.ide\r\nobjs\r\n";
  for (int i = 0; i < 300; ++i)
    ide += std::to_string(1000 + i) + ", stock" + std::to_string(i) + ", generic, 100, 0\r\n";
  return ide +
         "end\r\ntobj\r\nend\r\nweap\r\n331, brassknuckle, brassknuckle, null, 1, 50, 0\r\nend\r\n";
}

struct TStep {
  const char* Name;
  double Seconds;
};

void Measure(IFileSystem& fs, const std::string& folder, int lines) {
  const std::string game = folder + "\\game", root = folder + "\\restore";
  RemoveFolderTree(fs, folder);
  for (const std::string& made : {folder, game, game + "\\models", game + "\\data", root})
    fs.CreateDirectory(made);
  WriteFileFlushed(fs, ArchivePathOf(game),
                   test::BuildArchive({{1, 8, "a.dff"}, {9, 8, "b.txd"}, {17, 8, "c.dff"}}));
  WriteFileFlushed(fs, game + "\\data\\default.ide", GameIde());
  WriteFileFlushed(fs, folder + "\\data.cab",
                   test::PackageBytes({{"a.dff", std::string(20000, 'a')},
                                       {"first.txt", ObjsLines(lines, "100")},
                                       {"second.txt", ObjsLines(lines, "150")}}));
  TDATAInst plain, first, second;
  plain.Title = "Plain";
  first.Title = "First";
  second.Title = "Second";
  plain.ArchiveFiles = first.ArchiveFiles = second.ArchiveFiles = {"a.dff"};
  first.DataLines = {DataLinesItemText("data\\default.ide", "first.txt")};
  second.DataLines = {DataLinesItemText("data\\default.ide", "second.txt")};
  test::TFakeBoxes boxes;
  TNoProgress progress;
  const TOperationServices services{fs, boxes, progress};
  const std::string cab = folder + "\\data.cab";
  const auto install = [&](const TDATAInst& mod, bool plan) {
    TInstallation installation(mod, game, services, cab);
    installation.KeepRestorePoint({root, mod.Title, "2026-12-10 20:00:00", {}});
    if (plan)
      installation.Plan();
    else
      installation.Run();
  };
  const auto newest = [&] { return ListRestorePoints(fs, root, game).front().Folder; };

  std::vector<TStep> steps;
  const double alone = Time([&] { install(plain, false); });
  TUndo(root, game, services).Run({});
  steps.push_back({"plan", Time([&] { install(first, true); })});
  steps.push_back({"installation", Time([&] { install(first, false); })});
  const std::string firstPoint = newest();
  steps.push_back({"plan over the first", Time([&] { install(second, true); })});
  steps.push_back({"installation over the first", Time([&] { install(second, false); })});
  steps.push_back({"status", Time([&] { ReadGameStatus(fs, root, game); })});
  steps.push_back(
      {"plan of the first's undo", Time([&] { PlanUndo(root, firstPoint, game, fs); })});
  steps.push_back(
      {"undo of the first", Time([&] { TUndo(root, firstPoint, game, services).Run({}); })});
  steps.push_back({"undo of the second", Time([&] { TUndo(root, game, services).Run({}); })});
  std::printf("%d lines (the installation without them: %.3f s)\n", lines, alone);
  for (const TStep& step : steps)
    std::printf("  %-30s %7.3f s  %6.1f x alone  %6.3f ms per 1,000 lines\n", step.Name,
                step.Seconds, step.Seconds / alone, step.Seconds * 1e6 / lines);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: data_lines_scale_bench FOLDER [LINES...]\n");
    return 2;
  }
  std::vector<int> counts;
  for (int i = 2; i < argc; ++i) counts.push_back(std::max(1, std::atoi(argv[i])));
  if (counts.empty()) counts = {1000, 2500, 5000, 10000};
  IFileSystem& fs = SystemFileSystem();
  for (const int lines : counts) Measure(fs, argv[1], lines);
  RemoveFolderTree(fs, argv[1]);
  return 0;
}
