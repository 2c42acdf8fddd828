#include "archive/archive_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "archive/archive_kind.h"
#include "archive/sectors.h"
#include "core/errors.h"
#include "core/text.h"

namespace merva {

namespace {

int64_t RoundUpToSector(int64_t bytes) {
  return SectorBytes(SectorsFor(bytes));
}

// An entry overwritten in place must lie inside the file: a damaged directory could otherwise
// send the write anywhere below 2^31 sectors, growing the archive without end.
void CheckInPlace(const TArchiveEntry& entry, int64_t archiveLength, int64_t sourceLength) {
  // The file's last sector counts whole: a put may fill it.
  const int64_t start = EntryStart(entry);
  if (entry.Offset < 0 || !EntryLiesInside(entry, RoundUpToSector(archiveLength)))
    throw Exception("The game archive is damaged: the entry " + EntryName(entry) +
                    " lies past the end of the file; nothing was written to it");
  CheckArchiveLength(start + RoundUpToSector(sourceLength));
}

}  // namespace

std::string ArchiveHeader(const TGTA3Archive& state) {
  return ArchiveKindOf(state.Kind).Header(state);
}

bool ReadArchiveDirectory(TBlockFile& file, TGTA3Archive& state, bool anyTag) {
  char head[kArchiveHeadBytes];
  file.ReadExact(head, sizeof head);
  std::memcpy(state.Signature, head, 4);
  state.Entries.clear();
  int32_t count = 0;
  const IArchiveKind* kind = ArchiveKindOfHead(head, count);
  if (!kind && !anyTag) return false;
  if (!kind) {
    // Read as the game's kind, its tag kept as it is.
    kind = &ArchiveKindOf(TArchiveKind::kVer2);
    std::memcpy(&count, head + 4, 4);
  }
  state.Kind = kind->Kind();
  // Refuse an impossible count before anything is allocated for it.
  if (count < 0 || count >= kEntryCountLimit) throw ERangeError();
  const int64_t directoryBytes = int64_t{count} * kEntryBytes;
  if (DirectoryEnd(state.Kind, count) > file.Size()) throw EInOutError(kReadBeyondEnd, file.Path());
  file.Seek(kind->DirectoryStart());
  state.Entries.resize(static_cast<size_t>(count));
  if (directoryBytes > 0)
    file.ReadExact(state.Entries.data(), static_cast<uint32_t>(directoryBytes));
  // Every size as the game reads it, so that Merva sees the archive as the game does (an
  // archive written by a tool that fills the second field included); written back, the size
  // stands in the first field alone, which the game reads the same.
  for (TArchiveEntry& entry : state.Entries) entry.Size = SizeAsTheGameReads(entry.Size);
  return true;
}

bool TArchiveFile::Open(const std::string& path, TOpenAccess access) {
  ResetArchive(state_);
  state_.FileName = path;
  if (!fs_.FileExists(path)) return false;
  file_.emplace(TBlockFile::Open(fs_, path, access));
  if (!ReadArchiveDirectory(*file_, state_)) {
    Close();
    return false;
  }
  state_.Loaded = true;
  AfterOpen();
  return true;
}

void TArchiveFile::OpenAnyTag(const std::string& path) {
  ResetArchive(state_);
  state_.FileName = path;
  file_.emplace(TBlockFile::Open(fs_, path, TOpenAccess::kReadWriteOthersRead));
  ReadArchiveDirectory(*file_, state_, /*anyTag=*/true);
  state_.Loaded = true;
  AfterOpen();
}

void TArchiveFile::AfterOpen() {
  fileBody_ = std::make_unique<TFileBody>(*file_);
  body_ = fileBody_.get();
  BuildIndex();
  StartTracking();
}

void TArchiveFile::StartTracking() {
  opened_ = state_.Entries;
  origins_.resize(opened_.size());
  for (size_t i = 0; i < origins_.size(); ++i) origins_[i] = static_cast<int32_t>(i);
  replaced_.clear();
}

void TArchiveFile::SetDirectory(std::vector<TArchiveEntry> entries) {
  state_.Entries = std::move(entries);
  origins_.assign(state_.Entries.size(), -1);
  BuildIndex();
}

void TArchiveFile::Close() {
  body_ = nullptr;
  fileBody_.reset();
  if (file_) {
    TBlockFile file = std::move(*file_);
    file_.reset();
    file.Close();
  }
}

void TArchiveFile::BuildIndex() {
  index_.clear();
  byOffset_.clear();
  for (int32_t i = 0; i < state_.EntryCount(); ++i) {
    index_[EntryNameKey(EntryName(state_.Entries[i]))].push_back(i);
    byOffset_.emplace(state_.Entries[i].Offset, i);
  }
}

std::vector<int32_t> TArchiveFile::EntriesStartingBefore(int64_t end) const {
  std::vector<int32_t> found;
  for (const auto& [offset, index] : byOffset_) {
    if (SectorBytes(offset) >= end) break;
    found.push_back(index);
  }
  std::sort(found.begin(), found.end());
  return found;
}

void TArchiveFile::SetOffset(int32_t index, int32_t offset) {
  byOffset_.erase({state_.Entries[index].Offset, index});
  state_.Entries[index].Offset = offset;
  byOffset_.emplace(offset, index);
}

void TArchiveFile::CheckPut(const std::string& key, int64_t sourceLength) {
  if (RoundUpToSector(sourceLength) / kSector > kGameSectorLimit)
    throw Exception(key + " is " + std::to_string(sourceLength) + " bytes: " + kTooLargeForTheGame);
  const int64_t archiveLength = body_->Length();
  int64_t growth = 0;
  const auto found = index_.find(key);
  if (found != index_.end()) {
    for (const int32_t i : found->second) {
      const TArchiveEntry& entry = state_.Entries[i];
      if (sourceLength > SectorBytes(entry.Size))
        growth += RoundUpToSector(sourceLength);
      else
        CheckInPlace(entry, archiveLength, sourceLength);
    }
  } else {
    growth = RoundUpToSector(sourceLength);
    const int64_t grownDirectoryEnd = DirectoryEnd(state_.Kind, state_.EntryCount() + 1);
    for (const int32_t i : EntriesStartingBefore(grownDirectoryEnd))
      growth += EntryBytes(state_.Entries[i]);
  }
  CheckArchiveLength(RoundUpToSector(archiveLength) + growth);
}

std::vector<int32_t> TArchiveFile::Find(const std::string& name) const {
  const auto found = index_.find(EntryNameKey(name));
  return found == index_.end() ? std::vector<int32_t>{} : found->second;
}

void TArchiveFile::Put(const std::string& name, const TPutSource& source,
                       const std::function<void()>& beforeChange) {
  const std::string key = EntryNameKey(name);
  CheckPut(key, source.Length);
  const auto found = index_.find(key);
  if (found == index_.end()) {
    if (beforeChange) beforeChange();
    Append(name, source);
    return;
  }
  const std::vector<int32_t> matches = found->second;  // a replacement keeps the entry's key
  for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
    if (beforeChange) beforeChange();
    Replace(*it, name, source);
  }
}

