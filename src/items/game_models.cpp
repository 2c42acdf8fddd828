#include "items/game_models.h"

#include <climits>
#include <cstdlib>

#include "core/file_tools.h"
#include "core/text.h"
#include "data/data_lines.h"
#include "data/data_rules.h"
#include "game/game_folder.h"
#include "game/game_path.h"

namespace merva {

namespace {

const TDataRule& RuleNamed(TDataKind kind) {
  for (const TDataRule& rule : kDataRules)
    if (rule.Kind == kind) return rule;
  throw Exception("no rule for a data file kind");
}

// The lines of the game's file `relative`, or none when the folder lacks it.
bool ReadGameLines(IFileSystem& fs, const std::string& game, const std::string& relative,
                   const TDataRule& rule, std::vector<TDataLine>& lines) {
  if (!GamePathIsInside(relative)) return false;
  const std::string path = InGameFolder(game, SpellingInGame(fs, game, relative));
  if (fs.KindOf(path) != TPathKind::kFile) return false;
  lines = ReadDataLines(rule, ReadWholeFile(fs, path));
  return true;
}

void ReadIde(TGameModels& models, const std::vector<TDataLine>& lines) {
  for (const TDataLine& line : lines) {
    // A model's line is keyed by its ID as a number; the game reads no other.
    if (!line.Read || line.Key.empty() || line.Key[0] == '@') continue;
    const long id = std::strtol(line.Key.c_str(), nullptr, 10);
    if (id < INT32_MIN || id > INT32_MAX) continue;
    models.Ids.insert(static_cast<int32_t>(id));
    ++models.Models[line.Section];
  }
}

bool PlacesThings(const std::vector<TDataLine>& lines) {
  for (const TDataLine& line : lines)
    if (line.Section == "inst" && !line.Key.empty()) return true;
  return false;
}

}  // namespace

std::set<int32_t> IdsDefinedIn(const std::string& bytes) {
  TGameModels models;
  ReadIde(models, ReadDataLines(RuleNamed(TDataKind::kIde), bytes));
  return models.Ids;
}

TGameModels ReadGameModels(IFileSystem& fs, const std::string& game) {
  TGameModels models;
  // default.dat and gta.dat share one form: a keyword and a path on each line.
  const TDataRule& dat = RuleNamed(TDataKind::kGtaDat);
  for (const char* list : {"data\\default.dat", "data\\gta.dat"}) {
    std::vector<TDataLine> named;
    if (!ReadGameLines(fs, game, list, dat, named)) continue;
    const bool gtaDat = EndsWith(list, "gta.dat");
    for (const TDataLine& line : named) {
      const std::vector<std::string> f = DataFields(dat, line.Text);
      if (!line.Read || f.size() < 2) continue;
      std::vector<TDataLine> lines;
      if (line.Section == "IDE" &&
          ReadGameLines(fs, game, f[1], RuleNamed(TDataKind::kIde), lines)) {
        ReadIde(models, lines);
      } else if (line.Section == "IMG" && gtaDat) {
        ++models.ImgArchives;
      } else if (line.Section == "IPL" &&
                 ReadGameLines(fs, game, f[1], RuleNamed(TDataKind::kIpl), lines) &&
                 PlacesThings(lines)) {
        ++models.PlacingIpls;
      }
    }
  }
  std::vector<TDataLine> handling;
  if (ReadGameLines(fs, game, "data\\handling.cfg", RuleNamed(TDataKind::kHandling), handling))
    for (const TDataLine& line : handling)
      if (line.Read && line.Section.empty() && !line.Key.empty())
        models.HandlingNames.insert(line.Key);
  return models;
}

}  // namespace merva
