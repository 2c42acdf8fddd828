#pragma once
// Byte-string helpers shared by every subsystem. File names are compared by upper-casing both
// sides, and only the ASCII letters change case: Cyrillic letters must match exactly.
#include <string>
#include <vector>

namespace merva {

std::string AsciiUpper(std::string text);
std::string AsciiLower(std::string text);
// What follows the last "\" or ":" of a path, or the whole path when it has neither.
std::string ExtractFileNamePart(const std::string& path);
// The parts of `text` between any of the `separators`, empty ones included: "a\\b" gives
// "a" and "b", "" gives one empty part.
std::vector<std::string> SplitAt(const std::string& text, const std::string& separators);
// True when `text` ends in `end`, byte for byte.
bool EndsWith(const std::string& text, const std::string& end);

}  // namespace merva
