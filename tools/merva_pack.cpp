// merva-pack: makes a mod's "scripts.bin" and "data.cab" from a manifest, and reads them back.
#include <cstdio>
#include <iostream>
#include <map>

#include "archive/archive.h"
#include "archive/archive_check.h"
#include "core/block_file.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "core/progress.h"
#include "core/text.h"
#include "package/package.h"
#include "script/install_items.h"
#include "tools/cli_support.h"
#include "tools/manifest.h"
#include "tools/package_writer.h"

using namespace merva;

namespace {

const char kUsage[] =
    "usage: merva-pack COMMAND ...\n"
    "\n"
    "  build MANIFEST FOLDER    writes FOLDER/scripts.bin and FOLDER/data.cab\n"
    "  build --any-level MANIFEST FOLDER\n"
    "                           the same, keeping a level the installer refuses (for tests)\n"
    "  list DATA.CAB            the package's files: size in bytes, name, and the other\n"
    "                           archives the scripts.bin beside it puts the file into\n"
    "  unpack [--force] DATA.CAB FOLDER\n"
    "                           writes every file of the package into FOLDER (made when\n"
    "                           missing); --force writes over existing files\n"
    "  script SCRIPTS.BIN       prints the script as manifest lines\n";

// The mod's own archives, each built from its files in a scratch folder beside the output, and
// the package's sources with theirs; the scratch folder goes with it.
class TOwnArchivesBuilt {
 public:
  TOwnArchivesBuilt(IFileSystem& fs, const std::string& folder, const TManifest& manifest)
      : fs_(fs), scratch_(folder + "\\.merva-own-archives"), sources_(manifest.Sources) {
    if (manifest.OwnArchives.empty()) return;
    if (fs_.KindOf(scratch_) != TPathKind::kMissing)
      throw EFileError(scratch_, "is in the way of the mod's own archives; remove it");
    for (const std::string& folder : {scratch_, scratch_ + "\\files"}) {
      if (!fs_.CreateDirectory(folder)) throw EFileError(folder, "cannot be made");
      made_.push_back(folder);
    }
    size_t source = sources_.size() - manifest.OwnArchives.size();
    for (const TOwnArchive& own : manifest.OwnArchives) {
      const std::string archive = scratch_ + "\\" + sources_[source].Name;
      made_.push_back(archive);
      CreateEmptyArchive(fs_, archive);
      std::vector<std::string> files;
      for (const TPackSource& file : own.Files) {
        // Under its name in the archive, which may not be its name on disk.
        files.push_back(scratch_ + "\\files\\" + file.Name);
        made_.push_back(files.back());
        CopyWholeFile(fs_, file.DiskPath, files.back(), false);
      }
      TNoProgress progress;
      PutFilesIntoArchive(archive, files, fs_, progress);
      sources_[source++].DiskPath = archive;
    }
  }
  ~TOwnArchivesBuilt() {
    // In the reverse order made: the files, then the folders, innermost first.
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
      if (!fs_.DeleteFile(*it)) fs_.RemoveDirectory(*it);
  }
  const std::vector<TPackSource>& Sources() const { return sources_; }

