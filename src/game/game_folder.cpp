#include "game/game_folder.h"

#include "core/windows_names.h"

namespace merva {

const char kScratchFolderName[] = "merva-install.tmp";
const char kGameLockName[] = "merva.lock";

const char kArchiveInGame[] = "models\\gta3.img";

namespace {

const char kModelsFolder[] = "models";
const char kArchiveName[] = "gta3.img";
const char kTempArchiveName[] = "temp.img";

}  // namespace

std::string ArchivePathOf(const std::string& gameFolder) {
  return gameFolder + "\\" + kArchiveInGame;
}

std::string TempArchivePathOf(const std::string& gameFolder) {
  return gameFolder + "\\" + kModelsFolder + "\\" + kTempArchiveName;
}

std::string ScratchFolderOf(const std::string& gameFolder) {
  return gameFolder + "\\" + kScratchFolderName;
}

bool IsInstallersOwnPath(const std::vector<std::string>& parts) {
  if (parts.empty()) return false;
  const std::string first = WindowsNameKey(parts[0]);
  if (first == WindowsNameKey(kScratchFolderName) || first == WindowsNameKey(kGameLockName))
    return true;
  // Anything below the archive or its temporary file is refused with them.
  return parts.size() >= 2 && first == WindowsNameKey(kModelsFolder) &&
         (WindowsNameKey(parts[1]) == WindowsNameKey(kArchiveName) ||
          WindowsNameKey(parts[1]) == WindowsNameKey(kTempArchiveName));
}

}  // namespace merva
