#pragma once
// The installation's archive stage done step by step, file by file into the archive on disk:
// extract, put, then sort the directory and compact. The one-pass installation must leave
// exactly the archive that this sequence leaves.
#include <string>

#include "core/file_system.h"
#include "script/script.h"

namespace merva::test {

// `archive` below the game folder (empty: models\gta3.img) gets the items the script names for
// it.
void InstallArchiveFilesStepByStep(const TDATAInst& script, const std::string& gameFolder,
                                   const std::string& packagePath, IFileSystem& fs,
                                   const std::string& archive = "");

// What an installation of the script's archive files into an archive and a package, on a file
// system in memory limited to `limit` bytes a file, leaves: the archive, and the error's text.
struct TInstallOutcome {
  std::string Archive;
  std::string Error;
};
TInstallOutcome InstallInMemory(const TDATAInst& script, const std::string& archive,
                                const std::string& package, bool onePass, size_t limit = 64 << 20);

}  // namespace merva::test
