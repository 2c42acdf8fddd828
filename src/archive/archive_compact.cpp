#include <cstring>

#include "archive/archive.h"
#include "archive/sector_copy.h"
#include "core/block_file.h"
#include "core/errors.h"

namespace merva {

namespace {
const char kUnableToCreate[] = "Unable to create archive file.";
}

int32_t FirstCompactedOffset(int32_t count) {
  return static_cast<int32_t>((static_cast<uint32_t>(count) + 2) * 32 / 2048 + 1);
}

void CompactArchive(TGTA3Archive& Archive, const std::string& gameFolder, IProgress& progress,
                    IFileSystem& fs) {
  CompactArchiveFile(Archive, gameFolder + "\\models\\gta3.img", gameFolder + "\\models\\temp.img",
                     progress, fs);
}

void CompactArchiveFile(TGTA3Archive& Archive, const std::string& archivePath,
                        const std::string& tempPath, IProgress& progress, IFileSystem& fs) {
  fs.FileMode = 2;
  TBlockFile archive = TBlockFile::Open(fs, archivePath);
  const int64_t archiveLength = archive.Size();
  char header[8];
  archive.ReadExact(header, sizeof header);
  std::memcpy(Archive.Signature, header, 4);
  std::memcpy(&Archive.EntryCount, header + 4, 4);
  const int32_t count = Archive.EntryCount;
  if (count < 0 || count >= kEntryCountLimit) throw ERangeError();
  if (8 + int64_t{count} * 32 > archiveLength) throw EInOutError(kReadBeyondEnd, archivePath);
  Archive.Entries.resize(static_cast<size_t>(count));
  progress.SetPosition(0);
  progress.SetMax(count - 1);
  if (count > 0) archive.ReadExact(Archive.Entries.data(), static_cast<uint32_t>(count) * 32);

  // Everything the copy will read must lie inside the archive, and the result must stay
  // within the archive's limit: both are known before temp.img is made.
  std::vector<TArchiveEntry> newEntries(Archive.Entries);
  int64_t dataSectors = 0;
  for (const TArchiveEntry& entry : Archive.Entries) {
    const int64_t start = int64_t{entry.Offset} * kSector;
    const int64_t bytes = int64_t{entry.Size} * kSector;
    if (entry.Size < 0 || (bytes > 0 && (start < 0 || start + bytes > archiveLength)))
      throw EInOutError(kReadBeyondEnd, archivePath);
    dataSectors += entry.Size;
  }
  const int32_t first = FirstCompactedOffset(count);
  CheckArchiveLength((first + dataSectors) * kSector);

  TBlockFile temp = TBlockFile::Create(fs, tempPath);
  try {
    temp.WriteExact(header, sizeof header);
    if (count == 0) {
      WriteZeros(temp, kSector - 8);  // the header alone, padded to one sector
    } else {
      int32_t offset = first;
      for (TArchiveEntry& entry : newEntries) {
        entry.Offset = offset;
        offset += entry.Size;
      }
      temp.WriteExact(newEntries.data(), static_cast<uint32_t>(count) * 32);
      WriteZeros(temp, int64_t{first} * kSector - (8 + int64_t{count} * 32));
      for (const TArchiveEntry& entry : Archive.Entries) {
        archive.Seek(int64_t{entry.Offset} * kSector);
        CopyExact(archive, temp, int64_t{entry.Size} * kSector);
        progress.SetPosition(progress.Position() + 1);
      }
    }
    archive.Close();
    temp.Flush();  // on disk before it takes the archive's place
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
  // One replacing move: the game is never left without its archive.
  if (!fs.MoveFileReplace(tempPath, archivePath)) {
    fs.DeleteFile(tempPath);
    throw Exception(kUnableToCreate);
  }
}

}  // namespace merva
