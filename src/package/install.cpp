#include "package/install.h"

#include <optional>
#include <set>

#include "archive/archive_file.h"
#include "core/errors.h"
#include "core/fingerprint.h"
#include "core/game_lock.h"
#include "core/step_times.h"
#include "core/text.h"
#include "core/file_tools.h"
#include "restore/undo.h"

namespace merva {

const char kScratchFolderName[] = "merva-install.tmp";

namespace {

// An empty item (a script's end record may carry the game-file tag) names no package file and
// is skipped like any other item the package lacks.
void CheckGameFileItem(const std::string& item) {
  if (!item.empty() && !GameFileItemIsInside(item))
    throw Exception("The script names a game file outside the game folder: " + item);
  if (GameFileItemIsInstallers(item))
    throw Exception("The script names a game file that the installer itself uses: " + item +
                    ". Nothing was changed.");
}

// A temp.img that a killed run left beside the archive: as large as the archive, and never
// anything but ours (the game has no such file). It goes before a new one is written.
void RemoveLeftTempArchive(IFileSystem& fs, const std::string& tempPath) {
  if (fs.FileExists(tempPath) || fs.IsLink(tempPath)) fs.DeleteFile(tempPath);
}

// The folders a run made, removed again (when empty) unless the run got as far as keeping them.
class MadeFolders {
 public:
  explicit MadeFolders(IFileSystem& fs) : fs_(fs) {}
  ~MadeFolders() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) fs_.RemoveDirectory(*it);
  }
  MadeFolders(const MadeFolders&) = delete;
  MadeFolders& operator=(const MadeFolders&) = delete;
  void Made(const std::string& folder) { made_.push_back(folder); }
  void Keep() { made_.clear(); }

 private:
  IFileSystem& fs_;
  std::vector<std::string> made_;
};

// Creates the folders of `item` below the game folder, as every installer does.
void CreateItemFolders(IFileSystem& fs, const std::string& gameFolder, const std::string& item,
                       MadeFolders& made) {
  const std::vector<std::string> parts = SplitAt(item, "\\/");
  std::string folder = gameFolder;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (parts[i].empty() || parts[i] == ".") continue;
    folder += "\\" + parts[i];
    if (!fs.DirectoryExists(folder) && fs.CreateDirectory(folder)) made.Made(folder);
  }
}

// The run's own folder for extracted files, so that no file the user keeps in the game folder
// is written over; removed with everything in it when the run ends, also after an error.
class ScratchFolder {
 public:
  ScratchFolder(IFileSystem& fs, const std::string& gameFolder)
      : fs_(fs), path_(gameFolder + "\\" + kScratchFolderName) {
    // Written through, a link would put the run's files wherever it points.
    if (fs_.IsLink(path_))
      throw Exception("The folder " + path_ + " is a link, which Merva does not follow. Nothing " +
                      "was changed.");
    // What a killed run left here is ours alone, and of no use now.
    RemoveFolderTree(fs_, path_);
    if (!fs_.DirectoryExists(path_) && !fs_.CreateDirectory(path_))
      throw Exception("Unable to create the folder " + path_);
  }
  ~ScratchFolder() {
    for (const std::string& file : files_) fs_.DeleteFile(file);
    fs_.RemoveDirectory(path_);
  }
  std::string File(const std::string& name) {
    files_.insert(path_ + "\\" + name);
    return path_ + "\\" + name;
  }

 private:
  IFileSystem& fs_;
  std::string path_;
  std::set<std::string> files_;
};

// A game file extracted into the scratch folder, its place in the game folder made ready.
struct TStagedFile {
  std::string Item, Scratch, Target;
};

