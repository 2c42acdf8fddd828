#pragma once
// The installation's archive stage done step by step, file by file into the archive on disk:
// extract, put, then sort the directory and compact. The one-pass installation must leave
// exactly the archive that this sequence leaves.
#include <string>

#include "core/file_system.h"
#include "script/script.h"

namespace merva::test {

void InstallArchiveFilesStepByStep(const TDATAInst& script, const std::string& gameFolder,
                                   const std::string& packagePath, IFileSystem& fs);

}  // namespace merva::test
