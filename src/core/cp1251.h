#pragma once
// Windows code page 1251, the code page of script texts and package names, to and from
// Unicode. The program keeps texts as code page 1251 bytes and converts only at the edges.
#include <string>

namespace merva {

std::u16string Utf16FromCp1251(const std::string& bytes);
std::string Utf8FromCp1251(const std::string& bytes);

// False when a character has no place in code page 1251; `out` then holds '?' for it.
bool TryCp1251FromUtf16(const std::u16string& text, std::string& out);
bool TryCp1251FromUtf8(const std::string& text, std::string& out);

// For texts known to fit (the program's own messages): unknown characters become '?'.
std::string Cp1251FromUtf8(const std::string& text);
std::string Cp1251FromUtf16(const std::u16string& text);

}  // namespace merva
