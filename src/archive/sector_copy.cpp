#include "archive/sector_copy.h"

#include <algorithm>
#include <array>

#include "archive/archive.h"
#include "core/errors.h"

namespace merva {

namespace {
// Larger than a sector for speed; the result is the same as copying sector by sector.
constexpr uint32_t kBufferBytes = 64 * 1024;
thread_local std::array<uint8_t, kBufferBytes> buffer;
const std::array<uint8_t, kSector> kZeros{};
}  // namespace

int64_t SectorsFor(int64_t bytes) {
  return (bytes + kSector - 1) / kSector;
}

void CopyExact(TBlockFile& source, TBlockFile& target, int64_t bytes) {
  while (bytes > 0) {
    const auto n = static_cast<uint32_t>(std::min<int64_t>(bytes, kBufferBytes));
    source.ReadExact(buffer.data(), n);
    target.WriteExact(buffer.data(), n);
    bytes -= n;
  }
}

void WriteZeros(TBlockFile& target, int64_t count) {
  while (count > 0) {
    const auto n = static_cast<uint32_t>(std::min<int64_t>(count, kSector));
    target.WriteExact(kZeros.data(), n);
    count -= n;
  }
}

void CheckArchiveLength(int64_t length) {
  if (length > kArchiveLimit)
    throw Exception(
        "The game archive would grow past 2 GB, which the game cannot read; "
        "nothing more was written to it");
}

}  // namespace merva
