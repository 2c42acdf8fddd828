#include "apps/installed_apps.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/block_file.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/fingerprint.h"
#include "core/text.h"
#include "core/windows_names.h"
#include "restore/restore_names.h"
#include "restore/restore_store.h"

namespace merva {

const char kProgramCopyName[] = "merva.exe";
const char kAppNameSuffix[] = " (GTA San Andreas mod)";

namespace {

const char kKeyPrefix[] = "Merva.";
// The point an entry stands for, as its path: how a later run knows which entries are gone.
const char kPointValue[] = "MervaRestorePoint";
// A version resource is near the end of a program of a few megabytes; a bigger file is no
// program of ours.
constexpr int64_t kLargestProgram = 64 << 20;

// An argument quoted as merva.exe reads its command line (SplitCommandLine): a backslash
// before the closing quote is itself, as a batch file would write "D:\".
std::string Quoted(const std::string& argument) {
  return "\"" + argument + "\"";
}

// "2026-12-08 14:05:09" as the list wants a date: "20261208".
std::string InstallDate(const std::string& time) {
  std::string date;
  for (char c : time.substr(0, 10))
    if (c >= '0' && c <= '9') date += c;
  return date.size() == 8 ? date : "";
}

// A point's path as Windows compares it, so that two spellings of one restore folder meet.
std::string PointPathKey(const std::string& path) {
  return WindowsPathKey(SplitAt(path, "\\/"));
}

TAppValue Text(const char* name, std::string text) {
  return {name, std::move(text), 0, false};
}

TAppValue Number(const char* name, uint32_t number) {
  return {name, "", number, true};
}

}  // namespace

std::string InstalledAppKey(const std::string& root, const std::string& pointFolder) {
  // The point's path in a fingerprint: a key name has at most 255 characters, a path more.
  TFingerprint print;
  const std::string path = PointPathOf(root, pointFolder);
  print.Update(path.data(), path.size());
  return kKeyPrefix + print.HexDigest().substr(0, 16);
}

uint64_t ProgramFileVersion(IFileSystem& fs, const std::string& path) {
  try {
    if (fs.KindOf(path) != TPathKind::kFile || fs.IsLink(path)) return 0;
    TBlockFile file = TBlockFile::OpenReadOnly(fs, path);
    const int64_t size = file.Size();
    if (size > kLargestProgram) return 0;
    std::string bytes(static_cast<size_t>(size), '\0');
    bytes.resize(file.ReadCounted(bytes.data(), static_cast<uint32_t>(size)));
    file.Close();
    // VS_FIXEDFILEINFO: its signature, the structure's version, then the file version's two
    // halves, each a little-endian 32-bit word.
    const char signature[] = "\xBD\x04\xEF\xFE";
    const size_t at = bytes.find(std::string(signature, 4));
    if (at == std::string::npos || at + 16 > bytes.size()) return 0;
    const auto word = [&](size_t offset) {
      uint32_t value = 0;
      for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + offset + i]);
      return value;
    };
    return static_cast<uint64_t>(word(8)) << 32 | word(12);
  } catch (const Exception&) {
    return 0;
  }
}

std::string KeepProgramCopy(IFileSystem& fs, const std::string& folder,
                            const std::string& programPath) {
  const std::string copy = folder + "\\" + kProgramCopyName;
  // A link there is someone else's doing: an uninstall command never runs through it.
  if (fs.IsLink(folder) || fs.IsLink(copy)) return "";
  if (!programPath.empty() && !fs.DirectoryExists(folder)) {
    try {
      CreateFolderPath(fs, folder);
    } catch (const Exception&) {
      return "";  // without the rights to make it: no copy, so no entry
    }
  }
  const bool present = fs.KindOf(copy) == TPathKind::kFile;
  if (programPath.empty() ||
      (present && ProgramFileVersion(fs, copy) >= ProgramFileVersion(fs, programPath)))
    return present ? copy : "";
  const std::string fresh = copy + ".new";
  try {
    RemoveStaleName(fs, fresh);
    CopyWholeFile(fs, programPath, fresh, true);
    // The copy in use by a running uninstall cannot be replaced: it stays, older but working.
    if (fs.MoveFileReplace(fresh, copy) == 0) return copy;
  } catch (const Exception&) {
  }
  RemoveStaleName(fs, fresh);
  return fs.KindOf(copy) == TPathKind::kFile ? copy : "";
}

