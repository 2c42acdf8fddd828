#pragma once
// The fingerprints (BodyFingerprint) of entries of a planned archive whose bytes come from a file
// put in, a mod's file in its package: each is taken from the bytes the rebuild reads of that
// file, so that a package on the disk and not in memory is read from it once. An entry that is
// not one run of such a file and its zeros is read from the plan when it is added, as
// BodyFingerprint reads it; one whose bytes the rebuild did not hand over whole and in order, at
// the end.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_body.h"
#include "core/fingerprint.h"

namespace merva {

class TEntryPrintsAlong {
 public:
  explicit TEntryPrintsAlong(IArchiveBody& plan) : plan_(plan) {}
  // An entry of the plan whose fingerprint is wanted; its number for Fingerprint.
  size_t Add(const TArchiveEntry& entry);
  // Whether the rebuild should hand over the bytes of `piece`: some entry still waits for them.
  bool Wants(const TPiece& piece);
  // `size` bytes of the file of `piece`, from `at` in it, as the rebuild read them.
  void Read(const TPiece& piece, int64_t at, const char* data, size_t size);
  // Reads from the plan every fingerprint the rebuild's reading did not give.
  void Finish();
  // Once finished.
  const std::string& Fingerprint(size_t number) const { return prints_[number]; }

 private:
  // An entry that is `Length` bytes of a file from where it is keyed, then `Zeros` zeros.
  struct TWaiting {
    size_t Number;
    TArchiveEntry Entry;
    int64_t Length, Zeros;
    int64_t Taken = 0;    // bytes hashed, in order
    bool Missed = false;  // bytes went by before their turn: read from the plan at the end
    std::unique_ptr<TFingerprint> Hash;  // only while its bytes go by
  };
  using TByPosition = std::map<int64_t, TWaiting>;
  template <typename Each>
  void ForOverlapping(const TPiece& piece, int64_t at, int64_t size, Each each);
  bool Overlaps(const TByPosition& file, int64_t from, int64_t length) const;

  IArchiveBody& plan_;
  std::vector<std::string> prints_;
  // The waiting entries of each file, by where their bytes start in it; they do not overlap.
  std::map<const TBlockFile*, TByPosition> waiting_;
};

}  // namespace merva
