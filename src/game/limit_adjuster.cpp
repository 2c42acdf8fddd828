#include "game/limit_adjuster.h"

#include <cstdlib>

#include "core/file_tools.h"
#include "core/text.h"
#include "game/game_folder.h"
#include "game/game_path.h"

namespace merva {

namespace {

// The plugin's names, the current first: the ini it reads lies beside it under its own name.
const char* const kAdjusterNames[] = {"III.VC.SA.LimitAdjuster", "limit_adjuster_gta3vcsa"};
const char* const kPluginFolders[] = {"", "scripts\\"};

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

std::map<std::string, int64_t> AdjusterLimitsOf(const std::string& ini) {
  std::map<std::string, int64_t> limits;
  bool inSection = false;
  size_t at = 0;
  while (at <= ini.size()) {
    const size_t end = std::min(ini.find('\n', at), ini.size());
    std::string line = Trimmed(ini.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      inSection = AsciiLower(line) == "[salimits]";
      continue;
    }
    const size_t equals = line.find('=');
    if (!inSection || equals == std::string::npos) continue;
    std::string value = Trimmed(line.substr(equals + 1));
    value = Trimmed(value.substr(0, value.find(';')));
    const std::string key = AsciiLower(Trimmed(line.substr(0, equals)));
    if (AsciiLower(value) == "unlimited") {
      limits[key] = kNoLimit;
      continue;
    }
    char* stop = nullptr;
    const long long number = std::strtoll(value.c_str(), &stop, 10);
    if (!value.empty() && *stop == '\0' && number >= 0) limits[key] = number;
  }
  return limits;
}

TAdjustedLimits ReadLimitAdjuster(IFileSystem& fs, const std::string& game) {
  for (const char* folder : kPluginFolders)
    for (const char* name : kAdjusterNames) {
      const std::string base = std::string(folder) + name;
      const std::string ini = InGameFolder(game, SpellingInGame(fs, game, base + ".ini"));
      const std::string plugin = InGameFolder(game, SpellingInGame(fs, game, base + ".asi"));
      if (fs.KindOf(ini) != TPathKind::kFile || fs.KindOf(plugin) != TPathKind::kFile) continue;
      return {base + ".ini", AdjusterLimitsOf(ReadWholeFile(fs, ini))};
    }
  return {};
}

}  // namespace merva
