#pragma once
// Model IDs: one number space over every IDE file the game loads, the range the game takes a new
// model of each section in, and the automatic IDs ("@NAME") a mod's lines may write for Merva to
// choose at installation. docs/formats.md gives the ranges with their sources.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "data/data_lines.h"
#include "data/data_rules.h"

namespace merva {

struct TModelIdRange {
  const char* Section;  // the IDE section: "cars"
  int32_t First, Last;  // both taken
};

// The range of a new model of the IDE section `section`; null for a section that defines no
// model ("txdp", "2dfx", "path").
const TModelIdRange* ModelIdRangeOf(const std::string& section);

// True for an automatic ID: "@" and then letters, digits and "_".
bool IsAutomaticId(const std::string& field);

// Where an automatic ID stands in a mod's line: only where the game reads a model's ID.
enum class TAutomaticIdPlace : uint8_t {
  kNone,     // the line has none
  kDefines,  // first in an IDE line of a section of models: the model it defines
  kUses,     // first in an IPL "inst" line: the model it places
};
// Where the line `text` of `section` holds an automatic ID, and its name (lower case). Raises
// std::invalid_argument, in words, for one written where the game reads anything else.
TAutomaticIdPlace AutomaticIdIn(const TDataRule& rule, const std::string& section,
                                const std::string& text, std::string& name);

// One automatic ID of a mod as its lines give it.
struct TAutomaticIdUse {
  std::string Name;     // lower case, with its "@"
  std::string Section;  // the IDE section of a line that defines it
  TAutomaticIdPlace Place = TAutomaticIdPlace::kNone;
  std::string Source;  // the mod's text, for a refusal
};
// The automatic IDs the mod's lines of `rule` give.
void NoteAutomaticIds(const TDataRule& rule, const std::vector<TDataEdit>& edits,
                      const std::string& source, std::vector<TAutomaticIdUse>& uses);
// Each name once, in the order first defined, with its section. Raises EFileError, naming the
// mod's text, for a name defined by two lines (two models cannot share an ID) or used and not
// defined by any.
std::vector<TAutomaticIdUse> AutomaticIdsDefined(const std::vector<TAutomaticIdUse>& uses);

// The lowest ID of `range` that `used` lacks; -1 when every one is taken.
int32_t LowestFreeId(const TModelIdRange& range, const std::set<int32_t>& used);

// `text` with every automatic ID that `chosen` names written as its number, as the game reads
// an ID; any other byte as it was.
std::string WithChosenIds(const TDataRule& rule, const std::string& text,
                          const std::map<std::string, int32_t>& chosen);

}  // namespace merva
