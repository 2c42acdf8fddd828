#include "archive/sectors.h"

#include "archive/archive.h"
#include "core/errors.h"

namespace merva {

int64_t SectorsFor(int64_t bytes) {
  return (bytes + kSector - 1) / kSector;
}

void CheckArchiveLength(int64_t length) {
  if (length > kArchiveLimit)
    throw EArchiveTooLarge(
        "The game archive would grow past 2 GB, which the game cannot read; "
        "nothing more was written to it");
}

}  // namespace merva
