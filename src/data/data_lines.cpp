#include "data/data_lines.h"

#include <cstdlib>
#include <map>
#include <set>

#include "core/text.h"

namespace merva {

namespace {

const char kCp1251Pound[] = "\xA3";  // what starts a melee weapon's line in weapon.dat

// Whether the game stops reading at `text` (trimmed): the rule's last line, or for object.dat
// any line that starts with "*" (its stock end is "*********melee weapons****", then more "*"
// lines), since the game reads no further than the first such line.
bool StopsReading(const TDataRule& rule, const std::string& text) {
  if (!*rule.LastLine) return false;
  if (rule.Kind == TDataKind::kObject) return !text.empty() && text[0] == '*';
  return AsciiLower(text) == AsciiLower(rule.LastLine);
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsInteger(const std::string& text) {
  if (text.empty()) return false;
  char* end = nullptr;
  std::strtol(text.c_str(), &end, 10);
  return *end == '\0';
}

bool IsSectionName(TDataKind kind, const std::string& word) {
  static const std::set<std::string> kIde = {"objs", "tobj", "weap", "hier", "anim",
                                             "cars", "peds", "path", "2dfx", "txdp"};
  static const std::set<std::string> kCarcols = {"col", "car", "car4"};
  static const std::set<std::string> kCarmods = {"link", "mods", "wheel"};
  const std::string name = AsciiLower(word);
  if (kind == TDataKind::kIde) return kIde.count(name) > 0;
  if (kind == TDataKind::kCarcols) return kCarcols.count(name) > 0;
  return kind == TDataKind::kCarmods && kCarmods.count(name) > 0;
}

// The key of an item line of a file with named sections; empty for a line that is no item.
// `position` counts the items of the section before this one.
std::string NamedSectionKey(TDataKind kind, const std::string& section,
                            const std::vector<std::string>& f, size_t position) {
  if (kind == TDataKind::kIde) {
    // A model's definition by its ID; the other sections hold no one item per model.
    static const std::set<std::string> kByModel = {"objs", "tobj", "weap", "hier",
                                                   "anim", "cars", "peds"};
    if (!kByModel.count(section) || !IsInteger(f[0])) return "";
    return std::to_string(std::strtol(f[0].c_str(), nullptr, 10));
  }
  if (kind == TDataKind::kCarcols) {
    // The colour table is read by position: its lines are only ever added at its end.
    if (section == "col") return "#" + std::to_string(position);
    return AsciiLower(f[0]);
  }
  if (section == "link") return f.size() < 2 ? "" : AsciiLower(f[0]) + " " + AsciiLower(f[1]);
  return AsciiLower(f[0]);  // mods by model, wheel by its index
}

// The section and key of a line of a file without named sections.
void MarkedKey(TDataKind kind, const std::vector<std::string>& f, TDataLine& line) {
  switch (kind) {
    case TDataKind::kHandling: {
      const std::string marker = f[0].substr(0, 1);
      if (marker == "%" || marker == "!" || marker == "$" || marker == "^") {
        line.Section = marker;
        line.Key = f[0].size() > 1 ? f[0].substr(1) : f.size() > 1 ? f[1] : "";
      } else {
        line.Key = f[0];  // the game matches the identifier as written
      }
      break;
    }
    case TDataKind::kWeapon:
      // A gun has a line for each skill level (its 14th field after the "$", behind the fire
      // offset's three); a melee weapon one line.
      if (f[0] == "$" && f.size() > 1) {
        line.Section = "$";
        line.Key = f[1] + " " + (f.size() > kGunSkillField ? f[kGunSkillField] : "");
      } else if (f[0] == kCp1251Pound && f.size() > 1) {
        line.Section = kCp1251Pound;
        line.Key = f[1];
      }
      break;
    case TDataKind::kGtaDat: {
      // Kept in its keyword's group, since the game reads them in order.
      line.Section = AsciiUpper(f[0]);
      std::string key;
      for (const std::string& field : f) key += (key.empty() ? "" : " ") + AsciiLower(field);
      line.Key = key;
      break;
    }
    default:
      line.Key = AsciiLower(f[0]);  // object.dat and the audio settings: the model's name
  }
}

// Gives every line its section and key from its text.
void KeyLines(const TDataRule& rule, std::vector<TDataLine>& lines) {
  std::string section;
  size_t position = 0;
  bool read = true;
  for (TDataLine& line : lines) {
    line.Section = line.Key = "";
    line.Opens = line.Closes = false;
    line.Read = read;
    if (!read) continue;
    const std::string text = Trimmed(line.Text);
    if (StopsReading(rule, text)) {
      line.Closes = true;
      read = false;
      continue;
    }
    if (text.empty() || std::string(rule.Comment).find(text[0]) != std::string::npos) continue;
    const std::vector<std::string> f = DataFields(rule, text);
    if (f.empty()) continue;
    if (!HasNamedSections(rule.Kind)) {
      MarkedKey(rule.Kind, f, line);
      continue;
    }
    if (section.empty() && f.size() == 1 && IsSectionName(rule.Kind, f[0])) {
      section = AsciiLower(f[0]);
      position = 0;
      line.Section = section;
      line.Opens = true;
    } else if (!section.empty() && f.size() == 1 && AsciiLower(f[0]) == "end") {
      line.Section = section;
      line.Closes = true;
      section.clear();
    } else if (!section.empty()) {
      line.Section = section;
      line.Key = NamedSectionKey(rule.Kind, section, f, position);
      if (!line.Key.empty()) ++position;
    }
  }
}

}  // namespace

std::vector<std::string> DataFields(const TDataRule& rule, const std::string& text) {
  std::vector<std::string> fields;
  for (const std::string& part : SplitAt(text, rule.Separators))
    if (!part.empty()) fields.push_back(part);
  return fields;
}

size_t FindDataLine(const std::vector<TDataLine>& lines, const std::string& section,
                    const std::string& key) {
  for (size_t i = lines.size(); i-- > 0 && !key.empty();)
    if (lines[i].Read && lines[i].Section == section && lines[i].Key == key) return i;
  return lines.size();
}

std::vector<TDataLine> ReadDataLines(const TDataRule& rule, const std::string& bytes) {
  std::vector<TDataLine> lines;
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t end = bytes.find_first_of("\r\n", at);
    TDataLine& line = lines.emplace_back();
    if (end == std::string::npos) {
      line.Text = bytes.substr(at);
      break;
    }
    line.Text = bytes.substr(at, end - at);
    const size_t breakLength = bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    line.Break = bytes.substr(end, breakLength);
    at = end + breakLength;
  }
  KeyLines(rule, lines);
  return lines;
}

std::string DataBytes(const std::vector<TDataLine>& lines) {
  std::string bytes;
  for (const TDataLine& line : lines) bytes += line.Text + line.Break;
  return bytes;
}

namespace {

// Where a new item of `section` goes: after the last item of its section, or before the end of
// its section, or before the line the game stops at; lines.size() for the end of the file.
// `made` is set when the section must be made there.
size_t PlaceFor(const TDataRule& rule, const std::vector<TDataLine>& lines,
                const std::string& section, bool& made) {
  made = false;
  size_t stop = lines.size();
  for (size_t i = 0; i < lines.size(); ++i)
    if (!lines[i].Read || (lines[i].Closes && lines[i].Section.empty())) {
      stop = i;
      break;
    }
  // The last section of that name, up to its end.
  for (size_t i = stop; i-- > 0;) {
    if (lines[i].Section != section) continue;
    if (HasNamedSections(rule.Kind)) {
      if (lines[i].Closes) return i;
      if (lines[i].Opens || !lines[i].Key.empty()) return i + 1;  // a section the file leaves open
    } else if (!lines[i].Key.empty()) {
      return i + 1;
    }
  }
  made = HasNamedSections(rule.Kind);
  return stop;
}

void Insert(std::vector<TDataLine>& lines, size_t at, const std::string& text,
            const std::string& lineBreak) {
  TDataLine line;
  line.Text = text;
  line.Break = lineBreak;
  // After a last line without a break, the break goes between the two and the new line ends the
  // file as that one did, so that taking it out again (TakeOut) gives the same bytes back.
  if (at > 0 && lines[at - 1].Break.empty()) {
    lines[at - 1].Break = lineBreak;
    line.Break.clear();
  }
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line);
}

void TakeOut(std::vector<TDataLine>& lines, size_t at) {
  // The file's last line: the one before it ends the file now, as the taken one did.
  if (at + 1 == lines.size() && at > 0) lines[at - 1].Break = lines[at].Break;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
}

// Every line put in is one the game reads as the item it stands for: a merge that would leave one
// past the line the game stops at, or keyed otherwise, is refused before anything is written.
void RequireReadByTheGame(const TDataRule& rule, const std::vector<TDataLine>& lines,
                          const std::vector<TDataOutcome>& outcomes) {
  std::vector<TDataLine> again = lines;
  KeyLines(rule, again);
  std::map<std::pair<std::string, std::string>, size_t> used;  // each key's last line read
  for (size_t i = 0; i < again.size(); ++i)
    if (again[i].Read && !again[i].Key.empty()) used[{again[i].Section, again[i].Key}] = i;
  for (const TDataOutcome& outcome : outcomes) {
    if (!outcome.New || outcome.Key.empty()) continue;
    const auto at = used.find({outcome.Section, outcome.Key});
    if (at == used.end() || again[at->second].Text != *outcome.New)
      throw EDataFileOpen("the game would not read the mod's line \"" + *outcome.New +
                          "\" where it would be written");
  }
}

}  // namespace

