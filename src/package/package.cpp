#include "package/package.h"

#include <array>
#include <cstring>

#include "core/cp1251.h"
#include "core/errors.h"
#include "core/text.h"

namespace merva {

const char kPackageFileName[] = "data.cab";
const char kPackageDamagedMessage[] = "Unknow version of data-file or file damaged";

std::string PackageEntryName(const TPackageEntry& entry) {
  return Utf8FromCp1251(std::string(entry.Name, strnlen(entry.Name, sizeof entry.Name)));
}

void DescramblePackageEntry(TPackageEntry& entry) {
  auto* bytes = reinterpret_cast<uint8_t*>(&entry);
  for (int i = 0; i < 25; ++i) bytes[i] = static_cast<uint8_t>(bytes[i] - 20);
}

void ScramblePackageEntry(TPackageEntry& entry) {
  auto* bytes = reinterpret_cast<uint8_t*>(&entry);
  for (int i = 0; i < 25; ++i) bytes[i] = static_cast<uint8_t>(bytes[i] + 20);
}

void ReadPackageDirectory(TBlockFile& package, TPackageDirectory& directory, INotices& notices) {
  char version[3] = {0, 0, 0};
  package.Seek(kPackageVersionOffset);
  package.ReadCounted(version, 3);
  if (std::memcmp(version, "1.0", 3) != 0)
    notices.Notice(TNoticeKind::kPlain, kPackageDamagedMessage);

  const int64_t length = package.Size();
  int32_t count = 0;
  package.Seek(kPackageCountOffset);
  if (package.ReadCounted(&count, 4) != 4) throw Exception(kPackageDamagedMessage);
  directory.PackageEntryCount = count;
  directory.PackageEntries.clear();
  // A package cut short, or with an impossible count, installs nothing at all.
  if (count < 0 || PackageDataOffset(count) > length) throw Exception(kPackageDamagedMessage);
  directory.PackageEntries.resize(static_cast<size_t>(count));
  if (count > 0)
    package.ReadExact(directory.PackageEntries.data(),
                      static_cast<uint32_t>(count * kPackageEntryBytes));
  int64_t end = PackageDataOffset(count);
  for (TPackageEntry& entry : directory.PackageEntries) {
    DescramblePackageEntry(entry);
    end += entry.Size;
  }
  if (end > length) throw Exception(kPackageDamagedMessage);
}

bool PackageFileNameIsSafe(const std::string& name) {
  bool safe =
      !name.empty() && name[0] != '\\' && name[0] != '/' && name.find(':') == std::string::npos;
  std::string part;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '\\' || name[i] == '/') {
      if (part == "..") safe = false;
      if (i == name.size() && (part.empty() || part == ".")) safe = false;
      if (i < name.size()) part.clear();
    } else {
      part += name[i];
    }
  }
  return safe;
}

std::string PackageFileName(const std::string& name) {
  if (!PackageFileNameIsSafe(name))
    throw Exception("The package holds a file whose name cannot be installed: " + name);
  const auto separator = name.find_last_of("\\/");
  return separator == std::string::npos ? name : name.substr(separator + 1);
}

bool FindPackageEntry(const TPackageDirectory& directory, const std::string& key,
                      TPackageEntry& entry, uint32_t& position) {
  const std::string wanted = AsciiUpper(key);
  uint32_t at = static_cast<uint32_t>(PackageDataOffset(directory.PackageEntryCount));
  for (const TPackageEntry& candidate : directory.PackageEntries) {
    if (AsciiUpper(PackageEntryName(candidate)) == wanted) {
      entry = candidate;
      position = at;
      return true;
    }
    at += candidate.Size;
  }
  return false;
}

TPackageIndex::TPackageIndex(const TPackageDirectory& directory) {
  byName_.reserve(directory.PackageEntries.size());
  uint32_t at = static_cast<uint32_t>(PackageDataOffset(directory.PackageEntryCount));
  for (const TPackageEntry& entry : directory.PackageEntries) {
    byName_.emplace(AsciiUpper(PackageEntryName(entry)), std::make_pair(entry, at));  // first wins
    at += entry.Size;
  }
}

bool TPackageIndex::Find(const std::string& key, TPackageEntry& entry, uint32_t& position) const {
  const auto found = byName_.find(AsciiUpper(key));
  if (found == byName_.end()) return false;
  entry = found->second.first;
  position = found->second.second;
  return true;
}

void ExtractPackageEntry(TBlockFile& package, const TPackageEntry& entry, uint32_t position,
                         const std::string& target, IFileSystem& fs) {
  TBlockFile file = TBlockFile::Create(fs, target);
  package.Seek(position);
  std::array<uint8_t, 64 * 1024> buffer;
  uint32_t left = entry.Size;
  while (left > 0) {
    const uint32_t n = package.ReadCounted(buffer.data(), std::min<uint32_t>(left, buffer.size()));
    if (n == 0) break;  // a package cut short yields a shorter file
    file.WriteExact(buffer.data(), n);
    left -= n;
  }
  file.Close();
}

}  // namespace merva
