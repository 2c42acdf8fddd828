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

int32_t CopyFileAsSectors(TBlockFile& source, TBlockFile& target) {
  int64_t total = 0;
  for (;;) {
    const uint32_t n = source.ReadCounted(buffer.data(), kBufferBytes);
    if (n > 0) target.WriteExact(buffer.data(), n);
    total += n;
    if (n < kBufferBytes) break;
  }
  const int64_t tail = total % kSector;
  if (tail != 0) target.WriteExact(kZeros.data(), static_cast<uint32_t>(kSector - tail));
  return static_cast<int32_t>(SectorsFor(total));
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

int64_t PadToSector(TBlockFile& file) {
  const int64_t length = file.Size();
  const int64_t tail = length % kSector;
  if (tail == 0) return length;
  CheckArchiveLength(length + kSector - tail);
  file.Seek(length);
  WriteZeros(file, kSector - tail);
  return length + kSector - tail;
}

void CheckArchiveLength(int64_t length) {
  if (length > kArchiveLimit)
    throw Exception(
        "The game archive would grow past 2 GB, which the game cannot read; "
        "nothing more was written to it");
}

}  // namespace merva
