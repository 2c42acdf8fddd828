#pragma once
// A mod's lines for one of the game's data files, as its author wrote them in a text of the
// file's own format (section names and "end" lines included where the file has them): each
// line keyed by the file's rule and checked as the game will read it, before anything changes.
#include <cstddef>
#include <string>
#include <vector>

#include "data/data_lines.h"
#include "data/data_rules.h"

namespace merva {

// The lines of `bytes` (the mod's text `source`, which refusals name) to put into the data file
// `item`. Comments and blank lines are passed over. Raises EFileError naming `source`, the line
// and what is wrong: a line without a key, outside a section, with too few fields, a word where
// the game reads a number, longer than the game reads, or a key given twice.
std::vector<TDataEdit> ReadModLines(const TDataRule& rule, const std::string& item,
                                    const std::string& bytes, const std::string& source);

}  // namespace merva
