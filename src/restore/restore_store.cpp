#include "restore/restore_store.h"

#include <algorithm>

#include "archive/game_check.h"
#include "core/block_file.h"
#include "core/environment.h"
#include "core/errors.h"
#include "core/file_hash_along.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/sha256.h"
#include "core/text.h"
#include "game/game_folder.h"
#include "game/game_path.h"
#include "restore/restore_names.h"

namespace merva {

const char kNothingToTakeBack[] = "There is no installation to take back.";

// Nine digits, as folder names are read back.
constexpr int32_t kLastCounter = 999999999;
// A game folder's name in a point's name is cut to this many bytes, so that the point's path
// stays short on every file system.
constexpr size_t kPointNameBytes = 64;
constexpr int64_t kRecordLimit = 64 << 20;

namespace {

// The counter at the end of a folder name ("GTA San Andreas 12.partial" has 12), or 0.
int32_t CounterOf(std::string name) {
  for (const char* suffix : {kPartialSuffix, kUndoingSuffix})
    if (EndsWith(name, suffix)) name.resize(name.size() - std::char_traits<char>::length(suffix));
  const auto space = name.find_last_of(' ');
  if (space == std::string::npos || space + 1 == name.size() || name.size() - space > 10) return 0;
  int32_t counter = 0;
  for (size_t i = space + 1; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    counter = counter * 10 + (name[i] - '0');
  }
  return counter;
}

// A point's final name, "GAME COUNTER": neither unfinished nor being taken back.
bool IsFinishedPointName(const std::string& name) {
  return !EndsWith(name, kPartialSuffix) && !EndsWith(name, kUndoingSuffix) && CounterOf(name) > 0;
}

}  // namespace

std::string PointMarkGame(IFileSystem& fs, const std::string& path) {
  const std::string mark = InPoint(path, kPointMarkName);
  if (fs.IsLink(mark) || !fs.FileExists(mark)) return "";
  try {
    TBlockFile file = TBlockFile::OpenReadOnly(fs, mark);
    const int64_t size = file.Size();
    if (size <= 0 || size > 32768) return "";  // a game folder's path, no more
    std::string game(static_cast<size_t>(size), '\0');
    file.ReadExact(&game[0], static_cast<uint32_t>(size));
    return game;
  } catch (const std::exception&) {
    return "";
  }
}

void RemovePointFolder(IFileSystem& fs, const std::string& path) {
  if (fs.IsLink(path)) return;
  std::vector<std::string> names;
  if (!fs.ListFolder(path, names)) return;
  for (const std::string& name : names) {
    if (name == kPointMarkName) continue;
    const std::string child = InPoint(path, name);
    if (!fs.IsLink(child) && fs.DirectoryExists(child))
      RemoveFolderTree(fs, child);
    else
      fs.DeleteFile(child);
  }
  // The mark last: a folder only partly removed is still known as ours, and removed next time.
  fs.DeleteFile(InPoint(path, kPointMarkName));
  fs.RemoveDirectory(path);
}

bool IsOwnPointFolder(IFileSystem& fs, const std::string& path) {
  for (const char* own : {kPointMarkName, kRecordFileName}) {
    const std::string file = InPoint(path, own);
    if (fs.FileExists(file) && !fs.IsLink(file)) return true;
  }
  return false;
}

TPointPlace PointPlaceOf(IFileSystem& fs, const std::string& root, const std::string& point) {
  if (point.find_first_of("\\/") == std::string::npos) return {root, point};
  const std::string full = FolderWithoutFinalSeparators(fs.AbsolutePath(point));
  const size_t slash = full.find_last_of("\\/");
  return {FolderWithoutFinalSeparators(full.substr(0, slash + 1)), full.substr(slash + 1)};
}

std::string RestorePointName(const std::string& gameFolder, int32_t counter) {
  std::string name = ExtractFileNamePart(TrimmedGameFolder(gameFolder));
  if (name.empty()) name = TrimmedGameFolder(gameFolder);  // a drive: "D:\" is named "D"
  name = FileSystemSafeName(name);
  if (name.size() > kPointNameBytes) {
    size_t cut = kPointNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  while (!name.empty() && (name.back() == '.' || name.back() == ' ' || name.back() == '_'))
    name.pop_back();
  if (name.empty()) name = "game";
  return name + " " + std::to_string(counter);
}

int32_t NextRestoreCounter(IFileSystem& fs, const std::string& root) {
  std::vector<std::string> names;
  fs.ListFolder(root, names);
  int32_t highest = 0;
  // Only our own folders count: someone else's "notes 999999999" must not use up the numbers.
  for (const std::string& name : names)
    if (CounterOf(name) > highest && IsOwnPointFolder(fs, PointPathOf(root, name)))
      highest = CounterOf(name);
  if (highest >= kLastCounter)
    throw Exception("The restore points in " + root + " have used up their numbers (" +
                    std::to_string(kLastCounter) + "): take some installations back first.");
  return highest + 1;
}

namespace {

TRecordRead ReadPointRecord(IFileSystem& fs, const std::string& path, TRestorePoint& point,
                            std::string& unknown) {
  const std::string record = InPoint(path, kRecordFileName);
  if (!fs.FileExists(record)) return TRecordRead::kDamaged;
  point = TRestorePoint{};
  TRecordRead read = TRecordRead::kDamaged;
  try {
    if (fs.IsLink(record)) return TRecordRead::kDamaged;
    TBlockFile file = TBlockFile::OpenReadOnly(fs, record);
    const int64_t size = file.Size();
    file.Close();
    // A record of the largest archive the game can read stays well below this.
    if (size > kRecordLimit) return TRecordRead::kDamaged;
    read = ReadRecord(ReadWholeFile(fs, record), point, unknown);
  } catch (const std::exception&) {
    return TRecordRead::kDamaged;
  }
  point.Folder = ExtractFileNamePart(path);
  point.Counter = CounterOf(point.Folder);
  return read;
}

}  // namespace

bool ReadRestorePoint(IFileSystem& fs, const std::string& path, TRestorePoint& point) {
  std::string unknown;
  return ReadPointRecord(fs, path, point, unknown) == TRecordRead::kWhole;
}

std::string DamagedPointReason(const TDamagedPoint& point) {
  if (point.NewerField.empty()) return "its record is missing or cannot be read";
  return "it was made by a newer version of Merva (its record holds \"" + point.NewerField +
         "\", which this version does not know)";
}

namespace {

// The names of the folders in `root` that are finished points by their name, links left out.
std::vector<std::string> FinishedPointFolders(IFileSystem& fs, const std::string& root) {
  std::vector<std::string> names, finished;
  if (!fs.ListFolder(root, names)) return finished;
  for (const std::string& name : names)
    if (IsFinishedPointName(name) && !fs.IsLink(PointPathOf(root, name))) finished.push_back(name);
  return finished;
}

}  // namespace

std::vector<TRestorePoint> ListRestorePoints(IFileSystem& fs, const std::string& root,
                                             const std::string& gameFolder) {
  std::vector<TRestorePoint> points;
  for (const std::string& name : FinishedPointFolders(fs, root)) {
    TRestorePoint point;
    if (!ReadRestorePoint(fs, PointPathOf(root, name), point)) continue;
    if (!gameFolder.empty() &&
        (!SameGameFolder(fs, point.GameFolder, gameFolder) || GameReplacedSince(fs, point)))
      continue;
    points.push_back(point);
  }
  SortNewestFirst(points);
  return points;
}

bool IsRecordedArchive(TBlockFile& archive, const TArchiveChange& change, IProgress* progress) {
  return TRecordedArchiveCheck(archive, change).Same(progress);
}

// Points of earlier layouts name the archive by its SHA-256 (64 hex digits), newer ones by its
// fingerprint.
struct TRecordedArchiveCheck::THashes {
  THashes(TBlockFile& archive, const TArchiveChange& change)
      : Sha(change.NewArchiveFingerprint.size() == 64),
        Along(archive, change.NewArchiveBytes, [this](const char* data, size_t size) {
          if (Sha)
            Sha256.Update(data, size);
          else
            Fingerprint.Update(data, size);
        }) {}
  bool Sha;
  TSha256 Sha256;
  TFingerprint Fingerprint;
  TFileHashAlong Along;
};

TRecordedArchiveCheck::TRecordedArchiveCheck(TBlockFile& archive, const TArchiveChange& change)
    : fingerprint_(change.NewArchiveFingerprint),
      sizeMatches_(archive.Size() == change.NewArchiveBytes),
      hashes_(std::make_unique<THashes>(archive, change)) {}

TRecordedArchiveCheck::~TRecordedArchiveCheck() = default;

void TRecordedArchiveCheck::ReadUpTo(int64_t position) {
  if (sizeMatches_) hashes_->Along.ReadUpTo(position);
}

void TRecordedArchiveCheck::Take(int64_t at, const char* data, size_t count) {
  if (sizeMatches_) hashes_->Along.Take(at, data, count);
}

bool TRecordedArchiveCheck::Step() {
  return sizeMatches_ && hashes_->Along.Step();
}

bool TRecordedArchiveCheck::Same(IProgress* progress) {
  if (!sizeMatches_) return false;
  while (Step())
    if (progress) progress->Wait();
  const std::string found =
      hashes_->Sha ? hashes_->Sha256.HexDigest() : hashes_->Fingerprint.HexDigest();
  return found == fingerprint_;
}

bool ArchiveMatches(IFileSystem& fs, const TRestorePoint& point, IProgress* progress) {
  const std::string path = ArchivePathOf(TrimmedGameFolder(point.GameFolder));
  if (!fs.FileExists(path)) return false;
  TBlockFile archive = TBlockFile::OpenReadOnly(fs, path);
  const bool same = IsRecordedArchive(archive, point.Archives.front(), progress);
  archive.Close();
  return same;
}

bool GameReplacedSince(IFileSystem& fs, const TRestorePoint& point) {
  if (point.GameIdentity.empty()) return false;
  const std::string now = fs.FolderIdentity(TrimmedGameFolder(point.GameFolder));
  return !now.empty() && now != point.GameIdentity;
}

std::vector<TDamagedPoint> DamagedRestorePoints(IFileSystem& fs, const std::string& root,
                                                const std::string& gameFolder) {
  std::vector<TDamagedPoint> damaged;
  for (const std::string& name : FinishedPointFolders(fs, root)) {
    const std::string path = PointPathOf(root, name);
    if (!IsOwnPointFolder(fs, path)) continue;
    TRestorePoint point;
    std::string unknown;
    const TRecordRead read = ReadPointRecord(fs, path, point, unknown);
    if (read == TRecordRead::kWhole) continue;
    const std::string game = PointMarkGame(fs, path);
    if (!gameFolder.empty() && (game.empty() || !SameGameFolder(fs, game, gameFolder))) continue;
    damaged.push_back({name, CounterOf(name), game, read == TRecordRead::kNewer ? unknown : ""});
  }
  SortNewestFirst(damaged);
  return damaged;
}

std::vector<std::string> GamesOfUnfinishedPoints(IFileSystem& fs, const std::string& root) {
  std::vector<std::string> names, games;
  if (!fs.ListFolder(root, names)) return games;
  for (const std::string& name : names) {
    const std::string path = PointPathOf(root, name);
    if (!EndsWith(name, kPartialSuffix) && !EndsWith(name, kUndoingSuffix)) continue;
    if (fs.IsLink(path) || !IsOwnPointFolder(fs, path)) continue;
    TRestorePoint point;
    const std::string game =
        ReadRestorePoint(fs, path, point) ? point.GameFolder : PointMarkGame(fs, path);
    if (game.empty()) continue;
    bool known = false;
    for (const std::string& other : games) known = known || SameGameFolder(fs, other, game);
    if (!known) games.push_back(game);
  }
  return games;
}

namespace {

// The files a killed undo left beside the game files of `point` (see kAsideSuffix): the
// versions it took away go back into place (rollBack), or go.
void SettleGameFileSwap(IFileSystem& fs, const TRestorePoint& point, bool rollBack) {
  for (const TGameFileChange& change : point.GameFiles) {
    const std::string target = InGameFolder(TrimmedGameFolder(point.GameFolder), change.Item);
    const std::string aside = target + kAsideSuffix, staged = target + kStagedSuffix;
    if (rollBack && fs.FileExists(aside) && !fs.IsLink(aside))
      fs.MoveFileReplace(aside, target);
    else
      RemoveStaleName(fs, aside);
    RemoveStaleName(fs, staged);
  }
  // A finished undo's folders go as its own would have, when empty.
  if (!rollBack)
    for (auto it = point.FoldersCreated.rbegin(); it != point.FoldersCreated.rend(); ++it)
      fs.RemoveDirectory(InGameFolder(TrimmedGameFolder(point.GameFolder), *it));
}

}  // namespace

void RecoverRestorePoints(IFileSystem& fs, const std::string& root, const std::string& gameFolder,
                          IProgress* progress) {
  std::vector<std::string> names;
  if (!fs.ListFolder(root, names)) return;
  for (const std::string& name : names) {
    const bool partial = EndsWith(name, kPartialSuffix), undoing = EndsWith(name, kUndoingSuffix);
    if (!partial && !undoing) continue;
    const std::string path = PointPathOf(root, name);
    // Only what an installation or an undo of ours left: its mark or its record inside, and
    // never through a link. Anything else in the folder belongs to someone else.
    if (fs.IsLink(path) || !IsOwnPointFolder(fs, path)) continue;
    const size_t suffix = std::char_traits<char>::length(partial ? kPartialSuffix : kUndoingSuffix);
    const std::string whole = path.substr(0, path.size() - suffix);
    TRestorePoint point;
    const bool recorded = ReadRestorePoint(fs, path, point);
    // Only the game whose lock this run holds: another game's run may be writing its point.
    if (!SameGameFolder(fs, recorded ? point.GameFolder : PointMarkGame(fs, path), gameFolder))
      continue;
    // A game folder that is not there (moved away, its drive unplugged) cannot say how far the
    // run got: the point waits for it to come back.
    const std::string game = recorded ? point.GameFolder : PointMarkGame(fs, path);
    if (!fs.FileExists(ArchivePathOf(TrimmedGameFolder(game)))) continue;
    // Nor can another game put where it was: nothing of the new game's is touched.
    if (recorded && GameReplacedSince(fs, point)) continue;
    bool matches = false;
    try {
      matches = recorded && ArchiveMatches(fs, point, progress);
    } catch (const std::exception&) {
      matches = false;  // an archive that cannot be read is not the one recorded
    }
    // A killed undo swapped game files only while the archive was still the installation's:
    // with the archive in place they go back, with the old archive back they are done.
    if (undoing && recorded) SettleGameFileSwap(fs, point, /*rollBack=*/matches);
    if (matches && !fs.DirectoryExists(whole) && fs.MoveFolder(path, whole) == 0) continue;
    RemovePointFolder(fs, path);
  }
}

bool FinishPointOfMovedGame(IFileSystem& fs, const std::string& root, const std::string& name,
                            const std::string& movedTo, IProgress* progress) {
  const std::string whole = PointPathOf(root, name), path = whole + kPartialSuffix;
  if (fs.IsLink(path) || !IsOwnPointFolder(fs, path) || fs.DirectoryExists(whole)) return false;
  TRestorePoint point;
  if (!ReadRestorePoint(fs, path, point)) return false;
  if (StillHoldsArchive(fs, TrimmedGameFolder(point.GameFolder))) return false;  // not moved
  point.GameFolder = fs.CanonicalPath(movedTo);
  bool matches = false;
  try {
    matches = !point.GameFolder.empty() && ArchiveMatches(fs, point, progress);
  } catch (const std::exception&) {
    matches = false;  // an archive that cannot be read is not the one recorded
  }
  return matches && fs.MoveFolder(path, whole) == 0;
}

std::string MovedFromFolder(IFileSystem& fs, const std::string& root, const std::string& gameFolder,
                            IProgress* progress) {
  const std::string movedTo = fs.CanonicalPath(gameFolder);
  if (movedTo.empty() || !ListRestorePoints(fs, root, gameFolder).empty()) return "";
  std::vector<std::string> tried;
  // Newest first: the first point of each folder is its newest.
  for (const TRestorePoint& point : ListRestorePoints(fs, root, "")) {
    bool seen = false;
    for (const std::string& folder : tried)
      seen = seen || SameGameFolder(fs, folder, point.GameFolder);
    if (seen) continue;
    tried.push_back(point.GameFolder);
    if (StillHoldsArchive(fs, TrimmedGameFolder(point.GameFolder))) continue;  // not moved
    TRestorePoint there = point;
    there.GameFolder = movedTo;
    if (ArchiveMatches(fs, there, progress)) return point.GameFolder;
  }
  return "";
}

TRestorePoint FindLatestRestorePoint(IFileSystem& fs, const std::string& root,
                                     const std::string& gameFolder) {
  const std::vector<TRestorePoint> points = ListRestorePoints(fs, root, gameFolder);
  // A newer point that cannot be read must not let an older one be taken back under it.
  const std::vector<TDamagedPoint> damaged = DamagedRestorePoints(fs, root, gameFolder);
  if (!damaged.empty() && (points.empty() || damaged.front().Counter > points.front().Counter))
    throw Exception("The restore point " + PointPathOf(root, damaged.front().Folder) +
                    (damaged.front().NewerField.empty() ? " is damaged: " : " cannot be read: ") +
                    DamagedPointReason(damaged.front()) + ". Nothing was changed.");
  if (points.empty())
    throw Exception(gameFolder.empty()
                        ? std::string(kNothingToTakeBack)
                        : "There is no installation to take back in " + gameFolder + ".");
  return points.front();
}

}  // namespace merva
