#include "change/ownership.h"

#include "archive/archive.h"
#include "core/text.h"
#include "script/install_items.h"

namespace merva {

std::string ThingKey(TThing thing, const std::string& name) {
  if (thing == TThing::kEntry) return EntryNameKey(name);
  return GameFileItemKey(name);
}

TOwnership::TOwnership(std::vector<TRestorePoint> points, const std::string& archive)
    : points_(std::move(points)) {
  for (auto& byPoint : wrote_) byPoint.resize(points_.size());
  for (size_t i = 0; i < points_.size(); ++i) {
    const TRestorePoint& point = points_[i];
    auto& entries = wrote_[static_cast<int>(TThing::kEntry)][i];
    if (const TArchiveChange* change = ArchiveChangeOf(point, archive)) {
      for (const TAddedEntry& e : change->Added)
        entries[ThingKey(TThing::kEntry, e.Name)] = e.NewFingerprint;
      for (const TKeptEntry& e : change->Replaced)
        entries[ThingKey(TThing::kEntry, EntryName(e.Old))] = e.NewFingerprint;
    }
    auto& files = wrote_[static_cast<int>(TThing::kGameFile)][i];
    for (const TGameFileChange& f : point.GameFiles)
      files[ThingKey(TThing::kGameFile, f.Item)] = f.NewFingerprint;
  }
}

bool TOwnership::Wrote(size_t index, TThing thing, const std::string& name,
                       std::string& fingerprint) const {
  const auto& wrote = wrote_[static_cast<int>(thing)][index];
  const auto found = wrote.find(ThingKey(thing, name));
  if (found == wrote.end()) return false;
  fingerprint = found->second;
  return true;
}

TOwner TOwnership::OwnerOf(TThing thing, const std::string& name,
                           const std::function<std::string()>& fingerprintNow) const {
  for (size_t i = 0; i < points_.size(); ++i) {
    std::string wrote;
    if (!Wrote(i, thing, name, wrote)) continue;
    if (wrote.empty()) return {THolder::kUnknown, &points_[i]};
    return {wrote == fingerprintNow() ? THolder::kInstallation : THolder::kChangedSince,
            &points_[i]};
  }
  return {};
}

const TRestorePoint* TOwnership::TakenOverBy(size_t index, TThing thing,
                                             const std::string& name) const {
  std::string wrote;
  for (size_t i = index; i-- > 0;)
    if (Wrote(i, thing, name, wrote)) return &points_[i];
  return nullptr;
}

TItemWriters::TItemWriters(const std::vector<TRestorePoint>& points) : points_(points) {
  for (size_t p = 0; p < points.size(); ++p)
    for (size_t i = 0; i < points[p].Items.size(); ++i)
      newest_.emplace(ItemKey(points[p].Items[i]), std::make_pair(p, i));
}

std::string TItemWriters::TakenFrom(const TItemChange& item,
                                    const std::optional<std::string>& textNow) const {
  const auto found = newest_.find(ItemKey(item));
  if (found == newest_.end()) return kTakenFromGame;
  const TRestorePoint& point = points_[found->second.first];
  return textNow && *textNow == point.Items[found->second.second].New
             ? kTakenFromPoint + point.Folder
             : kTakenFromChanged;
}

std::string TakenFromOf(const TOwner& owner) {
  switch (owner.Holder) {
    case THolder::kGame:
      return kTakenFromGame;
    case THolder::kChangedSince:
      return kTakenFromChanged;
    case THolder::kInstallation:
    case THolder::kUnknown:
      break;
  }
  return kTakenFromPoint + owner.Point->Folder;
}

std::string PointDescription(const TRestorePoint& point) {
  return point.Title + " (installed " + point.Time + ", restore point " + point.Folder + ")";
}

std::string OwnerText(const TOwner& owner) {
  switch (owner.Holder) {
    case THolder::kGame:
      return "the game's own";
    case THolder::kInstallation:
      return PointDescription(*owner.Point);
    case THolder::kChangedSince:
      return "changed since by another program (last written by " + PointDescription(*owner.Point) +
             ")";
    case THolder::kUnknown:
      break;
  }
  return PointDescription(*owner.Point) + ", which cannot tell whether it was changed since";
}

std::string TakenFromText(const std::string& takenFrom, const std::vector<TRestorePoint>& points) {
  if (takenFrom == kTakenFromGame) return "the game's own";
  if (takenFrom == kTakenFromChanged) return "changed since by another program";
  const std::string name = TakenFromPointName(takenFrom);
  if (name.empty()) return "";
  for (const TRestorePoint& point : points)
    if (point.Folder == name) return PointDescription(point);
  return "the installation of restore point " + name + ", taken back since";
}

}  // namespace merva
