#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_file.h"
#include "archive/archive_kind.h"
#include "archive/rebuild_reads.h"
#include "archive/sectors.h"
#include "core/background_flush.h"
#include "core/block_file.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"

namespace merva {

namespace {

// Runs are copied in parts of this size, between which the progress is told.
constexpr int64_t kCopyPart = 1 << 20;

// Sends what was written to the disk while the rest is still being written, each time another
// kFlushEvery bytes are out: the last flush then has little left to do.
class TFlushWhileWriting {
 public:
  TFlushWhileWriting(TBlockFile& file, IProgress& progress) : file_(file), progress_(progress) {}

  void Written(int64_t total) {
    if (total < next_) return;
    next_ = total + kFlushEvery;
    if (flush_.Running()) return;  // the one before is still at it: the next one catches up
    flush_.Wait(progress_);        // a flush that failed fails the writing
    flush_.Start(file_);
  }
  // The last flush, once everything is written: the file is on the disk when it returns.
  // `meanwhile` works in parts while the disk is busy (TBackgroundFlush::Wait).
  void Finish(const std::function<bool()>& meanwhile) {
    flush_.Wait(progress_);
    flush_.Start(file_);
    flush_.Wait(progress_, meanwhile);
  }

 private:
  static constexpr int64_t kFlushEvery = int64_t{128} << 20;
  TBlockFile& file_;
  IProgress& progress_;
  TBackgroundFlush flush_;
  int64_t next_ = kFlushEvery;
};

// The fingerprint of the new file, following the writer. What the program writes while every
// byte before it is hashed is hashed as it goes by (under Windows every copy goes through the
// program). The rest (what the system copied without the program seeing it, and all that follows
// it) is read back from the page cache while the disk takes the finished file: the hash then
// costs the run no time of its own where the disk is the slower.
class TReadBackFingerprint {
 public:
  TReadBackFingerprint(IFileSystem& fs, const std::string& path)
      : reader_(TBlockFile::OpenReadOnly(fs, path)), buffer_(static_cast<size_t>(kCopyPart)) {}
  // Bytes the program wrote at `at`.
  void Written(int64_t at, const void* data, uint32_t count) {
    if (at != hashed_ || front_ != hashed_) return;  // Covered tells of them; read back later
    hash_.Update(data, count);
    hashed_ = front_ = at + count;
  }
  // [at, at + count) is written, seen by the program or not. Every byte is written once.
  void Covered(int64_t at, int64_t count) {
    if (at + count > front_) ahead_[at] = at + count;
    for (auto it = ahead_.begin(); it != ahead_.end() && it->first <= front_; it = ahead_.erase(it))
      front_ = std::max(front_, it->second);
  }
  // Once everything is written: reads back one part; false when nothing is left to read.
  bool ReadBackPart() {
    if (hashed_ >= front_) return false;
    const auto part = static_cast<uint32_t>(std::min<int64_t>(front_ - hashed_, kCopyPart));
    if (reader_.ReadCountedAt(hashed_, buffer_.data(), part) != part)
      throw EInOutError(kReadBeyondEnd, reader_.Path());
    hash_.Update(buffer_.data(), part);
    hashed_ += part;
    return true;
  }
  std::string Finish() {
    while (ReadBackPart()) {
    }
    reader_.Close();
    return hash_.HexDigest();
  }