std::vector<TDataOutcome> ApplyDataEdits(const TDataRule& rule, std::vector<TDataLine>& lines,
                                         const std::vector<TDataEdit>& edits) {
  // A lone CR never: before a line that begins the next break, it would join it as one CRLF.
  const std::string lineBreak =
      !lines.empty() && lines.front().Break == "\n" ? std::string("\n") : std::string("\r\n");
  std::vector<TDataOutcome> outcomes;
  for (const TDataEdit& edit : edits) {
    TDataOutcome& outcome = outcomes.emplace_back();
    outcome.Section = edit.Section;
    outcome.Key = edit.Key;
    outcome.New = edit.Text;
    const size_t found = FindDataLine(lines, edit.Section, edit.Key);
    // A replaced line keeps its key, and so does every other line: the file is keyed again only
    // when lines come or go, which may move a colour's place.
    if (found < lines.size()) {
      outcome.Old = lines[found].Text;
      if (edit.Text) {
        lines[found].Text = *edit.Text;
        continue;
      }
      TakeOut(lines, found);
    } else if (edit.Text) {
      bool made = false;
      size_t at = PlaceFor(rule, lines, edit.Section, made);
      if (made) {
        for (size_t i = at; i-- > 0;)
          if (!lines[i].Section.empty() && !lines[i].Closes && lines[i].Read)
            throw EDataFileOpen("its section " + lines[i].Section +
                                " has no \"end\" line, and the game would read the mod's section " +
                                edit.Section + " as part of it");
          else if (lines[i].Closes)
            break;
        Insert(lines, at++, edit.Section, lineBreak);
      }
      Insert(lines, at, *edit.Text, lineBreak);
      if (made) Insert(lines, at + 1, "end", lineBreak);
      if (edit.Key.empty()) {
        // An item added without a key of its own (a colour) is known by its place now.
        KeyLines(rule, lines);
        outcome.Key = lines[at].Key;
      } else {
        // The new lines read as the edit says: no other line's key moves.
        lines[at].Section = edit.Section;
        lines[at].Key = edit.Key;
        if (made) {
          lines[at - 1].Section = lines[at + 1].Section = edit.Section;
          lines[at - 1].Opens = lines[at + 1].Closes = true;
        }
      }
      continue;
    } else {
      continue;
    }
    KeyLines(rule, lines);
  }
  RequireReadByTheGame(rule, lines, outcomes);
  return outcomes;
}

}  // namespace merva
