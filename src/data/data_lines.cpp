#include "data/data_lines.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <unordered_map>

#include "core/text.h"
#include "data/model_ids.h"

namespace merva {

const char kFreeColour[] = "0,0,0 # free: kept so that no later colour's number moves";

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

// carcols.dat's colour table, which every car's line refers to by number.
bool IsColourTable(const TDataRule& rule, const std::string& section) {
  return rule.Kind == TDataKind::kCarcols && section == "col";
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
  static const std::set<std::string> kIpl = {"inst", "cull", "grge", "enex", "pick", "cars", "jump",
                                             "tcyc", "auzo", "mult", "occl", "path", "zone"};
  const std::string name = AsciiLower(word);
  if (kind == TDataKind::kIde) return kIde.count(name) > 0;
  if (kind == TDataKind::kIpl) return kIpl.count(name) > 0;
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
    if (!kByModel.count(section)) return "";
    // An automatic ID is its own key until the installation writes the ID it chose.
    if (IsAutomaticId(f[0])) return AsciiLower(f[0]);
    if (!IsInteger(f[0])) return "";
    return std::to_string(std::strtol(f[0].c_str(), nullptr, 10));
  }
  if (kind == TDataKind::kIpl) {
    // A placement is nothing but its values: two lines that differ anywhere are two things.
    std::string key;
    for (const std::string& field : f) key += (key.empty() ? "" : ",") + AsciiLower(field);
    return key;
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
    line.Opens = line.Closes = line.Free = false;
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
      line.Free = IsColourTable(rule, section) && text == kFreeColour;
    }
  }
}

}  // namespace

std::string DataLineKey(const TDataRule& rule, const std::string& section,
                        const std::string& text) {
  const std::vector<std::string> f = DataFields(rule, text);
  if (f.empty()) return "";
  if (HasNamedSections(rule.Kind)) return NamedSectionKey(rule.Kind, section, f, 0);
  TDataLine line;
  MarkedKey(rule.Kind, f, line);
  return line.Key;
}

std::vector<std::string> DataFields(const TDataRule& rule, const std::string& text) {
  std::vector<std::string> fields;
  for (const std::string& part : SplitAt(text, rule.Separators))
    if (!part.empty()) fields.push_back(part);
  return fields;
}

namespace {

std::string LineKey(const std::string& section, const std::string& key) {
  return section + '\n' + key;
}

}  // namespace

TDataLineIndex::TDataLineIndex(const std::vector<TDataLine>& lines) : none_(lines.size()) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].Read && !lines[i].Key.empty() && !lines[i].Free)
      at_[LineKey(lines[i].Section, lines[i].Key)] = i;  // a later copy over an earlier one
}

size_t TDataLineIndex::Find(const std::string& section, const std::string& key) const {
  const auto at = key.empty() ? at_.end() : at_.find(LineKey(section, key));
  return at == at_.end() ? none_ : at->second;
}

void TDataLineIndex::Forget(const std::string& section, const std::string& key) {
  at_.erase(LineKey(section, key));
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

// The first line the game does not read as part of the file's items: its stop line, or
// lines.size().
size_t StopOf(const std::vector<TDataLine>& lines) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (!lines[i].Read || (lines[i].Closes && lines[i].Section.empty())) return i;
  return lines.size();
}

