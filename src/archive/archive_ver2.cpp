#include "archive/archive_ver2.h"

#include <cstring>

namespace merva {

namespace {

class TVer2Kind final : public IArchiveKind {
 public:
  TArchiveKind Kind() const override { return TArchiveKind::kVer2; }
  const char* Name() const override { return kArchiveTag; }
  bool Recognizes(const char* head, int32_t& count) const override {
    if (std::memcmp(head, kArchiveTag, 4) != 0) return false;
    std::memcpy(&count, head + 4, 4);
    return true;
  }
  std::string Header(const TGTA3Archive& state) const override {
    // The tag as read: a compaction of an archive of any tag keeps it.
    std::string header(state.Signature, 4);
    const int32_t count = state.EntryCount();
    header.append(reinterpret_cast<const char*>(&count), 4);
    return header;
  }
  int64_t DirectoryStart() const override { return 8; }
  int32_t FirstDataSector(int32_t count) const override {
    // Room for at least one more entry, so that the next append need not move any data; on
    // unsigned 32-bit values, as the archive's own writers compute it.
    const auto entry = static_cast<uint32_t>(kEntryBytes), sector = static_cast<uint32_t>(kSector);
    return static_cast<int32_t>((static_cast<uint32_t>(count) + 2) * entry / sector + 1);
  }
};

}  // namespace

const IArchiveKind& Ver2Kind() {
  static const TVer2Kind kind;
  return kind;
}

}  // namespace merva
