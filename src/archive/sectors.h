#pragma once
// The archive's unit, the 2048-byte sector, and the limit its signed positions set.
#include <cstdint>

#include "core/errors.h"

namespace merva {

// An archive would grow past 2 GB: the caller, who knows which archive, may tell it so.
class EArchiveTooLarge : public Exception {
 public:
  using Exception::Exception;
};

// Raises EArchiveTooLarge when an archive would grow to `length` bytes, past what its signed
// positions can hold.
void CheckArchiveLength(int64_t length);
// Sectors needed for `bytes` bytes.
int64_t SectorsFor(int64_t bytes);

}  // namespace merva
