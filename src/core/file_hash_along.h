#pragma once
// The hash of a whole file that another reader reads most of: what that reader reads where the
// hashed part ends is hashed as it goes by, and the rest is read here, front to back, so that a
// file on the disk and not in memory is read from it once. Bytes handed over again, or behind
// the hashed part, are left out: every byte of the file is hashed once, in order.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/block_file.h"

namespace merva {

class TFileHashAlong {
 public:
  using TUpdate = std::function<void(const char*, size_t)>;
  // Hashes the first `size` bytes of `file` into `update`.
  TFileHashAlong(TBlockFile& file, int64_t size, TUpdate update);
  // `count` bytes of the file from `at`, read by the other reader.
  void Take(int64_t at, const char* data, size_t count);
  // Reads itself what lies before `position` and is not hashed yet (before the other reader
  // reads from there, so that the file is read in order).
  void ReadUpTo(int64_t position);
  // Reads one more part itself; false once the whole file is hashed.
  bool Step();
  // Reads what is left.
  void Finish();
  int64_t Hashed() const { return hashed_; }

 private:
  TBlockFile& file_;
  int64_t size_;
  TUpdate update_;
  int64_t hashed_ = 0;
  std::vector<char> buffer_;
};

}  // namespace merva
