// The fingerprints of a plan's entries taken along the rebuild's reading of the package: whatever
// it hands over, in whatever order, each is the entry's own, and the package is read here only
// for what was not handed over whole and in order.
#include "archive/entry_prints_along.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/memory_file_system.h"
#include "tests/support/read_recorder.h"

namespace merva {
namespace {

// Bytes of the package handed over as the rebuild reads them.
struct THandOver {
  int64_t At;
  int64_t Count;
};

struct TCase {
  const char* What;
  std::vector<THandOver> Reads;
  int64_t OwnBytes;  // what the fingerprints must read themselves, beyond what no reading gives
};

// The plan: five entries of the mod and one the archive already had, in sectors.
//   0: package [0, 3000) and zeros   1: package [3000, 7096), whole sectors
//   2: package [0, 3000) again       3: package [7096, 8000) then [0, 100)
//   4: package [8000, 9000) and zeros 5: the old archive's first sector
constexpr int64_t kOwnAlways = 3000 + 904 + 100;  // entries 2 and 3, read from the plan at once

TEST(EntryPrintsAlong, GivesEachEntrysFingerprintReadingOnlyWhatWasNotHandedOver) {
  std::string package(9000, '\0'), archive(2048, '\0');
  for (size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>(i * 13 + i / 256);
  for (size_t i = 0; i < archive.size(); ++i) archive[i] = static_cast<char>(i * 5 + 1);
  const TCase cases[] = {
      {"nothing handed over", {}, 3000 + 4096 + 1000},
      {"everything, in one read", {{0, 9000}}, 0},
      {"each entry in parts", {{0, 1000}, {1000, 2000}, {3000, 4096}, {7096, 1904}}, 0},
      {"again: left out", {{0, 3000}, {0, 3000}, {3000, 9000 - 3000}}, 0},
      {"an entry's middle first: read at the end", {{1000, 500}, {0, 1000}, {1500, 7500}}, 3000},
      {"past an entry's end only: read at the end", {{5000, 4000}}, 3000 + 4096},
  };
  for (const TCase& c : cases) {
    TMemoryFileSystem memory;
    memory.Put("p", package);
    memory.Put("a", archive);
    test::TReadRecorder recorder(memory, "p");
    TBlockFile packageFile = TBlockFile::OpenReadOnly(recorder, "p");
    TBlockFile archiveFile = TBlockFile::OpenReadOnly(memory, "a");
    TPlannedBody plan(archiveFile, 2048);
    std::vector<TArchiveEntry> entries(6);
    const auto put = [&](size_t entry, int64_t sector, std::vector<TPutSource> sources) {
      int64_t at = sector * kSector, bytes = 0;
      for (const TPutSource& source : sources) {
        plan.WriteSource(at + bytes, source);
        bytes += source.Length;
      }
      entries[entry].Offset = static_cast<int32_t>(sector);
      entries[entry].Size = static_cast<int32_t>((bytes + kSector - 1) / kSector);
    };
    put(0, 1, {{packageFile, 0, 3000}});
    put(1, 3, {{packageFile, 3000, 4096}});
    put(2, 5, {{packageFile, 0, 3000}});
    put(3, 7, {{packageFile, 7096, 904}, {packageFile, 0, 100}});
    put(4, 8, {{packageFile, 8000, 1000}});
    entries[5].Offset = 0;
    entries[5].Size = 1;

    TEntryPrintsAlong prints(plan);
    for (const TArchiveEntry& entry : entries) prints.Add(entry);
    const auto ownBytes = [&] {
      int64_t bytes = 0;
      for (const test::TRead& read : recorder.Reads()) bytes += read.Count;
      return bytes;
    };
    EXPECT_EQ(ownBytes(), kOwnAlways) << c.What;
    for (const THandOver& read : c.Reads) {
      const TPiece piece{TPiece::kFile, read.At, read.Count, &packageFile};
      prints.Read(piece, read.At, package.data() + read.At, static_cast<size_t>(read.Count));
    }
    // What is taken whole is copied unseen from then on.
    if (c.Reads.size() == 1 && c.Reads[0].Count == 9000) {
      EXPECT_FALSE(prints.Wants({TPiece::kFile, 0, 9000, &packageFile})) << c.What;
    }
    if (c.Reads.empty()) {
      EXPECT_TRUE(prints.Wants({TPiece::kFile, 8999, 1, &packageFile})) << c.What;
    }
    prints.Finish();
    EXPECT_EQ(ownBytes() - kOwnAlways, c.OwnBytes) << c.What;
    for (size_t i = 0; i < entries.size(); ++i)
      EXPECT_EQ(prints.Fingerprint(i),
                BodyFingerprint(plan, EntryStart(entries[i]), EntryBytes(entries[i])))
          << c.What << ", entry " << i;
  }
}

}  // namespace
}  // namespace merva
