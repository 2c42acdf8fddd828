#include "restore/restore_names.h"

#include "change/changes.h"

namespace merva {

const char kPartialSuffix[] = ".partial";
const char kUndoingSuffix[] = ".undoing";
const char kPointMarkName[] = "merva-restore-point";

namespace {
const char kKeptEntriesFolder[] = "archive\\";
}  // namespace

std::string PointPathOf(const std::string& root, const std::string& name) {
  return root + "\\" + name;
}

std::string InPoint(const std::string& pointPath, const std::string& name) {
  return pointPath + "\\" + name;
}

const char kChangesFileName[] = "changes.txt";
const char kRecordFileName[] = "record.txt";

namespace {
// The folder of an archive other than models\gta3.img, relative to the point's folder.
std::string OtherArchiveFolder(size_t n) {
  return "archives\\" + std::to_string(n);
}
}  // namespace

std::string KeptArchiveFolderOf(const std::string& pointPath, size_t n) {
  return n == 0 ? pointPath : InPoint(pointPath, OtherArchiveFolder(n));
}

std::string KeptArchiveNameOf(size_t n) {
  return n == 0 ? kKeptArchiveName : InPoint(OtherArchiveFolder(n), kKeptArchiveName);
}

bool IsOwnKeptEntryFileName(const std::string& kept) {
  return kept.rfind(kKeptEntriesFolder, 0) == 0;
}

}  // namespace merva