int64_t AddedBytes(const TRestorePoint& point) {
  int64_t added = 0;
  for (const TArchiveChange& change : point.Archives)
    added += change.NewArchiveBytes - change.OldArchiveBytes;
  for (const TGameFileChange& file : point.GameFiles)
    added += file.NewBytes - (file.Replaced ? file.OldBytes : 0);
  return std::max<int64_t>(added, 0);
}

bool ListInstallation(IInstalledApps& apps, const std::string& root, const TRestorePoint& point,
                      const std::string& program, int64_t addedBytes) {
  // The point by its full path: the process that runs the command may be given another restore
  // folder (another user's, none), and a name alone could then take back another installation.
  const std::string undo = Quoted(program) +
                           " /undo /point=" + Quoted(PointPathOf(root, point.Folder)) +
                           " /dir=" + Quoted(point.GameFolder);
  const std::string title = point.Title.empty() ? "GTA San Andreas mod" : point.Title;
  const int64_t kilobytes = std::min<int64_t>((addedBytes + 1023) / 1024, UINT32_MAX);
  return apps.Write(
      InstalledAppKey(root, point.Folder),
      {
          // First, so that an entry cut short by a kill still says which point it stands for.
          Text(kPointValue, PointPathOf(root, point.Folder)),
          Text("DisplayName", title + (point.Title.empty() ? "" : kAppNameSuffix)),
          Text("InstallDate", InstallDate(point.Time)),
          Text("InstallLocation", point.GameFolder),
          Text("DisplayIcon", program),
          Text("UninstallString", undo),
          Text("QuietUninstallString", undo + " /silent"),
          Number("EstimatedSize", static_cast<uint32_t>(kilobytes)),
          Number("NoModify", 1),
          Number("NoRepair", 1),
      });
}

void RelistWithProgram(IInstalledApps& apps, IFileSystem& fs, const std::string& root,
                       const std::string& program) {
  for (const TRestorePoint& point : ListRestorePoints(fs, root)) {
    const std::string key = InstalledAppKey(root, point.Folder);
    const std::string runs = apps.ReadText(key, "DisplayIcon");
    if (!runs.empty() && runs != program)
      ListInstallation(apps, root, point, program, AddedBytes(point));
  }
}

void RelistSize(IInstalledApps& apps, const std::string& root, const TRestorePoint& point) {
  const std::string program = apps.ReadText(InstalledAppKey(root, point.Folder), "DisplayIcon");
  if (!program.empty()) ListInstallation(apps, root, point, program, AddedBytes(point));
}

void UnlistInstallation(IInstalledApps& apps, const std::string& root,
                        const std::string& pointFolder) {
  apps.Remove(InstalledAppKey(root, pointFolder));
  // Listed while the restore folder was spelt otherwise ("c:\r" for "C:\R"): found by the point
  // it names, as Windows compares paths.
  const std::string point = PointPathKey(PointPathOf(root, pointFolder));
  for (const std::string& key : apps.Keys())
    if (key.rfind(kKeyPrefix, 0) == 0 && PointPathKey(apps.ReadText(key, kPointValue)) == point)
      apps.Remove(key);
}

void UnlistVanishedInstallations(IInstalledApps& apps, IFileSystem& fs, const std::string& root) {
  const std::string rootKey = PointPathKey(root);
  for (const std::string& key : apps.Keys()) {
    if (key.rfind(kKeyPrefix, 0) != 0) continue;
    const std::string point = apps.ReadText(key, kPointValue);
    // Another restore folder's, or no entry of ours.
    if (point.empty() || PointPathKey(ParentFolder(point)) != rootKey) continue;
    if (fs.DirectoryExists(point) || fs.DirectoryExists(point + kUndoingSuffix)) continue;
    apps.Remove(key);
  }
}

}  // namespace merva
