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

TArchiveChangeWriter& TRestorePointWriter::AddArchive(const std::string& archive) {
  keptFolders_.push_back(pending_.empty() ? "" : KeptArchiveFolderOf(pending_, archives_.size()));
  return archives_.emplace_back(fs_, request_.Folder, archive, keptFolders_.back(), Earlier());
}

const std::vector<TRestorePoint>& TRestorePointWriter::Earlier() {
  // Without a restore folder there is nobody to ask.
  if (!earlierRead_ && !request_.Folder.empty())
    earlier_ = ListRestorePoints(fs_, request_.Folder, gameFolder_);
  earlierRead_ = true;
  return earlier_;
}

void TRestorePointWriter::CollectArchives(int64_t keptGameFileBytes) {
  point_.Archives.clear();
  for (const TArchiveChangeWriter& archive : archives_) point_.Archives.push_back(archive.Change());
  if (!point_.Archives.empty()) point_.Archives.front().KeptBytes += keptGameFileBytes;
}

TRestorePointWriter::~TRestorePointWriter() {
  archives_.clear();  // their files closed before the folder that holds them goes
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

void TRestorePointWriter::NoteGameFileOwners() {
  // Whom each replaced game file belongs to before this installation takes it over. Without a
  // restore folder there is nobody to ask: the owners stay untold.
  if (request_.Folder.empty()) return;
  const TOwnership owners(Earlier());
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
}

TRestorePoint TRestorePointWriter::Preview() {
  NoteGameFileOwners();
  // Counted as Keep counts them: the old game files' own bytes.
  int64_t kept = 0;
  for (TGameFileChange& change : point_.GameFiles) {
    if (!change.Replaced) continue;
    change.OldBytes = GameFileBytes(change);
    kept += change.OldBytes;
  }
  CollectArchives(kept);
  return point_;
}

int64_t TRestorePointWriter::GameFileBytes(const TGameFileChange& change) {
  TBlockFile file = TBlockFile::OpenReadOnly(fs_, InGameFolder(gameFolder_, change.Item));
  const int64_t size = file.Size();
  file.Close();
  return size;
}

int64_t TRestorePointWriter::KeptGameFileBytes() {
  int64_t kept = 0;
  for (const TGameFileChange& change : point_.GameFiles)
    if (change.Replaced) kept += GameFileBytes(change);
  return kept;
}

template <typename Step>
void TRestorePointWriter::Checked(const Step& step) {
  try {
    step();
  } catch (const std::exception& error) {
    for (TArchiveChangeWriter& archive : archives_) archive.Abandon();
    if (made_) RemovePointFolder(fs_, pending_);
    made_ = false;
    RaiseUnwrittenPoint(request_.Folder, error);
  }
}

void TRestorePointWriter::Keep(IProgress& progress) {
  Checked([&] { KeepUnchecked(progress); });
}

void TRestorePointWriter::Finish(IProgress& progress) {
  Checked([&] { FinishUnchecked(progress); });
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
  for (size_t n = 0; n < keptFolders_.size(); ++n)
    keptFolders_[n] = KeptArchiveFolderOf(pending_, n);
}

void TRestorePointWriter::KeepUnchecked(IProgress& progress) {
  if (!fs_.CreateDirectory(pending_)) throw Exception("Unable to create the folder " + pending_);
  made_ = true;
  WriteFileFlushed(fs_, InPoint(pending_, kPointMarkName), gameFolder_);
  NoteGameFileOwners();
  keptFileBytes_ = 0;
  for (TGameFileChange& change : point_.GameFiles) {
    if (!change.Replaced) continue;
    const std::string target = InPoint(pending_, change.Kept);
    CreateFolderPath(fs_, ParentFolder(target));
    change.OldBytes = CopyWholeFile(fs_, InGameFolder(gameFolder_, change.Item), target, false);
    change.KeptFingerprint = GameFileFingerprint(fs_, target);
    keptFiles_.push_back(target);
    keptFileBytes_ += change.OldBytes;
    progress.Wait();
  }
}

void TRestorePointWriter::FinishUnchecked(IProgress& progress) {
  // The old bytes are on the disk before the record that names them.
  FlushFiles(fs_, keptFiles_, &progress);
  CollectArchives(keptFileBytes_);
  WriteFileFlushed(fs_, InPoint(pending_, kChangesFileName), ChangesText(point_, Earlier()));
  // The record last: a point without it is no point at all.
  WriteFileFlushed(fs_, InPoint(pending_, kRecordFileName), RecordText(point_));
}

}  // namespace merva
