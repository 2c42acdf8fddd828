#include <cstring>

#include "archive/archive.h"
#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/cp1251.h"
#include "core/errors.h"
#include "core/text.h"

namespace merva {

const char kArchiveTag[] = "VER2";

std::string EntryName(const TArchiveEntry& entry) {
  return std::string(entry.Name, strnlen(entry.Name, sizeof entry.Name));
}

void SetNewEntryName(TArchiveEntry& entry, const std::string& path) {
  std::memset(entry.Name, 0, sizeof entry.Name);
  const std::string name = ExtractFileNamePart(path);
  std::memcpy(entry.Name, name.data(), std::min(name.size(), sizeof entry.Name));
}

std::string MissingArchiveText(const std::string& path) {
  return Cp1251FromUtf8("Невозможно найти IMG файл!\n\n[") + path + "]";
}

void ResetArchive(TGTA3Archive& Archive) {
  Archive.Loaded = false;
  Archive.FileName.clear();
  Archive.AuxName.clear();
  Archive.Count = 0;
  Archive.Entries.clear();
}

bool OpenArchive(TGTA3Archive& Archive, std::string path, IFileSystem& fs) {
  TArchiveFile archive(Archive, fs);
  if (!archive.Open(path, OpenAccess::kReadOnly)) return false;
  archive.Close();
  return true;
}

}  // namespace merva