 private:
  TBlockFile reader_;
  std::vector<char> buffer_;
  TFingerprint hash_;
  int64_t hashed_ = 0;                // bytes hashed, from the start
  int64_t front_ = 0;                 // bytes written from the start without a gap
  std::map<int64_t, int64_t> ahead_;  // written ranges past the front: start to end
};

// A run of the new archive's data and where it goes.
struct TPlacedRun {
  TPiece Piece;
  int64_t To;
};

// The compacted archive before a byte of it is written: its directory, and the runs of data in
// the order they are copied. Data that lay side by side stays one run however many entries it
// holds.
struct TCompactionPlan {
  int32_t First = 0;  // the first data sector
  std::vector<TArchiveEntry> Directory;
  std::vector<int64_t> EntryEnds;  // where each entry's data ends in the new file
  std::vector<TPlacedRun> Runs;
};

// A player's archive is on the disk, not in memory, and the new directory's order need not be
// the order its data lies in (an undo gives the directory its old order back, a compaction
// keeps any order, the restore point keeps entries in the mod's order): reading in the
// directory's order would seek all over the file. So each source is read front to back: the runs
// are copied in the order of where their bytes lie in their source (the old archive first, then
// each file in the order it is first met), each written in its place with the zeros and few literal
// bytes that follow it in the new file.
std::vector<TPlacedRun> InReadingOrder(const std::vector<TPiece>& pieces, int64_t start) {
  struct TGroup {
    int Source;  // -1: zeros or literal bytes before any data, 0: the old archive, then files
    int64_t From;
    size_t Begin, End;
  };
  std::map<const TBlockFile*, int> sourceOf;
  std::vector<TPlacedRun> placed;
  std::vector<TGroup> groups;
  int64_t to = start;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const TPiece& piece = pieces[i];
    placed.push_back({piece, to});
    to += piece.Length;
    const bool data = piece.Source == TPiece::kArchive || piece.Source == TPiece::kFile;
    if (!data && !groups.empty()) {
      groups.back().End = i + 1;
      continue;
    }
    int source = -1;
    if (piece.Source == TPiece::kArchive) source = 0;
    if (piece.Source == TPiece::kFile) {
      const int next = static_cast<int>(sourceOf.size()) + 1;
      source = sourceOf.emplace(piece.File, next).first->second;
    }
    groups.push_back({source, data ? piece.From : 0, i, i + 1});
  }
  std::stable_sort(groups.begin(), groups.end(), [](const TGroup& a, const TGroup& b) {
    return a.Source != b.Source ? a.Source < b.Source : a.From < b.From;
  });
  std::vector<TPlacedRun> runs;
  runs.reserve(placed.size());
  for (const TGroup& group : groups)
    runs.insert(runs.end(), placed.begin() + static_cast<ptrdiff_t>(group.Begin),
                placed.begin() + static_cast<ptrdiff_t>(group.End));
  return runs;
}

// Everything the copy will read must lie inside the archive, and the result must stay within
// the archive's limit: both are known before the file is made.
TCompactionPlan PlanCompaction(TArchiveFile& archive, int32_t firstSector) {
  const TGTA3Archive& state = archive.State();
  IArchiveBody& body = archive.Body();
  const int32_t count = state.EntryCount();
  if (count >= kEntryCountLimit) throw ERangeError();
  const int64_t length = body.Length();
  int64_t dataSectors = 0;
  for (const TArchiveEntry& entry : state.Entries) {
    if (!EntryLiesInside(entry, length)) throw EInOutError(kReadBeyondEnd, archive.File().Path());
    dataSectors += entry.Size;
  }
  TCompactionPlan plan;
  plan.First = CompactionFirstSector(count, firstSector, state.Kind);
  CheckArchiveLength((plan.First + dataSectors) * kSector);
  plan.Directory = state.Entries;
  plan.EntryEnds.resize(static_cast<size_t>(count));
  std::vector<TPiece> pieces;
  int64_t end = SectorBytes(plan.First);
  for (int32_t i = 0; i < count; ++i) {
    const TArchiveEntry& entry = state.Entries[i];
    plan.Directory[i].Offset = static_cast<int32_t>(end / kSector);
    body.Pieces(EntryStart(entry), SectorBytes(entry.Size), pieces);
    end += SectorBytes(entry.Size);
    plan.EntryEnds[i] = end;
  }
  plan.Runs = InReadingOrder(pieces, SectorBytes(plan.First));
  return plan;
}

// The header, the directory and the zeros up to the first data sector (one sector at least).
void WriteHead(TBlockFile& temp, const TGTA3Archive& state, const TCompactionPlan& plan) {
  const std::string header = ArchiveHeader(state);
  temp.WriteExact(header.data(), static_cast<uint32_t>(header.size()));
  const int64_t directoryStart = EntryPosition(state.Kind, 0);
  WriteZeros(temp, directoryStart - static_cast<int64_t>(header.size()));
  const auto count = static_cast<uint32_t>(plan.Directory.size());
  if (count == 0) {
    WriteZeros(temp, kSector - directoryStart);
    return;
  }
  temp.WriteExact(plan.Directory.data(), count * static_cast<uint32_t>(kEntryBytes));
  WriteZeros(temp, SectorBytes(plan.First) - DirectoryEnd(state.Kind, static_cast<int32_t>(count)));
}

// The files put in are read after the old archive: asked for at the start, the disk fetches
// them while the old archive is copied. Side by side runs are asked for together.
void AskForFiles(const TCompactionPlan& plan) {
  TPiece asked{TPiece::kFile, 0, 0, nullptr};
  const auto ask = [&asked] {
    if (asked.File && asked.Length > 0) asked.File->WillRead(asked.From, asked.Length);
  };
  for (const TPlacedRun& run : plan.Runs) {
    const TPiece& piece = run.Piece;
    if (piece.Source != TPiece::kFile || !piece.File) continue;
    if (piece.File == asked.File && piece.From == asked.From + asked.Length) {
      asked.Length += piece.Length;
      continue;
    }
    ask();
    asked = piece;
  }
  ask();
}

// Copies the runs in parts, each in its place; `written` runs after each part with where it
// went, its length and the data bytes written so far. The progress counts an entry for each
// entry's worth of data written.
void WriteRuns(TBlockFile& temp, IArchiveBody& body, const TCompactionPlan& plan,
               IProgress& progress, const std::function<void(int64_t, int64_t, int64_t)>& written,
               IRebuildReads* reads) {
  AskForFiles(plan);
  const int64_t start = SectorBytes(plan.First);
  int64_t total = 0, position = start;
  size_t next = 0;  // the first entry whose worth of data is not yet written
  auto advance = [&] {
    for (; next < plan.EntryEnds.size() && plan.EntryEnds[next] <= start + total; ++next)
      progress.Step();
    progress.Wait();
  };
  advance();
  for (const TPlacedRun& run : plan.Runs) {
    if (run.To != position) temp.Seek(run.To);
    for (int64_t done = 0; done < run.Piece.Length; done += kCopyPart) {
      TPiece part = run.Piece;
      part.Length = std::min(kCopyPart, run.Piece.Length - done);
      if (part.Source != TPiece::kZeros) part.From += done;
      const bool data = part.Source == TPiece::kArchive || part.Source == TPiece::kFile;
      if (reads && data) reads->Before(part);
      if (reads && data && reads->Wants(part)) {
        int64_t at = part.From;
        body.ReadPiece(part, [&](const char* bytes, size_t size) {
          reads->Read(part, at, bytes, size);
          temp.WriteExact(bytes, static_cast<uint32_t>(size));
          at += static_cast<int64_t>(size);
        });
      } else {
        body.CopyPiece(part, temp);
      }
      total += part.Length;
      written(run.To + done, part.Length, total);
      advance();
    }
    position = run.To + run.Piece.Length;
  }
  if (reads) reads->Finished();
}

}  // namespace

