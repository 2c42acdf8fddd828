#pragma once
// One open IMG archive for the length of a run: the file, held so that other programs may read
// but not change it, its directory read once, and an index of its names. The put, the
// replacement, the append and the directory sort work on it; their writes go to the file itself
// or, for an installation, into a plan of the new archive (archive_body.h).
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_body.h"
#include "archive/rebuild_reads.h"
#include "core/file_tools.h"

namespace merva {

// Reads the header into `state` and, when it is of a kind this version reads (or `anyTag` is
// set: then read as the game's kind, whatever its tag), the directory that follows it. False
// for a foreign header (the tag read, no entries).
bool ReadArchiveDirectory(TBlockFile& file, TGTA3Archive& state, bool anyTag = false);
// The bytes of `state` before its directory, as its kind writes them.
std::string ArchiveHeader(const TGTA3Archive& state);

class TArchiveFile {
 public:
  explicit TArchiveFile(IFileSystem& fs) : fs_(fs) {}

  // Opens the archive and reads its header and directory. A missing or foreign file gives false
  // with the file closed (MissingArchiveText says it); other failures raise.
  bool Open(const std::string& path, TOpenAccess access);
  // Opens the archive to rebuild it: held for reading and writing, its directory read whatever
  // its tag.
  void OpenAnyTag(const std::string& path);
  void Close();

  TBlockFile& File() { return *file_; }
  IFileSystem& FileSystem() { return fs_; }
  // The archive as it stands in this run; it changes only through the operations below.
  const TGTA3Archive& State() const { return state_; }
  const std::vector<TArchiveEntry>& Entries() const { return state_.Entries; }
  // Changes go to the file itself until they are sent into a plan.
  void WriteTo(IArchiveBody& body) { body_ = &body; }
  IArchiveBody& Body() { return *body_; }

  // The entries of `name` (ASCII letters in either case, as the installer matches names), in
  // directory order; the first is the one the game uses.
  std::vector<int32_t> Find(const std::string& name) const;
  // Puts `source` under `name` (a file-name part): every entry of that name is replaced, the
  // highest index first, or a new entry is appended. Every place it will write is checked
  // before anything is written. `beforeChange` runs before each replacement or append.
  void Put(const std::string& name, const TPutSource& source,
           const std::function<void()>& beforeChange);
  void Replace(int32_t index, const std::string& name, const TPutSource& source);
  void Append(const std::string& name, const TPutSource& source);
  // Sorts the directory by data position and writes it back at byte 8.
  void SortDirectory();
  // Gives the archive a new directory in memory (an undo's plan: entries laid out from the
  // body); the next compacted write lays them out.
  void SetDirectory(std::vector<TArchiveEntry> entries);

  // What the run changed, so that it can be taken back: the directory as it was opened, and for
  // each entry now, its index then (-1 for an entry added since).
  const std::vector<TArchiveEntry>& Opened() const { return opened_; }
  const std::vector<int32_t>& Origins() const { return origins_; }
  // The indices (as opened) of the entries whose data was replaced, ascending.
  const std::set<int32_t>& ReplacedOrigins() const { return replaced_; }

 private:
  void AfterOpen();
  void BuildIndex();
  void StartTracking();
  // The entries whose data starts before byte `end`, in directory order: those an append moves.
  std::vector<int32_t> EntriesStartingBefore(int64_t end) const;
  void SetOffset(int32_t index, int32_t offset);
  void CheckPut(const std::string& key, int64_t sourceLength);
  int64_t PadToSector();
  void WriteEntry(int32_t index);

  TGTA3Archive state_;
  IFileSystem& fs_;
  std::optional<TBlockFile> file_;
  std::unique_ptr<TFileBody> fileBody_;
  IArchiveBody* body_ = nullptr;
  // Upper-cased name -> the indices of its entries, ascending; sorting rebuilds it.
  std::unordered_map<std::string, std::vector<int32_t>> index_;
  // (Offset, index) of every entry, so that an append finds the few it moves without a scan.
  std::set<std::pair<int32_t, int32_t>> byOffset_;
  std::vector<TArchiveEntry> opened_;
  std::vector<int32_t> origins_;
  std::set<int32_t> replaced_;
};

// Where the compaction puts the first data sector of `count` entries: at `firstSector` when it
// leaves room for the directory, else at FirstCompactedOffset.
int32_t CompactionFirstSector(int32_t count, int32_t firstSector,
                              TArchiveKind kind = TArchiveKind::kVer2);
// The length of the archive written compacted from `state` (its first data sector the
// compaction's own): what an installation or an undo needs room for.
int64_t CompactedArchiveBytes(const TGTA3Archive& state);

// Writes the archive compacted to `tempPath`: the header, the directory with offsets back to
// back from FirstCompactedOffset, zeros, then every entry's data in directory order. The data is
// copied in the order it lies in its sources (each read front to back) and written in its place,
// runs of adjacent data in 1 MiB parts. Everything it will read and the new length are checked
// before the file is made; the file is flushed before it returns. The progress goes a stretch
// of one step per entry's worth of data written, less one (as the bar has always counted),
// reported between parts of long copies and flushes too.
// `firstSector`, when it leaves room for the directory, puts the data there instead of at
// FirstCompactedOffset: taking an installation back lays the data where it was. `fingerprint`,
// when given, receives the new file's fingerprint (core/fingerprint.h), taken part by part as
// it is written. What is written is sent to the disk every 128 MiB meanwhile.
// `whileFlushing`, when given, is work done in parts while the last flush waits for the disk
// (TBackgroundFlush::Wait). `reads`, when given, follows what is read (archive/rebuild_reads.h).
void WriteCompactedArchive(TArchiveFile& archive, const std::string& tempPath, IProgress& progress,
                           IFileSystem& fs, int32_t firstSector = 0,
                           std::string* fingerprint = nullptr,
                           const std::function<bool()>& whileFlushing = nullptr,
                           IRebuildReads* reads = nullptr);

}  // namespace merva
