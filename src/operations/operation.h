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
};

}  // namespace merva
