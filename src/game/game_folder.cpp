#include "game/game_folder.h"

#include <algorithm>

#include "core/block_file.h"
#include "core/fingerprint.h"
#include "core/text.h"
#include "core/windows_names.h"

namespace merva {

const char kScratchFolderName[] = "merva-install.tmp";
const char kGameLockName[] = "merva.lock";
const char kJournalName[] = "merva-journal.txt";
const char kAsideSuffix[] = ".merva-old";
const char kStagedSuffix[] = ".merva-new";

const char kArchiveInGame[] = "models\\gta3.img";

namespace {

const char kModelsFolder[] = "models";
const char kArchiveName[] = "gta3.img";
const char kTempArchiveName[] = "temp.img";

}  // namespace

std::string TrimmedGameFolder(const std::string& folder) {
  std::string trimmed = folder;
  std::replace(trimmed.begin(), trimmed.end(), '/', '\\');
  while (trimmed.size() > 1 && trimmed.back() == '\\') trimmed.pop_back();
  return trimmed;
}

bool SameGameFolder(IFileSystem& fs, const std::string& a, const std::string& b) {
  if (TrimmedGameFolder(a) == TrimmedGameFolder(b)) return true;
  // Two spellings of one folder ("..\\g2", another letter case on Windows, a link) name the
  // same folder as the system knows it.
  const std::string canonical = fs.CanonicalPath(a);
  return !canonical.empty() && canonical == fs.CanonicalPath(b);
}

std::string ArchivePathOf(const std::string& gameFolder) {
  return gameFolder + "\\" + kArchiveInGame;
}

std::string TempArchivePathOf(const std::string& gameFolder) {
  return gameFolder + "\\" + kModelsFolder + "\\" + kTempArchiveName;
}

std::string JournalPathOf(const std::string& gameFolder) {
  return gameFolder + "\\" + kJournalName;
}

std::string ScratchFolderOf(const std::string& gameFolder) {
  return gameFolder + "\\" + kScratchFolderName;
}

std::string StagedGameFileOf(const std::string& gameFolder, size_t n) {
  return ScratchFolderOf(gameFolder) + "\\" + std::to_string(n) + ".new";
}

std::string StagedLinesOf(const std::string& gameFolder, size_t n) {
  return ScratchFolderOf(gameFolder) + "\\" + std::to_string(n) + ".lines";
}

std::string MadeFoldersListOf(const std::string& gameFolder) {
  return ScratchFolderOf(gameFolder) + "\\folders.txt";
}

std::string GameFileFingerprint(IFileSystem& fs, const std::string& path) {
  if (fs.IsLink(path) || fs.KindOf(path) != TPathKind::kFile) return "";
  TBlockFile file = TBlockFile::OpenReadOnly(fs, path);
  const std::string print = FileFingerprint(file, 0, file.Size());
  file.Close();
  return print;
}

bool IsInstallersOwnPath(const std::vector<std::string>& parts) {
  if (parts.empty()) return false;
  const std::string first = WindowsNameKey(parts[0]);
  if (first == WindowsNameKey(kScratchFolderName) || first == WindowsNameKey(kGameLockName) ||
      first == WindowsNameKey(kJournalName))
    return true;
  // Anything below the archive or its temporary file is refused with them.
  return parts.size() >= 2 && first == WindowsNameKey(kModelsFolder) &&
         (WindowsNameKey(parts[1]) == WindowsNameKey(kArchiveName) ||
          WindowsNameKey(parts[1]) == WindowsNameKey(kTempArchiveName));
}

std::string SpellingInGame(IFileSystem& fs, const std::string& gameFolder,
                           const std::string& relative) {
  const std::vector<std::string> parts = SplitAt(relative, "\\/");
  std::string folder = gameFolder, spelt;
  bool found = true;
  for (const std::string& part : parts) {
    std::string name = part;
    const std::string exact = folder + "\\" + part;
    if (found && !fs.IsLink(exact) && fs.KindOf(exact) == TPathKind::kMissing) {
      found = false;
      std::vector<std::string> names;
      if (fs.ListFolder(folder, names)) {
        std::sort(names.begin(), names.end());  // the same one every time
        for (const std::string& candidate : names)
          if (WindowsNameKey(candidate) == WindowsNameKey(part)) {
            name = candidate;
            found = true;
            break;
          }
      }
    }
    folder += "\\" + name;
    spelt += (spelt.empty() ? "" : "\\") + name;
  }
  return spelt;
}

}  // namespace merva