 private:
  IFileSystem& fs_;
  std::string scratch_;
  std::vector<TPackSource> sources_;
  std::vector<std::string> made_;  // in the order made
};

// Both files are written beside their places and moved there only when both are whole, so a
// failure never leaves a new script beside an old package.
int Build(const std::string& manifestPath, const std::string& folder, bool anyLevel) {
  if (SystemFileSystem().KindOf(manifestPath) == TPathKind::kFolder)
    throw EFileError(manifestPath, "is a folder, not a manifest file");
  const TManifest manifest = ReadManifest(manifestPath, anyLevel);
  for (const std::string& warning : manifest.Warnings)
    std::cerr << "merva-pack: warning: " << DisplayText(warning) << "\n";
  IFileSystem& fs = SystemFileSystem();
  // Made once the manifest and every file it names are checked, as unpack makes its folder.
  const TPathKind kind = fs.KindOf(folder);
  if (kind != TPathKind::kFolder && kind != TPathKind::kMissing)
    throw EFileError(folder, "is not a folder");
  CreateFolderPath(fs, folder);
  if (fs.KindOf(folder) != TPathKind::kFolder)
    throw EFileError(folder, "the folder cannot be made; nothing was written");
  const std::string script = folder + "\\" + kScriptFileName;
  const std::string package = folder + "\\" + kPackageFileName;
  TFileBeside newPackage(fs, package);
  TFileBeside newScript(fs, script);
  const TOwnArchivesBuilt own(fs, folder, manifest);
  WritePackageFile(own.Sources(), newPackage.Path());
  WriteScriptFile(manifest.Script, newScript.Path());
  if (newPackage.Replace() != 0)
    throw EFileError(package, "cannot be replaced; nothing was changed");
  if (newScript.Replace() != 0)
    throw EFileError(script, "cannot be replaced; data.cab is new, scripts.bin is not");
  std::printf("wrote %s and %s: %zu files\n", kScriptFileName, kPackageFileName,
              manifest.Sources.size());
  return 0;
}

// Every name is checked before the first file is written: none may lead out of the folder, and
// none may meet a file already there unless `force` says so, nor a folder or a device.
void CheckUnpackTargets(IFileSystem& fs, const std::string& path,
                        const TPackageDirectory& directory, const std::string& folder, bool force) {
  const TPathKind kind = fs.KindOf(folder);
  if (kind != TPathKind::kFolder && kind != TPathKind::kMissing)
    throw EFileError(folder, "is not a folder");
  for (const TPackageEntry& entry : directory.PackageEntries) {
    const std::string name = PackageEntryName(entry);
    if (!PackageFileNameIsSafe(name))
      throw EFileError(path, "holds a file named " + name +
                                 ", which would be written outside the folder; nothing was "
                                 "unpacked");
    const std::string target = folder + "\\" + PackageFileName(name);
    const TPathKind at = fs.IsLink(target) ? TPathKind::kFile : fs.KindOf(target);
    if (at == TPathKind::kFolder || at == TPathKind::kOther)
      throw EFileError(target, "is not a regular file; nothing was unpacked");
    if (at == TPathKind::kFile && !force)
      throw EFileError(target, "already exists; give --force to write over it");
  }
}

// For `list`: the other archives the script beside the package puts each file into, by the
// file's name as the installer finds it; nothing when there is no readable script.
std::map<std::string, std::string> OtherArchivesOfFiles(IFileSystem& fs, const std::string& path) {
  std::map<std::string, std::string> into;
  const std::string folder = ParentFolder(path);
  const std::string scriptPath = (folder.empty() ? "" : folder + "\\") + kScriptFileName;
  if (fs.KindOf(scriptPath) != TPathKind::kFile) return into;
  TKeptNotices notices;
  TDATAInst script;
  try {
    LoadScript(script, fs, notices, nullptr, scriptPath);
  } catch (const Exception&) {
    return into;
  }
  for (const std::string& text : script.NamedArchiveFiles) {
    std::string archive, item;
    if (!SplitNamedArchiveItem(text, archive, item)) continue;
    std::string& list = into[AsciiUpper(item)];
    list += (list.empty() ? "" : ", ") + archive;
  }
  return into;
}

int ListOrUnpack(const std::string& path, const std::string* folder, bool force = false) {
  IFileSystem& fs = SystemFileSystem();
  if (fs.KindOf(path) == TPathKind::kFolder) throw EFileError(path, "is a folder, not a package");
  TConsoleNotices notices("merva-pack");
  TBlockFile package = TBlockFile::OpenReadOnly(fs, path);
  TPackageDirectory directory;
  ReadPackageDirectory(package, directory, notices);
  if (folder) {
    CheckUnpackTargets(fs, path, directory, *folder, force);
    CreateFolderPath(fs, *folder);
  }
  const std::map<std::string, std::string> into =
      folder ? std::map<std::string, std::string>() : OtherArchivesOfFiles(fs, path);
  uint32_t position = static_cast<uint32_t>(PackageDataOffset(directory.PackageEntryCount));
  for (const TPackageEntry& entry : directory.PackageEntries) {
    const std::string name = PackageEntryName(entry);
    if (folder) {
      // Written beside its place and moved there: a link at the name is replaced, never
      // written through.
      const std::string target = *folder + "\\" + PackageFileName(name);
      TFileBeside file(fs, target);
      ExtractPackageEntry(package, entry, position, file.Path(), fs);
      const int code = file.Replace();
      if (code != 0) throw EInOutError(code, target);
    } else {
      const auto archives = into.find(AsciiUpper(PackageFileName(name)));
      if (archives == into.end())
        std::printf("%u %s\n", entry.Size, name.c_str());
      else
        std::printf("%u %s (into %s)\n", entry.Size, name.c_str(), archives->second.c_str());
    }
    position += entry.Size;
  }
  return 0;
}

int PrintScript(const std::string& path) {
  TKeptNotices notices;  // a damaged script is one error line
  TDATAInst script;
  // The level is printed, not checked: nothing here touches the registry.
  const TScriptEnd end = LoadScript(script, SystemFileSystem(), notices, nullptr, path);
  if (!notices.First.empty()) throw EFileError(path, notices.First);
  if (end == TScriptEnd::kDamaged) throw EScriptDamaged(path);
  for (const TScriptRecord& record : kScriptRecords) {
    if (record.Tag == kTagNamedArchiveFile) {
      // As the manifest writes it: "archive ARCHIVE = ITEM".
      for (const std::string& text : script.NamedArchiveFiles) {
        std::string archive, item;
        if (!SplitNamedArchiveItem(text, archive, item)) item = text;
        std::printf("archive %s = %s\n", archive.c_str(), item.c_str());
      }
    } else if (record.Tag == kTagDataLines) {
      for (const std::string& text : script.DataLines) {
        std::string file, lines;
        if (!SplitNamedArchiveItem(text, file, lines)) lines = text;
        std::printf("data %s = %s\n", file.c_str(), lines.c_str());
      }
    } else if (record.List) {
      for (const std::string& item : script.*record.List)
        std::printf("%s = %s\n", record.ManifestKey, item.c_str());
    } else if (!(script.*record.Text).empty()) {
      std::printf("%s = %s\n", record.ManifestKey, EscapeText(script.*record.Text).c_str());
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return RunTool("merva-pack", kUsage, argc, argv, [&](const std::vector<std::string>& args) {
    const std::string& command = args[0];
    if (command == "build" && args.size() == 3) return Build(args[1], args[2], false);
    if (command == "build" && args.size() == 4 && args[1] == "--any-level")
      return Build(args[2], args[3], true);
    if (command == "list" && args.size() == 2) return ListOrUnpack(args[1], nullptr);
    if (command == "unpack" && args.size() == 3) return ListOrUnpack(args[1], &args[2]);
    if (command == "unpack" && args.size() == 4 && args[1] == "--force")
      return ListOrUnpack(args[2], &args[3], true);
    if (command == "script" && args.size() == 2) return PrintScript(args[1]);
    std::cerr << kUsage;
    return 2;
  });
}
