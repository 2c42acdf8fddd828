#pragma once
// The installation run behind the installing page.
#include <string>

#include "archive/archive.h"
#include "core/platform.h"
#include "package/package.h"
#include "restore/restore_writer.h"
#include "script/script.h"

namespace merva {

extern const char kScratchFolderName[];  // made inside the game folder for the run's own files

struct TInstallServices {
  IFileSystem& Files;
  INotices& Notices;
  IMessagePump& Pump;
  IProgress& Progress;
  // Where and how to keep the run's restore point; none is kept without it.
  const TRestoreRequest* Restore = nullptr;
};

// True when a game-file item names a place inside the game folder: no drive, no root, no "..".
bool GameFileItemIsInside(const std::string& item);
// True when a game-file item names what the installer itself uses in the game folder: the
// archive, its temporary file, the scratch folder or the lock. A package must not replace them.
bool GameFileItemIsInstallers(const std::string& item);

// Installs the package into the game folder `gameFolder` (the edit box's text, read once by the
// caller): archive files into models\gta3.img, then the game files to their listed paths.
void InstallPackage(const TDATAInst& Script, TGTA3Archive& Archive, TPackageDirectory& Package,
                    const std::string& gameFolder, TInstallServices services,
                    const std::string& packagePath = kPackageFileName);

}  // namespace merva
