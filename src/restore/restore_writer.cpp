#include "restore/restore_writer.h"

#include <algorithm>
#include <map>
#include <utility>

#include "archive/sectors.h"
#include "change/ownership.h"
#include "core/block_file.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/text.h"
#include "game/game_folder.h"
#include "game/game_path.h"
#include "restore/restore_names.h"
#include "restore/restore_store.h"

namespace merva {

TRestorePointWriter::TRestorePointWriter(const TRestoreRequest& request, IFileSystem& fs,
                                         const std::string& gameFolder)
    : request_(request), fs_(fs), gameFolder_(gameFolder) {
  point_.Title = request.Title;
  point_.Time = request.Time;
  // The folder as the system knows it, so that any later spelling of it finds the point.
  const std::string canonical = fs.CanonicalPath(gameFolder);
  point_.GameFolder = canonical.empty() ? gameFolder : canonical;
  point_.GameIdentity = fs.FolderIdentity(gameFolder);
  point_.Level = request.Level;
}

TRestorePointWriter::TRestorePointWriter(TRestorePointWriter& owner, const std::string& archive,
                                         size_t n)
    : request_(owner.request_),
      fs_(owner.fs_),
      gameFolder_(owner.gameFolder_),
      owner_(&owner),
      partIndex_(n) {
  Change().Archive = archive;
}

TRestorePointWriter& TRestorePointWriter::AddPart(const std::string& archive) {
  // The point's first change is models\gta3.img's; each other archive's follows in its order.
  parts_.push_back(std::unique_ptr<TRestorePointWriter>(
      new TRestorePointWriter(*this, archive, parts_.size() + 1)));
  return *parts_.back();
}

void TRestorePointWriter::CollectParts() {
  point_.Archives.resize(1);
  for (const auto& part : parts_) point_.Archives.push_back(part->Change());
}

TRestorePointWriter::~TRestorePointWriter() {
  parts_.clear();  // their files closed before the folder that holds them goes
  keptFlush_.Join();
  keptArchive_.reset();  // closed quietly
  if (made_ && !handedOver_) RemovePointFolder(fs_, pending_);
}

void TRestorePointWriter::NoteGameFile(const TGameFileItem& item, int64_t newBytes,
                                       const std::string& fingerprint) {
  const std::string& relative = item.Path;
  if (relative.empty()) return;
  // One file on Windows however it is spelt: only the first note counts.
  if (!notedFiles_.insert(GameFileItemKey(relative)).second) return;
  for (const std::string& folder : item.Folders) {
    if (notedFolders_.count(GameFileItemKey(folder))) continue;
    if (fs_.DirectoryExists(InGameFolder(gameFolder_, folder))) continue;
    notedFolders_.insert(GameFileItemKey(folder));
    point_.FoldersCreated.push_back(folder);
  }
  TGameFileChange change;
  change.Item = relative;
  change.NewBytes = newBytes;
  change.NewFingerprint = fingerprint;
  const std::string target = InGameFolder(gameFolder_, relative);
  if (fs_.FileExists(target)) {
    change.Replaced = true;
    change.Kept = KeptGameFileName(relative);
  }
  point_.GameFiles.push_back(change);
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

void TRestorePointWriter::NoteOwners(TArchiveFile& archive) {
  // Whom each replaced entry and game file belongs to before this installation takes it over.
  // Without a restore folder there is nobody to ask: the owners stay untold.
  if (request_.Folder.empty()) return;
  // Each archive's entries are known by the earlier points' changes of it alone.
  const TOwnership owners(ListRestorePoints(fs_, request_.Folder, gameFolder_), Change().Archive);
  for (TKeptEntry& entry : Change().Replaced)
    entry.TakenFrom = TakenFromOf(owners.OwnerOf(TThing::kEntry, EntryName(entry.Old), [&] {
      return StoredFingerprint(archive, entry.Old);
    }));
  for (TGameFileChange& change : point_.GameFiles) {
    if (!change.Replaced) continue;
    change.TakenFrom = TakenFromOf(owners.OwnerOf(TThing::kGameFile, change.Item, [&] {
      try {
        return GameFileFingerprint(fs_, InGameFolder(gameFolder_, change.Item));
      } catch (const EInOutError&) {
        return std::string();  // unreadable now: the copy into the point meets it and says so
      }
    }));
  }
  earlier_ = owners.Points();
}

TRestorePoint TRestorePointWriter::Preview(TArchiveFile& archive) {
  Change().Added.clear();
  Change().Replaced.clear();
  Change().Order.clear();
  RecordArchiveChanges(archive);
  NoteOwners(archive);
  Change().OldArchiveBytes = archive.File().Size();
  Change().NewArchiveBytes = CompactedArchiveBytes(archive.State());
  CollectParts();
  // Counted as Keep counts them: the old entries' and game files' own bytes.
  Change().KeptBytes = 0;
  for (const TKeptEntry& entry : Change().Replaced) Change().KeptBytes += EntryBytes(entry.Old);
  for (TGameFileChange& change : point_.GameFiles) {
    if (!change.Replaced) continue;
    change.OldBytes = GameFileBytes(change);
    Change().KeptBytes += change.OldBytes;
  }
  return point_;
}

int64_t TRestorePointWriter::GameFileBytes(const TGameFileChange& change) {
  TBlockFile file = TBlockFile::OpenReadOnly(fs_, InGameFolder(gameFolder_, change.Item));
  const int64_t size = file.Size();
  file.Close();
  return size;
}

int64_t TRestorePointWriter::KeptBytesFor(TArchiveFile& archive) {
  const std::vector<TArchiveEntry>& opened = archive.Opened();
  const std::set<int32_t>& replaced = archive.ReplacedOrigins();
  int64_t kept = 0;
  if (!replaced.empty()) {
    int64_t sectors = FirstCompactedOffset(static_cast<int32_t>(replaced.size()));
    for (const int32_t k : replaced) sectors += std::max(opened[k].Size, 0);
    kept = SectorBytes(sectors);
  }
  for (const TGameFileChange& change : point_.GameFiles)
    if (change.Replaced) kept += GameFileBytes(change);
  return kept;
}

void TRestorePointWriter::RecordArchiveChanges(TArchiveFile& archive) {
  const std::vector<TArchiveEntry>& opened = archive.Opened();
  const std::vector<int32_t>& origins = archive.Origins();
  const TGTA3Archive& now = archive.State();
  Change().OldCount = static_cast<int32_t>(opened.size());
  Change().OldFirstSector = 0;
  bool anyData = false;
  for (const TArchiveEntry& entry : opened) {
    if (entry.Size <= 0) continue;
    Change().OldFirstSector =
        anyData ? std::min(Change().OldFirstSector, entry.Offset) : entry.Offset;
    anyData = true;
  }
  std::map<int32_t, int32_t> newIndexOf;
  for (int32_t j = 0; j < now.EntryCount() && static_cast<size_t>(j) < origins.size(); ++j) {
    const int32_t k = origins[j];
    if (k < 0) {
      Change().Added.push_back({EntryName(now.Entries[j]), now.Entries[j].Size,
                                WrittenFingerprint(archive, now.Entries[j])});
      continue;
    }
    newIndexOf[k] = j;
    TOrderRun* last = Change().Order.empty() ? nullptr : &Change().Order.back();
    if (last && last->Old + last->Count == k && last->New + last->Count == j)
      ++last->Count;
    else
      Change().Order.push_back({k, j, 1});
  }
  for (const int32_t k : archive.ReplacedOrigins()) {
    TKeptEntry kept;
    kept.Index = k;
    kept.Old = opened[k];
    kept.NewSize = now.Entries[newIndexOf.at(k)].Size;
    kept.Kept = kKeptArchiveName;
    kept.NewFingerprint = WrittenFingerprint(archive, now.Entries[newIndexOf.at(k)]);
    Change().Replaced.push_back(kept);
  }
}

template <typename Step>
void TRestorePointWriter::Checked(const Step& step) {
  try {
    step();
  } catch (const std::exception& error) {
    keptFlush_.Join();
    keptArchive_.reset();
    if (made_) RemovePointFolder(fs_, pending_);
    made_ = false;
    throw Exception("Unable to write the restore point in " + request_.Folder + " (" +
                    error.what() + "). Nothing was changed.");
  }
}

void TRestorePointWriter::Keep(TArchiveFile& archive, IProgress& progress) {
  Checked([&] { KeepUnchecked(archive, progress); });
}

void TRestorePointWriter::Finish(const std::string& newArchivePath,
                                 const std::string& newArchiveFingerprint, IProgress& progress) {
  Checked([&] { FinishUnchecked(newArchivePath, newArchiveFingerprint, progress); });
}

void TRestorePointWriter::Reserve() {
  Checked([&] {
    CreateFolderPath(fs_, request_.Folder);
    fs_.FlushFolder(ParentFolder(request_.Folder));
  });
  int32_t counter = NextRestoreCounter(fs_, request_.Folder);
  // A name in any of its states that something still holds is passed over.
  const auto taken = [&](const std::string& base) {
    for (const std::string& name : {base, base + kPartialSuffix, base + kUndoingSuffix})
      if (fs_.DirectoryExists(name) || fs_.FileExists(name) || fs_.IsLink(name)) return true;
    return false;
  };
  while (taken(PointPathOf(request_.Folder, RestorePointName(gameFolder_, counter)))) ++counter;
  point_.Folder = RestorePointName(gameFolder_, counter);
  point_.Counter = counter;
  final_ = PointPathOf(request_.Folder, point_.Folder);
  pending_ = final_ + kPartialSuffix;
}

void TRestorePointWriter::KeepUnchecked(TArchiveFile& archive, IProgress& progress) {
  if (owner_) {
    // Inside the point's folder, which goes with the point.
    pending_ = KeptArchiveFolderOf(owner_->pending_, partIndex_);
    CreateFolderPath(fs_, pending_);
  } else {
    if (!fs_.CreateDirectory(pending_)) throw Exception("Unable to create the folder " + pending_);
    made_ = true;
    WriteFileFlushed(fs_, InPoint(pending_, kPointMarkName), gameFolder_);
  }

  RecordArchiveChanges(archive);
  NoteOwners(archive);
  Change().OldArchiveBytes = archive.File().Size();
  int64_t kept = 0;
  if (!Change().Replaced.empty()) {
    const std::string target = InPoint(pending_, kKeptArchiveName);
    WriteKeptArchive(archive.File(), target);
    for (const TKeptEntry& entry : Change().Replaced) kept += EntryBytes(entry.Old);
    progress.Wait();
  }
  for (TGameFileChange& change : point_.GameFiles) {
    if (!change.Replaced) continue;
    const std::string target = InPoint(pending_, change.Kept);
    CreateFolderPath(fs_, ParentFolder(target));
    change.OldBytes = CopyWholeFile(fs_, InGameFolder(gameFolder_, change.Item), target, false);
    change.KeptFingerprint = GameFileFingerprint(fs_, target);
    keptFiles_.push_back(target);
    kept += change.OldBytes;
    progress.Wait();
  }
  Change().KeptBytes = kept;
}

void TRestorePointWriter::WriteKeptArchive(TBlockFile& archive, const std::string& path) {
  // One file however many entries a mod replaces, in the game's own format: one file to write
  // and to flush (thousands of small files cost seconds), and any IMG tool can open it.
  const auto count = static_cast<int32_t>(Change().Replaced.size());
  const std::vector<TArchiveEntry> directory = KeptArchiveDirectory(Change().Replaced);
  TBlockFile file = TBlockFile::Create(fs_, path);
  file.WriteExact(kArchiveTag, 4);
  file.WriteExact(&count, 4);
  file.WriteExact(directory.data(), static_cast<uint32_t>(count) * kEntryBytes);
  WriteZeros(file, SectorBytes(FirstCompactedOffset(count)) - file.Size());
  keptArchive_.emplace(std::move(file));
  // The old bytes are read where they lie, front to back: a player's archive is on the disk,
  // not in memory, and reading it in the mod's order would seek all over it.
  keptRanges_.clear();
  keptCopied_ = 0;
  keptSource_ = &archive;
  for (size_t i = 0; i < directory.size(); ++i)
    keptRanges_.push_back({EntryStart(Change().Replaced[i].Old), SectorBytes(directory[i].Size),
                           EntryStart(directory[i])});
  std::stable_sort(keptRanges_.begin(), keptRanges_.end(),
                   [](const TKeptRange& a, const TKeptRange& b) { return a.From < b.From; });
}

void TRestorePointWriter::KeepArchiveBytesBefore(int64_t position) {
  Checked([&] { CopyKeptBytesBefore(position); });
}

void TRestorePointWriter::CopyKeptBytesBefore(int64_t position) {
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

void TRestorePointWriter::JoinKeptFlush(IProgress& progress) {
  CopyKeptBytesBefore(INT64_MAX);  // what no rebuild read along with its own
  // The progress is told while the last of it reaches the disk.
  keptFlush_.Wait(progress);
  if (keptArchive_) {
    // Read back as it now lies on the disk (from the cache, at reading speed), so that an undo
    // knows a kept archive that was changed or swapped since.
    Change().KeptArchiveFingerprint =
        FileFingerprint(*keptArchive_, 0, keptArchive_->Size(), [&progress] { progress.Wait(); });
    keptArchive_->Close();
  }
  keptArchive_.reset();
}

void TRestorePointWriter::FinishUnchecked(const std::string& newArchivePath,
                                          const std::string& newArchiveFingerprint,
                                          IProgress& progress) {
  // The old bytes are on the disk before the record that names them.
  JoinKeptFlush(progress);
  FlushFiles(fs_, keptFiles_, &progress);
  TBlockFile created = TBlockFile::OpenReadOnly(fs_, newArchivePath);
  Change().NewArchiveBytes = created.Size();
  Change().NewArchiveFingerprint = newArchiveFingerprint;
  created.Close();
  if (owner_) return;  // recorded with its point
  CollectParts();

  WriteFileFlushed(fs_, InPoint(pending_, kChangesFileName), ChangesText(point_, earlier_));
  // The record last: a point without it is no point at all.
  WriteFileFlushed(fs_, InPoint(pending_, kRecordFileName), RecordText(point_));
}

}  // namespace merva
