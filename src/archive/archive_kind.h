#pragma once
// What differs between the kinds of IMG archive: how the header and the directory lie at the
// start of the file, and where a compacted archive's data starts. The 32-byte entries, the
// 2048-byte sectors, the names, the plan, the rebuild and the restore points are one for every
// kind. An archive's kind is read from its first bytes when it is opened; a restore point's
// change of an archive keeps it, and its kept entries are written in that kind. A new kind is
// its own file and its line in ArchiveKinds() (archive_kind.cpp).
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace merva {

// The first bytes of a file, as many as every kind is told apart by.
constexpr int64_t kArchiveHeadBytes = 8;

class IArchiveKind {
 public:
  virtual ~IArchiveKind() = default;
  virtual TArchiveKind Kind() const = 0;
  // Its name in a restore point's record: its tag.
  virtual const char* Name() const = 0;
  // True when `head` (kArchiveHeadBytes) starts an archive of this kind; `count` gets the number
  // of entries its header gives.
  virtual bool Recognizes(const char* head, int32_t& count) const = 0;
  // The bytes before the directory, for the archive in `state`.
  virtual std::string Header(const TGTA3Archive& state) const = 0;
  // Where the directory's first entry lies.
  virtual int64_t DirectoryStart() const = 0;
  // The first data sector of a compacted archive of `count` entries.
  virtual int32_t FirstDataSector(int32_t count) const = 0;
};

// Every kind this version reads, the game's own first.
const std::vector<const IArchiveKind*>& ArchiveKinds();
// The kind `kind` names; raises for one this version does not know.
const IArchiveKind& ArchiveKindOf(TArchiveKind kind);
// The kind a record names; null for one this version does not know.
const IArchiveKind* ArchiveKindNamed(const std::string& name);
// The kind whose archives start with `head` (kArchiveHeadBytes), and its entry count; null for
// none.
const IArchiveKind* ArchiveKindOfHead(const char* head, int32_t& count);

// Where directory entry `index` of an archive of `kind` lies, and where a directory of `count`
// entries ends.
int64_t EntryPosition(TArchiveKind kind, int64_t index);
int64_t DirectoryEnd(TArchiveKind kind, int32_t count);

// Adds a kind to ArchiveKinds() while it lives: for a kind that is not the program's own, as a
// test's double of a second format.
class TArchiveKindRegistration {
 public:
  explicit TArchiveKindRegistration(const IArchiveKind& kind);
  ~TArchiveKindRegistration();
  TArchiveKindRegistration(const TArchiveKindRegistration&) = delete;
  TArchiveKindRegistration& operator=(const TArchiveKindRegistration&) = delete;

 private:
  const IArchiveKind& kind_;
};

}  // namespace merva