// Where a new item of `section` goes: after the last item of its section, or before the end of
// its section, or before the line the game stops at (`stop`). `made` is set when the section
// must be made there.
size_t PlaceFor(const TDataRule& rule, const std::vector<TDataLine>& lines,
                const std::string& section, size_t stop, bool& made) {
  made = false;
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

// Refuses a section made at `at` when the file's last section before it has no "end": the game
// would read the new section's lines as part of that one.
void RequireClosedBefore(const std::vector<TDataLine>& lines, size_t at,
                         const std::string& section) {
  for (size_t i = at; i-- > 0;) {
    if (lines[i].Closes) return;
    if (!lines[i].Section.empty() && lines[i].Read)
      throw EDataFileOpen("its section " + lines[i].Section +
                          " has no \"end\" line, and the game would read the mod's section " +
                          section + " as part of it");
  }
}

// Lines going in before one of the file's lines: the items of one section, with the section's
// bounds when it is made.
struct TNewLines {
  size_t At = 0;
  std::string Section;
  bool Made = false;
  std::vector<TDataLine> Lines;
  std::vector<size_t> Outcomes;  // the outcome each line answers
};

// A line of the merged file, with the outcome it answers when it is a line put in.
struct TMerged {
  TDataLine Line;
  size_t Outcome = SIZE_MAX;
};

TDataLine NewLine(const std::string& section, const std::string& key, const std::string& text) {
  TDataLine line;
  line.Text = text;
  line.Section = section;
  line.Key = key;
  return line;
}

// Drops what taking lines out left with no use at the end of a part of the file: free colours
// after the table's last colour (no later number depends on them), and a section emptied by this
// merge that ends the file's items, as an installation makes one.
void DropEmptyEnds(const TDataRule& rule, std::vector<TMerged>& merged,
                   const std::set<std::string>& emptied) {
  if (rule.Kind == TDataKind::kCarcols)
    for (size_t i = merged.size(); i-- > 0;) {
      if (!merged[i].Line.Closes || merged[i].Line.Section != "col") continue;
      size_t first = i;
      while (first > 0 && merged[first - 1].Line.Free) --first;
      merged.erase(merged.begin() + static_cast<std::ptrdiff_t>(first),
                   merged.begin() + static_cast<std::ptrdiff_t>(i));
      i = first;
    }
  if (emptied.empty() || !HasNamedSections(rule.Kind)) return;
  size_t stop = merged.size();
  for (size_t i = 0; i < merged.size(); ++i)
    if (!merged[i].Line.Read) {
      stop = i;
      break;
    }
  while (stop >= 2 && merged[stop - 2].Line.Opens && merged[stop - 1].Line.Closes &&
         emptied.count(merged[stop - 2].Line.Section)) {
    merged.erase(merged.begin() + static_cast<std::ptrdiff_t>(stop - 2),
                 merged.begin() + static_cast<std::ptrdiff_t>(stop));
    stop -= 2;
  }
}

// Every line put in is one the game reads as the item it stands for: a merge that would leave one
// past the line the game stops at, or keyed otherwise, is refused before anything is written.
void RequireReadByTheGame(const std::vector<TDataLine>& lines,
                          const std::vector<TDataOutcome>& outcomes) {
  const TDataLineIndex used(lines);
  for (const TDataOutcome& outcome : outcomes) {
    if (!outcome.New || outcome.Key.empty()) continue;
    const size_t at = used.Find(outcome.Section, outcome.Key);
    if (at == lines.size() || lines[at].Text != *outcome.New)
      throw EDataFileOpen("the game would not read the mod's line \"" + *outcome.New +
                          "\" where it would be written");
  }
}

}  // namespace

namespace {

// One merge, read from the file once: each key's line, the free colours, each section's place
// for new lines, so that a merge takes time in step with its lines and the file's.
struct TMerge {
  TMerge(const TDataRule& rule, std::vector<TDataLine>& lines)
      : Rule(rule), Lines(lines), Found(lines), Stop(StopOf(lines)), Gone(lines.size(), 0) {
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].Read && lines[i].Free) FreeColours.insert(i);
  }
  const TDataRule& Rule;
  std::vector<TDataLine>& Lines;
  TDataLineIndex Found;
  std::set<size_t> FreeColours;
  size_t Stop;
  std::vector<char> Gone;
  std::vector<TNewLines> Added;
  std::unordered_map<std::string, size_t> AddedTo;  // a section's entry in `Added`
  std::set<std::string> Emptied;
};

