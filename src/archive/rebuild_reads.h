#pragma once
// What else needs the bytes a rebuild reads. The rebuild reads each of its sources front to back
// (the old archive, each file put in, each kept file), so whoever needs the same bytes (the
// restore point's copy of the replaced entries, a fingerprint of a source) takes them as they go
// by: a file that is on the disk and not in memory is read from it once.
#include <cstddef>
#include <cstdint>

#include "archive/archive_body.h"

namespace merva {

class IRebuildReads {
 public:
  virtual ~IRebuildReads() = default;
  // Before a part of `piece` is read; `piece.From` is where the part starts in its source.
  virtual void Before(const TPiece& piece) = 0;
  // Whether the bytes of `piece` are wanted: the rebuild then reads them itself and hands them
  // to Read, instead of having the system copy them unseen.
  virtual bool Wants(const TPiece& piece) = 0;
  // `size` bytes of the source of `piece`, from `at` in it.
  virtual void Read(const TPiece& piece, int64_t at, const char* data, size_t size) = 0;
  // Once every byte is read.
  virtual void Finished() = 0;
};

}  // namespace merva
