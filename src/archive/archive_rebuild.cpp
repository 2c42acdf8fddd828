#include "archive/archive_rebuild.h"

#include "core/errors.h"

namespace merva {

namespace {

const char kUnableToCreate[] = "Unable to create archive file.";

}  // namespace

TArchiveRebuild::TArchiveRebuild(IFileSystem& fs, const std::string& archivePath,
                                 const std::string& tempPath, TTag tag)
    : archive_(fs), rebuilt_(fs, tempPath, archivePath) {
  if (tag == TTag::kAny)
    archive_.OpenAnyTag(archivePath);
  else if (!archive_.Open(archivePath, TOpenAccess::kReadWriteOthersRead))
    throw EArchiveMissing(archivePath);
  plan_.emplace(archive_.File(), archive_.File().Size());
  archive_.WriteTo(*plan_);
}

void TArchiveRebuild::Write(IProgress& progress, int32_t firstSector, std::string* fingerprint,
                            const std::function<bool()>& whileFlushing, IRebuildReads* reads) {
  WriteCompactedArchive(archive_, rebuilt_.Path(), progress, archive_.FileSystem(), firstSector,
                        fingerprint, whileFlushing, reads);
}

void TArchiveRebuild::Replace() {
  // Windows moves nothing over a file that is open.
  archive_.Close();
  const int code = rebuilt_.Replace();
  if (code == 0) return;
  // The game, started meanwhile, holds the archive: that is worth telling as such.
  if (code == kSharingViolation || code == kLockViolation)
    throw EInOutError(code, rebuilt_.Target());
  throw Exception(kUnableToCreate);
}

void CompactArchive(const std::string& archivePath, const std::string& tempPath,
                    IProgress& progress, IFileSystem& fs) {
  TArchiveRebuild rebuild(fs, archivePath, tempPath, TArchiveRebuild::TTag::kAny);
  rebuild.Write(progress);
  rebuild.Replace();
}

}  // namespace merva
