#include "tests/support/step_install.h"

#include "archive/archive.h"
#include "archive/archive_check.h"
#include "archive/archive_rebuild.h"
#include "core/errors.h"
#include "core/text.h"
#include "game/game_archives.h"
#include "game/game_folder.h"
#include "operations/installation.h"
#include "package/package.h"
#include "script/install_items.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_file_system.h"

namespace merva::test {

void InstallArchiveFilesStepByStep(const TDATAInst& script, const std::string& gameFolder,
                                   const std::string& packagePath, IFileSystem& fs,
                                   const std::string& into) {
  TFakeBoxes boxes;
  TNoProgress progress;
  const std::string archivePath = GameArchivePathOf(gameFolder, into);
  std::vector<std::string> items = script.ArchiveFiles;
  if (!into.empty()) {
    items.clear();
    for (const std::string& text : script.NamedArchiveFiles) {
      std::string archive, item;
      if (SplitNamedArchiveItem(text, archive, item) &&
          GameArchiveKey(archive) == GameArchiveKey(into))
        items.push_back(item);
    }
  }
  TGTA3Archive archive;  // the archive is checked first, as the one-pass run does
  if (!OpenArchive(archive, archivePath, fs))
    throw ENotice(TNoticeKind::kError, MissingArchiveText(archivePath));
  {
    TBlockFile file = TBlockFile::OpenReadOnly(fs, archivePath);
    RefuseMisplacedData(archive, file.Size(), archivePath);
    file.Close();
  }
  TBlockFile package = TBlockFile::OpenReadOnly(fs, packagePath);
  TPackageDirectory directory;
  ReadPackageDirectory(package, directory, boxes);
  const std::string scratch = gameFolder + "\\step";
  fs.CreateDirectory(scratch);
  for (const std::string& item : items) {
    TPackageEntry entry;
    uint32_t position;
    if (item.empty() || !FindPackageEntry(directory, item, entry, position)) continue;
    const std::string path = scratch + "\\" + AsciiLower(PackageFileName(PackageEntryName(entry)));
    ExtractPackageEntry(package, entry, position, path, fs);
    try {
      PutFilesIntoArchive(archivePath, {path}, fs, progress);
    } catch (...) {
      fs.DeleteFile(path);
      throw;
    }
    fs.DeleteFile(path);
  }
  fs.RemoveDirectory(scratch);
  RewriteSortedDirectory(archivePath, fs);
  CompactArchive(archivePath, RebuiltArchivePathOf(gameFolder, into), progress, fs);
}

TInstallOutcome InstallInMemory(const TDATAInst& script, const std::string& archive,
                                const std::string& package, bool onePass, size_t limit) {
  TMemoryFileSystem fs(limit);
  fs.AddDirectory("G");
  fs.AddDirectory("G\\models");
  fs.Put("G\\models\\gta3.img", archive);
  fs.Put("data.cab", package);
  TInstallOutcome outcome;
  try {
    if (onePass) {
      TFakeBoxes boxes;
      TNoProgress progress;
      TInstallation(script, "G", {fs, boxes, progress}, "data.cab").Run();
    } else {
      InstallArchiveFilesStepByStep(script, "G", "data.cab", fs);
    }
  } catch (const Exception& error) {
    outcome.Error = error.Message().empty() ? "(silent)" : error.Message();
  }
  const TMemoryFileSystem::Bytes* bytes = fs.Get("G\\models\\gta3.img");
  if (bytes) outcome.Archive.assign(bytes->begin(), bytes->end());
  return outcome;
}

}  // namespace merva::test
