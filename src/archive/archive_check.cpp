#include "archive/archive_check.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "archive/archive_kind.h"
#include "archive/sectors.h"
#include "core/block_file.h"
#include "core/text.h"

namespace merva {

namespace {

class TReportWriter {
 public:
  void Error(const std::string& text) { Add(true, text); }
  void Misplaced(const std::string& text) { Add(true, text, true); }
  void Warning(const std::string& text) { Add(false, text); }
  TArchiveReport Report;

 private:
  void Add(bool error, const std::string& text, bool misplaced = false) {
    Report.Findings.push_back({error, text, misplaced});
    ++(error ? Report.Errors : Report.Warnings);
  }
};

}  // namespace

TArchiveReport CheckArchive(const TGTA3Archive& archive, int64_t length) {
  const std::vector<TArchiveEntry>& entries = archive.Entries;
  const auto count = static_cast<int32_t>(entries.size());
  TReportWriter report;
  const int64_t directoryEnd = DirectoryEnd(archive.Kind, count);
  std::vector<int32_t> withData;
  for (int32_t i = 0; i < count; ++i) {
    const TArchiveEntry& e = entries[i];
    const std::string where = "entry " + std::to_string(i) + " (" + EntryName(e) + ")";
    const int64_t start = EntryStart(e);
    if (e.Size < 0) report.Misplaced(where + " has a negative size");
    if (e.Size > 0 && start < directoryEnd)
      report.Misplaced(where + " starts inside the directory");
    if (e.Size > 0 && start >= 0 && !EntryLiesInside(e, length))
      report.Misplaced(where + " runs past the end of the file");
    if (e.Size > 0) withData.push_back(i);
    if (std::find(e.Name, e.Name + sizeof e.Name, '\0') == e.Name + sizeof e.Name)
      report.Warning(where + ": the game reads only the first 23 characters of the name");
    if (e.Size > kGameSectorLimit)
      report.Warning(where + ": more than 65,535 sectors, which the game cannot read");
  }
  // The game keeps the first entry of a name and never sees the others; it compares the first
  // 23 characters alone, so names that differ only in a 24th are one name to it.
  std::map<std::string, int32_t> firstOfName, firstOfGameName;
  for (int32_t i = 0; i < count; ++i) {
    const std::string name = EntryName(entries[i]);
    const auto [first, isNew] = firstOfName.emplace(EntryNameKey(name), i);
    const auto [firstOfGame, isNewToGame] = firstOfGameName.emplace(GameNameKey(entries[i]), i);
    if (!isNew)
      report.Error("entries " + std::to_string(first->second) + " and " + std::to_string(i) +
                   " are both named " + name + "; the game uses only the first");
    else if (!isNewToGame)
      report.Warning("entries " + std::to_string(firstOfGame->second) + " and " +
                     std::to_string(i) + " have one name in the 23 characters the game reads (" +
                     EntryName(entries[firstOfGame->second]) + ", " + name +
                     "); the game uses only the first");
  }
  std::sort(withData.begin(), withData.end(),
            [&](int32_t x, int32_t y) { return entries[x].Offset < entries[y].Offset; });
  for (size_t k = 1; k < withData.size(); ++k) {
    const TArchiveEntry& before = entries[withData[k - 1]];
    const TArchiveEntry& after = entries[withData[k]];
    if (int64_t{before.Offset} + before.Size > after.Offset)
      report.Misplaced("entries " + std::to_string(withData[k - 1]) + " (" + EntryName(before) +
                       ") and " + std::to_string(withData[k]) + " (" + EntryName(after) +
                       ") overlap");
  }
  return report.Report;
}

namespace {

std::string MisplacedText(const TArchiveReport& report) {
  std::string text = "the archive is damaged";
  const char* separator = ": ";
  for (const TArchiveFinding& finding : report.Findings) {
    if (!finding.Misplaced) continue;
    text += separator + finding.Text;
    separator = "; ";
  }
  return text + ". Nothing was changed; merva-img check tells what is wrong with it";
}

}  // namespace

EArchiveDamaged::EArchiveDamaged(const std::string& path, const TArchiveReport& report)
    : EFileError(path, MisplacedText(report)) {}

void RefuseMisplacedData(const TGTA3Archive& archive, int64_t length, const std::string& path) {
  // An archive whose last sector was not padded out is whole: the rebuild writes the missing
  // bytes of that sector as zeros, as the game reads them.
  const TArchiveReport report = CheckArchive(archive, SectorBytes(SectorsFor(length)));
  for (const TArchiveFinding& finding : report.Findings)
    if (finding.Misplaced) throw EArchiveDamaged(path, report);
}

void CreateEmptyArchive(IFileSystem& fs, const std::string& path) {
  TBlockFile file = TBlockFile::Create(fs, path);
  char sector[kSector] = {};  // the tag, no entries, padded to one sector
  std::copy(kArchiveTag, kArchiveTag + 4, sector);
  file.WriteExact(sector, sizeof sector);
  file.Close();
}

}  // namespace merva
