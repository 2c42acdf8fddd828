#include "wizard/command_line.h"

#include "core/text.h"

namespace merva {

const char kCommandLineUsage[] =
    "merva.exe [/silent | /verysilent] [/dir=\"GAME_FOLDER\"] [/log=\"FILE\"] [/replacelines]\n"
    "          [/anyedition] [/pastlimits]\n"
    "merva.exe /undo [/silent | /verysilent] [/point=\"NAME\"] [/log=\"FILE\"] [GAME_FOLDER]";

namespace {

// The value of "/name=value" when `word` is that switch (any letter case), else false.
bool SwitchValue(const std::string& word, const char* name, std::string& value) {
  const std::string prefix = std::string("/") + name + "=";
  if (word.size() < prefix.size() ||
      AsciiUpper(word.substr(0, prefix.size())) != AsciiUpper(prefix))
    return false;
  value = word.substr(prefix.size());
  return true;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;  // "" is an empty word
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  if (!words.empty()) words.erase(words.begin());  // the program's name
  return words;
}

TCommandLine ReadCommandLine(const std::vector<std::string>& words) {
  TCommandLine line;
  bool modeGiven = false;
  std::vector<std::string> folders;
  std::string bare;
  const auto fail = [&line](const std::string& why) {
    if (line.Error.empty()) line.Error = why;
  };
  const auto mode = [&](TRunMode chosen, const std::string& word) {
    if (modeGiven && line.Mode != chosen) fail("The switch " + word + " contradicts another one.");
    line.Mode = chosen;
    modeGiven = true;
  };
  for (const std::string& word : words) {
    const std::string upper = AsciiUpper(word);
    std::string value;
    if (upper == "/UNDO") {
      line.Undo = true;
    } else if (upper == "/REPLACELINES") {
      line.ReplaceLines = true;
    } else if (upper == "/ANYEDITION") {
      line.AnyEdition = true;
    } else if (upper == "/PASTLIMITS") {
      line.PastLimits = true;
    } else if (upper == "/SILENT") {
      mode(TRunMode::kSilent, word);
    } else if (upper == "/VERYSILENT" || upper == "/S") {
      mode(TRunMode::kVerySilent, word);
    } else if (SwitchValue(word, "dir", value)) {
      folders.push_back(value);
      if (value.empty()) fail("The switch /dir= names no folder.");
    } else if (SwitchValue(word, "log", value)) {
      if (!line.Log.empty() || value.empty()) fail("The switch /log= must name one file.");
      line.Log = value;
    } else if (SwitchValue(word, "point", value)) {
      // /point="" as a program that escapes quotes passes it (/point=\"\") names no point too:
      // taken for none, it would take back the newest installation instead.
      const bool names = value.find_first_not_of("\\\" ") != std::string::npos;
      if (!line.Point.empty() || !names) fail("The switch /point= must name one point.");
      line.Point = value;
    } else if (!word.empty() && word[0] == '/') {
      fail("Unknown switch " + word + ".");
    } else {
      folders.push_back(word);  // /undo's game folder, as it has always been given
      bare = word;
    }
  }
  if (!bare.empty() && !line.Undo)
    fail("Unexpected word " + bare + ": a game folder is given as /dir=\"...\".");
  if (folders.size() > 1) fail("More than one game folder is given.");
  if (!folders.empty()) line.GameFolder = folders.front();
  if (!line.Point.empty() && !line.Undo) fail("The switch /point= belongs to /undo.");
  if (line.ReplaceLines && line.Undo) fail("The switch /replacelines belongs to an installation.");
  if (line.AnyEdition && line.Undo) fail("The switch /anyedition belongs to an installation.");
  if (line.PastLimits && line.Undo) fail("The switch /pastlimits belongs to an installation.");
  if (!line.Point.empty() && line.GameFolder.empty())
    fail("The switch /point= needs the game folder the point belongs to.");
  return line;
}

}  // namespace merva
