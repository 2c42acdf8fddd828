#include <algorithm>
#include <cstring>

#include "archive/archive.h"
#include "archive/sector_copy.h"
#include "core/block_file.h"
#include "core/errors.h"
#include "core/text.h"

namespace merva {

namespace {

// Re-reads the directory from disk. An archive that vanished or lost its tag was already told
// of in the error box; nothing is written into an archive whose directory was not read.
void Reopen(TGTA3Archive& Archive, TArchiveServices services) {
  OpenArchive(Archive, Archive.FileName, services.Files, services.Boxes);
  if (!Archive.Loaded) throw EAbort();
}

int64_t RoundUpToSector(int64_t bytes) {
  return SectorsFor(bytes) * kSector;
}

// An entry overwritten in place must lie inside the file: a damaged directory could otherwise
// send the write anywhere below 2^31 sectors, growing the archive without end.
void CheckInPlace(const TArchiveEntry& entry, int64_t archiveLength, int64_t sourceLength) {
  const int64_t start = int64_t{entry.Offset} * kSector;
  if (entry.Offset < 0 || entry.Size < 0 ||
      start + int64_t{entry.Size} * kSector > RoundUpToSector(archiveLength))
    throw Exception("The game archive is damaged: the entry " + EntryName(entry) +
                    " lies past the end of the file; nothing was written to it");
  CheckArchiveLength(start + RoundUpToSector(sourceLength));
}

// Every place that putting the file in will write, checked before anything is written: in
// place, at the end, or the entries an append moves out of the way of the directory.
void CheckPutPlaces(const TGTA3Archive& Archive, const std::string& key, const std::string& path,
                    IFileSystem& fs) {
  TBlockFile archive = TBlockFile::OpenReadOnly(fs, Archive.FileName);
  const int64_t archiveLength = archive.Size();
  archive.Close();
  TBlockFile source = TBlockFile::OpenReadOnly(fs, path);
  const int64_t sourceLength = source.Size();
  source.Close();
  int64_t growth = 0;
  bool matched = false;
  for (const TArchiveEntry& entry : Archive.Entries) {
    if (AsciiUpper(EntryName(entry)) != key) continue;
    matched = true;
    if (sourceLength > int64_t{entry.Size} * kSector)
      growth += RoundUpToSector(sourceLength);
    else
      CheckInPlace(entry, archiveLength, sourceLength);
  }
  if (!matched) {
    growth = RoundUpToSector(sourceLength);
    const int64_t grownDirectoryEnd = 8 + (int64_t{Archive.Count} + 1) * 32;
    for (const TArchiveEntry& entry : Archive.Entries)
      if (int64_t{entry.Offset} * kSector < grownDirectoryEnd)
        growth += int64_t{std::max(entry.Size, 0)} * kSector;
  }
  CheckArchiveLength(RoundUpToSector(archiveLength) + growth);
}

void WriteEntry(TBlockFile& archive, int32_t index, const TArchiveEntry& entry) {
  archive.Seek(8 + int64_t{index} * 32);
  archive.WriteExact(&entry, sizeof entry);
}

}  // namespace

void PutFileIntoArchive(TGTA3Archive& Archive, const std::string& path, TArchiveServices services) {
  if (path.empty()) return;
  const std::string key = AsciiUpper(ExtractFileNamePart(path));
  // The search uses the directory as it stands on disk, so that a name appended by the previous
  // put is found and replaced instead of being appended a second time.
  Reopen(Archive, services);
  CheckPutPlaces(Archive, key, path, services.Files);
  bool matched = false;
  for (int32_t index = Archive.Count - 1; index >= 0; --index) {
    if (index >= Archive.Count) continue;  // the directory shrank under us: nothing to compare
    if (AsciiUpper(EntryName(Archive.Entries[index])) != key) continue;
    matched = true;
    services.Pump.ProcessMessages();
    Reopen(Archive, services);
    if (index < Archive.Count) ReplaceArchiveEntry(Archive, index, path, services.Files);
  }
  if (!matched) {
    services.Pump.ProcessMessages();
    Reopen(Archive, services);
    AppendArchiveEntry(Archive, path, services.Files);
  }
}

void ReplaceArchiveEntry(TGTA3Archive& Archive, int32_t index, const std::string& path,
                         IFileSystem& fs) {
  fs.FileMode = 2;
  TBlockFile archive = TBlockFile::Open(fs, Archive.FileName);
  TBlockFile source = TBlockFile::OpenReadOnly(fs, path);  // only read
  const int64_t sourceLength = source.Size();
  TArchiveEntry NewEntry = Archive.Entries[index];
  if (sourceLength > int64_t{NewEntry.Size} * kSector) {
    // Too long for its old place: the data goes to the end of the archive.
    CheckArchiveLength(RoundUpToSector(archive.Size()) + RoundUpToSector(sourceLength));
    const int64_t start = PadToSector(archive);
    NewEntry.Offset = static_cast<int32_t>(start / kSector);
    SetNewEntryName(NewEntry, path);
    archive.Seek(start);
  } else {
    CheckInPlace(NewEntry, archive.Size(), sourceLength);
    archive.Seek(int64_t{NewEntry.Offset} * kSector);
  }
  NewEntry.Size = CopyFileAsSectors(source, archive);
  Archive.Entries[index] = NewEntry;
  WriteEntry(archive, index, NewEntry);
  source.Close();
  archive.Close();
}

void AppendArchiveEntry(TGTA3Archive& Archive, const std::string& path, IFileSystem& fs) {
  fs.FileMode = 2;
  TBlockFile archive = TBlockFile::Open(fs, Archive.FileName);
  TBlockFile source = TBlockFile::OpenReadOnly(fs, path);  // only read
  const int32_t n = Archive.Count;
  const int64_t grownDirectoryEnd = 8 + (int64_t{n} + 1) * 32;

  // Everything this append will write, checked before anything is.
  int64_t movedSectors = 0;
  for (int32_t i = 0; i < n; ++i)
    if (int64_t{Archive.Entries[i].Offset} * kSector < grownDirectoryEnd)
      movedSectors += std::max(Archive.Entries[i].Size, 0);
  CheckArchiveLength(RoundUpToSector(archive.Size()) + RoundUpToSector(source.Size()) +
                     movedSectors * kSector);

  TArchiveEntry NewEntry{};
  const int64_t start = PadToSector(archive);
  NewEntry.Offset = static_cast<int32_t>(start / kSector);
  SetNewEntryName(NewEntry, path);
  archive.Seek(start);
  NewEntry.Size = CopyFileAsSectors(source, archive);

  // Entries whose data starts inside the grown directory move to the end. Each one's data is
  // copied before its entry points there, so a failure part-way never leaves an entry pointing
  // at data that was not written.
  for (int32_t i = 0; i < n; ++i) {
    TArchiveEntry& entry = Archive.Entries[i];
    if (int64_t{entry.Offset} * kSector >= grownDirectoryEnd) continue;
    int64_t from = int64_t{entry.Offset} * kSector;
    int64_t to = archive.Size();
    const int32_t newOffset = static_cast<int32_t>(to / kSector);
    uint8_t block[kSector];
    for (int32_t s = 0; s < entry.Size; ++s) {
      archive.Seek(from);
      const uint32_t got = archive.ReadCounted(block, kSector);
      // Data missing at the end of a damaged archive is written as zeros, so every moved
      // entry still fills the whole sectors its directory entry records.
      std::memset(block + got, 0, kSector - got);
      from += kSector;
      archive.Seek(to);
      archive.WriteExact(block, kSector);
      to += kSector;
    }
    entry.Offset = newOffset;
    WriteEntry(archive, i, entry);
  }

  WriteEntry(archive, n, NewEntry);
  archive.Seek(0);
  Archive.EntryCount += 1;
  char header[8];
  std::memcpy(header, Archive.Signature, 4);
  std::memcpy(header + 4, &Archive.EntryCount, 4);
  archive.WriteExact(header, sizeof header);
  source.Close();
  archive.Close();
}

}  // namespace merva
