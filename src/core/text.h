#pragma once
// Byte-string helpers shared by every subsystem. File names are compared by upper-casing both
// sides, and only the ASCII letters change case: Cyrillic letters must match exactly.
#include <string>

namespace merva {

std::string AsciiUpper(std::string text);
std::string AsciiLower(std::string text);
// What follows the last "\" or ":" of a path, or the whole path when it has neither.
std::string ExtractFileNamePart(const std::string& path);

}  // namespace merva
