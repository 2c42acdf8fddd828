#pragma once
// A restore point read back for its undo. Where the old bytes lie in a point's folder (one
// archive.img, or in points of the first layouts a file per entry; game\RELATIVE\PATH) is known
// here and by the writer alone: the undo asks for an entry's or a file's old bytes and gets them
// checked against the record, or a refusal naming what is wrong.
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_body.h"
#include "core/block_file.h"
#include "core/errors.h"
#include "core/file_hash_along.h"
#include "core/file_system.h"
#include "core/fingerprint.h"
#include "core/progress.h"
#include "restore/restore_point.h"

namespace merva {

// The old bytes of the entries a point keeps of one archive it changed.
class TKeptEntries {
 public:
  explicit TKeptEntries(IFileSystem& fs, const TArchiveLink& link);
  TKeptEntries(const TKeptEntries&) = delete;
  TKeptEntries& operator=(const TKeptEntries&) = delete;

  // The old bytes of `kept` (one of the change's Replaced), read from where the point keeps them
  // once checked: no link, the size recorded, and for archive.img its directory holding that
  // entry under its name. Valid until Close.
  TPutSource Source(const TKeptEntry& kept);
  // archive.img must also be the very file the installation wrote (its fingerprint): changed or
  // swapped since, even with the same names and sizes, it would bring back the wrong bytes. Its
  // fingerprint is taken as the undo's rebuild reads it (core/file_hash_along.h), so that it is
  // read once: the file (null until a Source is asked of it), the reader's position before it
  // reads, the bytes it read, then the verdict, which raises Damaged, before anything changes.
  TBlockFile* KeptArchive() const { return keptArchive_; }
  void ReadUpTo(int64_t position);
  void Take(int64_t at, const char* data, size_t count);
  void CheckKeptArchive(IProgress& progress);
  // Lets the kept files go, so that the point's folder can be renamed and removed (Windows
  // keeps an open file, and its folder, in place).
  void Close();

 private:
  TBlockFile& OpenKept(const std::string& name);
  TPutSource FromKeptArchive(const TKeptEntry& kept);

  IFileSystem& fs_;
  const TArchiveLink& link_;
  std::deque<TBlockFile> files_;
  TBlockFile* keptArchive_ = nullptr;
  std::vector<TArchiveEntry> keptEntries_;
  std::unique_ptr<TFingerprint> keptHash_;
  std::optional<TFileHashAlong> keptAlong_;
};

// The kept old version of a replaced game file, where the point keeps it in `pointPath`.
std::string KeptGameFilePath(const std::string& pointPath, const TGameFileChange& change);
// Checks that it is there, no link, of the size recorded; raises Damaged.
void CheckKeptGameFile(IFileSystem& fs, const TRestorePoint& point, const std::string& pointPath,
                       const TGameFileChange& change);

// Where an undo of `point` keeps the player's versions of changed game files: beside the
// restore points in `root`, under a name that no point's name can be ("GTA San Andreas 3
// edits", then "... edits (2)": a name ending in a number would be read as a point's).
std::string EditsFolderFor(IFileSystem& fs, const std::string& root, const TRestorePoint& point);

}  // namespace merva
