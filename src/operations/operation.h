#pragma once
// What an operation (an installation, an undo) reaches the world through. The wizard and the
// tools put in their own: boxes or lines for notices, a window's bar or a terminal's for the
// progress, the registry where there is one.
#include "core/errors.h"
#include "core/file_system.h"
#include "core/platform.h"
#include "core/progress.h"

namespace merva {

struct TOperationServices {
  IFileSystem& Files;
  INotices& Notices;
  IProgress& Progress;
  IRegistry* Registry = nullptr;  // null where there is none: the level value is left alone
  // The player's list of installed programs: an installation with a restore point is listed
  // there, and leaves it with its point. Null where there is none.
  IInstalledApps* Apps = nullptr;
};

}  // namespace merva
