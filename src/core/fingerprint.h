#pragma once
// The fingerprint of a file: XXH3-128 from Debian's libxxhash (header only, so both builds
// carry the same code). It tells a file changed by accident or by another program from the one
// recorded, at the speed of reading it; it is no seal against someone who means to forge it,
// who could as well write the record.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "core/block_file.h"

namespace merva {

class TFingerprint {
 public:
  TFingerprint();
  ~TFingerprint();
  TFingerprint(const TFingerprint&) = delete;
  TFingerprint& operator=(const TFingerprint&) = delete;
  void Update(const void* data, size_t size);
  // 32 lower-case hex digits; more may be added after it.
  std::string HexDigest() const;

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

// The fingerprint of `count` bytes of a file from `position`, read in 1 MiB parts;
// `betweenParts` runs after each. A file shorter than that gives the fingerprint of what is
// there.
std::string FileFingerprint(TBlockFile& file, int64_t position, int64_t count,
                            const std::function<void()>& betweenParts = nullptr);

}  // namespace merva
