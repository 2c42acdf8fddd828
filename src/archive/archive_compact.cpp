#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_file.h"
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

// The fingerprint of the new file, following the writer: what the program writes is hashed as it
// goes by (under Windows every copy goes through the program), and what the system copied
// without the program seeing it is read back as soon as it is written, from the page cache.
class TReadBackFingerprint {
 public:
  TReadBackFingerprint(IFileSystem& fs, const std::string& path)
      : reader_(TBlockFile::OpenReadOnly(fs, path)), buffer_(static_cast<size_t>(kCopyPart)) {}
  // Bytes written at `at`; the file is written front to back.
  void Written(int64_t at, const void* data, uint32_t count) {
    UpTo(at);
    if (at != hashed_) {
      backwards_ = true;  // never in a front-to-back write; read back whole at the end
      return;
    }
    hash_.Update(data, count);
    hashed_ += count;
  }
  // Reads back what the program did not see, up to `end`.
  void UpTo(int64_t end) {
    if (hashed_ < end) hashed_ = ReadBack(hash_, hashed_, end);
  }
  std::string Finish() {
    if (backwards_) {
      TFingerprint whole;
      ReadBack(whole, 0, hashed_);
      reader_.Close();
      return whole.HexDigest();
    }
    reader_.Close();
    return hash_.HexDigest();
  }

 private:
  int64_t ReadBack(TFingerprint& hash, int64_t from, int64_t end) {
    reader_.Seek(from);
    while (from < end) {
      const auto part = static_cast<uint32_t>(std::min<int64_t>(end - from, kCopyPart));
      reader_.ReadExact(buffer_.data(), part);
      hash.Update(buffer_.data(), part);
      from += part;
    }
    return from;
  }

  TBlockFile reader_;
  std::vector<char> buffer_;
  TFingerprint hash_;
  int64_t hashed_ = 0;
  bool backwards_ = false;
};

// The compacted archive before a byte of it is written: its directory, and the runs of data in
// the order they are written. Data that lay side by side stays one run however many entries it
// holds.
struct TCompactionPlan {
  int32_t First = 0;  // the first data sector
  std::vector<TArchiveEntry> Directory;
  std::vector<int64_t> EntryEnds;  // where each entry's data ends in the new file
  std::vector<TPiece> Runs;
};

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
  const int64_t directoryEnd = kHeaderBytes + int64_t{count} * kEntryBytes;
  plan.First = int64_t{firstSector} * kSector >= directoryEnd && count > 0
                   ? firstSector
                   : FirstCompactedOffset(count);
  CheckArchiveLength((plan.First + dataSectors) * kSector);
  plan.Directory = state.Entries;
  plan.EntryEnds.resize(static_cast<size_t>(count));
  int64_t end = int64_t{plan.First} * kSector;
  for (int32_t i = 0; i < count; ++i) {
    const TArchiveEntry& entry = state.Entries[i];
    plan.Directory[i].Offset = static_cast<int32_t>(end / kSector);
    body.Pieces(int64_t{entry.Offset} * kSector, int64_t{entry.Size} * kSector, plan.Runs);
    end += int64_t{entry.Size} * kSector;
    plan.EntryEnds[i] = end;
  }
  return plan;
}

// The header, the directory and the zeros up to the first data sector (one sector at least).
void WriteHead(TBlockFile& temp, const TGTA3Archive& state, const TCompactionPlan& plan) {
  const std::array<char, kHeaderBytes> header = ArchiveHeader(state);
  temp.WriteExact(header.data(), static_cast<uint32_t>(header.size()));
  const auto count = static_cast<uint32_t>(plan.Directory.size());
  if (count == 0) {
    WriteZeros(temp, kSector - kHeaderBytes);
    return;
  }
  temp.WriteExact(plan.Directory.data(), count * static_cast<uint32_t>(kEntryBytes));
  WriteZeros(temp, int64_t{plan.First} * kSector - (kHeaderBytes + int64_t{count} * kEntryBytes));
}

// Copies the runs in parts, a step of the progress for every entry wholly written; `written`
// runs after each part with the length so far.
void WriteRuns(TBlockFile& temp, IArchiveBody& body, const TCompactionPlan& plan,
               IProgress& progress, const std::function<void(int64_t)>& written,
               const std::function<void(int64_t)>& beforeArchiveRead) {
  int64_t length = int64_t{plan.First} * kSector;
  size_t next = 0;  // the first entry not yet wholly written
  auto advance = [&] {
    for (; next < plan.EntryEnds.size() && plan.EntryEnds[next] <= length; ++next) progress.Step();
    progress.Wait();
  };
  advance();
  for (const TPiece& run : plan.Runs) {
    for (int64_t done = 0; done < run.Length; done += kCopyPart) {
      TPiece part = run;
      part.Length = std::min(kCopyPart, run.Length - done);
      if (part.Source != TPiece::kZeros) part.From += done;
      if (beforeArchiveRead && part.Source == TPiece::kArchive) beforeArchiveRead(part.From);
      body.CopyPiece(part, temp);
      length += part.Length;
      written(length);
      advance();
    }
  }
  if (beforeArchiveRead) beforeArchiveRead(INT64_MAX);
}

}  // namespace

int32_t FirstCompactedOffset(int32_t count) {
  // On unsigned 32-bit values, as the archive's own writers compute it.
  const auto entry = static_cast<uint32_t>(kEntryBytes), sector = static_cast<uint32_t>(kSector);
  return static_cast<int32_t>((static_cast<uint32_t>(count) + 2) * entry / sector + 1);
}

void WriteCompactedArchive(TArchiveFile& archive, const std::string& tempPath, IProgress& progress,
                           IFileSystem& fs, int32_t firstSector, std::string* fingerprint,
                           const std::function<bool()>& whileFlushing,
                           const std::function<void(int64_t)>& beforeArchiveRead) {
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
    WriteRuns(
        temp, archive.Body(), plan, progress,
        [&](int64_t length) {
          if (hash) hash->UpTo(length);
          flushing.Written(length);
        },
        beforeArchiveRead);
    if (hash) hash->UpTo(temp.Size());
    flushing.Finish(whileFlushing);  // on disk before it takes the archive's place
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
  int64_t sectors = FirstCompactedOffset(state.EntryCount());
  for (const TArchiveEntry& entry : state.Entries) sectors += std::max(entry.Size, 0);
  return sectors * kSector;
}

}  // namespace merva
