#pragma once
// SHA-256 from libgcrypt, linked into both builds: a restore point names the archive it belongs
// to by its hash, and a gigabyte must hash in well under a second (Wine's own BCrypt takes
// four).
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "core/block_file.h"

namespace merva {

class TSha256 {
 public:
  TSha256();
  ~TSha256();
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;
  void Update(const void* data, size_t size);
  // The digest in 64 lower-case hex digits; the hash is finished.
  std::string HexDigest();

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

// The SHA-256 of a whole file from its start, read in 1 MiB parts; `betweenParts` runs after
// each, so a window goes on answering.
std::string FileSha256(TBlockFile& file, const std::function<void()>& betweenParts = nullptr);

}  // namespace merva
