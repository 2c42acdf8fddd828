// The one-pass installation against the step-by-step put, sort and compaction, on many generated
// archives and mods: the same bytes, or the same error with the archive left as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/errors.h"
#include "operations/installation.h"
#include "operations/undo.h"
#include "restore/restore_store.h"
#include "tests/support/archive_generator.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/read_recorder.h"
#include "tests/support/step_install.h"
#include "wizard/controls.h"

namespace merva {
namespace {

TEST(OnePassInstallation, LeavesTheArchiveOfThePutSortAndCompaction) {
  int installed = 0, refused = 0;
  for (uint32_t seed = 1; seed <= 600; ++seed) {
    const test::TGenerated g = test::TGenerator(seed).Make();
    const std::string package = test::PackageBytes(g.Files);
    const test::TInstallOutcome steps = test::InstallInMemory(g.Script, g.Archive, package, false);
    const test::TInstallOutcome onePass = test::InstallInMemory(g.Script, g.Archive, package, true);
    EXPECT_EQ(onePass.Error, steps.Error) << "seed " << seed;
    if (steps.Error.empty()) {
      ++installed;
      EXPECT_TRUE(onePass.Archive == steps.Archive) << "seed " << seed;
    } else {
      ++refused;
      EXPECT_TRUE(onePass.Archive == g.Archive) << "seed " << seed << ": " << steps.Error;
    }
  }
  // The generator must reach both outcomes, mostly installations.
  EXPECT_GT(installed, 400);
  EXPECT_GT(refused, 0);
}

// A game folder "G" holding the generated archive, beside the mod's package "data.cab".
void PutGame(TMemoryFileSystem& memory, const test::TGenerated& g) {
  memory.AddDirectory("G");
  memory.AddDirectory("G\\models");
  memory.Put("G\\models\\gta3.img", g.Archive);
  memory.Put("data.cab", test::PackageBytes(g.Files));
}

// A player's archive is on the disk, not in memory: the installation reads its data once, front
// to back, the replaced entries' old bytes for the restore point along with the rest. Aside: the
// header and the directory, read when it opens, and the entries that the grown directory reaches,
// which move to the end of the new archive and are read when it is written there.
TEST(OnePassInstallation, ReadsTheOldArchiveOnceFrontToBack) {
  int installed = 0, withKeptEntries = 0, moving = 0;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    const test::TGenerated g = test::TGenerator(seed).Make();
    TMemoryFileSystem memory(64 << 20);
    PutGame(memory, g);
    test::TReadRecorder fs(memory, "G\\models\\gta3.img");
    test::TFakeBoxes boxes;
    TNoProgress progress;
    TInstallation installation(g.Script, "G", {fs, boxes, progress}, "data.cab");
    installation.KeepRestorePoint({"R", "mod", "2026-12-09 00:00:00", {}});
    try {
      installation.Run();
    } catch (const Exception&) {
      continue;  // refused before any change (a damaged archive, a name the game cannot hold)
    }
    ++installed;
    if (!installation.Point()->Archives[0].Replaced.empty()) ++withKeptEntries;
    const int64_t oldDirectoryEnd = 8 + 32 * int64_t{installation.Point()->Archives[0].OldCount};
    const auto newCount = static_cast<int64_t>(
        test::DirectoryOf(std::string(memory.Get("G\\models\\gta3.img")->begin(),
                                      memory.Get("G\\models\\gta3.img")->end()))
            .size());
    const int64_t newDirectoryEnd = 8 + 32 * newCount;
    std::vector<test::TRead> reads;
    int64_t readUpTo = oldDirectoryEnd;
    for (const test::TRead& read : fs.Reads()) {
      if (read.At + read.Count <= oldDirectoryEnd) continue;
      reads.push_back(read);
      if (read.At < newDirectoryEnd) {
        ++moving;
        continue;
      }
      EXPECT_GE(read.At, readUpTo) << "seed " << seed << ": read backwards";
      readUpTo = read.At + read.Count;
    }
    std::sort(reads.begin(), reads.end(),
              [](const test::TRead& a, const test::TRead& b) { return a.At < b.At; });
    for (size_t i = 1; i < reads.size(); ++i)
      EXPECT_GE(reads[i].At, reads[i - 1].At + reads[i - 1].Count)
          << "seed " << seed << ": bytes at " << reads[i].At << " read twice";
  }
  EXPECT_GT(installed, 200);
  EXPECT_GT(withKeptEntries, 100);
  EXPECT_GT(moving, 0) << "the generator must reach entries that a grown directory moves";
}

std::string File(const TMemoryFileSystem& memory, const std::string& path) {
  return std::string(memory.Get(path)->begin(), memory.Get(path)->end());
}

// An archive's entries in directory order, each with its name and data as the game reads them
// (what a last part sector lacks reads as zeros).
std::vector<std::pair<std::string, std::string>> Contents(const std::string& archive) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const test::TEntryLayout& entry : test::DirectoryOf(archive)) {
    const size_t at = size_t{2048} * static_cast<size_t>(entry.Offset);
    std::string data = at < archive.size() ? archive.substr(at, 2048 * size_t(entry.Size)) : "";
    data.resize(2048 * size_t(entry.Size), '\0');
    entries.emplace_back(entry.Name, data);
  }
  return entries;
}

