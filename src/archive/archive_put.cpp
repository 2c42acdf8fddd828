#include "archive/archive.h"
#include "archive/archive_file.h"
#include "core/block_file.h"
#include "core/errors.h"
#include "core/text.h"

namespace merva {

void PutFilesIntoArchive(const std::string& archivePath, const std::vector<std::string>& files,
                         IFileSystem& fs, IProgress& progress) {
  // Nothing is written into an archive that vanished or lost its tag.
  TArchiveFile archive(fs);
  if (!archive.Open(archivePath, TOpenAccess::kReadWriteOthersRead))
    throw EArchiveMissing(archivePath);
  progress.Start(static_cast<int64_t>(files.size()));
  for (const std::string& path : files) {
    TBlockFile source = TBlockFile::OpenReadOnly(fs, path);  // only read
    archive.Put(ExtractFileNamePart(path), {source, 0, source.Size()}, [&] { progress.Wait(); });
    source.Close();
    progress.Step();
  }
  archive.Close();
}

}  // namespace merva
