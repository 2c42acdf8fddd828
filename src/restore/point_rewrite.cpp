#include "restore/point_rewrite.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "archive/archive_file.h"
#include "archive/archive_kind.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "restore/restore_names.h"

namespace merva {

TChainSources::TChainSources(IFileSystem& fs, const std::vector<TArchiveLink>& links)
    : fs_(fs), links_(links), kept_(links.size()) {}

TChainSources::~TChainSources() = default;

namespace {

// A kept archive read whole against its fingerprint: the bytes copied on from it are the ones
// its installation kept.
void CheckKeptArchiveWhole(IFileSystem& fs, const TArchiveLink& link, TKeptEntries& kept,
                           IProgress& progress) {
  const TArchiveChange& change = link.Change;
  if (change.Replaced.empty() || change.Replaced.front().Kept != kKeptArchiveName ||
      change.KeptArchiveFingerprint.empty())
    return;
  kept.Source(change.Replaced.front());  // its link and its directory are checked there
  TBlockFile file = TBlockFile::OpenReadOnly(fs, InPoint(link.KeptFolder, kKeptArchiveName));
  const std::string print = FileFingerprint(file, 0, file.Size(), [&progress] { progress.Wait(); });
  file.Close();
  if (print != change.KeptArchiveFingerprint)
    throw Damaged(link.Point, std::string("the kept file ") + kKeptArchiveName +
                                  " has changed since it was written");
}

// Each archive's link of the point whose folder is `path`.
TArchiveLink LinkOf(const TRestorePoint& point, const std::string& path, size_t n) {
  return {point.Folder, KeptArchiveFolderOf(path, n), point.Archives[n]};
}

}  // namespace

void CheckLaterPoints(IFileSystem& fs, const std::string& root,
                      const std::vector<TRestorePoint>& chain, IProgress& progress) {
  for (size_t i = 1; i < chain.size(); ++i) {
    const TRestorePoint& point = chain[i];
    const std::string path = PointPathOf(root, point.Folder);
    if (fs.IsLink(path)) throw Damaged(point, "its folder is a link");
    for (size_t n = 0; n < point.Archives.size(); ++n) {
      const TArchiveLink link = LinkOf(point, path, n);
      TKeptEntries kept(fs, link);
      CheckKeptArchiveWhole(fs, link, kept, progress);
      kept.Close();
    }
    for (const TGameFileChange& change : point.GameFiles)
      if (change.Replaced) CheckKeptGameFile(fs, point, path, change);
  }
}

TPutSource TChainSources::Kept(const TChainBytes& bytes, IProgress& progress) {
  const auto p = static_cast<size_t>(bytes.Point);
  const TArchiveLink& link = links_.at(p);
  const TKeptEntry& kept = link.Change.Replaced.at(static_cast<size_t>(bytes.Kept));
  if (!kept_[p]) {
    kept_[p] = std::make_unique<TKeptEntries>(fs_, link);
    CheckKeptArchiveWhole(fs_, link, *kept_[p], progress);
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
                                    TArchiveKind kind, TBlockFile& archive, TChainSources& sources,
                                    IProgress& progress) {
  TGTA3Archive state;
  state.Kind = kind;
  std::memcpy(state.Signature, kArchiveTag, sizeof state.Signature);
  const auto count = static_cast<int32_t>(entries.size());
  const int64_t directoryStart = EntryPosition(kind, 0);
  const int64_t directoryEnd = DirectoryEnd(kind, count);
  const int64_t first = CompactionFirstSector(count, firstSector, kind);
  int64_t at = first;
  for (const TChainEntry& entry : entries) {
    state.Entries.push_back(entry.Entry);
    state.Entries.back().Offset = static_cast<int32_t>(at);
    at += std::max(entry.Entry.Size, 0);
  }
  TFingerprint print;
  const std::string header = ArchiveHeader(state);
  print.Update(header.data(), header.size());
  HashZeros(print, directoryStart - static_cast<int64_t>(header.size()));
  if (count == 0) {
    HashZeros(print, kSector - directoryStart);
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

// The kept archive of a rewritten change in `folder`: copied from `oldFolder` when it stays the
// same, else made from where the old bytes now lie; `change` gets its fingerprint.
void WriteKeptArchive(IFileSystem& fs, const std::string& oldFolder, const std::string& folder,
                      TArchiveChange& change, const TRewrittenArchive& rewritten,
                      TChainSources& sources, IProgress& progress) {
  const std::string target = InPoint(folder, kKeptArchiveName);
  if (rewritten.SameKeptArchive) {
    // Checked whole as it is read for the first time.
    sources.Kept(rewritten.KeptEntries.front(), progress);
    CopyWholeFile(fs, InPoint(oldFolder, kKeptArchiveName), target, false);
    return;
  }
  const std::vector<TArchiveEntry> directory = KeptArchiveDirectory(change.Replaced, change.Kind);
  TBlockFile file = CreateKeptArchive(fs, target, change, directory);
  for (size_t r = 0; r < directory.size(); ++r) {
    const TPutSource source = sources.Kept(rewritten.KeptEntries[r], progress);
    file.Seek(EntryStart(directory[r]));
    AppendRange(source.File, source.Position, source.Length, file);
    progress.Wait();
  }
  file.Flush();
  change.KeptArchiveFingerprint =
      FileFingerprint(file, 0, file.Size(), [&progress] { progress.Wait(); });
  file.Close();
}

}  // namespace

void WriteRewrittenPoint(IFileSystem& fs, const std::string& root, const std::string& path,
                         const std::vector<TRestorePoint>& chain, TRestorePoint point,
                         const std::vector<TGameFilesUndo::TRewritten::TKeptFile>& gameFileFrom,
                         const std::vector<TRewrittenChange>& archives,
                         const std::vector<TRestorePoint>& earlier, IProgress& progress) {
  if (fs.IsLink(path) || !fs.CreateDirectory(path))
    throw Exception("Unable to create the folder " + path + ". Nothing was changed.");
  WriteFileFlushed(fs, InPoint(path, kPointMarkName), point.GameFolder);
  std::vector<std::string> written;
  const std::string oldPath = PointPathOf(root, point.Folder);
  // Each archive: as the chain of that archive says, or else as it is.
  for (size_t n = 0; n < point.Archives.size(); ++n) {
    TArchiveChange& change = point.Archives[n];
    if (change.Replaced.empty()) continue;
    const std::string from = KeptArchiveFolderOf(oldPath, n);
    const std::string target = KeptArchiveFolderOf(path, n);
    CreateFolderPath(fs, target);
    const TRewrittenChange* redone = nullptr;
    for (const TRewrittenChange& archive : archives)
      if (archive.Archive == n) redone = &archive;
    if (redone) {
      WriteKeptArchive(fs, from, target, change, redone->Rewritten, *redone->Sources, progress);
    } else {
      const TArchiveLink link = LinkOf(point, oldPath, n);
      TKeptEntries kept(fs, link);
      CheckKeptArchiveWhole(fs, link, kept, progress);
      kept.Close();
      CopyWholeFile(fs, InPoint(from, kKeptArchiveName), InPoint(target, kKeptArchiveName), false);
      progress.Wait();
    }
    written.push_back(InPoint(target, kKeptArchiveName));
  }
  for (size_t f = 0; f < point.GameFiles.size(); ++f) {
    const TGameFileChange& change = point.GameFiles[f];
    if (!change.Replaced) continue;
    const TGameFilesUndo::TRewritten::TKeptFile& from = gameFileFrom[f];
    const TRestorePoint& owner = chain.at(static_cast<size_t>(from.Point));
    TGameFileChange kept = change;
    kept.Kept = from.Kept;
    const std::string ownerPath = PointPathOf(root, owner.Folder);
    CheckKeptGameFile(fs, owner, ownerPath, kept);
    const std::string target = InPoint(path, change.Kept);
    CreateFolderPath(fs, ParentFolder(target));
    CopyWholeFile(fs, KeptGameFilePath(ownerPath, kept), target, false);
    written.push_back(target);
    progress.Wait();
  }
  FlushFiles(fs, written, &progress);
  WriteFileFlushed(fs, InPoint(path, kChangesFileName), ChangesText(point, earlier));
  WriteFileFlushed(fs, InPoint(path, kRecordFileName), RecordText(point));
}

}  // namespace merva
