#pragma once
// Giving an archive entry another name, as the IMG tools modders use do.
#include <string>

#include "core/file_system.h"
#include "core/progress.h"

namespace merva {

// Renames the one entry of `oldName` to `newName` in the archive at `archivePath`, through a
// rebuild at `tempPath` (sorted by position and compacted as after an installation). Refused
// before anything changes: an old name the archive does not hold or holds twice, a new name no
// entry can take (NewEntryNameFault), and a new name that another entry has already, to the
// installer or in the 23 characters the game compares.
void RenameArchiveEntry(IFileSystem& fs, const std::string& archivePath,
                        const std::string& tempPath, const std::string& oldName,
                        const std::string& newName, IProgress& progress);

}  // namespace merva
