#include "archive/sector_copy.h"

#include <algorithm>
#include <array>
#include <vector>

#include "archive/archive.h"
#include "core/errors.h"

namespace merva {

namespace {
// Large enough that a rebuild costs about what a plain copy of the archive costs, small enough
// to keep memory flat whatever the archive's size; the result is the same as copying sector by
// sector.
constexpr uint32_t kBufferBytes = 1 << 20;
const std::array<uint8_t, kSector> kZeros{};
}  // namespace

int64_t SectorsFor(int64_t bytes) {
  return (bytes + kSector - 1) / kSector;
}

void CopyExact(TBlockFile& source, TBlockFile& target, int64_t bytes) {
  if (target.CopyFrom(source, bytes)) return;  // inside the system, where it can
  thread_local std::vector<uint8_t> buffer;
  buffer.resize(kBufferBytes);
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