std::vector<TStagedFile> StageGameFiles(const TDATAInst& Script, const TPackageIndex& index,
                                        TBlockFile& package, ScratchFolder& scratch,
                                        MadeFolders& made, IFileSystem& fs, const std::string& G) {
  std::vector<TStagedFile> staged;
  for (const std::string& item : Script.GameFiles) {
    TPackageEntry entry;
    uint32_t position;
    if (ExtractFileNamePart(item).empty()) continue;
    if (!index.Find(ExtractFileNamePart(item), entry, position)) continue;
    PackageFileName(PackageEntryName(entry));  // a hostile name is refused here
    TStagedFile file{item, scratch.File(std::to_string(staged.size() + 1) + ".new"),
                     G + "\\" + item};
    ExtractPackageEntry(package, entry, position, file.Scratch, fs);
    CreateItemFolders(fs, G, item, made);
    if (fs.DirectoryExists(file.Target) || !fs.DirectoryExists(ParentFolder(file.Target)))
      throw Exception("Unable to put the file " + item + " into the game folder: " +
                      (fs.DirectoryExists(file.Target) ? "a folder has its name"
                                                       : "its folder cannot be made") +
                      ". Nothing was changed.");
    staged.push_back(file);
  }
  return staged;
}

// After a failure once the archive was replaced: the run's own restore point, cut to the game
// files already moved, takes everything back. Says how it went, for the end of the message.
std::string TakeBackAfterFailure(std::optional<TRestorePointWriter>& restore,
                                 const std::vector<std::string>& moved, IFileSystem& fs,
                                 TInstallServices& services) {
  if (!restore)
    return "models\\gta3.img and the game files before it were changed; no restore point was "
           "kept.";
  TRestorePoint point = restore->Point();
  std::vector<TGameFileChange> done;
  for (const TGameFileChange& change : point.GameFiles)
    for (const std::string& item : moved)
      if (AsciiUpper(item) == AsciiUpper(change.Item)) done.push_back(change);
  point.GameFiles = done;
  try {
    TakeBackInstallation(services.Restore->Folder, point, {},
                         {fs, services.Pump, services.Progress, nullptr});
    return "Nothing was changed.";
  } catch (const std::exception& error) {
    return std::string("Taking the installation back failed as well (") + error.what() +
           "): take it back with merva.exe /undo.";
  }
}

}  // namespace

bool GameFileItemIsInside(const std::string& item) {
  bool inside =
      !item.empty() && item.find(':') == std::string::npos && item[0] != '\\' && item[0] != '/';
  for (const std::string& part : SplitAt(item, "\\/")) inside = inside && part != "..";
  return inside;
}

bool GameFileItemIsInstallers(const std::string& item) {
  std::vector<std::string> parts;
  for (const std::string& part : SplitAt(item, "\\/"))
    if (!part.empty() && part != ".") parts.push_back(AsciiUpper(part));
  if (parts.empty()) return false;
  const std::string first = parts[0];
  if (first == AsciiUpper(kScratchFolderName) || first == AsciiUpper(kGameLockName)) return true;
  return parts.size() == 2 && first == "MODELS" &&
         (parts[1] == "GTA3.IMG" || parts[1] == "TEMP.IMG");
}

