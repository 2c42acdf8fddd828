#pragma once
// Block copies shared by the archive operations. Data moves through one fixed buffer, so memory
// never grows with the size of a file.
#include <cstdint>

#include "core/block_file.h"

namespace merva {

// Copies `bytes` from the source's position to the target's position, exact both ways: inside
// the system where it can, else through one 1 MiB buffer.
void CopyExact(TBlockFile& source, TBlockFile& target, int64_t bytes);
// Writes `count` zero bytes.
void WriteZeros(TBlockFile& target, int64_t count);
// Raises when an archive would grow to `length` bytes, past what its signed positions can hold.
void CheckArchiveLength(int64_t length);
// Sectors needed for `bytes` bytes.
int64_t SectorsFor(int64_t bytes);

}  // namespace merva