// The reads of one file's data (from `dataStart` on) go front to back, each byte once; what
// lies before (the header and the directory) may be read again.
void ExpectForwardOnce(const std::vector<test::TRead>& reads, int64_t dataStart,
                       const std::string& what) {
  int64_t readUpTo = dataStart;
  for (const test::TRead& read : reads) {
    const int64_t at = std::max(read.At, dataStart), end = read.At + read.Count;
    if (end <= at) continue;
    EXPECT_GE(at, readUpTo) << what << ": bytes at " << at << " read again or backwards";
    readUpTo = std::max(readUpTo, end);
  }
}

// Taking an installation back reads the archive as the installation left it and the point's
// archive.img once each, front to back, whatever order the entries had before: their
// fingerprints come from the same reading.
TEST(OnePassUndo, ReadsTheArchiveAndTheKeptArchiveOnceFrontToBack) {
  int undone = 0, withKeptArchive = 0, outOfOrder = 0;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    const test::TGenerated g = test::TGenerator(seed).Make();
    TMemoryFileSystem memory(64 << 20);
    PutGame(memory, g);
    test::TFakeBoxes boxes;
    TNoProgress progress;
    TInstallation installation(g.Script, "G", {memory, boxes, progress}, "data.cab");
    installation.KeepRestorePoint({"R", "mod", "2026-12-09 00:00:00", {}});
    try {
      installation.Run();
    } catch (const Exception&) {
      continue;
    }
    const TRestorePoint point = FindLatestRestorePoint(memory, "R", "G");
    const std::string kept = "R\\" + point.Folder + "\\archive.img";
    const std::string installed = File(memory, "G\\models\\gta3.img");
    const std::vector<test::TEntryLayout> before = test::DirectoryOf(g.Archive);
    for (size_t i = 1; i < before.size(); ++i)
      if (before[i].Offset < before[i - 1].Offset) {
        ++outOfOrder;
        break;
      }
    test::TReadRecorder archiveReads(memory, "G\\models\\gta3.img");
    test::TReadRecorder keptReads(archiveReads, kept);
    TUndo(std::string("R"), point, {keptReads, boxes, progress}).Run({});
    ++undone;
    EXPECT_TRUE(Contents(File(memory, "G\\models\\gta3.img")) == Contents(g.Archive))
        << "seed " << seed;
    const auto dataStart = [](const std::string& archive) {
      const std::vector<test::TEntryLayout> entries = test::DirectoryOf(archive);
      return int64_t{FirstCompactedOffset(static_cast<int32_t>(entries.size()))} * 2048;
    };
    ExpectForwardOnce(archiveReads.Reads(), dataStart(installed), "seed " + std::to_string(seed));
    if (keptReads.Reads().empty()) continue;
    ++withKeptArchive;
    ExpectForwardOnce(
        keptReads.Reads(),
        int64_t{FirstCompactedOffset(static_cast<int32_t>(point.Archives[0].Replaced.size()))} *
            2048,
        "seed " + std::to_string(seed) + ", archive.img");
  }
  EXPECT_GT(undone, 200);
  EXPECT_GT(withKeptArchive, 100);
  EXPECT_GT(outOfOrder, 50) << "the generator must give archives whose data is not in order";
}

}  // namespace
}  // namespace merva
