#include <array>
#include <cstring>
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

}  // namespace

int32_t FirstCompactedOffset(int32_t count) {
  // On unsigned 32-bit values, as the archive's own writers compute it.
  const auto entry = static_cast<uint32_t>(kEntryBytes), sector = static_cast<uint32_t>(kSector);
  return static_cast<int32_t>((static_cast<uint32_t>(count) + 2) * entry / sector + 1);
}

void WriteCompactedArchive(TArchiveFile& archive, const std::string& tempPath, IProgress& progress,
                           IFileSystem& fs, int32_t firstSector, std::string* fingerprint) {
  const TGTA3Archive& state = archive.State();
  IArchiveBody& body = archive.Body();
  const int32_t count = state.EntryCount();
  progress.Start(count - 1);
  if (count >= kEntryCountLimit) throw ERangeError();

  // Everything the copy will read must lie inside the archive, and the result must stay within
  // the archive's limit: both are known before the file is made.
  const int64_t length = body.Length();
  int64_t dataSectors = 0;
  for (int32_t i = 0; i < count; ++i) {
    const TArchiveEntry& entry = state.Entries[i];
    const int64_t start = int64_t{entry.Offset} * kSector;
    const int64_t bytes = int64_t{entry.Size} * kSector;
    if (entry.Size < 0 || (bytes > 0 && (start < 0 || start + bytes > length)))
      throw EInOutError(kReadBeyondEnd, archive.File().Path());
    dataSectors += entry.Size;
  }
  const int64_t directoryEnd = kHeaderBytes + int64_t{count} * kEntryBytes;
  const int32_t first = int64_t{firstSector} * kSector >= directoryEnd && count > 0
                            ? firstSector
                            : FirstCompactedOffset(count);
  CheckArchiveLength((first + dataSectors) * kSector);

  // The new directory, and the runs of data in the order they are written. Data that lay side
  // by side stays one run however many entries it holds.
  std::vector<TArchiveEntry> compacted(state.Entries.begin(), state.Entries.begin() + count);
  std::vector<int64_t> entryEnds(static_cast<size_t>(count));
  std::vector<TPiece> runs;
  int64_t end = int64_t{first} * kSector;
  for (int32_t i = 0; i < count; ++i) {
    const TArchiveEntry& entry = state.Entries[i];
    compacted[i].Offset = static_cast<int32_t>(end / kSector);
    body.Pieces(int64_t{entry.Offset} * kSector, int64_t{entry.Size} * kSector, runs);
    end += int64_t{entry.Size} * kSector;
    entryEnds[i] = end;
  }

  TBlockFile temp = TBlockFile::Create(fs, tempPath);
  try {
    // The fingerprint follows the writer: each part is read back as soon as it is written (the
    // system copies most of it without the program seeing the bytes), from the page cache.
    std::optional<TBlockFile> reader;
    TFingerprint hash;
    std::vector<char> readBack;
    int64_t hashed = 0;
    if (fingerprint) {
      reader.emplace(TBlockFile::OpenReadOnly(fs, tempPath));
      readBack.resize(static_cast<size_t>(kCopyPart));
    }
    auto hashUpTo = [&](int64_t end) {
      if (!reader) return;
      reader->Seek(hashed);
      while (hashed < end) {
        const auto part = static_cast<uint32_t>(std::min<int64_t>(end - hashed, kCopyPart));
        reader->ReadExact(readBack.data(), part);
        hash.Update(readBack.data(), part);
        hashed += part;
      }
    };
    TFlushWhileWriting flushing(temp, progress);
    const std::array<char, kHeaderBytes> header = ArchiveHeader(state);
    temp.WriteExact(header.data(), static_cast<uint32_t>(header.size()));
    if (count == 0) {
      WriteZeros(temp, kSector - kHeaderBytes);  // the header alone, padded to one sector
    } else {
      temp.WriteExact(compacted.data(), static_cast<uint32_t>(count) * kEntryBytes);
      WriteZeros(temp, int64_t{first} * kSector - (kHeaderBytes + int64_t{count} * kEntryBytes));
      int64_t written = int64_t{first} * kSector;
      size_t next = 0;  // the first entry not yet wholly written
      auto advance = [&] {
        for (; next < entryEnds.size() && entryEnds[next] <= written; ++next) progress.Step();
        progress.Wait();
      };
      advance();
      for (const TPiece& run : runs) {
        for (int64_t done = 0; done < run.Length; done += kCopyPart) {
          TPiece part = run;
          part.Length = std::min(kCopyPart, run.Length - done);
          if (part.Source != TPiece::kZeros) part.From += done;
          body.CopyPiece(part, temp);
          written += part.Length;
          hashUpTo(written);
          flushing.Written(written);
          advance();
        }
      }
    }
    hashUpTo(temp.Size());
    flushing.Finish();  // on disk before it takes the archive's place
    if (reader) reader->Close();
    if (fingerprint) *fingerprint = hash.HexDigest();
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