// The edit `edits[index]` met where the file holds its key, or noted as a new line.
void MeetEdit(TMerge& m, const TDataEdit& edit, TDataOutcome& outcome, size_t index) {
  const size_t at = m.Found.Find(edit.Section, edit.Key);
  if (at < m.Lines.size()) {
    TDataLine& line = m.Lines[at];
    outcome.Old = line.Text;
    if (edit.Text) {
      line.Text = *edit.Text;
      return;
    }
    if (IsColourTable(m.Rule, edit.Section)) {
      // Every car's line names its colours by number: a colour taken out keeps its place, free
      // for a later mod, so that none after it moves.
      line.Text = kFreeColour;
      line.Free = true;
      m.FreeColours.insert(at);
    } else {
      m.Gone[at] = 1;
      m.Emptied.insert(edit.Section);
    }
    m.Found.Forget(edit.Section, edit.Key);
    return;
  }
  if (!edit.Text) return;
  if (IsColourTable(m.Rule, edit.Section) && edit.Key.empty() && !m.FreeColours.empty()) {
    TDataLine& line = m.Lines[*m.FreeColours.begin()];
    m.FreeColours.erase(m.FreeColours.begin());
    line.Text = *edit.Text;
    line.Free = false;
    outcome.Key = line.Key;
    return;
  }
  auto [group, first] = m.AddedTo.emplace(edit.Section, m.Added.size());
  if (first) {
    TNewLines& fresh = m.Added.emplace_back();
    fresh.Section = edit.Section;
    fresh.At = PlaceFor(m.Rule, m.Lines, edit.Section, m.Stop, fresh.Made);
    if (fresh.Made) RequireClosedBefore(m.Lines, fresh.At, edit.Section);
  }
  TNewLines& into = m.Added[group->second];
  into.Lines.push_back(NewLine(edit.Section, edit.Key, *edit.Text));
  into.Outcomes.push_back(index);
}

// The merged file in one pass: the lines kept, each group of new lines at its place.
std::vector<TMerged> MergedLines(TMerge& m) {
  std::stable_sort(m.Added.begin(), m.Added.end(),
                   [](const TNewLines& a, const TNewLines& b) { return a.At < b.At; });
  std::vector<TMerged> merged;
  merged.reserve(m.Lines.size() + 2 * m.Added.size());
  size_t next = 0;
  const auto putAdded = [&](size_t before) {
    for (; next < m.Added.size() && m.Added[next].At == before; ++next) {
      TNewLines& group = m.Added[next];
      if (group.Made) merged.push_back({NewLine(group.Section, "", group.Section)});
      for (size_t i = 0; i < group.Lines.size(); ++i)
        merged.push_back({std::move(group.Lines[i]), group.Outcomes[i]});
      if (group.Made) merged.push_back({NewLine(group.Section, "", "end")});
    }
  };
  for (size_t i = 0; i < m.Lines.size(); ++i) {
    putAdded(i);
    if (!m.Gone[i]) merged.push_back({std::move(m.Lines[i])});
  }
  putAdded(m.Lines.size());
  DropEmptyEnds(m.Rule, merged, m.Emptied);
  return merged;
}

}  // namespace

std::vector<TDataOutcome> ApplyDataEdits(const TDataRule& rule, std::vector<TDataLine>& lines,
                                         const std::vector<TDataEdit>& edits) {
  // A lone CR never: before a line that begins the next break, it would join it as one CRLF.
  const std::string lineBreak =
      !lines.empty() && lines.front().Break == "\n" ? std::string("\n") : std::string("\r\n");
  // Every line ends with a break but the last, which ends as the file's last line did: a file
  // without a final break gets none back, so that taking the lines out gives the same bytes.
  const std::string lastBreak = lines.empty() ? lineBreak : lines.back().Break;
  TMerge merge(rule, lines);
  std::vector<TDataOutcome> outcomes;
  for (const TDataEdit& edit : edits) {
    const size_t index = outcomes.size();
    TDataOutcome& outcome = outcomes.emplace_back();
    outcome.Section = edit.Section;
    outcome.Key = edit.Key;
    outcome.New = edit.Text;
    MeetEdit(merge, edit, outcome, index);
  }
  std::vector<TMerged> merged = MergedLines(merge);
  std::vector<TDataLine> result;
  result.reserve(merged.size());
  for (TMerged& line : merged) {
    if (line.Line.Break.empty()) line.Line.Break = lineBreak;
    result.push_back(std::move(line.Line));
  }
  if (!result.empty()) result.back().Break = lastBreak;
  KeyLines(rule, result);
  // An item put in without a key of its own (a colour) is known by its place now.
  for (size_t i = 0; i < merged.size(); ++i)
    if (merged[i].Outcome != SIZE_MAX && outcomes[merged[i].Outcome].Key.empty())
      outcomes[merged[i].Outcome].Key = result[i].Key;
  RequireReadByTheGame(result, outcomes);
  lines = std::move(result);
  return outcomes;
}

}  // namespace merva
