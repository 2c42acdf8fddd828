#pragma once
// A mod's models, texture dictionaries and collisions checked in its package before anything
// changes (package/model_check.h), each file named as the mod lists it.
#include <string>
#include <vector>

#include "core/block_file.h"
#include "core/errors.h"
#include "package/package.h"
#include "script/install_items.h"

namespace merva {

// A file of the mod the game cannot read: nothing was changed.
class EModFileRefused : public Exception {
 public:
  using Exception::Exception;
};

// Raises EModFileRefused for the first file the game cannot read; gives the warnings, one per
// file ("infernus.dff: it was made with RenderWare 3.4.0.3, ...").
std::vector<std::string> CheckModFiles(TBlockFile& package, const TPackageIndex& index,
                                       const TInstallItems& items);

// The words a front end puts before the warnings.
extern const char kModFilesWarningText[];
// The warnings as one notice: those words, then the first 20 warnings a line each, and how many
// more there are (a box of thousands of lines helps nobody; plan names them all).
std::string ModFilesWarning(const std::vector<std::string>& warnings);

}  // namespace merva
