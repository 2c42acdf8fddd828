#include "archive/archive.h"
#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/errors.h"
#include "core/text.h"

namespace merva {

void PutFileIntoArchive(TGTA3Archive& Archive, const std::string& path, TArchiveServices services) {
  if (path.empty()) return;
  IFileSystem& fs = services.Files;
  // The put starts from the directory as it stands on disk; nothing is written into an archive
  // that vanished or lost its tag.
  TArchiveFile archive(Archive, fs);
  const std::string archivePath = Archive.FileName;
  if (!archive.Open(archivePath, OpenAccess::kReadWriteOthersRead))
    throw ENotice(TNoticeKind::kError, MissingArchiveText(archivePath));
  TBlockFile source = TBlockFile::OpenReadOnly(fs, path);  // only read
  archive.Put(ExtractFileNamePart(path), {source, 0, source.Size()},
              [&] { services.Pump.ProcessMessages(); });
  source.Close();
  archive.Close();
}

void ReplaceArchiveEntry(TGTA3Archive& Archive, int32_t index, const std::string& path,
                         IFileSystem& fs) {
  TArchiveFile archive(Archive, fs);
  archive.Attach(OpenAccess::kReadWrite);
  TBlockFile source = TBlockFile::OpenReadOnly(fs, path);
  archive.Replace(index, ExtractFileNamePart(path), {source, 0, source.Size()});
  source.Close();
  archive.Close();
}

void AppendArchiveEntry(TGTA3Archive& Archive, const std::string& path, IFileSystem& fs) {
  TArchiveFile archive(Archive, fs);
  archive.Attach(OpenAccess::kReadWrite);
  TBlockFile source = TBlockFile::OpenReadOnly(fs, path);
  archive.Append(ExtractFileNamePart(path), {source, 0, source.Size()});
  source.Close();
  archive.Close();
  // Until the archive is opened again, only the header counts the new entry.
  Archive.Entries.pop_back();
  Archive.Count -= 1;
}

}  // namespace merva
