// A restore point's record on any bytes: it reads back what it writes, taking an installation
// back from a hostile record fails cleanly instead of writing anywhere, and so does working out
// an undo under a later installation whose record is hostile too.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/archive.h"
#include "change/point_chain.h"
#include "core/block_file.h"
#include "core/sha256.h"
#include "fuzz/fuzz_services.h"
#include "game/game_archives.h"
#include "operations/undo.h"
#include "restore/restore_point.h"

using namespace merva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TRestorePoint point;
  if (!ParseRecord(text, point)) return 0;
  const std::string written = RecordText(point);
  TRestorePoint again;
  if (!ParseRecord(written, again) || RecordText(again) != written) std::abort();
  ChangesText(point);

  // The record as the point of the archive in place, so that the undo trusts its order.
  TMemoryFileSystem fs;
  const std::string archive =
      test::BuildArchive({{1, 1, "a.dff"}, {2, 2, "b.txd"}, {4, 1, "c.dff"}, {5, 1, "new.dff"}});
  fuzz::MakeGameFolder(fs, archive);
  // Every other archive the record names is there, so that its undo is worked out too.
  for (size_t n = 1; n < point.Archives.size(); ++n)
    if (const TArchiveChange& part = point.Archives[n]; GameArchiveFault(part.Archive).empty())
      fs.Put(GameArchivePathOf("G", part.Archive), archive);
  fs.AddDirectory("R");
  fs.AddDirectory("R\\G 1");
  fs.AddDirectory("R\\G 1\\archive");
  fs.Put("R\\G 1\\archive\\b.txd", std::string(4096, 'b'));
  TBlockFile file = TBlockFile::OpenReadOnly(fs, "G\\models\\gta3.img");
  point.Archives[0].NewArchiveFingerprint = FileSha256(file);
  point.Archives[0].NewArchiveBytes = file.Size();
  file.Close();
  point.GameFolder = "G";
  point.Folder = "G 1";
  point.Counter = 1;
  for (TGameFileChange& change : point.GameFiles) change.Item = "data\\x.cfg";
  for (std::string& folder : point.FoldersCreated) folder = "data";
  // The same record for a later installation that follows this one.
  std::vector<TArchiveEntry> entries(4);
  std::memcpy(entries.data(), archive.data() + 8, entries.size() * sizeof(TArchiveEntry));
  TRestorePoint later = point;
  later.Folder = "G 2";
  later.Counter = 2;
  later.Archives[0].OldArchiveBytes = point.Archives[0].NewArchiveBytes;
  const TArchiveChange& first = point.Archives[0];
  const int64_t count = int64_t{first.OldCount} + static_cast<int64_t>(first.Added.size());
  later.Archives[0].OldCount = count <= INT32_MAX ? static_cast<int32_t>(count) : first.OldCount;
  for (const auto& plan : {PlanChainUndo, PlanChainUndoByNames}) {
    try {
      plan({{point.Folder, "R\\G 1", first}, {later.Folder, "R\\G 2", later.Archives[0]}}, entries);
    } catch (const Exception&) {
    }
  }
  PlanGameFilesUndo({point, later});

  test::TFakeBoxes boxes;
  TNoProgress progress;
  try {
    const bool force = size % 2 == 1;
    TUndo("R", point, {fs, boxes, progress}).Run({force, force});
  } catch (const Exception&) {
  }
  return 0;
}
