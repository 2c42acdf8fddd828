#include "operations/mod_files_check.h"

#include "package/model_check.h"

namespace merva {

const char kModFilesWarningText[] =
    "The game may not read these files of the mod as their author meant; they are installed all "
    "the same:";

std::string ModFilesWarning(const std::vector<std::string>& warnings) {
  constexpr size_t kTold = 20;
  std::string text = kModFilesWarningText;
  for (size_t i = 0; i < warnings.size() && i < kTold; ++i) text += "\n" + warnings[i];
  if (warnings.size() > kTold)
    text += "\nand " + std::to_string(warnings.size() - kTold) +
            " more files of the mod like these (a plan names them all)";
  return text;
}

namespace {

void WillCheck(TBlockFile& package, const TPackageIndex& index, const std::string& packageName) {
  TPackageEntry entry{};
  uint32_t position = 0;
  if (!packageName.empty() && index.Find(packageName, entry, position))
    WillCheckModelFile(packageName, package, position, entry.Size);
}

void Check(TBlockFile& package, const TPackageIndex& index, const std::string& packageName,
           const std::string& named, std::vector<std::string>& warnings) {
  TPackageEntry entry{};
  uint32_t position = 0;
  if (packageName.empty() || !index.Find(packageName, entry, position)) return;
  const TModelCheck check = CheckModelFile(packageName, package, position, entry.Size);
  if (check.Verdict == TModelVerdict::kRefuse)
    throw EModFileRefused(named + ": " + check.Why +
                          ". The game cannot read it. Nothing was changed.");
  if (check.Verdict == TModelVerdict::kWarn) warnings.push_back(named + ": " + check.Why);
}

}  // namespace

std::vector<std::string> CheckModFiles(TBlockFile& package, const TPackageIndex& index,
                                       const TInstallItems& items) {
  // A package on the disk and not in memory: its files' heads are asked for all at once, and the
  // disk fetches them together instead of one wait per file.
  for (const TArchiveItem& item : items.ArchiveFiles) WillCheck(package, index, item.PackageName);
  for (const TGameFileItem& item : items.GameFiles) WillCheck(package, index, item.PackageName);
  std::vector<std::string> warnings;
  for (const TArchiveItem& item : items.ArchiveFiles)
    Check(package, index, item.PackageName,
          item.PackageName + (item.Archive.empty() ? "" : " for " + item.Archive), warnings);
  for (const TGameFileItem& item : items.GameFiles)
    Check(package, index, item.PackageName, item.Item, warnings);
  return warnings;
}

}  // namespace merva
