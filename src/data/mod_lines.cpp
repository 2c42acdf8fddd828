#include "data/mod_lines.h"

#include <cstdlib>
#include <map>
#include <stdexcept>

#include "core/errors.h"
#include "data/model_ids.h"

namespace merva {

namespace {

// San Andreas reads handling.cfg a line at a time into 512 bytes, the line break and the closing
// zero included (CFileLoader::LoadLine): a longer line is read as two, the second one garbage.
// It has no limit on the file's size (the 200-character and 55,000-byte limits of public pages are
// GTA III's and Vice City's, which read the whole file into one buffer).
constexpr size_t kHandlingLineLimit = 512 - 1 - 2;
// A car's handling line: the identifier and 35 values.
constexpr size_t kHandlingCarFields = 36;
// A gun's line of weapon.dat reaches at least its skill level.
constexpr size_t kGunFields = kGunSkillField + 1;
constexpr size_t kIdeCarFields = 11;
// A placement of San Andreas: ID, model, interior, position, rotation (four) and LOD.
constexpr size_t kIplInstFields = 11;

bool IsNumber(const std::string& text) {
  if (text.empty()) return false;
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return *end == '\0';
}

bool IsHexNumber(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// What is wrong with a car's handling line, or "": the drive and engine types are letters, the
// two flag fields hexadecimal, every other value a number.
std::string HandlingCarFault(const std::vector<std::string>& f) {
  if (f.size() != kHandlingCarFields)
    return "a car's handling line has " + std::to_string(kHandlingCarFields) +
           " fields (the identifier and 35 values), this one " + std::to_string(f.size());
  for (size_t i = 1; i < f.size(); ++i) {
    const bool sound = i == 15              ? f[i] == "F" || f[i] == "R" || f[i] == "4"
                       : i == 16            ? f[i] == "P" || f[i] == "D" || f[i] == "E"
                       : i == 31 || i == 32 ? IsHexNumber(f[i])
                                            : IsNumber(f[i]);
    if (!sound)
      return "field " + std::to_string(i + 1) + " (" + f[i] + ") is not what the game reads there";
  }
  return "";
}

// What is wrong with a keyed line of the mod's text, or "".
std::string LineFault(const TDataRule& rule, const TDataLine& line,
                      const std::vector<std::string>& f) {
  switch (rule.Kind) {
    case TDataKind::kHandling:
      if (line.Text.size() > kHandlingLineLimit)
        return "the line is " + std::to_string(line.Text.size()) +
               " characters long; the game reads " + std::to_string(kHandlingLineLimit);
      if (line.Section.empty()) return HandlingCarFault(f);
      {
        // The values follow the identifier, which follows its marker or is written onto it.
        const size_t first = f[0].size() > 1 ? 1 : 2;
        for (size_t i = first; i < f.size(); ++i)
          if (!IsNumber(f[i]))
            return "field " + std::to_string(i + 1) + " (" + f[i] + ") is not a number";
        return f.size() <= first ? "the line has no values after its identifier" : "";
      }
    case TDataKind::kWeapon:
      return line.Section == "$" && f.size() < kGunFields
                 ? "a gun's line has its skill level in field " + std::to_string(kGunFields) +
                       "; this one has " + std::to_string(f.size()) + " fields"
                 : "";
    case TDataKind::kIde:
      // A car's definition: its ID, model, texture dictionary, type, handling, name, animations,
      // class, frequency, flags and component rules at least.
      return line.Section == "cars" && f.size() < kIdeCarFields
                 ? "a car's definition has at least " + std::to_string(kIdeCarFields) +
                       " fields; this one has " + std::to_string(f.size())
                 : "";
    case TDataKind::kIpl:
      if (line.Section != "inst") return f.size() < 2 ? "the line has nothing after its key" : "";
      if (f.size() != kIplInstFields)
        return "a placement has " + std::to_string(kIplInstFields) +
               " fields (ID, model, interior, position, rotation, LOD); this one " +
               std::to_string(f.size());
      // The LOD is the number of another line of the file's inst section, which moves as mods
      // add and take back their lines.
      return f[kIplInstFields - 1] == "-1"
                 ? ""
                 : "a placement merged into a file names no LOD by its place in it (write -1)";
    case TDataKind::kCarcols:
      if (line.Section != "col") return f.size() < 2 ? "the line has nothing after its key" : "";
      // The game reads three numbers and passes over the rest ("60,70,80 # 127 name").
      return f.size() < 3 || !IsNumber(f[0]) || !IsNumber(f[1]) || !IsNumber(f[2]) ||
                     (f.size() > 3 && f[3][0] != '#')
                 ? "a colour is three numbers: red, green, blue"
                 : "";
    default:
      return f.size() < 2 ? "the line has nothing after its key" : "";
  }
}

}  // namespace

std::vector<TDataEdit> ReadModLines(const TDataRule& rule, const std::string& item,
                                    const std::string& bytes, const std::string& source) {
  // The mark an editor saving "UTF-8 with BOM" puts first is no byte of the first line.
  const size_t marked = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  const std::vector<TDataLine> lines = ReadDataLines(rule, bytes.substr(marked));
  std::vector<TDataEdit> edits;
  std::map<std::pair<std::string, std::string>, size_t> seen;
  for (size_t n = 0; n < lines.size(); ++n) {
    const TDataLine& line = lines[n];
    const auto refuse = [&](const std::string& what) {
      return EFileError(source, "line " + std::to_string(n + 1) + ": " + what + ", for " + item);
    };
    if (!line.Read) throw refuse("lies after the line the game stops reading at");
    const std::vector<std::string> f = DataFields(rule, line.Text);
    const bool blank = f.empty() || std::string(rule.Comment).find(f[0][0]) != std::string::npos;
    if (line.Opens || line.Closes || blank) continue;
    // A colour of carcols.dat is only ever added: it has no key until it is in the file.
    const bool colour = rule.Kind == TDataKind::kCarcols && line.Section == "col";
    if (line.Key.empty() && !colour)
      throw refuse(HasNamedSections(rule.Kind) && line.Section.empty()
                       ? "lies outside a section (write its name, as \"cars\", on a line before "
                         "it and \"end\" after it)"
                       : "has no key the game knows this line by");
    const std::string fault = LineFault(rule, line, f);
    if (!fault.empty()) throw refuse(fault);
    try {
      std::string name;
      AutomaticIdIn(rule, line.Section, line.Text, name);
    } catch (const std::invalid_argument& misplaced) {
      throw refuse(misplaced.what());
    }
    if (!colour) {
      const auto [earlier, first] = seen.emplace(std::make_pair(line.Section, line.Key), n + 1);
      if (!first)
        throw refuse("gives " + line.Key + " again (first on line " +
                     std::to_string(earlier->second) + ")");
    }
    edits.push_back({line.Section, colour ? "" : line.Key, line.Text});
  }
  return edits;
}

}  // namespace merva
