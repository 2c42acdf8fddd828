#include "tools/manifest.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "archive/archive.h"
#include "core/block_file.h"
#include "core/cp1251.h"
#include "core/errors.h"
#include "core/text.h"
#include "data/data_lines.h"
#include "data/data_rules.h"
#include "data/mod_lines.h"
#include "data/model_ids.h"
#include "game/game_archives.h"
#include "game/game_edition.h"
#include "game/game_path.h"
#include "package/model_check.h"
#include "package/package.h"
#include "script/install_items.h"
#include "script/level_gate.h"

namespace merva {

namespace {

const char kNamedArchiveKey[] = "archive ";
const char kDataLinesKey[] = "data ";

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The framework's error text with a small first letter, to follow a path.
std::string Lowered(const std::string& message) {
  std::string text = message;
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] + 32);
  return text;
}

std::string ReadWholeFile(const std::string& path) {
  TBlockFile file = TBlockFile::OpenReadOnly(SystemFileSystem(), path);
  std::string data(static_cast<size_t>(file.Size()), '\0');
  if (!data.empty()) file.ReadExact(&data[0], static_cast<uint32_t>(data.size()));
  return data;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string DiskPath(const std::string& base, std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  const bool absolute = !path.empty() && (path[0] == '\\' || path.find(':') != std::string::npos);
  return absolute ? path : base + path;
}

// The bytes a text or name will have in the game's files; what must fit code page 1251 is
// measured there.
size_t StoredLength(const std::string& utf8) {
  return Cp1251FromUtf8(utf8).size();
}

// Errors name the manifest line.
std::string LinePrefix(const std::string& path, size_t line) {
  return path + ":" + std::to_string(line) + ": ";
}

}  // namespace

std::string EscapeText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n')
      out += "\\n";
    else if (text[i] == '\\')
      out += "\\\\";
    else
      out += text[i];
  }
  return out;
}

std::string UnescapeText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += "\r\n";
      ++i;
    } else if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

namespace {

// One manifest read line by line: each line is checked as the installer would take what it
// gives, so that a mod the installer refuses is never built.
class TManifestReader {
 public:
  TManifestReader(const std::string& path, bool anyLevel)
      : path_(path), base_(FolderOf(path)), anyLevel_(anyLevel) {}

  TManifest Read() {
    std::string content = ReadWholeFile(path_);
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);  // Notepad's mark
    size_t lineNumber = 0;
    for (size_t at = 0; at <= content.size();) {
      const size_t end = std::min(content.find('\n', at), content.size());
      ReadLine(Trim(content.substr(at, end - at)), ++lineNumber);
      at = end + 1;
    }
    if (!anyLine_) throw Exception(path_ + ": the manifest has no KEY = VALUE line");
    CheckLevel();
    CheckEditions();
    CheckDataFiles();
    try {
      // Each automatic ID stands for one model, whichever of the mod's texts place it.
      AutomaticIdsDefined(automatic_);
    } catch (const EFileError& error) {
      throw Exception(path_ + ": " + error.what());
    }
    MakeOwnArchives();
    return manifest_;
  }

 private:
  void ReadLine(const std::string& line, size_t lineNumber) {
    if (line.empty() || line[0] == '#') return;
    anyLine_ = true;
    const std::string where = LinePrefix(path_, lineNumber);
    const auto equals = line.find('=');
    if (equals == std::string::npos) throw Exception(where + "expected KEY = VALUE");
    const std::string givenKey = Trim(line.substr(0, equals));
    const std::string key = AsciiLower(givenKey);
    const std::string value = Trim(line.substr(equals + 1));
    // "archive ARCHIVE = FILE": an item for another of the game's archives.
    if (key.rfind(kNamedArchiveKey, 0) == 0) return ReadNamedItem(givenKey, value, where);
    // "data FILE = LINES": lines merged by key into one of the game's data files.
    if (key.rfind(kDataLinesKey, 0) == 0) return ReadDataLines(givenKey, value, where);
    const TScriptRecord* record = FindScriptRecord(key);
    if (!record) throw Exception(where + "unknown key " + key);
    if (record->Text) {
      const auto [earlier, first] = textLines_.emplace(key, lineNumber);
      if (!first)
        throw Exception(where + key + " is given twice, on lines " +
                        std::to_string(earlier->second) + " and " + std::to_string(lineNumber));
      manifest_.Script.*record->Text = ReadText(key, value, where);
    } else {
      (manifest_.Script.*record->List).push_back(ReadItem(key, value, where));
    }
  }

