#include "restore/point_rewrite.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "archive/archive_file.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "restore/restore_names.h"

namespace merva {

TChainSources::TChainSources(IFileSystem& fs, std::string root,
                             const std::vector<TRestorePoint>& chain,
                             std::vector<std::string> keptFolders)
    : fs_(fs),
      root_(std::move(root)),
      chain_(chain),
      keptFolders_(std::move(keptFolders)),
      kept_(chain.size()) {}

TChainSources::~TChainSources() = default;

namespace {

// A kept archive read whole against its fingerprint: the bytes copied on from it are the ones
// its installation kept.
void CheckKeptArchiveWhole(IFileSystem& fs, const std::string& pointPath,
                           const TRestorePoint& point, TKeptEntries& kept, IProgress& progress) {
  if (point.Replaced.empty() || point.Replaced.front().Kept != kKeptArchiveName ||
      point.KeptArchiveFingerprint.empty())
    return;
  kept.Source(point.Replaced.front());  // its link and its directory are checked there
  TBlockFile file = TBlockFile::OpenReadOnly(fs, pointPath + "\\" + kKeptArchiveName);
  const std::string print = FileFingerprint(file, 0, file.Size(), [&progress] { progress.Wait(); });
  file.Close();
  if (print != point.KeptArchiveFingerprint)
    throw Damaged(point, std::string("the kept file ") + kKeptArchiveName +
                             " has changed since it was written");
}

}  // namespace

void CheckLaterPoints(IFileSystem& fs, const std::string& root,
                      const std::vector<TRestorePoint>& chain, IProgress& progress) {
  for (size_t i = 1; i < chain.size(); ++i) {
    const TRestorePoint& point = chain[i];
    const std::string path = PointPathOf(root, point.Folder);
    if (fs.IsLink(path)) throw Damaged(point, "its folder is a link");
    TKeptEntries kept(fs, path, point);
    CheckKeptArchiveWhole(fs, path, point, kept, progress);
    kept.Close();
    for (const TGameFileChange& change : point.GameFiles)
      if (change.Replaced) CheckKeptGameFile(fs, point, path, change);
    for (size_t n = 0; n < point.Parts.size(); ++n) {
      const TRestorePoint part = PartPoint(point, n);
      TKeptEntries partKept(fs, path + "\\" + KeptPartFolder(n), part);
      CheckKeptArchiveWhole(fs, path + "\\" + KeptPartFolder(n), part, partKept, progress);
      partKept.Close();
    }
  }
}

TPutSource TChainSources::Kept(const TChainBytes& bytes, IProgress& progress) {
  const auto p = static_cast<size_t>(bytes.Point);
  const TRestorePoint& point = chain_.at(p);
  const TKeptEntry& kept = point.Replaced.at(static_cast<size_t>(bytes.Kept));
  if (!kept_[p]) {
    const std::string path =
        keptFolders_.empty() ? PointPathOf(root_, point.Folder) : keptFolders_.at(p);
    kept_[p] = std::make_unique<TKeptEntries>(fs_, path, point);
    CheckKeptArchiveWhole(fs_, path, point, *kept_[p], progress);
  }
  return kept_[p]->Source(kept);
}

void TChainSources::Close() {
  for (std::unique_ptr<TKeptEntries>& kept : kept_)
    if (kept) kept->Close();
}

namespace {

// Reads `count` bytes of `file` from `position` into the fingerprint, zeros past its end as the
// compaction writes them.
void HashRange(TFingerprint& print, TBlockFile& file, int64_t position, int64_t count,
               IProgress& progress) {
  static constexpr uint32_t kPart = 1 << 20;
  std::vector<char> buffer(kPart);
  const int64_t size = file.Size();
  while (count > 0) {
    const auto part = static_cast<uint32_t>(std::min<int64_t>(count, kPart));
    uint32_t got = 0;
    if (position < size) {
      file.Seek(position);
      got = file.ReadCounted(buffer.data(), part);
    }
    std::fill(buffer.begin() + got, buffer.begin() + part, '\0');
    print.Update(buffer.data(), part);
    position += part;
    count -= part;
    progress.Wait();
  }
}

void HashZeros(TFingerprint& print, int64_t count) {
  static const std::vector<char> zeros(1 << 16, '\0');
  for (; count > 0; count -= static_cast<int64_t>(zeros.size()))
    print.Update(zeros.data(), static_cast<size_t>(std::min<int64_t>(count, zeros.size())));
}

}  // namespace

std::string ChainArchiveFingerprint(const TChainDirectory& entries, int32_t firstSector,
                                    TBlockFile& archive, TChainSources& sources,
                                    IProgress& progress) {
  TGTA3Archive state;
  std::memcpy(state.Signature, kArchiveTag, sizeof state.Signature);
  const auto count = static_cast<int32_t>(entries.size());
  const int64_t directoryEnd = kHeaderBytes + int64_t{count} * kEntryBytes;
  const int64_t first = CompactionFirstSector(count, firstSector);
  int64_t at = first;
  for (const TChainEntry& entry : entries) {
    state.Entries.push_back(entry.Entry);
    state.Entries.back().Offset = static_cast<int32_t>(at);
    at += std::max(entry.Entry.Size, 0);
  }
  TFingerprint print;
  const std::array<char, kHeaderBytes> header = ArchiveHeader(state);
  print.Update(header.data(), header.size());
  if (count == 0) {
    HashZeros(print, kSector - kHeaderBytes);
    return print.HexDigest();
  }
  print.Update(state.Entries.data(), static_cast<size_t>(count) * kEntryBytes);
  HashZeros(print, SectorBytes(first) - directoryEnd);
  for (const TChainEntry& entry : entries) {
    const int64_t bytes = EntryBytes(entry.Entry);
    if (bytes == 0) continue;
    if (entry.Bytes.Point < 0) {
      HashRange(print, archive, EntryStart(entry.Entry), bytes, progress);
    } else {
      const TPutSource source = sources.Kept(entry.Bytes, progress);
      const int64_t length = std::min(source.Length, bytes);
      HashRange(print, source.File, source.Position, length, progress);
      HashZeros(print, bytes - length);
    }
  }
  return print.HexDigest();
}

namespace {

// The kept archive of a rewritten point (or part) in `folder`: copied from `oldFolder` when it
// stays the same, else made from where the old bytes now lie; `point` gets its fingerprint.
void WriteKeptArchive(IFileSystem& fs, const std::string& oldFolder, const std::string& folder,
                      TRestorePoint& point, const TRewrittenPoint& rewritten,
                      TChainSources& sources, IProgress& progress) {
  const std::string target = folder + "\\" + kKeptArchiveName;
  if (rewritten.SameKeptArchive) {
    // Checked whole as it is read for the first time.
    sources.Kept(rewritten.KeptEntries.front(), progress);
    CopyWholeFile(fs, oldFolder + "\\" + kKeptArchiveName, target, false);
    return;
  }
  const std::vector<TArchiveEntry> directory = KeptArchiveDirectory(point.Replaced);
  TBlockFile file = TBlockFile::Create(fs, target);
  const auto count = static_cast<int32_t>(directory.size());
  file.WriteExact(kArchiveTag, 4);
  file.WriteExact(&count, 4);
  file.WriteExact(directory.data(), static_cast<uint32_t>(count) * kEntryBytes);
  WriteZeros(file, SectorBytes(FirstCompactedOffset(count)) - file.Size());
  for (size_t r = 0; r < directory.size(); ++r) {
    const TPutSource source = sources.Kept(rewritten.KeptEntries[r], progress);
    file.Seek(EntryStart(directory[r]));
    AppendRange(source.File, source.Position, source.Length, file);
    progress.Wait();
  }
  file.Flush();
  point.KeptArchiveFingerprint =
      FileFingerprint(file, 0, file.Size(), [&progress] { progress.Wait(); });
  file.Close();
}

}  // namespace

void WriteRewrittenPoint(IFileSystem& fs, const std::string& root, const std::string& path,
                         const std::vector<TRestorePoint>& chain, TRewrittenPoint rewritten,
                         const std::vector<TRestorePoint>& earlier, TChainSources& sources,
                         IProgress& progress, const std::vector<TRewrittenPart>& parts) {
  TRestorePoint& point = rewritten.Point;
  if (fs.IsLink(path) || !fs.CreateDirectory(path))
    throw Exception("Unable to create the folder " + path + ". Nothing was changed.");
  WriteFileFlushed(fs, path + "\\" + kPointMarkName, point.GameFolder);
  std::vector<std::string> written;
  if (!point.Replaced.empty()) {
    WriteKeptArchive(fs, PointPathOf(root, point.Folder), path, rewritten.Point, rewritten, sources,
                     progress);
    written.push_back(path + "\\" + kKeptArchiveName);
  }
  for (size_t f = 0; f < point.GameFiles.size(); ++f) {
    const TGameFileChange& change = point.GameFiles[f];
    if (!change.Replaced) continue;
    const TRewrittenPoint::TKeptFile& from = rewritten.GameFileFrom[f];
    const TRestorePoint& owner = chain.at(static_cast<size_t>(from.Point));
    TGameFileChange kept = change;
    kept.Kept = from.Kept;
    const std::string ownerPath = PointPathOf(root, owner.Folder);
    CheckKeptGameFile(fs, owner, ownerPath, kept);
    const std::string target = path + "\\" + change.Kept;
    CreateFolderPath(fs, ParentFolder(target));
    CopyWholeFile(fs, KeptGameFilePath(ownerPath, kept), target, false);
    written.push_back(target);
    progress.Wait();
  }
  // Its other archives: as the chains of their parts say, or else as they are.
  for (size_t n = 0; n < point.Parts.size(); ++n) {
    const std::string from = PointPathOf(root, point.Folder) + "\\" + KeptPartFolder(n);
    const std::string target = path + "\\" + KeptPartFolder(n);
    const TRewrittenPart* redone = nullptr;
    for (const TRewrittenPart& part : parts)
      if (part.Part == n) redone = &part;
    if (redone) {
      TRestorePoint& part = point.Parts[n];
      const std::string archive = part.Archive;
      part = redone->Rewritten.Point;
      part.Archive = archive;
      part.Parts.clear();
      if (part.Replaced.empty()) continue;
      CreateFolderPath(fs, target);
      WriteKeptArchive(fs, from, target, part, redone->Rewritten, *redone->Sources, progress);
      written.push_back(target + "\\" + kKeptArchiveName);
      continue;
    }
    if (point.Parts[n].Replaced.empty()) continue;
    const TRestorePoint part = PartPoint(point, n);
    TKeptEntries kept(fs, from, part);
    CheckKeptArchiveWhole(fs, from, part, kept, progress);
    kept.Close();
    CreateFolderPath(fs, target);
    CopyWholeFile(fs, from + "\\" + kKeptArchiveName, target + "\\" + kKeptArchiveName, false);
    written.push_back(target + "\\" + kKeptArchiveName);
    progress.Wait();
  }
  FlushFiles(fs, written, &progress);
  WriteFileFlushed(fs, path + "\\" + kChangesFileName, ChangesText(point, earlier));
  WriteFileFlushed(fs, path + "\\" + kRecordFileName, RecordText(point));
}

}  // namespace merva
