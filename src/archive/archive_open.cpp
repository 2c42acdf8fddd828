#include <cstring>

#include "archive/archive.h"
#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/cp1251.h"
#include "core/errors.h"
#include "core/text.h"

namespace merva {

const char kArchiveTag[] = "VER2";
const char kTooLargeForTheGame[] =
    "the game reads no archive file of 128 MiB (65,536 sectors) or more";

int32_t SizeAsTheGameReads(int32_t field) {
  const auto bits = static_cast<uint32_t>(field);
  const uint32_t streaming = bits & 0xFFFF, inArchive = bits >> 16;
  return static_cast<int32_t>(inArchive != 0 ? inArchive : streaming);
}

std::string EntryName(const TArchiveEntry& entry) {
  return Utf8FromCp1251(std::string(entry.Name, strnlen(entry.Name, sizeof entry.Name)));
}

bool EntryLiesInside(const TArchiveEntry& entry, int64_t length) {
  if (entry.Size < 0) return false;
  const int64_t start = EntryStart(entry);
  return entry.Size == 0 || (start >= 0 && start + SectorBytes(entry.Size) <= length);
}

std::string EntryNameKey(const std::string& name) {
  return AsciiUpper(name);
}

std::string GameNameKey(const TArchiveEntry& entry) {
  return EntryNameKey(Utf8FromCp1251(std::string(entry.Name, strnlen(entry.Name, kGameNameChars))));
}

std::string NewEntryNameFault(const std::string& name) {
  if (name.empty()) return "an entry needs a name";
  for (const char c : name)
    if (c == '\\' || c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      return "an entry name cannot hold a folder separator or a control character";
  std::string stored;
  if (!TryCp1251FromUtf8(name, stored)) return kNameOutsideCp1251;
  if (stored.size() > kEntryNameBytes)
    return "the name is longer than 24 characters, which an archive entry cannot hold";
  return "";
}

void SetNewEntryName(TArchiveEntry& entry, const std::string& path) {
  std::memset(entry.Name, 0, sizeof entry.Name);
  const std::string name = ExtractFileNamePart(path);
  std::string stored;
  // Callers check their names first; a "?" in the game's archive would be a name nobody gave.
  if (!TryCp1251FromUtf8(name, stored)) throw Exception(name + ": " + kNameOutsideCp1251);
  std::memcpy(entry.Name, stored.data(), std::min(stored.size(), sizeof entry.Name));
}

std::string MissingArchiveText(const std::string& path) {
  return "Невозможно найти IMG файл!\n\n[" + path + "]";
}

void ResetArchive(TGTA3Archive& Archive) {
  Archive.Loaded = false;
  Archive.FileName.clear();
  Archive.Entries.clear();
}

bool OpenArchive(TGTA3Archive& Archive, const std::string& path, IFileSystem& fs) {
  TArchiveFile archive(fs);
  const bool opened = archive.Open(path, TOpenAccess::kReadOnly);
  if (opened) archive.Close();
  Archive = archive.State();
  return opened;
}

}  // namespace merva
