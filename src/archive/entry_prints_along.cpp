#include "archive/entry_prints_along.h"

#include <algorithm>

#include "archive/sectors.h"

namespace merva {

bool TEntryPrintsAlong::Overlaps(const TByPosition& file, int64_t from, int64_t length) const {
  auto next = file.lower_bound(from);
  if (next != file.end() && next->first < from + length) return true;
  if (next == file.begin()) return false;
  --next;
  return next->first + next->second.Length > from;
}

size_t TEntryPrintsAlong::Add(const TArchiveEntry& entry) {
  const size_t number = prints_.size();
  prints_.emplace_back();
  const int64_t start = EntryStart(entry), bytes = EntryBytes(entry);
  std::vector<TPiece> pieces;
  if (start + bytes <= plan_.Length()) plan_.Pieces(start, bytes, pieces);
  const bool oneRun = !pieces.empty() && pieces.size() <= 2 && pieces[0].Source == TPiece::kFile &&
                      pieces[0].File && (pieces.size() == 1 || pieces[1].Source == TPiece::kZeros);
  // Two entries of the same bytes would each need them handed over: the second is read at once.
  if (oneRun && !Overlaps(waiting_[pieces[0].File], pieces[0].From, pieces[0].Length)) {
    TWaiting waiting{number, entry, pieces[0].Length, bytes - pieces[0].Length, 0, false, {}};
    waiting_[pieces[0].File].emplace(pieces[0].From, std::move(waiting));
  } else {
    prints_[number] = BodyFingerprint(plan_, start, bytes);
  }
  return number;
}

template <typename Each>
void TEntryPrintsAlong::ForOverlapping(const TPiece& piece, int64_t at, int64_t size, Each each) {
  if (piece.Source != TPiece::kFile) return;
  const auto file = waiting_.find(piece.File);
  if (file == waiting_.end()) return;
  TByPosition& entries = file->second;
  auto it = entries.upper_bound(at);
  if (it != entries.begin()) --it;
  for (; it != entries.end() && it->first < at + size; ++it)
    if (it->first + it->second.Length > at) each(it->first, it->second);
}

bool TEntryPrintsAlong::Wants(const TPiece& piece) {
  bool wanted = false;
  ForOverlapping(piece, piece.From, piece.Length, [&](int64_t, const TWaiting& entry) {
    wanted = wanted || (!entry.Missed && entry.Taken < entry.Length);
  });
  return wanted;
}

void TEntryPrintsAlong::Read(const TPiece& piece, int64_t at, const char* data, size_t size) {
  const auto end = at + static_cast<int64_t>(size);
  ForOverlapping(piece, at, end - at, [&](int64_t from, TWaiting& entry) {
    if (entry.Missed || entry.Taken == entry.Length) return;  // done, or left for the end
    const int64_t next = from + entry.Taken;
    if (at > next) {
      entry.Missed = true;
      entry.Hash.reset();
      return;
    }
    const int64_t upTo = std::min(end, from + entry.Length);
    if (upTo <= next) return;  // bytes it already has, read again
    if (!entry.Hash) entry.Hash = std::make_unique<TFingerprint>();
    entry.Hash->Update(data + (next - at), static_cast<size_t>(upTo - next));
    entry.Taken = upTo - from;
    if (entry.Taken < entry.Length) return;
    static const char zeros[kSector] = {};
    for (int64_t left = entry.Zeros; left > 0; left -= kSector)
      entry.Hash->Update(zeros, static_cast<size_t>(std::min(left, kSector)));
    prints_[entry.Number] = entry.Hash->HexDigest();
    entry.Hash.reset();
  });
}

void TEntryPrintsAlong::Finish() {
  for (auto& [file, entries] : waiting_)
    for (auto& [from, entry] : entries)
      if (entry.Missed || entry.Taken < entry.Length)
        prints_[entry.Number] =
            BodyFingerprint(plan_, EntryStart(entry.Entry), EntryBytes(entry.Entry));
  waiting_.clear();
}

}  // namespace merva
