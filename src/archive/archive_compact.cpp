#include <array>
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
  void Finish() {
    flush_.Wait(progress_);
    flush_.Start(file_);
    flush_.Wait(progress_);
  }

 private:
  static constexpr int64_t kFlushEvery = int64_t{128} << 20;
  TBlockFile& file_;
  IProgress& progress_;
  TBackgroundFlush flush_;
  int64_t next_ = kFlushEvery;
};

// The fingerprint of the new file, following the writer: each part is read back as soon as it
// is written (the system copies most of it without the program seeing the bytes), from the page
// cache.
class TReadBackFingerprint {
 public:
  TReadBackFingerprint(IFileSystem& fs, const std::string& path)
      : reader_(TBlockFile::OpenReadOnly(fs, path)), buffer_(static_cast<size_t>(kCopyPart)) {}
  void UpTo(int64_t end) {
    reader_.Seek(hashed_);
    while (hashed_ < end) {
      const auto part = static_cast<uint32_t>(std::min<int64_t>(end - hashed_, kCopyPart));
      reader_.ReadExact(buffer_.data(), part);
      hash_.Update(buffer_.data(), part);
      hashed_ += part;
    }
  }
  std::string Finish() {
    reader_.Close();
    return hash_.HexDigest();
  }

 private:
  TBlockFile reader_;
  std::vector<char> buffer_;
  TFingerprint hash_;
  int64_t hashed_ = 0;
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
               IProgress& progress, const std::function<void(int64_t)>& written) {
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
      body.CopyPiece(part, temp);
      length += part.Length;
      written(length);
      advance();
    }
  }
}

}  // namespace

int32_t FirstCompactedOffset(int32_t count) {
  // On unsigned 32-bit values, as the archive's own writers compute it.
  const auto entry = static_cast<uint32_t>(kEntryBytes), sector = static_cast<uint32_t>(kSector);
  return static_cast<int32_t>((static_cast<uint32_t>(count) + 2) * entry / sector + 1);
}

void WriteCompactedArchive(TArchiveFile& archive, const std::string& tempPath, IProgress& progress,
                           IFileSystem& fs, int32_t firstSector, std::string* fingerprint) {
  progress.Start(archive.State().EntryCount() - 1);
  const TCompactionPlan plan = PlanCompaction(archive, firstSector);
  TBlockFile temp = TBlockFile::Create(fs, tempPath);
  try {
    std::optional<TReadBackFingerprint> hash;
    if (fingerprint) hash.emplace(fs, tempPath);
    TFlushWhileWriting flushing(temp, progress);
    WriteHead(temp, archive.State(), plan);
    WriteRuns(temp, archive.Body(), plan, progress, [&](int64_t length) {
      if (hash) hash->UpTo(length);
      flushing.Written(length);
    });
    if (hash) hash->UpTo(temp.Size());
    flushing.Finish();  // on disk before it takes the archive's place
    if (hash) *fingerprint = hash->Finish();
    temp.Close();
  } catch (...) {
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

}  // namespace merva
