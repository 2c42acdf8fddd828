#include "operations/install_archives.h"

#include <algorithm>

#include "archive/archive_check.h"
#include "archive/sectors.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/step_times.h"
#include "core/text.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "game/game_path.h"

namespace merva {

namespace {

// The other archives the items name, each once however it is spelt, in the order they are first
// named; one whose items the package all lacks is not touched.
std::vector<std::string> OtherArchivesOf(const TInstallItems& items, const TPackageIndex& index) {
  std::vector<std::string> archives, keys;
  for (const TArchiveItem& item : items.ArchiveFiles) {
    TPackageEntry entry;
    uint32_t position;
    if (item.Archive.empty() || item.PackageName.empty() ||
        !index.Find(item.PackageName, entry, position))
      continue;
    const std::string key = GameArchiveKey(item.Archive);
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
    keys.push_back(key);
    archives.push_back(item.Archive);
  }
  return archives;
}

// The archive below the game folder, checked before it is opened: there, no link on the way,
// an archive of the game. Raises naming it.
void CheckOtherArchive(IFileSystem& fs, const std::string& game, const std::string& archive) {
  const std::string path = GameArchivePathOf(game, archive);
  const std::string link = LinkOnTheWay(fs, game, archive);
  if (!link.empty()) throw Exception(LinkOnTheWayText("game folder", link));
  if (fs.IsLink(path))
    throw Exception("The archive " + path + " is a link, which Merva does not follow. Nothing " +
                    "was changed.");
  if (!fs.FileExists(path))
    throw Exception("The mod puts files into " + archive + ", which is not in the game folder " +
                    game + ". Nothing was changed.");
}

// Two names the mod gives its archives that are one file (a name and its 8.3 short name,
// INTE~GHH.IMG): the run would hold the file twice and never get it.
void RefuseOneArchiveTwice(IFileSystem& fs, const std::string& game,
                           const std::vector<std::string>& archives) {
  std::vector<std::string> names = {kArchiveInGame};
  names.insert(names.end(), archives.begin(), archives.end());
  for (size_t i = 1; i < names.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (fs.SameFile(GameArchivePathOf(game, names[j]), GameArchivePathOf(game, names[i])))
        throw Exception("The mod puts files into " + names[j] + " and into " + names[i] +
                        ", which are one file in " + game +
                        " (one name is the other's short name). Nothing was changed.");
}

// A mod appended to an archive whose entries run past its end would be written over them, and
// its undo could not give the archive back: such an archive is refused before anything changes.
void RefuseDamagedArchive(TArchiveFile& archive) {
  RefuseMisplacedData(archive.State(), archive.File().Size(), archive.File().Path());
}

}  // namespace

TArchivesInstall::TArchivesInstall(TOperationServices services, std::string game, TFor use)
    : services_(services), game_(std::move(game)), use_(use) {}

TArchivesInstall::~TArchivesInstall() = default;

void TArchivesInstall::OpenGameArchive() {
  OpenOne(archives_.emplace_back());
}

void TArchivesInstall::OpenOthers(const TInstallItems& items, const TPackageIndex& index) {
  IFileSystem& fs = services_.Files;
  const std::vector<std::string> others = OtherArchivesOf(items, index);
  for (const std::string& archive : others) CheckOtherArchive(fs, game_, archive);
  RefuseOneArchiveTwice(fs, game_, others);
  for (const std::string& archive : others) {
    archives_.emplace_back().Archive = archive;
    OpenOne(archives_.back());
  }
}

void TArchivesInstall::OpenOne(TArchiveInstall& archive) {
  IFileSystem& fs = services_.Files;
  const std::string path = GameArchivePathOf(game_, archive.Archive);
  // The archive stays open for the whole run: others may read it, not change it.
  const auto open = [&] {
    if (use_ == TFor::kPlan) {
      if (!archive.Read.emplace(fs).Open(path, TOpenAccess::kReadOnly)) return false;
      archive.Body.emplace(archive.Read->File(), archive.Read->File().Size());
      archive.Read->WriteTo(*archive.Body);
    } else {
      archive.Rebuild.emplace(fs, path, RebuiltArchivePathOf(game_, archive.Archive));
    }
    return true;
  };
  if (archive.Archive.empty()) {
    if (!open()) throw EArchiveMissing(path);
  } else {
    // A file that is no archive of the game, or shorter than an archive's header, is refused
    // in the mod's words.
    bool opened = false;
    try {
      opened = open();
    } catch (const EArchiveMissing&) {
      opened = false;
    } catch (const EInOutError& error) {
      if (error.ErrorCode() != kReadBeyondEnd) throw;
    }
    if (!opened)
      throw Exception("The mod puts files into " + path +
                      ", which is not an IMG archive of the game. Nothing was changed.");
  }
  RefuseDamagedArchive(archive.Plan());
}

void TArchivesInstall::NoteIn(TRestorePointWriter& point) {
  for (TArchiveInstall& archive : archives_) archive.Change = &point.AddArchive(archive.Archive);
}

void TArchivesInstall::Put(const TInstallItems& items, const TPackageIndex& index,
                           TBlockFile& package) {
  IProgress& progress = services_.Progress;
  for (TArchiveInstall& archive : archives_) {
    // The files are put in and the directory sorted in the plan, in memory; the compaction
    // comes with the writing.
    try {
      const std::string key = GameArchiveKey(archive.Archive);
      for (const TArchiveItem& item : items.ArchiveFiles) {
        if (GameArchiveKey(item.Archive) != key) continue;
        TPackageEntry entry;
        uint32_t position;
        if (item.PackageName.empty() || !index.Find(item.PackageName, entry, position)) continue;
        // A new entry is named after the package file, in small letters.
        const std::string name = AsciiLower(PackageFileName(PackageEntryName(entry)));
        archive.Plan().Put(name, {package, position, entry.Size}, [&] { progress.Wait(); });
        progress.Step();
      }
      archive.Plan().SortDirectory();  // in logarithmic time per entry: no wait for the window
    } catch (const EArchiveTooLarge&) {
      throw Exception(std::string("The mod would take ") + GameArchiveText(archive.Archive) +
                      " past 2 GB, which the game cannot read. Nothing was changed.");
    }
  }
}

void TArchivesInstall::Preview() {
  for (TArchiveInstall& archive : archives_)
    if (archive.Change) archive.Change->Preview(archive.Plan());
}

int64_t TArchivesInstall::BytesWritten() {
  int64_t bytes = 0;
  for (TArchiveInstall& archive : archives_) bytes += CompactedArchiveBytes(archive.Plan().State());
  return bytes;
}

int64_t TArchivesInstall::BytesKept() {
  int64_t bytes = 0;
  for (TArchiveInstall& archive : archives_)
    if (archive.Change) bytes += archive.Change->KeptBytesFor(archive.Plan());
  return bytes;
}

void TArchivesInstall::RefuseReadOnly() {
  for (const TArchiveInstall& archive : archives_)
    merva::RefuseReadOnly(services_.Files, GameArchivePathOf(game_, archive.Archive));
}

void TArchivesInstall::RefuseGameFile(const TGameFileItem& item) const {
  // One file cannot be both rebuilt and replaced by the run.
  for (const TArchiveInstall& archive : archives_)
    if (!archive.Archive.empty() && GameFileItemKey(item.Path) == GameArchiveKey(archive.Archive))
      throw Exception("The script names " + item.Item +
                      " as a game file and as an archive to put files into. Nothing was "
                      "changed.");
}

void TArchivesInstall::Note(TJournal& journal) const {
  for (const TArchiveInstall& archive : archives_) {
    journal.Put(RebuiltArchivePathOf(game_, archive.Archive),
                GameArchivePathOf(game_, archive.Archive));
    journal.Aside(GameArchivePathOf(game_, archive.Archive));
  }
}

void TArchivesInstall::Write() {
  IProgress& progress = services_.Progress;
  for (TArchiveInstall& archive : archives_) {
    // The old archive and the package are read once, front to back, the replaced entries' old
    // bytes kept and the mod's entries' fingerprints taken along.
    std::string fingerprint;
    std::optional<TArchiveChangeAlong> along;
    if (archive.Change) {
      archive.Change->Keep(archive.Rebuild->Archive(), progress);
      along.emplace(*archive.Change);
    }
    archive.Rebuild->Write(progress, 0, archive.Change ? &fingerprint : nullptr, nullptr,
                           along ? &*along : nullptr);
    if (archive.Change)
      archive.Change->Finish(archive.Rebuild->WrittenPath(), fingerprint, progress);
    MarkStep(archive.Archive.empty() ? "temp.img written and flushed"
                                     : "other archive written and flushed");
  }
}

void TArchivesInstall::Release() {
  for (TArchiveInstall& archive : archives_) archive.Rebuild->Release();
}

void TArchivesInstall::HandOver() {
  for (TArchiveInstall& archive : archives_) archive.Rebuild->HandOver();
}

void TArchivesInstall::Close() {
  for (TArchiveInstall& archive : archives_)
    if (archive.Read) archive.Read->Close();
}

}  // namespace merva