int32_t FirstCompactedOffset(int32_t count, TArchiveKind kind) {
  return ArchiveKindOf(kind).FirstDataSector(count);
}

int32_t CompactionFirstSector(int32_t count, int32_t firstSector, TArchiveKind kind) {
  return SectorBytes(firstSector) >= DirectoryEnd(kind, count) && count > 0
             ? firstSector
             : FirstCompactedOffset(count, kind);
}

void WriteCompactedArchive(TArchiveFile& archive, const std::string& tempPath, IProgress& progress,
                           IFileSystem& fs, int32_t firstSector, std::string* fingerprint,
                           const std::function<bool()>& whileFlushing, IRebuildReads* reads) {
  progress.Start(archive.State().EntryCount() - 1);
  const TCompactionPlan plan = PlanCompaction(archive, firstSector);
  TBlockFile temp = TBlockFile::Create(fs, tempPath);
  try {
    std::optional<TReadBackFingerprint> hash;
    if (fingerprint) {
      hash.emplace(fs, tempPath);
      temp.ObserveWrites([&hash](int64_t at, const void* data, uint32_t count) {
        hash->Written(at, data, count);
      });
    }
    TFlushWhileWriting flushing(temp, progress);
    WriteHead(temp, archive.State(), plan);
    if (hash) hash->Covered(0, temp.Size());
    WriteRuns(
        temp, archive.Body(), plan, progress,
        [&](int64_t at, int64_t count, int64_t total) {
          if (hash) hash->Covered(at, count);
          flushing.Written(total);
        },
        reads);
    // On disk before it takes the archive's place; meanwhile the fingerprint reads back what
    // it has not seen, then the caller's own work runs.
    bool hashing = hash.has_value(), callerWorking = static_cast<bool>(whileFlushing);
    flushing.Finish([&] {
      if (hashing && (hashing = hash->ReadBackPart())) return true;
      return callerWorking && (callerWorking = whileFlushing());
    });
    if (hash) *fingerprint = hash->Finish();
    temp.ObserveWrites(nullptr);
    temp.Close();
  } catch (...) {
    temp.ObserveWrites(nullptr);
    if (temp.IsOpen()) {
      try {
        temp.Close();
      } catch (...) {
      }
    }
    fs.DeleteFile(tempPath);
    throw;
  }
}

int64_t CompactedArchiveBytes(const TGTA3Archive& state) {
  int64_t sectors = FirstCompactedOffset(state.EntryCount(), state.Kind);
  for (const TArchiveEntry& entry : state.Entries) sectors += std::max(entry.Size, 0);
  return SectorBytes(sectors);
}

}  // namespace merva
