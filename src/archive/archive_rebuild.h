#pragma once
// Every change that rewrites an archive goes through one rebuild: the installation, the undo,
// the compaction, the delete and the rename. The archive is held (others may read it, not change
// it), what a killed run left at the new archive's name goes, the changes are planned in memory,
// the new archive is written compacted beside the old one and flushed, and it takes the old
// one's place in one replacing move. The archive itself is never written: a failure or a kill
// at any moment leaves it as it was, or the new one whole.
#include <functional>
#include <optional>
#include <string>

#include "archive/archive_body.h"
#include "archive/archive_file.h"
#include "core/file_tools.h"

namespace merva {

class TArchiveRebuild {
 public:
  enum class TTag {
    kGame,  // an archive of a kind Merva reads, else the missing-archive answer (EArchiveMissing)
    kAny,   // the directory as it stands whatever the tag: a compaction of any archive
  };
  // Opens `archivePath` and starts the plan; the new archive is written at `tempPath`.
  TArchiveRebuild(IFileSystem& fs, const std::string& archivePath, const std::string& tempPath,
                  TTag tag = TTag::kGame);
  TArchiveRebuild(const TArchiveRebuild&) = delete;
  TArchiveRebuild& operator=(const TArchiveRebuild&) = delete;

  // The archive as planned: every change made through it goes into memory, not into the file.
  TArchiveFile& Archive() { return archive_; }
  // Writes the new archive and flushes it (WriteCompactedArchive tells what `firstSector`,
  // `fingerprint`, `whileFlushing` and `reads` do). Raises with nothing left behind.
  // May be called again with another plan: the file is written anew.
  void Write(IProgress& progress, int32_t firstSector = 0, std::string* fingerprint = nullptr,
             const std::function<bool()>& whileFlushing = nullptr, IRebuildReads* reads = nullptr);
  // Where the written archive waits for its move.
  const std::string& WrittenPath() const { return rebuilt_.Path(); }
  // Lets the old archive go and puts the new one in its place; a failure says whether the game
  // holds the archive, and leaves the old archive as it was.
  void Replace();
  // For a run that moves the archives itself through its journal: lets the old archive go (the
  // files stay as they are), then, once the journal is committed, leaves the new one to it.
  void Release() { archive_.Close(); }
  void HandOver() { rebuilt_.HandOver(); }

 private:
  TArchiveFile archive_;
  TFileBeside rebuilt_;
  std::optional<TPlannedBody> plan_;
};

// Rebuilds an archive of any tag without gaps through `tempPath` beside it (TempArchivePathOf
// for a game's archive), from the directory it stores.
void CompactArchive(const std::string& archivePath, const std::string& tempPath,
                    IProgress& progress, IFileSystem& fs);

}  // namespace merva
