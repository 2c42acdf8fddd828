#pragma once
// The game's own archive kind, "VER2": an 8-byte header (the tag and the entry count), then the
// directory.
#include "archive/archive_kind.h"

namespace merva {

const IArchiveKind& Ver2Kind();

}  // namespace merva
