#pragma once
// Block copies shared by the archive operations. Data moves through one fixed buffer, so memory
// never grows with the size of a file.
#include <cstdint>

#include "core/block_file.h"

namespace merva {

// Copies the whole source from its position to the target's position and pads the last partial
// sector with zeros. Returns the sectors written.
int32_t CopyFileAsSectors(TBlockFile& source, TBlockFile& target);
// Copies `bytes` from the source's position to the target's position, exact both ways.
void CopyExact(TBlockFile& source, TBlockFile& target, int64_t bytes);
// Writes `count` zero bytes.
void WriteZeros(TBlockFile& target, int64_t count);
// Pads the file with zeros to a whole number of sectors, so that data written at its end starts
// exactly at the sector recorded for it. Returns the new length.
int64_t PadToSector(TBlockFile& file);
// Raises when an archive would grow to `length` bytes, past what its signed positions can hold.
void CheckArchiveLength(int64_t length);
// Sectors needed for `bytes` bytes.
int64_t SectorsFor(int64_t bytes);

}  // namespace merva
