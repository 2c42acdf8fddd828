#include "data/model_ids.h"

#include <cctype>
#include <stdexcept>

#include "core/errors.h"
#include "core/text.h"

namespace merva {

namespace {

// The game keeps 20,000 model IDs (0 to 19999) before its texture dictionaries' slots. Each
// section's range is where a new model of it is safe to take, the narrowest the sources give:
// vehicles from 400 (the game's vehicle code counts from there) to 799, peds from 1 (0 is the
// player) to 289 (290 to 299 are the special characters' slots that scripts fill), weapons among
// the stock weapon models' 321 to 372, objects from 615 (past the vehicles and their wheels).
const TModelIdRange kModelIdRanges[] = {
    {"objs", 615, 19999}, {"tobj", 615, 19999}, {"anim", 615, 19999}, {"hier", 615, 19999},
    {"cars", 400, 799},   {"peds", 1, 289},     {"weap", 321, 372},
};

}  // namespace

const TModelIdRange* ModelIdRangeOf(const std::string& section) {
  for (const TModelIdRange& range : kModelIdRanges)
    if (section == range.Section) return &range;
  return nullptr;
}

bool IsAutomaticId(const std::string& field) {
  if (field.size() < 2 || field[0] != '@') return false;
  for (size_t i = 1; i < field.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(field[i]);
    if (!(std::isalnum(c) && c < 0x80) && c != '_') return false;
  }
  return true;
}

TAutomaticIdPlace AutomaticIdIn(const TDataRule& rule, const std::string& section,
                                const std::string& text, std::string& name) {
  const std::vector<std::string> f = DataFields(rule, text);
  TAutomaticIdPlace place = TAutomaticIdPlace::kNone;
  for (size_t i = 0; i < f.size(); ++i) {
    if (!IsAutomaticId(f[i])) continue;
    const bool defines = rule.Kind == TDataKind::kIde && i == 0 && ModelIdRangeOf(section);
    const bool uses = rule.Kind == TDataKind::kIpl && i == 0 && section == "inst";
    if (!defines && !uses)
      throw std::invalid_argument(
          f[i] + " stands as field " + std::to_string(i + 1) +
          ", where the game reads no model ID: an automatic ID stands first in an IDE line of "
          "objs, tobj, anim, hier, cars, peds or weap, or first in an IPL inst line");
    name = AsciiLower(f[i]);
    place = defines ? TAutomaticIdPlace::kDefines : TAutomaticIdPlace::kUses;
  }
  return place;
}

void NoteAutomaticIds(const TDataRule& rule, const std::vector<TDataEdit>& edits,
                      const std::string& source, std::vector<TAutomaticIdUse>& uses) {
  for (const TDataEdit& edit : edits) {
    if (!edit.Text) continue;
    std::string name;
    const TAutomaticIdPlace place = AutomaticIdIn(rule, edit.Section, *edit.Text, name);
    if (place != TAutomaticIdPlace::kNone) uses.push_back({name, edit.Section, place, source});
  }
}

std::vector<TAutomaticIdUse> AutomaticIdsDefined(const std::vector<TAutomaticIdUse>& uses) {
  std::vector<TAutomaticIdUse> defined;
  std::map<std::string, size_t> at;
  for (const TAutomaticIdUse& use : uses) {
    if (use.Place != TAutomaticIdPlace::kDefines) continue;
    const auto [earlier, first] = at.emplace(use.Name, defined.size());
    if (!first)
      throw EFileError(use.Source, "defines " + use.Name + " for a second model (" + use.Section +
                                       "), which " + defined[earlier->second].Source +
                                       " defines in " + defined[earlier->second].Section +
                                       "; two models cannot share one ID");
    defined.push_back(use);
  }
  for (const TAutomaticIdUse& use : uses)
    if (use.Place == TAutomaticIdPlace::kUses && !at.count(use.Name))
      throw EFileError(use.Source, "places " + use.Name +
                                       ", which none of the mod's IDE lines defines, so Merva "
                                       "cannot tell which model it stands for");
  return defined;
}

int32_t LowestFreeId(const TModelIdRange& range, const std::set<int32_t>& used) {
  // Past each used ID that follows on from the last one taken.
  int64_t candidate = range.First;
  for (auto at = used.lower_bound(range.First); at != used.end() && *at == candidate; ++at)
    ++candidate;
  return candidate > range.Last ? -1 : static_cast<int32_t>(candidate);
}

std::string WithChosenIds(const TDataRule& rule, const std::string& text,
                          const std::map<std::string, int32_t>& chosen) {
  // Field by field through the bytes, so that spacing and separators stay as written.
  const std::string separators = rule.Separators;
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    if (separators.find(text[at]) != std::string::npos) {
      out += text[at++];
      continue;
    }
    size_t end = at;
    while (end < text.size() && separators.find(text[end]) == std::string::npos) ++end;
    const std::string field = text.substr(at, end - at);
    const auto id = IsAutomaticId(field) ? chosen.find(AsciiLower(field)) : chosen.end();
    out += id == chosen.end() ? field : std::to_string(id->second);
    at = end;
  }
  return out;
}

}  // namespace merva
