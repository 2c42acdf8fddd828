#pragma once
// The package "data.cab": a version tag, a scrambled directory of named files, and the files'
// bytes back to back in directory order.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/block_file.h"
#include "core/errors.h"

namespace merva {

#pragma pack(push, 1)
struct TPackageEntry {
  char Name[24];  // code page 1251; ends at the first zero byte or fills all 24
  uint32_t Size;  // bytes
};
#pragma pack(pop)
// The layout: a 116-byte header holding the version tag "1.0" at byte 23 and the entry count at
// byte 112, then the scrambled 28-byte entries, then every file's bytes back to back.
constexpr int64_t kPackageVersionOffset = 23;
constexpr int64_t kPackageCountOffset = 112;
constexpr int64_t kPackageDirectoryOffset = 116;
constexpr int64_t kPackageEntryBytes = 28;
static_assert(sizeof(TPackageEntry) == kPackageEntryBytes, "package entries are 28 bytes");

// Where the first file's bytes begin in a package of `count` entries.
constexpr int64_t PackageDataOffset(int64_t count) {
  return kPackageDirectoryOffset + count * kPackageEntryBytes;
}
extern const char kPackageFileName[];  // "data.cab"
extern const char kPackageDamagedMessage[];

// The package directory as last read.
struct TPackageDirectory {
  int32_t PackageEntryCount = 0;
  std::vector<TPackageEntry> PackageEntries;
};

// The entry's name in UTF-8.
std::string PackageEntryName(const TPackageEntry& entry);
// Restores a stored record in place: bytes 0 to 24 (the name and the lowest size byte) lose 20.
void DescramblePackageEntry(TPackageEntry& entry);
// The inverse, for the package builder.
void ScramblePackageEntry(TPackageEntry& entry);

// Checks the version tag (telling a wrong one once) and reads the directory. A package whose
// count is negative or whose directory or data is cut short raises kPackageDamagedMessage.
void ReadPackageDirectory(TBlockFile& package, TPackageDirectory& directory, INotices& notices);

// The first entry whose name matches `key` without regard to ASCII case, and where its data
// begins in the package.
bool FindPackageEntry(const TPackageDirectory& directory, const std::string& key,
                      TPackageEntry& entry, uint32_t& position);

// The same search, through an index of the directory built once: a mod of thousands of files
// finds each in one step instead of a scan of the whole directory.
class TPackageIndex {
 public:
  explicit TPackageIndex(const TPackageDirectory& directory);
  bool Find(const std::string& key, TPackageEntry& entry, uint32_t& position) const;

 private:
  std::unordered_map<std::string, std::pair<TPackageEntry, uint32_t>> byName_;
};

// The name under which a package file is written into a folder: the file-name part of its
// name. A name that climbs out of the folder (a ".." part, a root or a drive) or leaves no file
// name raises an Exception naming it, since only a hostile package holds one.
std::string PackageFileName(const std::string& name);
bool PackageFileNameIsSafe(const std::string& name);

// Copies the entry's bytes from `position` to a new file at `target`.
void ExtractPackageEntry(TBlockFile& package, const TPackageEntry& entry, uint32_t position,
                         const std::string& target, IFileSystem& fs);

}  // namespace merva
