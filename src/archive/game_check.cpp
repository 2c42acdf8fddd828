#include "archive/game_check.h"

#include <cstring>

#include "archive/archive.h"
#include "archive/archive_kind.h"
#include "core/block_file.h"
#include "game/game_edition.h"
#include "game/game_folder.h"

namespace merva {

bool HasArchiveHeader(IFileSystem& fs, const std::string& path) {
  TBlockFile file = TBlockFile::OpenReadOnly(fs, path);
  char head[kArchiveHeadBytes] = {};
  const uint32_t got = file.ReadCounted(head, sizeof head);
  file.Close();
  int32_t count = 0;
  return got == sizeof head && ArchiveKindOfHead(head, count) != nullptr;
}

TGameCheck CheckGameFolder(IFileSystem& fs, const std::string& gameFolder) {
  switch (fs.KindOf(gameFolder)) {
    case TPathKind::kMissing:
      return TGameCheck::kNoFolder;
    case TPathKind::kFolder:
      break;
    default:
      return TGameCheck::kNotAFolder;
  }
  if (IsDefinitiveEdition(fs, gameFolder)) return TGameCheck::kDefinitive;
  const std::string archive = ArchivePathOf(gameFolder);
  switch (fs.KindOf(archive)) {
    case TPathKind::kMissing:
      return TGameCheck::kNoArchive;
    case TPathKind::kFile:
      break;
    default:
      return TGameCheck::kArchiveNoFile;
  }
  return HasArchiveHeader(fs, archive) ? TGameCheck::kGame : TGameCheck::kArchiveNotImg;
}

bool StillHoldsArchive(IFileSystem& fs, const std::string& gameFolder) {
  const std::string archive = ArchivePathOf(gameFolder);
  return fs.IsLink(archive) || fs.FileExists(archive);
}

}  // namespace merva
