#include "restore/restore_names.h"

namespace merva {

const char kPartialSuffix[] = ".partial";
const char kUndoingSuffix[] = ".undoing";
const char kPointMarkName[] = "merva-restore-point";

const char kKeptGameFolder[] = "game\\";

namespace {
const char kKeptEntriesFolder[] = "archive\\";
}  // namespace

std::string PointPathOf(const std::string& root, const std::string& name) {
  return root + "\\" + name;
}

std::string KeptGameFileName(const std::string& item) {
  return kKeptGameFolder + item;
}

std::string KeptPartFolder(size_t n) {
  return "archives\\" + std::to_string(n + 1);
}

bool IsOwnKeptEntryFileName(const std::string& kept) {
  return kept.rfind(kKeptEntriesFolder, 0) == 0;
}

}  // namespace merva
