#include "package/install.h"

#include <optional>
#include <set>

#include "archive/archive_file.h"
#include "core/errors.h"
#include "core/game_lock.h"
#include "core/text.h"

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

std::string ScratchName(const TPackageEntry& entry) {
  return PackageFileName(PackageEntryName(entry));
}

// Creates the folders of `item` below the game folder, as every installer does.
void CreateItemFolders(IFileSystem& fs, const std::string& gameFolder, const std::string& item) {
  const std::vector<std::string> parts = SplitAt(item, "\\/");
  std::string folder = gameFolder;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (parts[i].empty() || parts[i] == ".") continue;
    folder += "\\" + parts[i];
    if (!fs.DirectoryExists(folder)) fs.CreateDirectory(folder);
  }
}

// The run's own folder for extracted files, so that no file the user keeps in the game folder
// is written over; removed with everything in it when the run ends, also after an error.
class ScratchFolder {
 public:
  ScratchFolder(IFileSystem& fs, const std::string& gameFolder)
      : fs_(fs), path_(gameFolder + "\\" + kScratchFolderName) {
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
  return parts.size() == 2 && first == "MODELS" && (parts[1] == "GTA3.IMG" || parts[1] == "TEMP.IMG");
}

void InstallPackage(const TDATAInst& Script, TGTA3Archive& Archive, TPackageDirectory& Package,
                    const std::string& gameFolder, TInstallServices services,
                    const std::string& packagePath) {
  IFileSystem& fs = services.Files;
  const std::string G = gameFolder;
  for (const std::string& item : Script.GameFiles) CheckGameFileItem(item);
  const TGameLock lock(fs, G);

  // Everything goes to the one game folder named when the run starts; its archive must be there
  // before anything changes. It stays open for the whole run: others may read it, not change it.
  const std::string archivePath = G + "\\models\\gta3.img";
  const std::string tempPath = G + "\\models\\temp.img";
  TArchiveFile archive(Archive, fs);
  std::optional<TBlockFile> package;
  std::optional<ScratchFolder> scratch;
  std::optional<TRestorePointWriter> restore;
  if (services.Restore) restore.emplace(*services.Restore, fs, G);
  IProgress& progress = services.Progress;
  try {
    if (!archive.Open(archivePath, OpenAccess::kReadWriteOthersRead))
      throw ENotice(TNoticeKind::kError, MissingArchiveText(archivePath));
    package.emplace(TBlockFile::OpenReadOnly(fs, packagePath));
    ReadPackageDirectory(*package, Package, services.Notices);
    if (restore) {
      // What the game files will do is seen before any of them changes.
      for (const std::string& item : Script.GameFiles) {
        TPackageEntry entry;
        uint32_t position;
        if (ExtractFileNamePart(item).empty()) continue;
        if (FindPackageEntry(Package, ExtractFileNamePart(item), entry, position))
          restore->NoteGameFile(item, entry.Size);
      }
    }

    progress.SetMax(static_cast<int>(Script.ArchiveFiles.size() + Script.GameFiles.size()));
    progress.SetMin(0);
    progress.SetPosition(0);
    scratch.emplace(fs, G);

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
      if (!FindPackageEntry(Package, item, entry, position)) continue;
      // A new entry is named after the package file, in small letters.
      const std::string name = AsciiLower(PackageFileName(PackageEntryName(entry)));
      archive.Put(name, {*package, position, entry.Size}, processMessages);
      progress.SetPosition(progress.Position() + 1);
    }
    archive.SortDirectory();  // in logarithmic time per entry: no wait for the window
    if (restore) restore->Keep(archive, services.Pump);
    std::string newArchiveSha256;
    WriteCompactedArchive(archive, tempPath, progress, &services.Pump, fs, 0,
                          restore ? &newArchiveSha256 : nullptr);
    try {
      // The restore point is whole on the disk before the new archive takes the old one's place.
      if (restore) restore->Finish(tempPath, newArchiveSha256, services.Pump);
      archive.Close();
    } catch (...) {
      fs.DeleteFile(tempPath);
      throw;
    }
    ReplaceArchiveFile(tempPath, archivePath, fs);
    if (restore) restore->Commit();
  } catch (const EInOutError& error) {
    // The game running, or a file the user may not write, is the usual cause: say so.
    const std::string advice = BlockedFileAdvice(error.ErrorCode(), error.Path());
    if (advice.empty()) throw;
    throw Exception(advice + " Nothing was changed.");
  }

  for (const std::string& item : Script.GameFiles) {
    TPackageEntry entry;
    uint32_t position;
    if (ExtractFileNamePart(item).empty()) continue;
    if (!FindPackageEntry(Package, ExtractFileNamePart(item), entry, position)) continue;
    const std::string extracted = scratch->File(AsciiUpper(ScratchName(entry)));
    ExtractPackageEntry(*package, entry, position, extracted, fs);
    const std::string target = G + "\\" + item;
    CreateItemFolders(fs, G, item);
    const int moved = fs.MoveFileReplace(extracted, target);
    if (moved != 0) {
      const std::string advice = BlockedFileAdvice(moved, target);
      throw Exception(advice.empty() ? "Unable to put the file " + item + " into the game folder"
                                     : advice);
    }
    progress.SetPosition(progress.Position() + 1);
  }
  package->Close();
}

}  // namespace merva
