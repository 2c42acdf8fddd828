#include "change/changes.h"

#include "core/cp1251.h"
#include "game/game_archives.h"
#include "script/install_items.h"

namespace merva {

const char kKeptArchiveName[] = "archive.img";
const char kKeptGameFolder[] = "game\\";

std::string KeptGameFileName(const std::string& item) {
  return kKeptGameFolder + item;
}

Exception Damaged(const std::string& pointFolder, const std::string& what) {
  return Exception("The restore point " + pointFolder + " is damaged: " + what +
                   ". Nothing was changed.");
}

Exception Damaged(const TRestorePoint& point, const std::string& what) {
  return Damaged(point.Folder, what);
}

const char kTakenFromGame[] = "game";
const char kTakenFromChanged[] = "changed";
const char kTakenFromPoint[] = "point:";

std::string TakenFromPointName(const std::string& takenFrom) {
  const std::string prefix = kTakenFromPoint;
  return takenFrom.rfind(prefix, 0) == 0 ? takenFrom.substr(prefix.size()) : "";
}

std::string ItemName(const TItemChange& item) {
  // A section and a key are the game file's bytes, read as every line of it is shown.
  return (item.Section.empty() ? "" : Utf8FromCp1251(item.Section) + " ") +
         Utf8FromCp1251(item.Key) +
         (item.AutomaticId.empty() ? "" : " (the ID chosen for " + item.AutomaticId + ")");
}

std::string ItemText(const TItemChange& item) {
  return ItemName(item) + " in " + item.File;
}

std::string ItemKey(const TItemChange& item) {
  return item.Kind + '\n' + GameFileItemKey(item.File) + '\n' + item.Section + '\n' + item.Key;
}

const TArchiveChange* ArchiveChangeOf(const TRestorePoint& point, const std::string& archive) {
  const std::string key = GameArchiveKey(archive);
  for (const TArchiveChange& change : point.Archives)
    if (GameArchiveKey(change.Archive) == key) return &change;
  return nullptr;
}

int64_t AllKeptBytes(const TRestorePoint& point) {
  int64_t bytes = 0;
  for (const TArchiveChange& change : point.Archives) bytes += change.KeptBytes;
  return bytes;
}

}  // namespace merva
