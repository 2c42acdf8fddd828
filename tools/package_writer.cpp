#include "tools/package_writer.h"

#include <cstring>

#include "core/block_file.h"
#include "core/cp1251.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "package/package.h"

namespace merva {

namespace {

// The manifest has checked every text and name; a character that slipped past would be
// written as "?", so it is refused here too.
std::string StoredBytes(const std::string& utf8) {
  std::string cp1251;
  if (!TryCp1251FromUtf8(utf8, cp1251))
    throw Exception(utf8 + " has a character that code page 1251 lacks");
  return cp1251;
}

void WriteRecord(TBlockFile& file, uint8_t tag, const std::string& text) {
  if (text.empty()) return;
  const std::string stored = ScrambleScriptText(StoredBytes(text));
  const auto length = static_cast<int32_t>(stored.size());
  file.WriteExact(&tag, 1);
  file.WriteExact(&length, 4);
  file.WriteExact(stored.data(), static_cast<uint32_t>(stored.size()));
}

}  // namespace

void WriteScriptFile(const TDATAInst& script, const std::string& path) {
  TBlockFile file = TBlockFile::Create(SystemFileSystem(), path);
  char header[21] =
      "MERVA\0"
      "1.0";
  file.WriteExact(header, sizeof header);
  for (const TScriptRecord& record : kScriptRecords) {
    if (record.List) {
      for (const std::string& item : script.*record.List) WriteRecord(file, record.Tag, item);
    } else {
      WriteRecord(file, record.Tag, script.*record.Text);
    }
  }
  const uint8_t endRecord[5] = {0, 0, 0, 0, 0};
  file.WriteExact(endRecord, sizeof endRecord);
  file.Flush();
  file.Close();
}

void WritePackageFile(const std::vector<TPackSource>& sources, const std::string& path) {
  IFileSystem& fs = SystemFileSystem();
  std::vector<TPackageEntry> entries;
  int64_t total = PackageDataOffset(static_cast<int64_t>(sources.size()));
  for (const TPackSource& source : sources) {
    TPackageEntry entry{};
    const std::string name = StoredBytes(source.Name);
    std::memcpy(entry.Name, name.data(), std::min(name.size(), sizeof entry.Name));
    TBlockFile file = TBlockFile::OpenReadOnly(fs, source.DiskPath);
    const int64_t size = file.Size();
    total += size;
    if (total > INT32_MAX)
      throw Exception("the package would pass 2 GB, which the installer cannot read");
    entry.Size = static_cast<uint32_t>(size);
    entries.push_back(entry);
  }
  TBlockFile package = TBlockFile::Create(fs, path);
  char header[kPackageDirectoryOffset] = {};
  std::memcpy(header, "MERVA package", 13);
  std::memcpy(header + kPackageVersionOffset, "1.0", 3);
  const auto count = static_cast<int32_t>(entries.size());
  std::memcpy(header + kPackageCountOffset, &count, 4);
  package.WriteExact(header, sizeof header);
  for (TPackageEntry entry : entries) {
    ScramblePackageEntry(entry);
    package.WriteExact(&entry, sizeof entry);
  }
  for (size_t i = 0; i < sources.size(); ++i) {
    TBlockFile file = TBlockFile::OpenReadOnly(fs, sources[i].DiskPath);
    CopyExact(file, package, entries[i].Size);
  }
  package.Flush();
  package.Close();
}

}  // namespace merva
