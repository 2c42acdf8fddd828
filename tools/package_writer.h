#pragma once
// Writes "scripts.bin" and "data.cab" in exactly the layouts the installer reads.
#include <string>
#include <vector>

#include "script/script.h"
#include "tools/manifest.h"

namespace merva {

// Empty texts are left out: a record of length 0 would end the script there.
void WriteScriptFile(const TDATAInst& script, const std::string& path);
void WritePackageFile(const std::vector<TPackSource>& sources, const std::string& path);

}  // namespace merva
