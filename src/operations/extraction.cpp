#include "operations/extraction.h"

#include <set>

#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/file_tools.h"
#include "core/text.h"

namespace merva {

namespace {

// A name that stays a name in the folder: no separator, drive, control character or character
// that some file system refuses, and neither "." nor "..".
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && FileSystemSafeName(name) == name;
}

}  // namespace

std::vector<TExtracted> TExtraction::Run() {
  IFileSystem& fs = services_.Files;
  TArchiveFile archive(fs);
  if (!archive.Open(archivePath_, TOpenAccess::kReadOnly))
    throw EFileError(archivePath_, "not an IMG archive (no \"VER2\" header)");
  const int64_t length = archive.File().Size();

  // Everything is checked before the first file is written.
  std::vector<int32_t> chosen;
  std::set<int32_t> seen;
  for (const std::string& name : names_) {
    const std::vector<int32_t> found = archive.Find(name);
    if (found.empty()) throw EFileError(archivePath_, "holds no entry named " + name);
    if (!seen.insert(found.front()).second) continue;  // named twice: written once
    const TArchiveEntry& entry = archive.Entries()[found.front()];
    const std::string stored = EntryName(entry);
    if (!IsPlainFileName(stored))
      throw EFileError(archivePath_,
                       "the entry named " + stored + " cannot be written as a file of that name");
    // An empty entry is an empty file wherever its offset points, as `check` finds it sound.
    if (!EntryLiesInside(entry, length))
      throw EFileError(archivePath_, "the entry " + stored +
                                         " lies past the end of the file (a damaged archive)");
    const std::string target = folder_ + "\\" + stored;
    const TPathKind kind = fs.KindOf(target);
    if (kind == TPathKind::kFolder || kind == TPathKind::kOther)
      throw EFileError(target, "is not a regular file; nothing was written");
    if (kind == TPathKind::kFile && !overwrite_)
      throw EFileError(target, "already exists; give --force to write over it");
    chosen.push_back(found.front());
  }

  CreateFolderPath(fs, folder_);
  std::vector<TExtracted> written;
  services_.Progress.Start(static_cast<int64_t>(chosen.size()));
  for (const int32_t index : chosen) {
    const TArchiveEntry& entry = archive.Entries()[index];
    const std::string name = EntryName(entry);
    TFileBeside file(fs, folder_ + "\\" + name);
    const int64_t bytes = SectorBytes(entry.Size);
    CopyRange(fs, archive.File(), EntryStart(entry), bytes, file.Path());
    const int code = file.Replace();
    if (code != 0) throw EInOutError(code, file.Target());
    written.push_back({name, bytes});
    services_.Progress.Step();
  }
  archive.Close();
  return written;
}

}  // namespace merva
