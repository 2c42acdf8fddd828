#include "archive/archive_kind.h"

#include <algorithm>

#include "archive/archive_ver2.h"
#include "core/errors.h"

namespace merva {

namespace {

std::vector<const IArchiveKind*>& Registered() {
  static std::vector<const IArchiveKind*> kinds = {&Ver2Kind()};
  return kinds;
}

}  // namespace

const std::vector<const IArchiveKind*>& ArchiveKinds() {
  return Registered();
}

const IArchiveKind& ArchiveKindOf(TArchiveKind kind) {
  for (const IArchiveKind* known : ArchiveKinds())
    if (known->Kind() == kind) return *known;
  throw Exception("an archive of a kind this version of Merva does not know");
}

const IArchiveKind* ArchiveKindNamed(const std::string& name) {
  for (const IArchiveKind* known : ArchiveKinds())
    if (name == known->Name()) return known;
  return nullptr;
}

const IArchiveKind* ArchiveKindOfHead(const char* head, int32_t& count) {
  for (const IArchiveKind* known : ArchiveKinds())
    if (known->Recognizes(head, count)) return known;
  return nullptr;
}

int64_t EntryPosition(TArchiveKind kind, int64_t index) {
  return ArchiveKindOf(kind).DirectoryStart() + index * kEntryBytes;
}

int64_t DirectoryEnd(TArchiveKind kind, int32_t count) {
  return EntryPosition(kind, count);
}

TArchiveKindRegistration::TArchiveKindRegistration(const IArchiveKind& kind) : kind_(kind) {
  Registered().push_back(&kind_);
}

TArchiveKindRegistration::~TArchiveKindRegistration() {
  std::vector<const IArchiveKind*>& kinds = Registered();
  kinds.erase(std::remove(kinds.begin(), kinds.end(), &kind_), kinds.end());
}

}  // namespace merva