int64_t TArchiveFile::PadToSector() {
  const int64_t length = body_->Length();
  const int64_t tail = length % kSector;
  if (tail == 0) return length;
  CheckArchiveLength(length + kSector - tail);
  body_->WriteZeros(length, kSector - tail);
  return length + kSector - tail;
}

void TArchiveFile::WriteEntry(int32_t index) {
  body_->WriteBytes(EntryPosition(state_.Kind, index), &state_.Entries[index], kEntryBytes);
}

void TArchiveFile::Replace(int32_t index, const std::string& name, const TPutSource& source) {
  TArchiveEntry entry = state_.Entries[index];
  int64_t start;
  if (source.Length > SectorBytes(entry.Size)) {
    // Too long for its old place: the data goes to the end of the archive.
    CheckArchiveLength(RoundUpToSector(body_->Length()) + RoundUpToSector(source.Length));
    start = PadToSector();
    entry.Offset = static_cast<int32_t>(start / kSector);
    SetNewEntryName(entry, name);
  } else {
    CheckInPlace(entry, body_->Length(), source.Length);
    start = EntryStart(entry);
  }
  body_->WriteSource(start, source);
  entry.Size = static_cast<int32_t>(SectorsFor(source.Length));
  if (static_cast<size_t>(index) < origins_.size() && origins_[index] >= 0)
    replaced_.insert(origins_[index]);
  SetOffset(index, entry.Offset);
  state_.Entries[index] = entry;
  WriteEntry(index);
}

void TArchiveFile::Append(const std::string& name, const TPutSource& source) {
  const int32_t n = state_.EntryCount();
  const int64_t grownDirectoryEnd = DirectoryEnd(state_.Kind, n + 1);
  const std::vector<int32_t> moved = EntriesStartingBefore(grownDirectoryEnd);
  int64_t movedSectors = 0;
  for (const int32_t i : moved) movedSectors += std::max(state_.Entries[i].Size, 0);
  CheckArchiveLength(RoundUpToSector(body_->Length()) + RoundUpToSector(source.Length) +
                     SectorBytes(movedSectors));

  TArchiveEntry added{};
  const int64_t start = PadToSector();
  added.Offset = static_cast<int32_t>(start / kSector);
  SetNewEntryName(added, name);
  body_->WriteSource(start, source);
  added.Size = static_cast<int32_t>(SectorsFor(source.Length));

  // Entries whose data starts inside the grown directory move to the end. Each one's data is
  // copied before its entry points there, so a failure part-way never leaves an entry pointing
  // at data that was not written.
  for (const int32_t i : moved) {
    const TArchiveEntry& entry = state_.Entries[i];
    const int64_t to = body_->Length();
    body_->MoveSectors(EntryStart(entry), to, entry.Size);
    SetOffset(i, static_cast<int32_t>(to / kSector));
    WriteEntry(i);
  }

  state_.Entries.push_back(added);
  origins_.resize(static_cast<size_t>(n), -1);
  origins_.push_back(-1);
  WriteEntry(n);
  const std::string header = ArchiveHeader(state_);
  body_->WriteBytes(0, header.data(), static_cast<uint32_t>(header.size()));
  index_[EntryNameKey(EntryName(added))].push_back(n);
  byOffset_.emplace(added.Offset, n);
}

void TArchiveFile::SortDirectory() {
  origins_.resize(state_.Entries.size(), -1);
  SortArchiveEntries(state_.Entries, state_.EntryCount(), &origins_);
  if (!state_.Entries.empty())
    body_->WriteBytes(EntryPosition(state_.Kind, 0), state_.Entries.data(),
                      static_cast<uint32_t>(state_.Entries.size()) * kEntryBytes);
  BuildIndex();
}

}  // namespace merva
