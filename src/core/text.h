#pragma once
// Byte-string helpers shared by every subsystem. File names are compared by upper-casing both
// sides, and only the ASCII letters change case: Cyrillic letters must match exactly.
#include <string>
#include <vector>

namespace merva {

std::string AsciiUpper(std::string text);
std::string AsciiLower(std::string text);
// The name as a Windows volume compares it: the letters of code page 1251 (Latin and Cyrillic)
// in one case. Files the program writes side by side must differ in this form, or one would
// overwrite the other there.
std::string FileSystemCase(const std::string& utf8);
// What follows the last "\" or ":" of a path, or the whole path when it has neither.
std::string ExtractFileNamePart(const std::string& path);
// The parts of `text` between any of the `separators`, empty ones included: "a\\b" gives
// "a" and "b", "" gives one empty part.
std::vector<std::string> SplitAt(const std::string& text, const std::string& separators);

}  // namespace merva