  void ReadNamedItem(const std::string& givenKey, const std::string& value,
                     const std::string& where) {
    const std::string archive = Trim(givenKey.substr(std::string(kNamedArchiveKey).size()));
    const std::string fault = GameArchiveFault(archive);
    if (!fault.empty())
      throw Exception(where + "a mod cannot put files into " + archive + ": " + fault);
    const std::string listed = ReadItem("archive", value, where);
    if (IsMainArchive(archive)) {
      manifest_.Script.ArchiveFiles.push_back(listed);
      return;
    }
    const std::string text = NamedArchiveItemText(GameArchivePath(archive), listed);
    std::string stored;
    if (!TryCp1251FromUtf8(text, stored))
      throw Exception(where + archive + ": " + kNameOutsideCp1251);
    if (stored.size() > static_cast<size_t>(kScriptPayloadLimit))
      throw Exception(where + "the item is longer than 2048 bytes");
    manifest_.Script.NamedArchiveFiles.push_back(text);
  }

  void ReadDataLines(const std::string& givenKey, const std::string& value,
                     const std::string& where) {
    std::string file = Trim(givenKey.substr(std::string(kDataLinesKey).size()));
    for (char& c : file)
      if (c == '/') c = '\\';
    if (!GamePathIsInside(file) || GameFileItemIsInstallers(file) ||
        !GamePathWindowsFault(file).empty())
      throw Exception(where + file + " is not a file a mod may change");
    const TDataRule* rule = DataRuleOf(file);
    if (!rule)
      throw Exception(where + "Merva cannot tell the lines of " + file +
                      " apart by a key; replace it whole instead: game = " + file + " from FILE");
    // Checked as the installer will check them, so that a mod it refuses never ships.
    std::string lines;
    try {
      lines = ReadWholeFile(DiskPath(base_, value));
    } catch (const EInOutError& error) {
      throw Exception(where + value + ": " + Lowered(error.what()));
    }
    try {
      const std::vector<TDataEdit> edits = ReadModLines(*rule, file, lines, value);
      NoteAutomaticIds(*rule, edits, value, automatic_);
      for (const TDataEdit& edit : edits) {
        const std::vector<std::string> f = DataFields(*rule, edit.Text.value_or(""));
        if (rule->Kind == TDataKind::kGtaDat && edit.Section == "IMG" && f.size() > 1)
          ownArchives_.insert(GameArchiveKey(f[1]));
      }
    } catch (const EFileError& error) {
      throw Exception(where + error.what());
    }
    std::string source = value;
    for (char& c : source)
      if (c == '/') c = '\\';
    const std::string name = CheckListed("data", ExtractFileNamePart(source), where);
    PackSource("data", name, value, where);
    dataFiles_.emplace(GameFileItemKey(file), where + file);
    manifest_.Script.DataLines.push_back(DataLinesItemText(file, name));
  }

  // A file both replaced whole and merged into would be neither.
  void CheckDataFiles() {
    for (const auto& [key, listed] : dataFiles_)
      if (gamePaths_.count(key))
        throw Exception(listed + ": the mod both replaces this file whole (game = " +
                        gamePaths_.at(key) + ") and merges lines into it");
  }

  // The archives the mod's own gta.dat lines name take the files the manifest puts into them:
  // each is built and packed as one game file, and a file only one of them holds leaves the
  // package.
  void MakeOwnArchives() {
    std::vector<std::string>& named = manifest_.Script.NamedArchiveFiles;
    std::map<std::string, size_t> byKey;
    for (auto it = named.begin(); it != named.end();) {
      std::string archive, item;
      SplitNamedArchiveItem(*it, archive, item);
      if (!ownArchives_.count(GameArchiveKey(archive))) {
        ++it;
        continue;
      }
      const auto [at, added] = byKey.emplace(GameArchiveKey(archive), manifest_.OwnArchives.size());
      if (added) manifest_.OwnArchives.push_back({archive, {}});
      const std::string key = AsciiUpper(item);
      manifest_.OwnArchives[at->second].Files.push_back({item, packed_.at(key)});
      --uses_[key];
      it = named.erase(it);
    }
    std::vector<TPackSource>& sources = manifest_.Sources;
    sources.erase(
        std::remove_if(sources.begin(), sources.end(),
                       [&](const TPackSource& s) { return uses_[AsciiUpper(s.Name)] == 0; }),
        sources.end());
    for (const TOwnArchive& own : manifest_.OwnArchives) {
      const std::string where = path_ + ": " + own.Path + ": ";
      const std::string name = CheckListed("game", own.Path, where);
      if (packed_.count(AsciiUpper(name)))
        throw Exception(where + "the mod also packs a file named " + name);
      manifest_.Script.GameFiles.push_back(own.Path);
      sources.push_back({name, ""});
    }
  }

