#include <cstring>
#include <utility>

#include "archive/archive.h"
#include "core/block_file.h"
#include "core/errors.h"

namespace merva {

void SortArchiveEntries(std::vector<TArchiveEntry>& entries, int32_t count) {
  for (int32_t i = 0; i + 1 < count; ++i) {
    int32_t m = i;
    for (int32_t j = i + 1; j < count; ++j)
      if (entries[j].Offset < entries[m].Offset) m = j;
    std::swap(entries[i], entries[m]);
  }
}

void RewriteSortedDirectory(TGTA3Archive& Archive, IFileSystem& fs, IMessageBoxes& boxes) {
  OpenArchive(Archive, Archive.FileName, fs, boxes);
  // The box told the user; a directory that was not read is never written back.
  if (!Archive.Loaded) throw EAbort();
  fs.FileMode = 2;
  TBlockFile archive = TBlockFile::Open(fs, Archive.FileName);
  SortArchiveEntries(Archive.Entries, Archive.EntryCount);
  archive.Seek(8);
  if (Archive.EntryCount > 0)
    archive.WriteExact(Archive.Entries.data(), static_cast<uint32_t>(Archive.EntryCount) * 32);
  archive.Close();
}

}  // namespace merva
