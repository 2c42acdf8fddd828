#include "archive/archive_delete.h"

#include <set>

#include "archive/archive_rebuild.h"
#include "core/errors.h"

namespace merva {

int32_t DeleteArchiveEntries(IFileSystem& fs, const std::string& archivePath,
                             const std::string& tempPath, const std::vector<std::string>& names,
                             IProgress& progress) {
  TArchiveRebuild rebuild(fs, archivePath, tempPath);
  TArchiveFile& archive = rebuild.Archive();
  std::set<int32_t> doomed;
  for (const std::string& name : names) {
    const std::vector<int32_t> found = archive.Find(name);
    if (found.empty()) throw EFileError(archivePath, "has no entry named " + name);
    doomed.insert(found.begin(), found.end());
  }
  std::vector<TArchiveEntry> kept;
  for (int32_t i = 0; i < archive.State().EntryCount(); ++i)
    if (!doomed.count(i)) kept.push_back(archive.Entries()[i]);
  archive.SetDirectory(std::move(kept));
  archive.SortDirectory();
  rebuild.Write(progress);
  rebuild.Replace();
  return static_cast<int32_t>(doomed.size());
}

}  // namespace merva