  // The text as the script will hold it: given on the line, or "@FILE" for a file's text.
  std::string ReadText(const std::string& key, const std::string& value, const std::string& where) {
    std::string utf8 = value;
    if (!value.empty() && value[0] == '@') {
      std::string file;
      try {
        file = ReadWholeFile(DiskPath(base_, value.substr(1)));
      } catch (const EInOutError& error) {
        throw Exception(where + value.substr(1) + ": " + Lowered(error.what()));
      }
      if (file.size() >= 3 && file.compare(0, 3, "\xEF\xBB\xBF") == 0) file.erase(0, 3);
      while (!file.empty() && (file.back() == '\n' || file.back() == '\r')) file.pop_back();
      utf8 = EscapeText(file);
    }
    const std::string text = UnescapeText(utf8);
    std::string stored;
    if (!TryCp1251FromUtf8(text, stored))
      throw Exception(where + "the text of " + key + " has a character that code page 1251 lacks");
    if (stored.size() > static_cast<size_t>(kScriptPayloadLimit))
      throw Exception(where + "the text of " + key + " is longer than 2048 bytes");
    return text;
  }

  // "ITEM from PATH", or just "PATH" for an archive file named after the file: the item as
  // the script lists it, its file checked and noted for the package.
  std::string ReadItem(const std::string& key, const std::string& value, const std::string& where) {
    std::string item = value, source = value;
    const auto from = value.find(" from ");
    if (from != std::string::npos) {
      item = Trim(value.substr(0, from));
      source = Trim(value.substr(from + 6));
    } else if (key == "game") {
      throw Exception(where + "a game file is written as: game = PATH\\IN\\GAME from FILE");
    }
    // An archive file is listed by its name alone; a game file by its path in the game folder.
    std::string listed = item;
    if (key == "archive") {
      for (char& c : listed)
        if (c == '/') c = '\\';
      listed = ExtractFileNamePart(listed);
    }
    const std::string name = CheckListed(key, listed, where);
    PackSource(key, name, source, where);
    return listed;
  }

  // The installer's own rules for a listed item; gives its file name.
  std::string CheckListed(const std::string& key, const std::string& listed,
                          const std::string& where) {
    std::string stored;
    if (!TryCp1251FromUtf8(listed, stored))
      throw Exception(where + listed + ": " + kNameOutsideCp1251);
    const std::string name = ExtractFileNamePart(listed);
    if (name.empty()) throw Exception(where + "no file name in " + listed);
    if (!PackageFileNameIsSafe(name))
      throw Exception(where + "the installer cannot install a file named " + name);
    if (key == "game") {
      if (!GamePathIsInside(listed))
        throw Exception(where + listed + " lies outside the game folder");
      if (GameFileItemIsInstallers(listed))
        throw Exception(where + listed + " is the installer's own; a mod cannot replace it");
      if (!GamePathWindowsFault(listed).empty())
        throw Exception(where + listed + ": " + GamePathWindowsFault(listed));
      const auto [known, added] = gamePaths_.emplace(GameFileItemKey(listed), listed);
      if (!added && known->second != listed)
        throw Exception(where + listed + " and " + known->second +
                        " are one file on Windows; list it once");
    }
    if (StoredLength(name) > 24)
      throw Exception(where + "the name " + name + " is longer than 24 characters");
    if (key == "archive" && StoredLength(name) == 24)
      manifest_.Warnings.push_back(where + "the game reads only the first 23 characters of " +
                                   name);
    if (StoredLength(listed) > static_cast<size_t>(kScriptPayloadLimit))
      throw Exception(where + "the item is longer than 2048 bytes");
    return name;
  }

