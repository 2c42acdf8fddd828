#pragma once
// The bytes of an archive while it changes. The put, the directory rewrite and the compaction
// write through this interface, so one piece of code changes a real file (merva-img) or plans a
// new archive in memory (the installation), and both give the same bytes.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/block_file.h"

namespace merva {

// Where a run of an archive's bytes comes from.
struct TPiece {
  enum TKind : uint8_t { kArchive, kFile, kZeros, kLiteral };
  TKind Source;
  int64_t From;  // byte position in the old archive, the file or the literal bytes
  int64_t Length;
  TBlockFile* File = nullptr;  // for kFile: a package, or a file kept by a restore point
};

// A file to put into the archive: `Length` bytes of `File` from `Position`. A plan reads the file
// again when it writes the new archive, so it must stay open until then.
struct TPutSource {
  TBlockFile& File;
  int64_t Position;
  int64_t Length;
};

class IArchiveBody {
 public:
  virtual ~IArchiveBody() = default;
  virtual int64_t Length() = 0;
  virtual void WriteBytes(int64_t at, const void* data, uint32_t size) = 0;
  virtual void WriteZeros(int64_t at, int64_t count) = 0;
  // Writes the source at `at`, then zeros to the end of its last sector.
  virtual void WriteSource(int64_t at, const TPutSource& source) = 0;
  // Copies `sectors` whole sectors from `from` to `to`, one after another as a move does: bytes
  // past the end read as zeros, and a sector copied before may be read again.
  virtual void MoveSectors(int64_t from, int64_t to, int64_t sectors) = 0;
  // Appends to `out` the pieces of [at, at + count), which lies inside the body.
  virtual void Pieces(int64_t at, int64_t count, std::vector<TPiece>& out) = 0;
  // Writes a piece at the target's position.
  virtual void CopyPiece(const TPiece& piece, TBlockFile& target) = 0;
  // Hands a piece's bytes to `take`, part by part; what lies past the end of its file reads as
  // zeros, as the compaction writes it.
  virtual void ReadPiece(const TPiece& piece,
                         const std::function<void(const char*, size_t)>& take) = 0;
};

// The fingerprint (core/fingerprint.h) of `count` bytes of the body from `at`: an entry's sectors
// as they lie in the archive, planned or written.
std::string BodyFingerprint(IArchiveBody& body, int64_t at, int64_t count);

// The archive file itself: every write goes to the disk at once.
class TFileBody : public IArchiveBody {
 public:
  explicit TFileBody(TBlockFile& archive) : archive_(archive) {}
  int64_t Length() override { return archive_.Size(); }
  void WriteBytes(int64_t at, const void* data, uint32_t size) override;
  void WriteZeros(int64_t at, int64_t count) override;
  void WriteSource(int64_t at, const TPutSource& source) override;
  void MoveSectors(int64_t from, int64_t to, int64_t sectors) override;
  void Pieces(int64_t at, int64_t count, std::vector<TPiece>& out) override;
  void CopyPiece(const TPiece& piece, TBlockFile& target) override;
  void ReadPiece(const TPiece& piece,
                 const std::function<void(const char*, size_t)>& take) override;

 private:
  TBlockFile& archive_;
};

// A new archive planned in memory: a map of pieces over the old archive, the files put in,
// zeros and the few bytes (header, directory entries) written from memory. Nothing is written
// until the plan is copied out.
class TPlannedBody : public IArchiveBody {
 public:
  TPlannedBody(TBlockFile& oldArchive, int64_t oldLength);
  int64_t Length() override { return length_; }
  void WriteBytes(int64_t at, const void* data, uint32_t size) override;
  void WriteZeros(int64_t at, int64_t count) override;
  void WriteSource(int64_t at, const TPutSource& source) override;
  void MoveSectors(int64_t from, int64_t to, int64_t sectors) override;
  void Pieces(int64_t at, int64_t count, std::vector<TPiece>& out) override;
  void CopyPiece(const TPiece& piece, TBlockFile& target) override;
  void ReadPiece(const TPiece& piece,
                 const std::function<void(const char*, size_t)>& take) override;

 private:
  void Place(int64_t at, TPiece piece);
  void SplitAt(int64_t at);
  TBlockFile& oldArchive_;
  std::map<int64_t, TPiece> pieces_;  // by position; they cover [0, length_) without gaps
  int64_t length_;
  std::string literal_;
};

// Appends a piece, joined to the last one when it continues it.
void AppendPiece(std::vector<TPiece>& pieces, const TPiece& piece);

}  // namespace merva