void InstallPackage(const TDATAInst& Script, TGTA3Archive& Archive, TPackageDirectory& Package,
                    const std::string& gameFolder, TInstallServices services,
                    const std::string& packagePath) {
  IFileSystem& fs = services.Files;
  const std::string G = gameFolder;
  for (const std::string& item : Script.GameFiles) CheckGameFileItem(item);
  const TGameLock lock(fs, G);
  MarkStep("start");

  // Everything goes to the one game folder named when the run starts; its archive must be there
  // before anything changes. It stays open for the whole run: others may read it, not change it.
  const std::string archivePath = ArchivePathOf(G);
  const std::string tempPath = TempArchivePathOf(G);
  TArchiveFile archive(Archive, fs);
  std::optional<TBlockFile> package;
  std::optional<ScratchFolder> scratch;
  std::optional<TRestorePointWriter> restore;
  std::vector<TStagedFile> staged;
  MadeFolders made(fs);  // declared after the scratch folder: removed before it, when empty
  if (services.Restore) restore.emplace(*services.Restore, fs, G);
  IProgress& progress = services.Progress;
  try {
    if (!archive.Open(archivePath, OpenAccess::kReadWriteOthersRead))
      throw ENotice(TNoticeKind::kError, MissingArchiveText(archivePath));
    RemoveLeftTempArchive(fs, tempPath);
    package.emplace(TBlockFile::OpenReadOnly(fs, packagePath));
    ReadPackageDirectory(*package, Package, services.Notices);
    const TPackageIndex index(Package);
    if (restore) {
      // What the game files will do is seen before any of them changes.
      for (const std::string& item : Script.GameFiles) {
        TPackageEntry entry;
        uint32_t position;
        if (ExtractFileNamePart(item).empty()) continue;
        if (index.Find(ExtractFileNamePart(item), entry, position))
          restore->NoteGameFile(item, entry.Size,
                                FileFingerprint(*package, position, entry.Size,
                                                [&] { services.Pump.ProcessMessages(); }));
      }
    }

    progress.SetMax(static_cast<int>(Script.ArchiveFiles.size() + Script.GameFiles.size()));
    progress.SetMin(0);
    progress.SetPosition(0);
    scratch.emplace(fs, G);
    // Every game file is extracted and its place made ready before the archive changes, so
    // that what can fail fails while nothing is changed yet.
    staged = StageGameFiles(Script, index, *package, *scratch, made, fs, G);
    MarkStep("game files staged");

    // The archive files are put in, the directory sorted and the archive compacted as a plan
    // in memory; the new archive is then written once, front to back, beside the old one, and
    // takes its place in one move. gta3.img itself is never written: a failure or a kill at
    // any moment leaves it as it was, or the new one whole.
    TPlannedBody plan(archive.File(), archive.File().Size());
    archive.WriteTo(plan);
    const auto processMessages = [&] { services.Pump.ProcessMessages(); };
    for (const std::string& item : Script.ArchiveFiles) {
      TPackageEntry entry;
      uint32_t position;
      if (item.empty()) continue;  // names no package file
      if (!index.Find(item, entry, position)) continue;
      // A new entry is named after the package file, in small letters.
      const std::string name = AsciiLower(PackageFileName(PackageEntryName(entry)));
      archive.Put(name, {*package, position, entry.Size}, processMessages);
      progress.SetPosition(progress.Position() + 1);
    }
    archive.SortDirectory();  // in logarithmic time per entry: no wait for the window
    MarkStep("new archive planned");
    if (restore) restore->Keep(archive, services.Pump);
    MarkStep("old bytes kept");
    std::string newArchiveFingerprint;
    WriteCompactedArchive(archive, tempPath, progress, &services.Pump, fs, 0,
                          restore ? &newArchiveFingerprint : nullptr);
    MarkStep("temp.img written and flushed");
    try {
      // The restore point is whole on the disk before the new archive takes the old one's place.
      if (restore) restore->Finish(tempPath, newArchiveFingerprint, services.Pump);
      archive.Close();
    } catch (...) {
      fs.DeleteFile(tempPath);
      throw;
    }
    MarkStep("restore point flushed");
    ReplaceArchiveFile(tempPath, archivePath, fs);
    made.Keep();
    MarkStep("gta3.img replaced");
    if (restore) restore->Commit();
  } catch (const EInOutError& error) {
    // The game running, or a file the user may not write, is the usual cause: say so.
    const std::string advice = BlockedFileAdvice(error.ErrorCode(), error.Path());
    if (advice.empty()) throw;
    throw Exception(advice + " Nothing was changed.");
  }

  // The archive is in place: the staged game files take theirs. Should one fail, what this run
  // did is taken back through its own restore point, so the run is all or nothing.
  std::vector<std::string> moved;
  for (const TStagedFile& file : staged) {
    const int code = fs.MoveFileReplace(file.Scratch, file.Target);
    if (code != 0) {
      const std::string advice = BlockedFileAdvice(code, file.Target);
      const std::string what = advice.empty()
                                   ? "Unable to put the file " + file.Item +
                                         " into the game folder (" + IoErrorText(code) + ")."
                                   : advice;
      throw Exception(what + " " + TakeBackAfterFailure(restore, moved, fs, services));
    }
    moved.push_back(file.Item);
    progress.SetPosition(progress.Position() + 1);
  }
  MarkStep("game files placed");
  package->Close();
}

}  // namespace merva
