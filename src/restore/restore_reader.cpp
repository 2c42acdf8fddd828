#include "restore/restore_reader.h"

#include <cstring>

#include "archive/archive_file.h"
#include "core/fingerprint.h"
#include "game/game_folder.h"
#include "restore/restore_names.h"

namespace merva {

TKeptEntries::TKeptEntries(IFileSystem& fs, const TArchiveLink& link) : fs_(fs), link_(link) {}

TBlockFile& TKeptEntries::OpenKept(const std::string& name) {
  const std::string path = InPoint(link_.KeptFolder, name);
  if (fs_.IsLink(path)) throw Damaged(link_.Point, "the kept file " + name + " is a link");
  if (!fs_.FileExists(path)) throw Damaged(link_.Point, "the kept file " + name + " is missing");
  return files_.emplace_back(TBlockFile::OpenReadOnly(fs_, path));
}

TPutSource TKeptEntries::Source(const TKeptEntry& kept) {
  if (kept.Kept == kKeptArchiveName) return FromKeptArchive(kept);
  TBlockFile& file = OpenKept(kept.Kept);
  const int64_t bytes = EntryBytes(kept.Old);
  if (file.Size() != bytes)
    throw Damaged(link_.Point, "the kept file " + kept.Kept + " is not the size recorded");
  return {file, 0, bytes};
}

// The n-th replaced entry is archive.img's n-th entry, of the name and size recorded.
TPutSource TKeptEntries::FromKeptArchive(const TKeptEntry& kept) {
  const std::string name = kKeptArchiveName;
  if (!keptArchive_) {
    // Taken as the kept archive only once it has passed every check, so that asking again
    // after a refusal is refused again.
    TBlockFile& file = OpenKept(name);
    TGTA3Archive read;
    bool sound = false;
    try {
      sound = ReadArchiveDirectory(file, read) && read.Kind == link_.Change.Kind &&
              read.Entries.size() == link_.Change.Replaced.size();
    } catch (const Exception&) {
      sound = false;  // a count past the file, or an impossible one
    }
    if (!sound)
      throw Damaged(link_.Point, "the kept file " + name + " is not the archive recorded");
    keptEntries_ = read.Entries;
    keptArchive_ = &file;
    keptHash_ = std::make_unique<TFingerprint>();
    keptAlong_.emplace(file, file.Size(),
                       [this](const char* data, size_t size) { keptHash_->Update(data, size); });
  }
  const size_t n = static_cast<size_t>(&kept - link_.Change.Replaced.data());
  const TArchiveEntry& stored = keptEntries_.at(n);
  const int64_t bytes = EntryBytes(kept.Old);
  const int64_t from = EntryStart(stored);
  if (stored.Size != std::max(kept.Old.Size, 0) ||
      std::memcmp(stored.Name, kept.Old.Name, sizeof stored.Name) != 0 ||
      !EntryLiesInside(stored, keptArchive_->Size()))
    throw Damaged(link_.Point, "the kept file " + name + " does not hold the entry " +
                                   EntryName(kept.Old) + " as recorded");
  return {*keptArchive_, from, bytes};
}

void TKeptEntries::ReadUpTo(int64_t position) {
  if (keptAlong_) keptAlong_->ReadUpTo(position);
}

void TKeptEntries::Take(int64_t at, const char* data, size_t count) {
  if (keptAlong_) keptAlong_->Take(at, data, count);
}

void TKeptEntries::CheckKeptArchive(IProgress& progress) {
  if (!keptAlong_ || link_.Change.KeptArchiveFingerprint.empty()) return;
  while (keptAlong_->Step()) progress.Wait();
  if (keptHash_->HexDigest() != link_.Change.KeptArchiveFingerprint)
    throw Damaged(link_.Point, std::string("the kept file ") + kKeptArchiveName +
                                   " has changed since it was written");
}

void TKeptEntries::Close() {
  for (TBlockFile& file : files_)
    if (file.IsOpen()) file.Close();
  keptArchive_ = nullptr;
  keptAlong_.reset();
}

std::string KeptGameFilePath(const std::string& pointPath, const TGameFileChange& change) {
  return InPoint(pointPath, change.Kept);
}

void CheckKeptGameFile(IFileSystem& fs, const TRestorePoint& point, const std::string& pointPath,
                       const TGameFileChange& change) {
  const std::string kept = KeptGameFilePath(pointPath, change);
  if (fs.IsLink(kept)) throw Damaged(point, "the kept file " + change.Kept + " is a link");
  if (!fs.FileExists(kept)) throw Damaged(point, "the kept file " + change.Kept + " is missing");
  TBlockFile file = TBlockFile::OpenReadOnly(fs, kept);
  const int64_t bytes = file.Size();
  file.Close();
  if (bytes != change.OldBytes)
    throw Damaged(point, "the kept file " + change.Kept + " is not the size recorded");
  if (!change.KeptFingerprint.empty() && GameFileFingerprint(fs, kept) != change.KeptFingerprint)
    throw Damaged(point, "the kept file " + change.Kept + " was changed since it was kept");
}

std::string EditsFolderFor(IFileSystem& fs, const std::string& root, const TRestorePoint& point) {
  const std::string base = PointPathOf(root, point.Folder) + " edits";
  std::string folder = base;
  for (int n = 2; fs.DirectoryExists(folder) || fs.FileExists(folder) || fs.IsLink(folder); ++n)
    folder = base + " (" + std::to_string(n) + ")";
  return folder;
}

}  // namespace merva
