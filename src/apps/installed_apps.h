#pragma once
// Each installation as an entry in the player's list of installed programs (Settings > Apps):
// listed when its restore point is whole, gone when the point goes, whichever way it goes. The
// entry's uninstall command runs the copy of merva.exe kept beside the restore points, so that
// it works after the mod's own folder is gone.
#include <cstdint>
#include <string>

#include "core/file_system.h"
#include "core/platform.h"
#include "restore/restore_point.h"

namespace merva {

extern const char kProgramCopyName[];  // "merva.exe", in the program copy's folder
extern const char kAppNameSuffix[];    // " (GTA San Andreas mod)"

// The key of the entry for the point named `pointFolder` in `root`: unique for each restore
// folder, so that points of two folders never share an entry.
std::string InstalledAppKey(const std::string& root, const std::string& pointFolder);

// The version a Windows program carries in its version resource (the file version, major in the
// highest 16 bits); 0 when the file holds none or cannot be read.
uint64_t ProgramFileVersion(IFileSystem& fs, const std::string& path);

// Keeps one copy of the program at `programPath` in `folder` (kProgramCopyName), made when it is
// missing, replaced only by a newer version. Never writes through a link. Gives the copy's path, or
// empty when there is none (it could not be written, and none was there).
std::string KeepProgramCopy(IFileSystem& fs, const std::string& folder,
                            const std::string& programPath);

// Lists the installation of `point` (whole, in `root`) with its uninstall commands run by the
// program at `program`; `addedBytes` is what it added to the game. False when the list refused.
bool ListInstallation(IInstalledApps& apps, const std::string& root, const TRestorePoint& point,
                      const std::string& program, int64_t addedBytes);
// Lists again, with their commands run by `program`, the entries of `root`'s points that run
// another program: a copy an earlier version kept where any program of the player could
// replace it, and commands that named their point by its name alone. That copy stays unused.
void RelistWithProgram(IInstalledApps& apps, IFileSystem& fs, const std::string& root,
                       const std::string& program);
// Lists again, with its size, the installation of a point rewritten since it was listed (an
// older installation taken back under it); nothing when it is not listed.
void RelistSize(IInstalledApps& apps, const std::string& root, const TRestorePoint& point);
// Takes the entry of the point named `pointFolder` out of the list.
void UnlistInstallation(IInstalledApps& apps, const std::string& root,
                        const std::string& pointFolder);
// Takes out every entry of `root` whose restore point is gone (taken back, or removed by the
// recovery of a killed run). A point being taken back keeps its entry until it is gone.
void UnlistVanishedInstallations(IInstalledApps& apps, IFileSystem& fs, const std::string& root);

// What an installation of `point` added to the game, in bytes; 0 when it made the game smaller.
int64_t AddedBytes(const TRestorePoint& point);

}  // namespace merva
