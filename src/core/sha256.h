#pragma once
// SHA-256 from libgcrypt, linked into both builds. Restore points of earlier layouts name the
// archive they belong to by its SHA-256 (newer ones by the fingerprint of core/fingerprint.h),
// so an undo of such a point still hashes the archive this way; a gigabyte hashes in well under
// a second here, where Wine's own BCrypt takes four.
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
