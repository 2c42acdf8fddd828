#include "core/fingerprint.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <vector>

namespace merva {

struct TFingerprint::TState {
  XXH3_state_t xxh;
};

TFingerprint::TFingerprint() : state_(std::make_unique<TState>()) {
  XXH3_128bits_reset(&state_->xxh);
}

TFingerprint::~TFingerprint() = default;

void TFingerprint::Update(const void* data, size_t size) {
  XXH3_128bits_update(&state_->xxh, data, size);
}

std::string TFingerprint::HexDigest() const {
  const XXH128_hash_t hash = XXH3_128bits_digest(&state_->xxh);
  char text[33];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                static_cast<unsigned long long>(hash.low64));
  return text;
}

std::string FileFingerprint(TBlockFile& file, int64_t position, int64_t count,
                            const std::function<void()>& betweenParts) {
  TFingerprint fingerprint;
  std::vector<char> buffer(1 << 20);
  file.Seek(position);
  while (count > 0) {
    const auto part = static_cast<uint32_t>(std::min<int64_t>(count, buffer.size()));
    const uint32_t read = file.ReadCounted(buffer.data(), part);
    if (read == 0) break;
    fingerprint.Update(buffer.data(), read);
    count -= read;
    if (betweenParts) betweenParts();
  }
  return fingerprint.HexDigest();
}

}  // namespace merva
