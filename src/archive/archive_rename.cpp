#include "archive/archive_rename.h"

#include "archive/archive_rebuild.h"
#include "core/errors.h"

namespace merva {

void RenameArchiveEntry(IFileSystem& fs, const std::string& archivePath,
                        const std::string& tempPath, const std::string& oldName,
                        const std::string& newName, IProgress& progress) {
  const std::string fault = NewEntryNameFault(newName);
  if (!fault.empty()) throw EFileError(archivePath, newName + ": " + fault);
  TArchiveRebuild rebuild(fs, archivePath, tempPath);
  TArchiveFile& archive = rebuild.Archive();
  const std::vector<int32_t> found = archive.Find(oldName);
  if (found.empty()) throw EFileError(archivePath, "has no entry named " + oldName);
  if (found.size() > 1)
    throw EFileError(archivePath, "holds " + std::to_string(found.size()) + " entries named " +
                                      oldName + "; delete the ones the game does not use first");
  std::vector<TArchiveEntry> entries = archive.Entries();
  TArchiveEntry& renamed = entries[found[0]];
  SetNewEntryName(renamed, newName);
  for (int32_t i = 0; i < archive.State().EntryCount(); ++i) {
    if (i == found[0]) continue;
    const TArchiveEntry& other = entries[i];
    if (EntryNameKey(EntryName(other)) == EntryNameKey(EntryName(renamed)))
      throw EFileError(archivePath, "already has an entry named " + EntryName(other));
    if (GameNameKey(other) == GameNameKey(renamed))
      throw EFileError(archivePath, "has an entry named " + EntryName(other) +
                                        ", which the game reads as the same name as " + newName +
                                        " (it compares 23 characters)");
  }
  archive.SetDirectory(std::move(entries));
  archive.SortDirectory();
  rebuild.Write(progress);
  rebuild.Replace();
}

}  // namespace merva
