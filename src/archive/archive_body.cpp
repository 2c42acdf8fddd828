#include "archive/archive_body.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "archive/archive.h"
#include "archive/sectors.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"

namespace merva {

namespace {

constexpr int64_t kReadPart = 1 << 20;

// Hands `count` bytes of `file` from `position` to `take` in parts; past its end, zeros.
void ReadRange(TBlockFile& file, int64_t position, int64_t count,
               const std::function<void(const char*, size_t)>& take) {
  std::vector<char> buffer(static_cast<size_t>(std::min(count, kReadPart)));
  file.Seek(position);
  while (count > 0) {
    const uint32_t want = static_cast<uint32_t>(std::min<int64_t>(count, kReadPart));
    const uint32_t got = file.ReadCounted(buffer.data(), want);
    std::fill(buffer.begin() + got, buffer.begin() + want, '\0');
    take(buffer.data(), want);
    count -= want;
  }
}

void ReadZeros(int64_t count, const std::function<void(const char*, size_t)>& take) {
  const std::vector<char> zeros(
      static_cast<size_t>(std::min(std::max<int64_t>(count, 0), kReadPart)));
  for (; count > 0; count -= kReadPart)
    take(zeros.data(), static_cast<size_t>(std::min(count, kReadPart)));
}

}  // namespace

namespace {
// The system's error for a seek before the start of a file, as a real move meets it.
constexpr int kNegativeSeek = 131;

void CopyRange(TBlockFile& source, int64_t from, TBlockFile& target, int64_t count) {
  source.Seek(from);
  CopyExact(source, target, count);
}
}  // namespace

void AppendPiece(std::vector<TPiece>& pieces, const TPiece& piece) {
  if (piece.Length <= 0) return;
  if (!pieces.empty()) {
    TPiece& last = pieces.back();
    const bool continues =
        last.Source == piece.Source && last.File == piece.File &&
        (piece.Source == TPiece::kZeros || last.From + last.Length == piece.From);
    if (continues) {
      last.Length += piece.Length;
      return;
    }
  }
  pieces.push_back(piece);
}

// --- the file itself ---

void TFileBody::WriteBytes(int64_t at, const void* data, uint32_t size) {
  archive_.Seek(at);
  archive_.WriteExact(data, size);
}

void TFileBody::WriteZeros(int64_t at, int64_t count) {
  archive_.Seek(at);
  merva::WriteZeros(archive_, count);
}

void TFileBody::WriteSource(int64_t at, const TPutSource& source) {
  archive_.Seek(at);
  source.File.Seek(source.Position);
  CopyExact(source.File, archive_, source.Length);
  const int64_t tail = source.Length % kSector;
  if (tail != 0) merva::WriteZeros(archive_, kSector - tail);
}

void TFileBody::MoveSectors(int64_t from, int64_t to, int64_t sectors) {
  uint8_t block[kSector];
  for (int64_t s = 0; s < sectors; ++s) {
    archive_.Seek(from + SectorBytes(s));
    const uint32_t got = archive_.ReadCounted(block, kSector);
    // Data missing at the end of a damaged archive is written as zeros, so every moved entry
    // still fills the whole sectors its directory entry records.
    std::memset(block + got, 0, kSector - got);
    archive_.Seek(to + SectorBytes(s));
    archive_.WriteExact(block, kSector);
  }
}

void TFileBody::Pieces(int64_t at, int64_t count, std::vector<TPiece>& out) {
  AppendPiece(out, {TPiece::kArchive, at, count});
}

void TFileBody::CopyPiece(const TPiece& piece, TBlockFile& target) {
  if (piece.Source == TPiece::kZeros) return merva::WriteZeros(target, piece.Length);
  if (piece.Source != TPiece::kArchive) throw std::logic_error("a file holds only its own bytes");
  CopyRange(archive_, piece.From, target, piece.Length);
}

void TFileBody::ReadPiece(const TPiece& piece,
                          const std::function<void(const char*, size_t)>& take) {
  if (piece.Source == TPiece::kZeros) return ReadZeros(piece.Length, take);
  ReadRange(archive_, piece.From, piece.Length, take);
}

// --- the plan ---

TPlannedBody::TPlannedBody(TBlockFile& oldArchive, int64_t oldLength)
    : oldArchive_(oldArchive), length_(oldLength) {
  if (oldLength > 0) pieces_.emplace(0, TPiece{TPiece::kArchive, 0, oldLength});
}

void TPlannedBody::SplitAt(int64_t at) {
  if (at <= 0 || at >= length_) return;
  auto it = pieces_.upper_bound(at);
  --it;  // the piece holding `at`
  if (it->first == at) return;
  TPiece& left = it->second;
  const int64_t cut = at - it->first;
  TPiece right = left;
  right.Length = left.Length - cut;
  if (right.Source != TPiece::kZeros) right.From += cut;
  left.Length = cut;
  pieces_.emplace(at, right);
}

void TPlannedBody::Place(int64_t at, TPiece piece) {
  if (piece.Length <= 0) return;
  if (at > length_) Place(length_, {TPiece::kZeros, 0, at - length_});  // a hole reads as zeros
  if (at == length_) {  // growing at the end, as most writes of a put do
    auto last = pieces_.empty() ? pieces_.end() : std::prev(pieces_.end());
    if (last != pieces_.end() && last->second.Source == piece.Source &&
        last->second.File == piece.File &&
        (piece.Source == TPiece::kZeros || last->second.From + last->second.Length == piece.From)) {
      last->second.Length += piece.Length;
    } else {
      pieces_.emplace_hint(pieces_.end(), at, piece);
    }
    length_ += piece.Length;
    return;
  }
  const int64_t end = at + piece.Length;
  SplitAt(at);
  SplitAt(end);
  pieces_.erase(pieces_.lower_bound(at), pieces_.lower_bound(end));
  pieces_.emplace(at, piece);
  length_ = std::max(length_, end);
}

void TPlannedBody::WriteBytes(int64_t at, const void* data, uint32_t size) {
  const auto from = static_cast<int64_t>(literal_.size());
  literal_.append(static_cast<const char*>(data), size);
  Place(at, {TPiece::kLiteral, from, size});
}

void TPlannedBody::WriteZeros(int64_t at, int64_t count) {
  Place(at, {TPiece::kZeros, 0, count});
}

void TPlannedBody::WriteSource(int64_t at, const TPutSource& source) {
  Place(at, {TPiece::kFile, source.Position, source.Length, &source.File});
  const int64_t tail = source.Length % kSector;
  if (tail != 0) WriteZeros(at + source.Length, kSector - tail);
}

void TPlannedBody::MoveSectors(int64_t from, int64_t to, int64_t sectors) {
  if (sectors <= 0) return;
  if (from < 0) throw EInOutError(kNegativeSeek, oldArchive_.Path());
  const int64_t bytes = SectorBytes(sectors);
  const int64_t period = to - from;
  if (to == length_ && period >= 0 && period % kSector == 0) {
    // A move writes at the end, each sector after the one before it, so a sector that lies past
    // where the move began is read back from the move's own copy: the moved bytes repeat
    // [from, to) over and over, and nothing at all is there to read when the two meet.
    if (period == 0) return WriteZeros(to, bytes);
    std::vector<TPiece> pattern;
    Pieces(from, std::min(period, bytes), pattern);
    for (int64_t done = 0; done < bytes; done += period) {
      int64_t at = to + done, left = std::min(period, bytes - done);
      for (TPiece part : pattern) {
        if (left <= 0) break;
        part.Length = std::min(part.Length, left);
        Place(at, part);
        at += part.Length;
        left -= part.Length;
      }
    }
    return;
  }
  // Any other move, sector by sector as the file would see it.
  std::vector<TPiece> moved;
  for (int64_t s = 0; s < sectors; ++s) {
    const int64_t start = from + SectorBytes(s);
    const int64_t present = std::max<int64_t>(0, std::min(kSector, length_ - start));
    moved.clear();
    if (present > 0) Pieces(start, present, moved);
    AppendPiece(moved, {TPiece::kZeros, 0, kSector - present});
    int64_t at = to + SectorBytes(s);
    for (const TPiece& piece : moved) {
      Place(at, piece);
      at += piece.Length;
    }
  }
}

void TPlannedBody::Pieces(int64_t at, int64_t count, std::vector<TPiece>& out) {
  if (count <= 0) return;
  auto it = pieces_.upper_bound(at);
  --it;
  int64_t position = at;
  const int64_t end = at + count;
  for (; position < end && it != pieces_.end(); ++it) {
    const int64_t start = it->first;
    const TPiece& piece = it->second;
    const int64_t skip = position - start;
    const int64_t take = std::min(piece.Length - skip, end - position);
    TPiece part = piece;
    if (part.Source != TPiece::kZeros) part.From += skip;
    part.Length = take;
    AppendPiece(out, part);
    position += take;
  }
}

void TPlannedBody::ReadPiece(const TPiece& piece,
                             const std::function<void(const char*, size_t)>& take) {
  switch (piece.Source) {
    case TPiece::kArchive:
      return ReadRange(oldArchive_, piece.From, piece.Length, take);
    case TPiece::kFile:
      return ReadRange(*piece.File, piece.From, piece.Length, take);
    case TPiece::kZeros:
      return ReadZeros(piece.Length, take);
    case TPiece::kLiteral:
      return take(literal_.data() + piece.From, static_cast<size_t>(piece.Length));
  }
}

std::string BodyFingerprint(IArchiveBody& body, int64_t at, int64_t count) {
  std::vector<TPiece> pieces;
  const int64_t inside = std::max<int64_t>(0, std::min(count, body.Length() - at));
  body.Pieces(at, inside, pieces);
  TFingerprint print;
  const auto take = [&print](const char* data, size_t size) { print.Update(data, size); };
  for (const TPiece& piece : pieces) body.ReadPiece(piece, take);
  ReadZeros(count - inside, take);  // past the end: zeros, as the compaction writes them
  return print.HexDigest();
}

void TPlannedBody::CopyPiece(const TPiece& piece, TBlockFile& target) {
  switch (piece.Source) {
    case TPiece::kArchive:
      return CopyRange(oldArchive_, piece.From, target, piece.Length);
    case TPiece::kFile:
      return CopyRange(*piece.File, piece.From, target, piece.Length);
    case TPiece::kZeros:
      return merva::WriteZeros(target, piece.Length);
    case TPiece::kLiteral:
      return target.WriteExact(literal_.data() + piece.From, static_cast<uint32_t>(piece.Length));
  }
}

}  // namespace merva
