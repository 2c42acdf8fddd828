#include "tools/manifest.h"

#include <cmath>
#include <map>

#include "archive/archive.h"
#include "core/block_file.h"
#include "core/cp1251.h"
#include "core/errors.h"
#include "core/text.h"
#include "package/package.h"
#include "script/install_items.h"
#include "script/level_gate.h"

namespace merva {

namespace {

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

TManifest ReadManifest(const std::string& path, bool anyLevel) {
  TManifest manifest;
  TDATAInst& script = manifest.Script;
  const std::string base = FolderOf(path);
  std::map<std::string, std::string> packed;     // upper-cased name -> disk path
  std::map<std::string, std::string> gamePaths;  // a game file as Windows names it -> as listed
  std::map<std::string, size_t> textLines;       // key -> the line that gave it
  bool anyLine = false;

  std::string content = ReadWholeFile(path);
  if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);  // Notepad's mark
  size_t lineNumber = 0;
  size_t at = 0;
  while (at <= content.size()) {
    const size_t end = std::min(content.find('\n', at), content.size());
    const std::string line = Trim(content.substr(at, end - at));
    at = end + 1;
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    anyLine = true;
    const std::string where = LinePrefix(path, lineNumber);
    const auto equals = line.find('=');
    if (equals == std::string::npos) throw Exception(where + "expected KEY = VALUE");
    const std::string key = AsciiLower(Trim(line.substr(0, equals)));
    const std::string value = Trim(line.substr(equals + 1));

    const TScriptRecord* record = FindScriptRecord(key);
    if (!record) throw Exception(where + "unknown key " + key);
    if (record->Text) {
      const auto [earlier, first] = textLines.emplace(key, lineNumber);
      if (!first)
        throw Exception(where + key + " is given twice, on lines " +
                        std::to_string(earlier->second) + " and " + std::to_string(lineNumber));
      std::string utf8 = value;
      if (!value.empty() && value[0] == '@') {
        std::string file;
        try {
          file = ReadWholeFile(DiskPath(base, value.substr(1)));
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
        throw Exception(where + "the text of " + key +
                        " has a character that code page 1251 lacks");
      if (stored.size() > static_cast<size_t>(kScriptPayloadLimit))
        throw Exception(where + "the text of " + key + " is longer than 2048 bytes");
      script.*record->Text = text;
      continue;
    }

    // "ITEM from PATH", or just "PATH" for an archive file named after the file.
    std::string item = value, source = value;
    const auto from = value.find(" from ");
    if (from != std::string::npos) {
      item = Trim(value.substr(0, from));
      source = Trim(value.substr(from + 6));
    } else if (key == "game") {
      throw Exception(where + "a game file is written as: game = PATH\\IN\\GAME from FILE");
    }
    // An archive file is listed by its name alone; a game file by its path in the game folder.
    std::string listed = item, stored;
    if (key == "archive") {
      for (char& c : listed)
        if (c == '/') c = '\\';
      listed = ExtractFileNamePart(listed);
    }
    if (!TryCp1251FromUtf8(listed, stored))
      throw Exception(where + listed + ": " + kNameOutsideCp1251);
    const std::string name = ExtractFileNamePart(listed);
    if (name.empty()) throw Exception(where + "no file name in " + listed);
    // The installer's own rules, so that a mod it would refuse is never built.
    if (!PackageFileNameIsSafe(name))
      throw Exception(where + "the installer cannot install a file named " + name);
    if (key == "game" && !GameFileItemIsInside(listed))
      throw Exception(where + listed + " lies outside the game folder");
    if (key == "game" && GameFileItemIsInstallers(listed))
      throw Exception(where + listed + " is the installer's own; a mod cannot replace it");
    if (key == "game" && !GameFileItemWindowsFault(listed).empty())
      throw Exception(where + listed + ": " + GameFileItemWindowsFault(listed));
    if (key == "game") {
      const auto [known, added] = gamePaths.emplace(GameFileItemKey(listed), listed);
      if (!added && known->second != listed)
        throw Exception(where + listed + " and " + known->second +
                        " are one file on Windows; list it once");
    }
    if (StoredLength(name) > 24)
      throw Exception(where + "the name " + name + " is longer than 24 characters");
    if (key == "archive" && StoredLength(name) == 24)
      manifest.Warnings.push_back(where + "the game reads only the first 23 characters of " + name);
    if (StoredLength(listed) > static_cast<size_t>(kScriptPayloadLimit))
      throw Exception(where + "the item is longer than 2048 bytes");

    const std::string disk = DiskPath(base, source);
    if (SystemFileSystem().DirectoryExists(disk))
      throw Exception(where + source + ": is a folder, not a file");
    if (!SystemFileSystem().FileExists(disk)) throw Exception(where + source + ": file not found");
    if (key == "archive") {
      TBlockFile file = TBlockFile::OpenReadOnly(SystemFileSystem(), disk);
      const int64_t bytes = file.Size();
      file.Close();
      if (bytes > int64_t{kGameSectorLimit} * kSector)
        throw Exception(where + source + ": " + kTooLargeForTheGame);
    }
    const auto known = packed.find(AsciiUpper(name));
    if (known == packed.end()) {
      packed[AsciiUpper(name)] = disk;
      manifest.Sources.push_back({name, disk});
    } else if (known->second != disk) {
      throw Exception(where + "two different files are named " + name +
                      "; the installer finds only the first");
    }
    (script.*record->List).push_back(listed);
  }
  if (!anyLine) throw Exception(path + ": the manifest has no KEY = VALUE line");
  const std::string& level = script.Level;
  if (!level.empty() && level != "0" && !anyLevel) {
    // Read as the installer reads it: what it cannot take as a level above 0 is refused.
    const std::string where = LinePrefix(path, textLines.at("level"));
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
    manifest.Warnings.push_back("the installer reads the level " + level + " as 0." + level +
                                "; write it with a point, such as " + level + ".0");
  return manifest;
}

}  // namespace merva
