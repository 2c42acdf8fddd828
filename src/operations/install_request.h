#pragma once
// What one installation is asked to do: the script read with its level checked against the
// registry, the package, and the restore point to keep. Every front end reads it with
// ReadInstallRequest: `merva-img install` and `plan` when they run, the wizard and its unattended
// runs when they start (TForm1::LoadScript), adding the program its uninstall command runs when
// the installation starts.
#include <functional>
#include <string>

#include "core/errors.h"
#include "core/file_system.h"
#include "core/platform.h"
#include "package/package.h"
#include "restore/restore_writer.h"
#include "script/script.h"

namespace merva {

struct TInstallRequest {
  TDATAInst Script;
  bool Refused = false;  // the installed level refuses the mod: the script's refusal text says so
  std::string PackagePath = kPackageFileName;
  // Where its restore point goes (none when Folder is empty), with the mod's title and the
  // level as the check found and left it; the installation stamps the time it starts.
  TRestoreRequest Restore;
  // The merva.exe whose copy beside the restore points the installation's uninstall command
  // runs (the newest version is kept); without it an existing copy serves, if any.
  std::string ProgramPath;
  // Where that copy is kept (ProgramCopyFolderFromEnvironment); beside the restore points when
  // empty.
  std::string ProgramCopyFolder;
};

// The check LoadScript hands each level to, as every front end runs it: the installed level's
// value is read around the check for the restore point (`record`), and `refused` runs when the
// installed level refuses the mod. Without a registry (a native build) nothing is checked.
std::function<void(const std::string&)> LevelCheckFor(IRegistry* registry, ILocale& locale,
                                                      TLevelRecord& record,
                                                      std::function<void()> refused);

// Reads the script at `scriptPath` and checks its level as the wizard always has: a level the
// registry's installed level refuses sets Refused; without a registry (a native build) nothing
// is checked. The script's errors leave as they do from LoadScript; a script cut short raises
// EScriptDamaged.
TInstallRequest ReadInstallRequest(IFileSystem& fs, INotices& notices, IRegistry* registry,
                                   ILocale& locale, const std::string& restoreFolder,
                                   const std::string& scriptPath = kScriptFileName,
                                   const std::string& packagePath = kPackageFileName);

}  // namespace merva