  // The file behind an item: there, not a folder, small enough for the game, and one file per
  // name in the package (the installer finds a name's first file only).
  void PackSource(const std::string& key, const std::string& name, const std::string& source,
                  const std::string& where) {
    const std::string disk = DiskPath(base_, source);
    IFileSystem& fs = SystemFileSystem();
    if (fs.DirectoryExists(disk)) throw Exception(where + source + ": is a folder, not a file");
    if (!fs.FileExists(disk)) throw Exception(where + source + ": file not found");
    if (key == "archive") {
      TBlockFile file = TBlockFile::OpenReadOnly(fs, disk);
      const int64_t bytes = file.Size();
      file.Close();
      if (bytes > SectorBytes(kGameSectorLimit))
        throw Exception(where + source + ": " + kTooLargeForTheGame);
    }
    ++uses_[AsciiUpper(name)];
    const auto [known, added] = packed_.emplace(AsciiUpper(name), disk);
    if (added) {
      CheckModel(name, source, disk, where);
      manifest_.Sources.push_back({name, disk});
    } else if (known->second != disk)
      throw Exception(where + "two different files are named " + name +
                      "; the installer finds only the first");
  }

  // A model, texture dictionary or collision the game cannot read is refused; one it may not
  // read as the author meant is warned about, and packed all the same.
  void CheckModel(const std::string& name, const std::string& source, const std::string& disk,
                  const std::string& where) {
    TBlockFile file = TBlockFile::OpenReadOnly(SystemFileSystem(), disk);
    const TModelCheck check = CheckModelFile(name, file, 0, file.Size());
    file.Close();
    if (check.Verdict == TModelVerdict::kRefuse) throw Exception(where + source + ": " + check.Why);
    if (check.Verdict == TModelVerdict::kWarn)
      manifest_.Warnings.push_back(where + source + ": " + check.Why);
  }

  void CheckLevel() {
    const std::string& level = manifest_.Script.Level;
    if (!level.empty() && level != "0" && !anyLevel_) {
      // Read as the installer reads it: what it cannot take as a level above 0 is refused.
      const std::string where = LinePrefix(path_, textLines_.at("level"));
      double number = 0;
      try {
        number = LevelNumber(level, '.');
      } catch (const EConvertError&) {
        throw Exception(where + "the installer cannot read the level " + level + " as a number");
      }
      if (!(number > 0) || !std::isfinite(number))
        throw Exception(where + "the level " + level +
                        " must be a number above 0 (or 0 for a mod that is never checked)");
    }
    if (!level.empty() && level != "0" && level.find_first_of(".,") == std::string::npos)
      manifest_.Warnings.push_back("the installer reads the level " + level + " as 0." + level +
                                   "; write it with a point, such as " + level + ".0");
  }

  // Each edition named as the installer will read it, and written back the one way.
  void CheckEditions() {
    const auto line = textLines_.find("editions");
    if (line == textLines_.end()) return;
    std::string unknown;
    const std::vector<std::string> words = EditionWordsOf(manifest_.Script.Editions, &unknown);
    if (!unknown.empty()) {
      std::string known;
      for (const TEditionWord& word : EditionWords())
        known += std::string(known.empty() ? "" : ", ") + word.Word;
      throw Exception(LinePrefix(path_, line->second) + unknown +
                      " is not an edition Merva knows; write one or more of " + known +
                      ", between commas");
    }
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
    manifest_.Script.Editions = text;
  }

  std::string path_, base_;
  bool anyLevel_;
  TManifest manifest_;
  bool anyLine_ = false;
  std::map<std::string, std::string> packed_;  // upper-cased name -> disk path
  std::map<std::string, int> uses_;            // upper-cased name -> items naming it
  std::set<std::string> ownArchives_;          // the archives the mod's gta.dat lines name
  std::vector<TAutomaticIdUse> automatic_;
  std::map<std::string, std::string> gamePaths_;  // a game file as Windows names it -> as listed
  std::map<std::string, size_t> textLines_;       // key -> the line that gave it
  std::map<std::string, std::string> dataFiles_;  // a data file as Windows names it -> its line
};

}  // namespace

TManifest ReadManifest(const std::string& path, bool anyLevel) {
  return TManifestReader(path, anyLevel).Read();
}

}  // namespace merva
