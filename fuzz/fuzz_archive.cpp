// Opening, putting into, sorting and compacting an archive of any bytes.
#include "archive/archive.h"
#include "archive/archive_rebuild.h"
#include "fuzz/fuzz_services.h"
#include "game/game_folder.h"

using namespace merva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = fuzz::TakePart(data, size);
  TMemoryFileSystem fs(8 << 20);
  fuzz::MakeGameFolder(fs, std::string(reinterpret_cast<const char*>(data), size));
  TNoProgress progress;
  TGTA3Archive archive;
  const std::string img = ArchivePathOf("G");
  try {
    if (!OpenArchive(archive, img, fs)) return 0;
    const std::string name = archive.EntryCount() > 0 ? EntryName(archive.Entries[0]) : "new.dff";
    const std::string same = "G\\" + (name.empty() ? std::string("x") : name);
    fs.Put(same, file);
    fs.Put("G\\fresh.txd", file);
    PutFilesIntoArchive(img, {same, "G\\fresh.txd"}, fs, progress);
    RewriteSortedDirectory(img, fs);
    CompactArchive(img, TempArchivePathOf("G"), progress, fs);
    // A compacted archive opens again, with every entry's data inside the file.
    if (!OpenArchive(archive, "G\\models\\gta3.img", fs)) __builtin_trap();
    const size_t length = fs.Get("G\\models\\gta3.img")->size();
    for (const TArchiveEntry& e : archive.Entries)
      if (e.Size > 0 &&
          (static_cast<int64_t>(e.Offset) + e.Size) * kSector > static_cast<int64_t>(length))
        __builtin_trap();
  } catch (const Exception&) {
  }
  if (!fs.Get("G\\models\\gta3.img") || fs.Get("G\\models\\temp.img")) __builtin_trap();
  return 0;
}
