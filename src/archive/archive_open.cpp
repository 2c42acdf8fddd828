#include <cstring>

#include "archive/archive.h"
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

void ShowErrorBox(IMessageBoxes& boxes, const std::string& text) {
  boxes.Show(TBoxKind::kErrorBox, text);
}

void ResetArchive(TGTA3Archive& Archive) {
  Archive.Loaded = false;
  Archive.FileName.clear();
  Archive.AuxName.clear();
  Archive.Count = 0;
  Archive.Entries.clear();
}

void OpenArchive(TGTA3Archive& Archive, std::string path, IFileSystem& fs, IMessageBoxes& boxes) {
  ResetArchive(Archive);
  Archive.FileName = path;
  if (!fs.FileExists(Archive.FileName)) {
    ShowErrorBox(boxes, MissingArchiveText(Archive.FileName));
    return;
  }
  fs.FileMode = 0;
  TBlockFile file = TBlockFile::Open(fs, Archive.FileName);
  char header[8];
  file.ReadExact(header, sizeof header);
  std::memcpy(Archive.Signature, header, 4);
  std::memcpy(&Archive.EntryCount, header + 4, 4);
  if (std::memcmp(Archive.Signature, kArchiveTag, 4) != 0) {
    file.Close();
    ShowErrorBox(boxes, MissingArchiveText(Archive.FileName));
    return;
  }
  Archive.Count = Archive.EntryCount;
  // Refuse an impossible count before anything is allocated for it.
  if (Archive.Count < 0 || Archive.Count >= kEntryCountLimit) throw ERangeError();
  const int64_t directoryBytes = int64_t{Archive.Count} * 32;
  if (8 + directoryBytes > file.Size()) throw EInOutError(kReadBeyondEnd, Archive.FileName);
  Archive.Entries.resize(static_cast<size_t>(Archive.Count));
  if (directoryBytes > 0)
    file.ReadExact(Archive.Entries.data(), static_cast<uint32_t>(directoryBytes));
  file.Close();
  Archive.Loaded = true;
}

}  // namespace merva
