#pragma once
// The game's IMG archive (models\gta3.img): a header (the game's kind: "VER2" and the entry
// count; archive_kind.h), a directory of 32-byte entries, and the entries' data in whole
// 2048-byte sectors.
#include <cstdint>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/file_system.h"
#include "core/progress.h"

namespace merva {

constexpr int64_t kSector = 2048;
constexpr int64_t kEntryBytes = 32;  // one directory entry
constexpr size_t kEntryNameBytes = 24;
// Positions in the archive are signed 32-bit values, so it must stay below 2^31 bytes.
constexpr int64_t kArchiveLimit = int64_t{1} << 31;
// A directory of 2^26 entries or more would not fit in 31 bits.
constexpr int32_t kEntryCountLimit = int32_t{1} << 26;
// The game reads an entry's 4-byte size as two 16-bit fields: the streaming size, then the size
// in the archive, which wins when it is not 0. Merva writes the size in the first field and 0 in
// the second, as other IMG tools do, so no entry it writes may be larger than this (128 MiB).
constexpr int32_t kGameSectorLimit = 65535;
// The game compares this many characters of a name: it forces the 24th byte to zero.
constexpr size_t kGameNameChars = 23;

#pragma pack(push, 1)
struct TArchiveEntry {
  int32_t Offset;              // first sector of the data
  int32_t Size;                // sectors
  char Name[kEntryNameBytes];  // zero-padded; 24 characters fill it with no terminator
};
#pragma pack(pop)
static_assert(sizeof(TArchiveEntry) == kEntryBytes, "directory entries are 32 bytes on disk");

// Sectors as bytes: sectors are counted in 32 bits, byte positions in 64.
constexpr int64_t SectorBytes(int64_t sectors) {
  return sectors * kSector;
}
// Where an entry's data starts, and how many bytes it holds (none for a damaged negative size).
constexpr int64_t EntryStart(const TArchiveEntry& entry) {
  return SectorBytes(entry.Offset);
}
// A size in sectors as bytes; a damaged negative size holds none.
constexpr int64_t SizeBytes(int32_t sectors) {
  return SectorBytes(sectors > 0 ? sectors : 0);
}
constexpr int64_t EntryBytes(const TArchiveEntry& entry) {
  return SizeBytes(entry.Size);
}

// The kinds of archive (archive_kind.h tells how each lies in its file).
enum class TArchiveKind : uint8_t { kVer2 };

// One archive as read: its kind and tag, its directory (whose size is the entry count) and its
// path.
struct TGTA3Archive {
  TArchiveKind Kind = TArchiveKind::kVer2;
  char Signature[4] = {0, 0, 0, 0};
  bool Loaded = false;
  std::vector<TArchiveEntry> Entries;
  std::string FileName;
  int32_t EntryCount() const { return static_cast<int32_t>(Entries.size()); }
};

extern const char kArchiveTag[];  // "VER2"
// Why a file of 128 MiB or more cannot go into the archive.
extern const char kTooLargeForTheGame[];

// The size in sectors that the game reads from an entry's size field as it lies on the disk.
int32_t SizeAsTheGameReads(int32_t field);
// True when the entry's data lies inside a file of `length` bytes: no negative size and, for an
// entry with data, whole sectors from an offset of 0 or more that end at or before the end. An
// empty entry lies inside wherever its offset points, as the game reads it.
bool EntryLiesInside(const TArchiveEntry& entry, int64_t length);
// The name as read back, in UTF-8: the characters before the first zero byte, at most 24.
std::string EntryName(const TArchiveEntry& entry);
// The key two entry names match by, in the installer as in every tool: ASCII letters upper-cased,
// every other byte as it is.
std::string EntryNameKey(const std::string& name);
// The same over what the game compares of a stored name: its first 23 characters.
std::string GameNameKey(const TArchiveEntry& entry);
// Why `name` cannot be a new entry's name (empty, a folder separator or a control character, a
// character outside code page 1251, longer than the 24 bytes an entry holds); empty when it can.
std::string NewEntryNameFault(const std::string& name);
// The name of a new entry: the file-name part of `path`, cut to 24 characters. A name with a
// character outside code page 1251 raises an Exception.
void SetNewEntryName(TArchiveEntry& entry, const std::string& path);
// The text of the error box for a missing or foreign archive.
std::string MissingArchiveText(const std::string& path);
// The one answer when an operation finds no game archive at `path`: that box, as an error.
class EArchiveMissing : public ENotice {
 public:
  explicit EArchiveMissing(const std::string& path)
      : ENotice(TNoticeKind::kError, MissingArchiveText(path)) {}
};

void ResetArchive(TGTA3Archive& Archive);
// Reads the header and directory at `path` into `Archive`; a missing or foreign file gives false
// (MissingArchiveText says it) and leaves `Loaded` false. Other failures raise.
bool OpenArchive(TGTA3Archive& Archive, const std::string& path, IFileSystem& fs);

// Puts each file into the archive at `archivePath` in turn, under its file-name part: every
// entry of that name is replaced, or a new entry is appended. The archive is held for the whole
// put (others may read it), its directory read once; a step of `progress` per file.
void PutFilesIntoArchive(const std::string& archivePath, const std::vector<std::string>& files,
                         IFileSystem& fs, IProgress& progress);

// Selection sort by ascending Offset; its order among equal offsets is the one required, since
// the compaction lays the data out in directory order.
// `carried`, when given, goes through the same exchanges (where each entry came from).
void SortArchiveEntries(std::vector<TArchiveEntry>& entries, int32_t count,
                        std::vector<int32_t>* carried = nullptr);
// The plain quadratic form of the same sort, kept to check the fast one against.
void SortArchiveEntriesByDefinition(std::vector<TArchiveEntry>& entries, int32_t count);
// Reads the archive's directory, sorts it and writes it back at byte 8.
void RewriteSortedDirectory(const std::string& archivePath, IFileSystem& fs);

// The first data sector of a compacted archive of `count` entries of that kind: past the
// directory with room for at least one more entry, so that the next append need not move any
// data.
int32_t FirstCompactedOffset(int32_t count, TArchiveKind kind = TArchiveKind::kVer2);

}  // namespace merva
