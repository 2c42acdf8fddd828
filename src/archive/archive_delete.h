#pragma once
// Taking entries out of an archive, as the IMG tools modders use do.
#include <string>
#include <vector>

#include "core/file_system.h"
#include "core/progress.h"

namespace merva {

// Deletes every entry of each of `names` (matched as the installer matches names) from the
// archive at `archivePath`, through a rebuild at `tempPath`: what stays is sorted by position and
// compacted as after an installation. A name the archive does not hold is refused before
// anything changes. Returns how many entries went.
int32_t DeleteArchiveEntries(IFileSystem& fs, const std::string& archivePath,
                             const std::string& tempPath, const std::vector<std::string>& names,
                             IProgress& progress);

}  // namespace merva
