#include "restore/archive_change_writer.h"

#include <algorithm>
#include <map>
#include <set>

#include "archive/archive_kind.h"
#include "archive/sectors.h"
#include "change/ownership.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "restore/restore_names.h"

namespace merva {

void RaiseUnwrittenPoint(const std::string& restoreFolder, const std::exception& error) {
  throw Exception("Unable to write the restore point in " + restoreFolder + " (" + error.what() +
                  "). Nothing was changed.");
}

TArchiveChangeWriter::TArchiveChangeWriter(IFileSystem& fs, const std::string& restoreFolder,
                                           const std::string& archive,
                                           const std::string& keptFolder,
                                           const std::vector<TRestorePoint>& earlier)
    : fs_(fs), restoreFolder_(restoreFolder), keptFolder_(keptFolder), earlier_(earlier) {
  if (!archive.empty()) change_.Archive = archive;
}

void TArchiveChangeWriter::Abandon() {
  prints_.reset();
  keptFlush_.Join();
  keptArchive_.reset();  // closed quietly
}

template <typename Step>
void TArchiveChangeWriter::Checked(const Step& step) {
  try {
    step();
  } catch (const std::exception& error) {
    Abandon();
    RaiseUnwrittenPoint(restoreFolder_, error);
  }
}

namespace {

// The fingerprint of an entry's sectors as the planned archive holds them: what the installation
// writes, so that a later run knows whether it is still there.
std::string WrittenFingerprint(TArchiveFile& archive, const TArchiveEntry& entry) {
  return BodyFingerprint(archive.Body(), EntryStart(entry), EntryBytes(entry));
}

// The same for an entry of the archive as it lies in its file.
std::string StoredFingerprint(TArchiveFile& archive, const TArchiveEntry& entry) {
  TFileBody stored(archive.File());
  return BodyFingerprint(stored, EntryStart(entry), EntryBytes(entry));
}

}  // namespace

void TArchiveChangeWriter::NoteOwners(TArchiveFile& archive) {
  // Whom each replaced entry belongs to before this installation takes it over. Without a
  // restore folder there is nobody to ask: the owners stay untold.
  if (restoreFolder_.empty()) return;
  // Each archive's entries are known by the earlier points' changes of it alone.
  const TOwnership owners(earlier_, change_.Archive);
  for (TKeptEntry& entry : change_.Replaced)
    entry.TakenFrom = TakenFromOf(owners.OwnerOf(TThing::kEntry, EntryName(entry.Old), [&] {
      return StoredFingerprint(archive, entry.Old);
    }));
}

const TArchiveChange& TArchiveChangeWriter::Preview(TArchiveFile& archive) {
  change_.Added.clear();
  change_.Replaced.clear();
  change_.Order.clear();
  RecordArchiveChanges(archive);
  const std::vector<std::string*> prints = WrittenFingerprints();
  for (size_t i = 0; i < prints.size(); ++i) *prints[i] = WrittenFingerprint(archive, written_[i]);
  NoteOwners(archive);
  change_.OldArchiveBytes = archive.File().Size();
  change_.NewArchiveBytes = CompactedArchiveBytes(archive.State());
  // Counted as Keep counts them: the old entries' own bytes.
  change_.KeptBytes = 0;
  for (const TKeptEntry& entry : change_.Replaced) change_.KeptBytes += EntryBytes(entry.Old);
  return change_;
}

int64_t TArchiveChangeWriter::KeptBytesFor(TArchiveFile& archive) const {
  const std::vector<TArchiveEntry>& opened = archive.Opened();
  const std::set<int32_t>& replaced = archive.ReplacedOrigins();
  if (replaced.empty()) return 0;
  int64_t sectors = FirstCompactedOffset(static_cast<int32_t>(replaced.size()), change_.Kind);
  for (const int32_t k : replaced) sectors += std::max(opened[k].Size, 0);
  return SectorBytes(sectors);
}

void TArchiveChangeWriter::RecordArchiveChanges(TArchiveFile& archive) {
  const std::vector<TArchiveEntry>& opened = archive.Opened();
  const std::vector<int32_t>& origins = archive.Origins();
  const TGTA3Archive& now = archive.State();
  written_.clear();
  change_.Kind = now.Kind;
  change_.OldCount = static_cast<int32_t>(opened.size());
  change_.OldFirstSector = 0;
  bool anyData = false;
  for (const TArchiveEntry& entry : opened) {
    if (entry.Size <= 0) continue;
    change_.OldFirstSector =
        anyData ? std::min(change_.OldFirstSector, entry.Offset) : entry.Offset;
    anyData = true;
  }
  std::map<int32_t, int32_t> newIndexOf;
  for (int32_t j = 0; j < now.EntryCount() && static_cast<size_t>(j) < origins.size(); ++j) {
    const int32_t k = origins[j];
    if (k < 0) {
      change_.Added.push_back({EntryName(now.Entries[j]), now.Entries[j].Size, {}});
      written_.push_back(now.Entries[j]);
      continue;
    }
    newIndexOf[k] = j;
    TOrderRun* last = change_.Order.empty() ? nullptr : &change_.Order.back();
    if (last && last->Old + last->Count == k && last->New + last->Count == j)
      ++last->Count;
    else
      change_.Order.push_back({k, j, 1});
  }
  for (const int32_t k : archive.ReplacedOrigins()) {
    TKeptEntry kept;
    kept.Index = k;
    kept.Old = opened[k];
    kept.NewSize = now.Entries[newIndexOf.at(k)].Size;
    kept.Kept = kKeptArchiveName;
    change_.Replaced.push_back(kept);
    written_.push_back(now.Entries[newIndexOf.at(k)]);
  }
}

std::vector<std::string*> TArchiveChangeWriter::WrittenFingerprints() {
  std::vector<std::string*> prints;
  for (TAddedEntry& added : change_.Added) prints.push_back(&added.NewFingerprint);
  for (TKeptEntry& kept : change_.Replaced) prints.push_back(&kept.NewFingerprint);
  return prints;
}

void TArchiveChangeWriter::TakeFingerprints() {
  if (!prints_) return;
  Checked([&] {
    prints_->Finish();
    const std::vector<std::string*> prints = WrittenFingerprints();
    for (size_t i = 0; i < prints.size(); ++i) *prints[i] = prints_->Fingerprint(i);
    prints_.reset();
  });
}

void TArchiveChangeWriter::Keep(TArchiveFile& archive, IProgress& progress) {
  Checked([&] {
    // Inside the point's folder, which goes with the point.
    CreateFolderPath(fs_, keptFolder_);
    RecordArchiveChanges(archive);
    // Taken as the new archive's writing reads the mod's files, or at the latest by Finish.
    prints_.emplace(archive.Body());
    for (const TArchiveEntry& entry : written_) prints_->Add(entry);
    NoteOwners(archive);
    change_.OldArchiveBytes = archive.File().Size();
    change_.KeptBytes = 0;
    if (change_.Replaced.empty()) return;
    WriteKeptArchive(archive.File(), InPoint(keptFolder_, kKeptArchiveName));
    for (const TKeptEntry& entry : change_.Replaced) change_.KeptBytes += EntryBytes(entry.Old);
    progress.Wait();
  });
}

void TArchiveChangeWriter::WriteKeptArchive(TBlockFile& archive, const std::string& path) {
  const std::vector<TArchiveEntry> directory = KeptArchiveDirectory(change_.Replaced, change_.Kind);
  keptArchive_.emplace(CreateKeptArchive(fs_, path, change_, directory));
  // The old bytes are read where they lie, front to back: a player's archive is on the disk,
  // not in memory, and reading it in the mod's order would seek all over it.
  keptRanges_.clear();
  keptCopied_ = 0;
  keptSource_ = &archive;
  for (size_t i = 0; i < directory.size(); ++i)
    keptRanges_.push_back({EntryStart(change_.Replaced[i].Old), SectorBytes(directory[i].Size),
                           EntryStart(directory[i])});
  std::stable_sort(keptRanges_.begin(), keptRanges_.end(),
                   [](const TKeptRange& a, const TKeptRange& b) { return a.From < b.From; });
}

void TArchiveChangeWriter::KeepArchiveBytesBefore(int64_t position) {
  Checked([&] { CopyKeptBytesBefore(position); });
}

void TArchiveChangeWriter::CopyKeptBytesBefore(int64_t position) {
  if (!keptArchive_ || keptCopied_ == keptRanges_.size()) return;
  for (; keptCopied_ < keptRanges_.size() && keptRanges_[keptCopied_].From < position;
       ++keptCopied_) {
    const TKeptRange& range = keptRanges_[keptCopied_];
    keptArchive_->Seek(range.To);
    AppendRange(*keptSource_, range.From, range.Length, *keptArchive_);
  }
  // To the disk while the rest of the new archive is written, through the handle that wrote
  // it; the record waits for it (JoinKeptFlush).
  if (keptCopied_ == keptRanges_.size()) keptFlush_.Start(*keptArchive_);
}

void TArchiveChangeWriter::JoinKeptFlush(IProgress& progress) {
  CopyKeptBytesBefore(INT64_MAX);  // what no rebuild read along with its own
  // The progress is told while the last of it reaches the disk.
  keptFlush_.Wait(progress);
  if (keptArchive_) {
    // Read back as it now lies on the disk (from the cache, at reading speed), so that an undo
    // knows a kept archive that was changed or swapped since.
    change_.KeptArchiveFingerprint =
        FileFingerprint(*keptArchive_, 0, keptArchive_->Size(), [&progress] { progress.Wait(); });
    keptArchive_->Close();
  }
  keptArchive_.reset();
}

void TArchiveChangeWriter::Finish(const std::string& newArchivePath,
                                  const std::string& newArchiveFingerprint, IProgress& progress) {
  TakeFingerprints();
  Checked([&] {
    // The old bytes are on the disk before the record that names them.
    JoinKeptFlush(progress);
    TBlockFile created = TBlockFile::OpenReadOnly(fs_, newArchivePath);
    change_.NewArchiveBytes = created.Size();
    change_.NewArchiveFingerprint = newArchiveFingerprint;
    created.Close();
  });
}

}  // namespace merva
